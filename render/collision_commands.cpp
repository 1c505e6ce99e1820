// Sprite collision: by rectangle, and by a pixel solid in both sprites. Needs
// no screen and no device: only the sprites' records and pixel copies.
#include "frame/ErrorPosition.h"
#include "frame/LastError.h"
#include "frame/globals.h"
#include "korrin.h"
#include "render/Collision.h"
#include "sprites/ColourKey.h"
#include "sprites/Sprite.h"

namespace korrin {

namespace {

// Scoped read-only lock of a sprite's 16-bit pixel copy.
class PixelRead {
public:
    explicit PixelRead(const Sprite* sprite) : texture_(sprite->texture) {
        void* bits = nullptr;
        if (!LockPixels(texture_, 1, 0, &bits, &image_.pitch)) {
            texture_ = nullptr;
            return;
        }
        image_.pixels = static_cast<const std::uint8_t*>(bits);
        image_.width = sprite->width;
        image_.height = sprite->height;
        image_.clipX = sprite->clipX;
        image_.clipY = sprite->clipY;
        image_.key = KeyOfHostColour(GetTransparentColor(sprite->texture));
    }
    ~PixelRead() {
        if (texture_) UnlockPixels(texture_, 1);
    }
    PixelRead(const PixelRead&) = delete;
    PixelRead& operator=(const PixelRead&) = delete;

    bool ok() const { return texture_ != nullptr; }
    const CollisionImage& image() const { return image_; }

private:
    TextureObject* texture_;
    CollisionImage image_ = {};
};

int PixelCollision(int number1, int x1, int y1, int number2, int x2, int y2) {
    const Sprite* first = FindSprite(number1);
    const Sprite* second = FindSprite(number2);
    if (!first || !second) return Fail("SpritePixelCollision: no sprite %d", first ? number2 : number1);
    if (first->depth != 16 || second->depth != 16)
        return Fail("SpritePixelCollision: sprite %d is 32-bit; pixels are compared in 16-bit sprites",
                    first->depth != 16 ? number1 : number2);
    CollisionRect overlap;
    if (!OverlapRect(x1, y1, first->width, first->height, x2, y2, second->width, second->height, &overlap))
        return 0;
    PixelRead read1(first);
    if (!read1.ok()) return Fail("SpritePixelCollision: sprite %d cannot be read", number1);
    if (first == second)  // one lock serves both positions
        return PixelsCollide(read1.image(), x1, y1, read1.image(), x2, y2, overlap) ? 1 : 0;
    PixelRead read2(second);
    if (!read2.ok()) return Fail("SpritePixelCollision: sprite %d cannot be read", number2);
    return PixelsCollide(read1.image(), x1, y1, read2.image(), x2, y2, overlap) ? 1 : 0;
}

}  // namespace

}  // namespace korrin

extern "C" {

int __stdcall SpriteCollision(int sprite1, int x1, int y1, int sprite2, int x2, int y2) noexcept {
    using namespace korrin;
    RECORD_POSITION(MODULE_MAIN);
    const Sprite* first = FindSprite(sprite1);
    const Sprite* second = FindSprite(sprite2);
    if (!first || !second) return Fail("SpriteCollision: no sprite %d", first ? sprite2 : sprite1);
    CollisionRect overlap;
    return OverlapRect(x1, y1, first->width, first->height, x2, y2, second->width, second->height, &overlap) ? 1
                                                                                                             : 0;
}

// 16-bit sprites only: a 32-bit sprite never collides by pixel.
int __stdcall SpritePixelCollision(int sprite1, int x1, int y1, int sprite2, int x2, int y2) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::PixelCollision(sprite1, x1, y1, sprite2, x2, y2);
}

}  // extern "C"
