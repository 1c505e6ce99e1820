// Sprite commands: creation, release, queries, transparent colour and clip
// window. Sprites need an open screen: their textures belong to its device.
#include "frame/ErrorPosition.h"
#include "frame/LastError.h"
#include "frame/globals.h"
#include "korrin.h"
#include "sprites/ClipWindow.h"
#include "sprites/Sprite.h"

using korrin::Fail;
using korrin::FindSprite;
using korrin::Sprite;

namespace {

// The sprite under `number`, or null with the reason recorded for `command`.
Sprite* SpriteFor(const char* command, int number) {
    Sprite* sprite = FindSprite(number);
    if (!sprite) Fail("%s: no sprite %d", command, number);
    return sprite;
}

}  // namespace

extern "C" {

int __stdcall CreateSprite2(int number, int width, int height, int flags) noexcept {
    using namespace korrin;
    RECORD_POSITION(MODULE_MAIN);
    if (width < 1 || height < 1) return Fail("CreateSprite2: a size of %dx%d", width, height);
    if (flags == kSpriteAlpha) return Fail("CreateSprite2: flags 2 (an alpha sprite) need an image");
    Sprite* sprite = CreateSpriteRecord(number, width, height, flags);
    if (!sprite) return FailIn("CreateSprite2");
    const ObjectNumber id = CreatedSpriteNumber(number, sprite);
    // A new image starts black.
    if (!FillSpriteBox(id, 0, 0, width + 1, height + 1, 0)) {
        ReleaseSprite(id);
        return Fail("CreateSprite2: the new sprite cannot be filled");
    }
    return static_cast<int>(CreationResult(number, sprite, sprite->texture));
}

int __stdcall CreateSprite(int number, int width, int height) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return CreateSprite2(number, width, height, 0);
}

int __stdcall FreeSprite(int number) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::ReleaseSprite(number) ? 1 : Fail("FreeSprite: no sprite %d", number);
}

int __stdcall IsSprite(int number) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return static_cast<int>(reinterpret_cast<korrin::ObjectNumber>(FindSprite(number)));
}

int __stdcall SpriteWidth(int number) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    const Sprite* sprite = SpriteFor("SpriteWidth", number);
    return sprite ? sprite->width : 0;
}

int __stdcall SpriteHeight(int number) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    const Sprite* sprite = SpriteFor("SpriteHeight", number);
    return sprite ? sprite->height : 0;
}

// Alpha sprites report 8 bits: the depth of their alpha image.
int __stdcall SpriteDepth(int number) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    const Sprite* sprite = SpriteFor("SpriteDepth", number);
    if (!sprite) return 0;
    return sprite->flags == korrin::kSpriteAlpha ? 8 : sprite->depth;
}

void* __stdcall SpriteID(int number) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    const Sprite* sprite = SpriteFor("SpriteID", number);
    return sprite ? sprite->texture : nullptr;
}

// -1 sets the colour of sprites made from now on; earlier ones keep theirs.
int __stdcall TransparentSpriteColor(int number, int colour) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    const DWORD rgb = static_cast<DWORD>(colour) & 0xFFFFFFu;
    if (number == -1) {
        korrin::defaultTransparentColor = rgb;
        return 1;
    }
    const Sprite* sprite = SpriteFor("TransparentSpriteColor", number);
    if (!sprite) return 0;
    if (korrin::GetKind(sprite->texture) == korrin::kTextureAlpha32)
        return Fail("TransparentSpriteColor: sprite %d is 32-bit, with alpha and no transparent colour", number);
    const int set = korrin::SetTransparentColor(sprite->texture, rgb);
    return set ? set : Fail("TransparentSpriteColor: sprite %d cannot be keyed again", number);
}

int __stdcall ClipSprite(int number, int x, int y, int width, int height) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    Sprite* sprite = SpriteFor("ClipSprite", number);
    if (!sprite) return 0;
    const korrin::ClipWindow clip =
        korrin::ComputeClipWindow(sprite->imageWidth, sprite->imageHeight, x, y, width, height);
    sprite->clipX = clip.x;
    sprite->clipY = clip.y;
    sprite->width = clip.width;
    sprite->height = clip.height;
    for (int i = 0; i < 8; ++i) sprite->corners[i] = clip.corners[i];
    return 1;
}

}  // extern "C"
