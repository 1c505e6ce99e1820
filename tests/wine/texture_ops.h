// A sprite's texture object as a host program sees it: the public header's
// KorrinTextureObject, whose first field points to the table of 16 stdcall
// operations that hosts call by position.
#pragma once

#include <windows.h>
#include <d3d9.h>

#include <gtest/gtest.h>

#include "host.h"
#include "korrin.h"

inline const KorrinTextureInterface& Ops(const KorrinTextureObject* texture) { return *texture->operations; }

// The texture object of a sprite, through SpriteID.
inline KorrinTextureObject* TextureOf(int sprite) { return host::Call<KorrinTextureObject*>("SpriteID", sprite); }

// Writes a sprite's pixel copy through its texture object: 16-bit words, or
// DWORDs for a 32-bit sprite.
template <class Word = WORD, class F>
inline void Paint(int sprite, int w, int h, F texel) {
    KorrinTextureObject* texture = TextureOf(sprite);
    ASSERT_NE(texture, nullptr);
    void* bits = nullptr;
    int pitch = 0;
    ASSERT_TRUE(Ops(texture).LockPixels(texture, 0, 0, &bits, &pitch));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) reinterpret_cast<Word*>(static_cast<BYTE*>(bits) + y * pitch)[x] = texel(x, y);
    ASSERT_TRUE(Ops(texture).UnlockPixels(texture, 0));
}

