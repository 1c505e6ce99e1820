// Sprite records: creation with a choice of texture kind, the initial black
// fill through GDI, release, and the walks a device reset needs.
#include "sprites/Sprite.h"

#include "frame/ErrorPosition.h"
#include "frame/LastError.h"
#include "frame/globals.h"

namespace korrin {

namespace {

// The number under which a record lives: its handle when it sits in a dynamic
// block, else its index in the numbered array.
ObjectNumber NumberOfRecord(ObjectRegistry* registry, void* record) {
    const ObjectNumber handle = reinterpret_cast<ObjectNumber>(record);
    if (GetObject(registry, handle) == record) return handle;
    const auto offset = static_cast<unsigned char*>(record) - registry->numbered;
    return static_cast<ObjectNumber>(offset / registry->recordSize);
}

// The texture object for a sprite of these flags: video-memory sprites try a
// render-target texture first (when the colour-key shader can key it), then
// kind 1, then the managed kind 2.
TextureObject* MakeTexture(int width, int height, int flags) {
    int kind = (flags & kSpriteVideoMemory) ? kTextureVideo16 : kTextureManaged16;
    if (flags & kSprite32Bit) {
        if (!(flags & kSpriteTextureFlag)) return nullptr;
        kind = kTextureAlpha32;
    }
    const int textureFlag = (flags & kSpriteTextureFlag) ? 1 : 0;
    TextureObject* texture = nullptr;
    if (colourKeyShaderAvailable && kind == kTextureVideo16)
        texture = CreateTexture(device, width, height, kTextureRenderTarget, textureFlag);
    if (!texture) texture = CreateTexture(device, width, height, kind, textureFlag);
    if (!texture && kind == kTextureVideo16)
        texture = CreateTexture(device, width, height, kTextureManaged16, textureFlag);
    return texture;
}

}  // namespace

Sprite* FindSprite(ObjectNumber number) {
    return spriteRegistry ? static_cast<Sprite*>(GetObject(spriteRegistry, number)) : nullptr;
}

Sprite* CreateSpriteRecord(ObjectNumber number, int width, int height, int flags) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    if (!spriteRegistry || !device) {
        NoteFailure("no screen is open");
        return nullptr;
    }
    if (width < 1 || height < 1) {
        NoteFailure("a size of %dx%d", width, height);
        return nullptr;
    }
    // A new sprite takes a number of the host's choice or -1; a handle is not
    // a number to create under (the numbered array would have to grow to the
    // handle's address), so it is refused before anything changes.
    if (number < -1 || IsDynamicHandle(spriteRegistry, number)) {
        NoteFailure("%ld is not a number to create a sprite under", static_cast<long>(number));
        return nullptr;
    }
    TextureObject* texture = MakeTexture(width, height, flags);
    if (!texture) {
        if ((flags & kSprite32Bit) && !(flags & kSpriteTextureFlag))
            NoteFailure("flags %d: a 32-bit sprite (8) needs flags 4 too", flags);
        else
            NoteFailure("the device refused a %dx%d texture", width, height);
        return nullptr;
    }
    if (FindSprite(number)) ReleaseSprite(number);
    auto* sprite = static_cast<Sprite*>(AllocateObject(spriteRegistry, number));
    if (!sprite) {
        FreeTexture(texture);
        NoteFailure("out of memory for sprite %ld", static_cast<long>(number));
        return nullptr;
    }
    sprite->texture = texture;
    sprite->width = sprite->imageWidth = width;
    sprite->height = sprite->imageHeight = height;
    sprite->flags = flags;
    sprite->depth = GetKind(texture) == kTextureAlpha32 ? 32 : 16;
    sprite->clipX = sprite->clipY = 0;
    const float corners[8] = {0, 0, 1, 0, 0, 1, 1, 1};
    for (int i = 0; i < 8; ++i) sprite->corners[i] = corners[i];
    sprite->scaleU = sprite->scaleV = 1.0f;
    sprite->alphaTexture = nullptr;
    SetTransparentColor(texture, defaultTransparentColor);
    return sprite;
}

int FillSpriteBox(ObjectNumber number, int x, int y, int width, int height, DWORD colour) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    Sprite* sprite = FindSprite(number);
    if (!sprite) return 0;
    HDC dc = OpenDC(sprite->texture);
    if (!dc) return 0;
    HBRUSH brush = CreateSolidBrush(colour);
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
    HGDIOBJ oldBrush = brush ? SelectObject(dc, brush) : nullptr;
    // With the null pen, Rectangle fills x..x+w-1 by y..y+h-1.
    const bool filled = brush && oldBrush && Rectangle(dc, x, y, x + width, y + height);
    if (oldBrush) SelectObject(dc, oldBrush);
    if (oldPen) SelectObject(dc, oldPen);
    if (brush) DeleteObject(brush);
    if (!filled) {
        CloseDC(sprite->texture, 1);
        return 0;
    }
    return CloseDC(sprite->texture, 0) ? 1 : 0;
}

namespace {

// Frees `sprite`, which lives under `number`: its registry slot first, then
// its texture objects (the slot is what marks the sprite alive).
int FreeSpriteRecord(ObjectRegistry* registry, ObjectNumber number, Sprite* sprite) {
    TextureObject* texture = sprite->texture;
    TextureObject* alphaTexture = sprite->alphaTexture;
    void* solidMask = sprite->solidMask;
    const int freed = FreeObject(registry, number);
    if (solidMask) GlobalFree(solidMask);
    if (texture) FreeTexture(texture);
    if (alphaTexture) FreeTexture(alphaTexture);
    return freed;
}

}  // namespace

int ReleaseSprite(ObjectNumber number) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    Sprite* sprite = FindSprite(number);
    return sprite ? FreeSpriteRecord(spriteRegistry, number, sprite) : 0;
}

void ReleaseSpriteRecord(ObjectRegistry* registry, void* record) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    FreeSpriteRecord(registry, NumberOfRecord(registry, record), static_cast<Sprite*>(record));
}

ObjectNumber CreatedSpriteNumber(ObjectNumber requested, const Sprite* sprite) {
    return requested == -1 ? reinterpret_cast<ObjectNumber>(sprite) : requested;
}

ObjectNumber CreationResult(ObjectNumber requested, const void* record, const TextureObject* texture) {
    return requested == -1 ? reinterpret_cast<ObjectNumber>(record) : reinterpret_cast<ObjectNumber>(texture);
}

namespace {
void ReleaseOne(ObjectRegistry*, void* record) { ReleaseVideoMemory(static_cast<Sprite*>(record)->texture); }
void RestoreOne(ObjectRegistry*, void* record) { RestoreVideoMemory(static_cast<Sprite*>(record)->texture); }
}  // namespace

void ReleaseSpritesVideoMemory() {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    ForEachObject(spriteRegistry, ReleaseOne);
}

void RestoreSpritesVideoMemory() {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    ForEachObject(spriteRegistry, RestoreOne);
}

}  // namespace korrin
