// Sprite commands: creation, release, queries, transparent colour and clip
// window. Sprites need an open screen: their textures belong to its device.
#include "frame/ErrorPosition.h"
#include "frame/globals.h"
#include "korrin.h"
#include "sprites/ClipWindow.h"
#include "sprites/Sprite.h"

using korrin::FindSprite;
using korrin::Sprite;

extern "C" {

int __stdcall CreateSprite2(int number, int width, int height, int flags) noexcept {
    using namespace korrin;
    RECORD_POSITION(MODULE_MAIN);
    if (width < 1 || height < 1 || flags == kSpriteAlpha) return 0;
    Sprite* sprite = CreateSpriteRecord(number, width, height, flags);
    if (!sprite) return 0;
    const ObjectNumber id = CreatedSpriteNumber(number, sprite);
    // A new image starts black.
    if (!FillSpriteBox(id, 0, 0, width + 1, height + 1, 0)) {
        ReleaseSprite(id);
        return 0;
    }
    return static_cast<int>(CreationResult(number, sprite, sprite->texture));
}

int __stdcall CreateSprite(int number, int width, int height) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return CreateSprite2(number, width, height, 0);
}

int __stdcall FreeSprite(int number) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::ReleaseSprite(number);
}

int __stdcall IsSprite(int number) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return static_cast<int>(reinterpret_cast<korrin::ObjectNumber>(FindSprite(number)));
}

int __stdcall SpriteWidth(int number) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    const Sprite* sprite = FindSprite(number);
    return sprite ? sprite->width : 0;
}

int __stdcall SpriteHeight(int number) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    const Sprite* sprite = FindSprite(number);
    return sprite ? sprite->height : 0;
}

// Alpha sprites report 8 bits: the depth of their alpha image.
int __stdcall SpriteDepth(int number) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    const Sprite* sprite = FindSprite(number);
    if (!sprite) return 0;
    return sprite->flags == korrin::kSpriteAlpha ? 8 : sprite->depth;
}

void* __stdcall SpriteID(int number) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    const Sprite* sprite = FindSprite(number);
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
    const Sprite* sprite = FindSprite(number);
    return sprite ? korrin::SetTransparentColor(sprite->texture, rgb) : 0;
}

int __stdcall ClipSprite(int number, int x, int y, int width, int height) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    Sprite* sprite = FindSprite(number);
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
