// A sprite's texture object as a host program sees it: the public header's
// KorrinTextureObject, whose first field points to the table of 16 stdcall
// operations that hosts call by position.
#pragma once

#include <windows.h>
#include <d3d9.h>

#include "host.h"
#include "korrin.h"

inline const KorrinTextureInterface& Ops(const KorrinTextureObject* texture) { return *texture->operations; }

// The texture object of a sprite, through SpriteID.
inline KorrinTextureObject* TextureOf(int sprite) { return host::Call<KorrinTextureObject*>("SpriteID", sprite); }

// Writes texel(x, y) into the first w by h pixels of a texture object's pixel
// copy through a write lock: DWORDs for a 32-bit sprite, 16-bit words
// otherwise; false when the copy cannot be locked or unlocked.
template <class F>
bool PaintTexture(KorrinTextureObject* texture, int w, int h, F texel) {
    void* bits = nullptr;
    int pitch = 0;
    if (!Ops(texture).LockPixels(texture, 0, 0, &bits, &pitch)) return false;
    const bool wide = Ops(texture).GetBitsPerPixel(texture) == 32;
    for (int y = 0; y < h; ++y) {
        BYTE* row = static_cast<BYTE*>(bits) + y * pitch;
        for (int x = 0; x < w; ++x) {
            if (wide)
                reinterpret_cast<DWORD*>(row)[x] = static_cast<DWORD>(texel(x, y));
            else
                reinterpret_cast<WORD*>(row)[x] = static_cast<WORD>(texel(x, y));
        }
    }
    return Ops(texture).UnlockPixels(texture, 0) != 0;
}

// The same for a numbered sprite; a sprite without a texture object, or one
// that cannot be written, fails the test.
template <class F>
void Paint(int sprite, int w, int h, F texel) {
    KorrinTextureObject* texture = TextureOf(sprite);
    ASSERT_NE(texture, nullptr);
    ASSERT_TRUE(PaintTexture(texture, w, h, texel));
}
