// Sprite records: one per sprite in spriteRegistry, addressed by the host's
// number or by the handle a dynamic creation returned.
#pragma once

#include <windows.h>

#include <cstddef>

#include "frame/ObjectManager.h"
#include "sprites/TextureManager.h"

namespace korrin {

// Creation flags of CreateSprite2 and the import commands, combined by adding.
enum SpriteFlags : int {
    kSpriteVideoMemory = 1,  // texture kind 4 (with the colour-key shader) or 1, else 2
    kSpriteAlpha = 2,        // exactly this value: an alpha sprite (import only)
    kSpriteTextureFlag = 4,  // recorded as the texture object's textureFlag; required by kSprite32Bit
    kSprite32Bit = 8,        // texture kind 3 with per-pixel alpha, depth 32
};

struct Sprite {
    TextureObject* texture;        // pixel storage; never 0 in a live record (marks the slot used)
    int width, height;             // display size: the clip window's size
    int depth;                     // 16, or 32 for sprites created with kSprite32Bit
    int flags;                     // creation flags as given; kSpriteAlpha marks an alpha sprite
    int imageWidth, imageHeight;   // full image size (the texture object's size)
    int clipX, clipY;              // top-left of the clip window inside the image
    float corners[8];              // (u, v) of top-left, top-right, bottom-left, bottom-right
    TextureObject* alphaTexture;   // second, 32-bit texture object of an alpha sprite, or 0
    float scaleU, scaleV;          // texture-coordinate scale used when drawing
    void* solidMask;               // SpritePixelCollision's cached mask of solid pixels (GlobalAlloc), or 0
};
static_assert(sizeof(Sprite) == 84, "sprite records are 84 bytes");
static_assert(offsetof(Sprite, corners) == 36 && offsetof(Sprite, alphaTexture) == 68, "sprite record layout");

// The live sprite under a number or handle, or null.
Sprite* FindSprite(ObjectNumber number);

// Makes a sprite (freeing any sprite under the number first); null on
// failure, which NoteFailure explains.
Sprite* CreateSpriteRecord(ObjectNumber number, int width, int height, int flags);

// Fills x..x+w-1 by y..y+h-1 of the sprite's image with a COLORREF through GDI.
int FillSpriteBox(ObjectNumber number, int x, int y, int width, int height, DWORD colour);

// Frees a sprite's registry slot and its texture objects.
int ReleaseSprite(ObjectNumber number);

// The number a sprite just created under `requested` lives under: its handle
// for -1, else `requested`.
ObjectNumber CreatedSpriteNumber(ObjectNumber requested, const Sprite* sprite);

// What a creating command returns for a record (a sprite, a 3D sprite) made
// under `requested`: the record's handle for -1, else the texture object.
ObjectNumber CreationResult(ObjectNumber requested, const void* record, const TextureObject* texture);

// ForEachObject procedure: frees the sprite a record holds (CloseScreen).
void ReleaseSpriteRecord(ObjectRegistry* registry, void* record);

// Around a device reset: every sprite's texture object gives back, then
// re-creates, what it keeps in the default pool.
void ReleaseSpritesVideoMemory();
void RestoreSpritesVideoMemory();

}  // namespace korrin
