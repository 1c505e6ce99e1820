// Sprite collision: by rectangle, and by a pixel solid in both sprites. Needs
// no screen and no device: only the sprites' records and pixel copies, whose
// solid pixels are kept as bit masks between tests.
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

// The cache of a sprite's solid pixels, in one GlobalAlloc block that the
// sprite record's solidMask names (freed with the record). It holds for the
// texture object, the changeCount and the key it was made from: every
// modification of a pixel copy (write locks, modifying DC closes, rendering
// through GetRenderTarget) moves changeCount, and a new transparent colour
// changes the key, so a stale mask is made again at the next test.
struct CachedMask {
    TextureObject* texture;  // the texture object it was made from
    int changeCount;         // that object's changeCount then
    std::uint16_t key;       // the transparent word then
    SolidMask mask;          // its bits follow the record
};

bool IsDrawTarget(const Sprite* sprite) { return currentBuffer != -1 && FindSprite(currentBuffer) == sprite; }

// The sprite's current mask, made or made again when needed; null when no
// mask may be kept (the pixel copy may change unseen, or the sprite is being
// drawn into) or the pixel copy cannot be read.
const SolidMask* MaskOf(Sprite* sprite) {
    TextureObject* texture = sprite->texture;
    if (PixelCopyMayChangeUnseen(texture) || IsDrawTarget(sprite)) return nullptr;
    const std::uint16_t key = KeyOfHostColour(GetTransparentColor(texture));
    const int width = GetWidth(texture), height = GetHeight(texture);
    auto* cached = static_cast<CachedMask*>(sprite->solidMask);
    if (cached && cached->texture == texture && cached->changeCount == texture->changeCount && cached->key == key &&
        cached->mask.width == width && cached->mask.height == height)
        return &cached->mask;

    const std::size_t words = SolidMaskWords(width, height);
    if (words == 0) return nullptr;
    if (!cached || cached->mask.width != width || cached->mask.height != height) {
        if (cached) GlobalFree(cached);
        sprite->solidMask = cached =
            static_cast<CachedMask*>(GlobalAlloc(GMEM_FIXED, sizeof(CachedMask) + words * sizeof(std::uint32_t)));
        if (!cached) return nullptr;
        cached->mask.width = cached->mask.height = 0;
    }
    void* bits = nullptr;
    int pitch = 0;
    cached->texture = nullptr;  // not valid until made
    if (!LockPixels(texture, 1, 0, &bits, &pitch)) return nullptr;
    cached->mask.bits = reinterpret_cast<std::uint32_t*>(cached + 1);
    BuildSolidMask(static_cast<const std::uint8_t*>(bits), pitch, width, height, key, &cached->mask);
    UnlockPixels(texture, 1);
    cached->texture = texture;
    cached->changeCount = texture->changeCount;
    cached->key = key;
    return &cached->mask;
}

MaskPlacement Placed(const Sprite* sprite, const SolidMask* mask) {
    return {mask, sprite->width, sprite->height, sprite->clipX, sprite->clipY};
}

// Both sprites' pixels are read through their masks, each made on first use
// and kept while its sprite is unchanged; a sprite whose mask may not be kept
// is scanned from its locked pixel copy, as every test did before.
int PixelCollision(int number1, int x1, int y1, int number2, int x2, int y2) {
    Sprite* first = FindSprite(number1);
    Sprite* second = FindSprite(number2);
    if (!first || !second) return Fail("SpritePixelCollision: no sprite %d", first ? number2 : number1);
    if (first->depth != 16 || second->depth != 16)
        return Fail("SpritePixelCollision: sprite %d is 32-bit; pixels are compared in 16-bit sprites",
                    first->depth != 16 ? number1 : number2);
    CollisionRect overlap;
    if (!OverlapRect(x1, y1, first->width, first->height, x2, y2, second->width, second->height, &overlap))
        return 0;
    const SolidMask* mask1 = MaskOf(first);
    const SolidMask* mask2 = mask1 ? (first == second ? mask1 : MaskOf(second)) : nullptr;
    if (mask1 && mask2)
        return MasksCollide(Placed(first, mask1), x1, y1, Placed(second, mask2), x2, y2, overlap) ? 1 : 0;

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
