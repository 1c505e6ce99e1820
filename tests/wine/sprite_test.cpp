// Sprites on a windowed screen: creation and its flag rules, the black and
// transparent start, queries, the transparent colour, clip windows, release
// (also by closing the screen) and memory across many create/free cycles.
#include <d3d9.h>

#include <vector>

#include "host.h"
#include "read_back.h"
#include "screen_fixture.h"
#include "texture_ops.h"

using host::Call;
using host::Int;

namespace {

DWORD TransparentColourOf(KorrinTextureObject* texture) { return reinterpret_cast<DWORD*>(texture)[7]; }

// 16-bit words of a sprite's drawable texture, read back through Direct3D.
std::vector<WORD> DrawTexturePixels(KorrinTextureObject* texture, int width, int height) {
    IDirect3DTexture9* drawn = Ops(texture).GetDrawTexture(texture);
    if (!drawn) return {};
    const readback::Picture picture = readback::ReadTexture(Call<IDirect3DDevice9*>("__GetD3DDevice9"), drawn);
    if (picture.width != width || picture.height != height) return {};
    return std::vector<WORD>(picture.pixels.begin(), picture.pixels.end());
}

class Sprites : public WindowedScreenTest<> {};

}  // namespace

TEST_F(Sprites, NewSpriteIsBlackAndTransparentWithDefaults) {
    const int texture = Call<int>("CreateSprite", 0, 32, 32);
    ASSERT_NE(texture, 0);
    EXPECT_EQ(reinterpret_cast<void*>(texture), Call<void*>("SpriteID", 0));
    EXPECT_EQ(Call<int>("SpriteWidth", 0), 32);
    EXPECT_EQ(Call<int>("SpriteHeight", 0), 32);
    EXPECT_EQ(Call<int>("SpriteDepth", 0), 16);
    KorrinTextureObject* object = TextureOf(0);
    EXPECT_EQ(Ops(object).GetKind(object), 2);
    const std::vector<WORD> pixels = DrawTexturePixels(object, 32, 32);
    ASSERT_EQ(pixels.size(), 32u * 32u);
    for (WORD p : pixels) ASSERT_EQ(p, 0) << "black, with the alpha bit clear";
}

TEST_F(Sprites, FlagRulesAndKinds) {
    EXPECT_EQ(Call<int>("CreateSprite2", 1, 32, 32, 8), 0) << "32-bit needs the texture flag 4";
    EXPECT_EQ(Call<int>("CreateSprite2", 1, 32, 32, 2), 0) << "alpha sprites only by import";
    EXPECT_EQ(Call<int>("IsSprite", 1), 0);
    ASSERT_NE(Call<int>("CreateSprite2", 1, 32, 32, 12), 0);
    EXPECT_EQ(Call<int>("SpriteDepth", 1), 32);
    KorrinTextureObject* object = TextureOf(1);
    EXPECT_EQ(Ops(object).GetKind(object), 3);
    ASSERT_NE(Call<int>("CreateSprite2", 2, 20, 10, 1), 0) << "video-memory sprite";
    object = TextureOf(2);
    const int kind = Ops(object).GetKind(object);
    EXPECT_TRUE(kind == 1 || kind == 4) << kind;
    EXPECT_EQ(Call<int>("SpriteDepth", 2), 16);
    EXPECT_EQ(Call<int>("CreateSprite2", 3, 0, 10, 0), 0);
    EXPECT_EQ(Call<int>("CreateSprite2", 3, 10, -1, 0), 0);
    EXPECT_EQ(Call<int>("CreateSprite2", 3, 100000, 100000, 0), 0) << "a size the device refuses";
    EXPECT_EQ(Call<int>("IsSprite", 3), 0);
}

TEST_F(Sprites, DynamicSpritesAreAddressedByTheirHandle) {
    const int handle = Call<int>("CreateSprite2", -1, 16, 16, 0);
    ASSERT_NE(handle, 0);
    EXPECT_EQ(Call<int>("IsSprite", handle), handle);
    EXPECT_EQ(Call<int>("SpriteWidth", handle), 16);
    EXPECT_NE(Call<void*>("SpriteID", handle), nullptr);
    // A handle is no number to create under: refused, and the sprite stays.
    EXPECT_EQ(Call<int>("CreateSprite", handle, 8, 8), 0);
    EXPECT_EQ(Call<int>("SpriteWidth", handle), 16);
    EXPECT_EQ(Call<int>("IsSprite", handle + 1), 0) << "not a record boundary";
    EXPECT_NE(Call<int>("FreeSprite", handle), 0);
    EXPECT_EQ(Call<int>("IsSprite", handle), 0);
    EXPECT_EQ(Call<int>("FreeSprite", handle), 0);
}

TEST_F(Sprites, UnknownNumbersGiveZero) {
    for (int n : {5, -2, -1, 123456}) {
        EXPECT_EQ(Call<int>("IsSprite", n), 0) << n;
        EXPECT_EQ(Call<int>("FreeSprite", n), 0) << n;
        EXPECT_EQ(Call<int>("SpriteWidth", n), 0) << n;
        EXPECT_EQ(Call<int>("SpriteHeight", n), 0) << n;
        EXPECT_EQ(Call<int>("SpriteDepth", n), 0) << n;
        EXPECT_EQ(Call<void*>("SpriteID", n), nullptr) << n;
        EXPECT_EQ(Call<int>("ClipSprite", n, 0, 0, 1, 1), 0) << n;
    }
    EXPECT_EQ(Call<int>("TransparentSpriteColor", 5, 0xFF), 0);
}

TEST_F(Sprites, RecreatingANumberReplacesTheSprite) {
    ASSERT_NE(Call<int>("CreateSprite", 4, 10, 10), 0);
    ASSERT_NE(Call<int>("CreateSprite", 4, 30, 20), 0);
    EXPECT_EQ(Call<int>("SpriteWidth", 4), 30);
    EXPECT_EQ(Call<int>("SpriteHeight", 4), 20);
}

TEST_F(Sprites, ClipWindowSetsTheDisplaySize) {
    ASSERT_NE(Call<int>("CreateSprite", 5, 64, 32), 0);
    EXPECT_EQ(Call<int>("ClipSprite", 5, 16, 8, 32, 16), 1);
    EXPECT_EQ(Call<int>("SpriteWidth", 5), 32);
    EXPECT_EQ(Call<int>("SpriteHeight", 5), 16);
    EXPECT_EQ(Call<int>("ClipSprite", 5, 60, 40, 10, 10), 1);
    EXPECT_EQ(Call<int>("SpriteWidth", 5), 4);
    EXPECT_EQ(Call<int>("SpriteHeight", 5), 0);
    EXPECT_EQ(Call<int>("ClipSprite", 5, 0, 0, -1, -1), 1);
    EXPECT_EQ(Call<int>("SpriteWidth", 5), 64);
    EXPECT_EQ(Call<int>("SpriteHeight", 5), 32);
}

TEST_F(Sprites, TransparentColoursDefaultAndPerSprite) {
    ASSERT_NE(Call<int>("CreateSprite", 6, 8, 8), 0);
    EXPECT_EQ(Call<int>("TransparentSpriteColor", -1, static_cast<int>(0xAB0000FFu)), 1);
    ASSERT_NE(Call<int>("CreateSprite", 7, 8, 8), 0);
    EXPECT_EQ(TransparentColourOf(TextureOf(7)), 0x0000FFu) << "only the low 24 bits";
    EXPECT_EQ(TransparentColourOf(TextureOf(6)), 0u) << "earlier sprites keep theirs";
    // Red is the key now: the black sprite 7 is opaque, sprite 6 still transparent.
    for (WORD p : DrawTexturePixels(TextureOf(7), 8, 8)) ASSERT_EQ(p, 0x8000);
    for (WORD p : DrawTexturePixels(TextureOf(6), 8, 8)) ASSERT_EQ(p, 0x0000);
    // Re-keying one sprite at once: black becomes the key of sprite 7 again.
    EXPECT_NE(Call<int>("TransparentSpriteColor", 7, 0), 0);
    for (WORD p : DrawTexturePixels(TextureOf(7), 8, 8)) ASSERT_EQ(p, 0x0000);
    // A 32-bit sprite has no colour key.
    ASSERT_NE(Call<int>("CreateSprite2", 8, 8, 8, 12), 0);
    EXPECT_EQ(Call<int>("TransparentSpriteColor", 8, 0xFF), 0);
}

TEST_F(Sprites, ClosingTheScreenFreesEverySprite) {
    ASSERT_NE(Call<int>("CreateSprite", 9, 8, 8), 0);
    const int handle = Call<int>("CreateSprite2", -1, 8, 8, 0);
    ASSERT_NE(handle, 0);
    Int("CloseScreen");
    EXPECT_EQ(Call<int>("IsSprite", 9), 0);
    EXPECT_EQ(Call<int>("IsSprite", handle), 0);
    EXPECT_EQ(Call<int>("CreateSprite", 9, 8, 8), 0) << "no screen, no sprite";
    ASSERT_NE(Call<void*>("OpenWindowedScreen", static_cast<void*>(window_), 0, 0, 256, 192, 0, 0, 0), nullptr);
    EXPECT_NE(Call<int>("CreateSprite", 9, 8, 8), 0) << "an old number works again";
}

TEST_F(Sprites, ManyCreateFreeCyclesDoNotGrowMemory) {
    auto privateBytes = host::CommittedBytes;
    auto cycle = [](int count) {
        for (int i = 0; i < count; ++i) {
            const int flags[] = {0, 1, 12};
            for (int f : flags) {
                ASSERT_NE(Call<int>("CreateSprite2", 10, 64, 64, f), 0);
                ASSERT_NE(Call<int>("FreeSprite", 10), 0);
                const int handle = Call<int>("CreateSprite2", -1, 32, 32, f);
                ASSERT_NE(handle, 0);
                ASSERT_NE(Call<int>("FreeSprite", handle), 0);
            }
        }
    };
    cycle(50);  // warm up allocators and caches
    const SIZE_T before = privateBytes();
    cycle(1000 / 3);
    const SIZE_T after = privateBytes();
    EXPECT_LT(after, before + 4 * 1024 * 1024) << "grew from " << before << " to " << after;
}
