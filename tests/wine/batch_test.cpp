// Batched drawing, seen only through what a host can see: pixels read back
// through GrabSprite2 and a sprite's drawing output (which draw what is
// queued), never through the device until a test asks for it. Queued quads
// reach the target in command order, before the host's own device calls,
// before a texture they show changes, and into the target they were drawn
// for; and a scene drawn batched is the same, pixel for pixel, as the scene
// drawn with every sprite at once (as the library draws once the host has
// asked for the device).
#include <d3d9.h>

#include <cstdio>
#include <vector>

#include "host.h"
#include "read_back.h"
#include "screen_fixture.h"
#include "texture_ops.h"

using host::Call;
using host::Int;

namespace {

constexpr int kWidth = 160, kHeight = 120;
constexpr int kGrab = 90;  // the sprite the back buffer is grabbed into

// A sprite's pixels read through its texture object (32 bits wide, or the 16-bit word).
std::vector<DWORD> Pixels(int sprite, int w, int h, bool wide) {
    std::vector<DWORD> pixels;
    KorrinTextureObject* texture = TextureOf(sprite);
    void* bits = nullptr;
    int pitch = 0;
    if (!texture || !Ops(texture).LockPixels(texture, 1, 0, &bits, &pitch)) {
        ADD_FAILURE() << "sprite " << sprite << " cannot be read";
        return pixels;
    }
    for (int y = 0; y < h; ++y) {
        const BYTE* row = static_cast<const BYTE*>(bits) + y * pitch;
        for (int x = 0; x < w; ++x)
            pixels.push_back(wide ? reinterpret_cast<const DWORD*>(row)[x] & 0xFFFFFF
                                  : reinterpret_cast<const WORD*>(row)[x]);
    }
    Ops(texture).UnlockPixels(texture, 1);
    return pixels;
}

class Batch : public WindowedScreenTest<kWidth, kHeight> {
protected:
    void SetUp() override {
        WindowedScreenTest::SetUp();
        // Sprites 1 and 2: 16-bit images of their own; 3: 32-bit; 4: a 3D sprite of 3.
        ASSERT_NE(Call<int>("CreateSprite2", 1, 24, 16, 0), 0);
        ASSERT_NE(Call<int>("CreateSprite2", 2, 16, 16, 1), 0);
        ASSERT_NE(Call<int>("CreateSprite2", 3, 32, 32, 12), 0);
        Paint(1, 24, 16, [](int x, int y) { return static_cast<WORD>((x + y) % 5 ? 0x4000 | x * 33 | y << 10 : 0); });
        Paint(2, 16, 16, [](int x, int y) { return static_cast<WORD>(0x7C00 | (x * 2) << 5 | y); });
        Paint(3, 32, 32, [](int x, int y) {
            return static_cast<DWORD>((x * 8) << 24 | (x * 7) << 16 | (y * 8) << 8 | ((x ^ y) * 8 & 0xFF));
        });
        ASSERT_NE(Call<int>("InitSprite3D"), 0);
        ASSERT_NE(Call<int>("CreateSprite3D", 4, 3), 0);
        ASSERT_EQ(Call<int>("ClearScreen", 0x604020), 1);
    }

    // The back buffer, grabbed into a 32-bit sprite and read through it.
    std::vector<DWORD> Screen() {
        EXPECT_NE(Call<int>("GrabSprite2", kGrab, 0, 0, kWidth, kHeight, 12), 0);
        return Pixels(kGrab, kWidth, kHeight, true);
    }

    // A scene of every batching path: runs of one sprite, changes of
    // texture and mode, clipping at the edges, rotated and perspective 3D
    // sprites with bilinear filtering. The 3D sprite is made again first, so
    // that every scene starts from the same shape.
    void Scene() {
        EXPECT_NE(Call<int>("CreateSprite3D", 4, 3), 0);
        for (int i = 0; i < 12; ++i) {
            EXPECT_EQ(Call<int>("DisplaySprite", 1, i * 13 - 8, i * 7 - 4), 0);
            EXPECT_EQ(Call<int>("DisplayTransparentSprite", 2, 150 - i * 11, i * 9), 0);
        }
        for (int i = 0; i < 6; ++i) {
            Call<int>("DisplayTranslucentSprite", 1, i * 20, 60 + i * 3, 40 * i);
            Call<int>("DisplayShadowSprite", 2, i * 25 + 5, 90);
            Call<int>("DisplaySolidSprite", 1, i * 25, 100, 0x0040A0F0);
        }
        EXPECT_EQ(Call<int>("Start3D"), 1);
        Call<int>("Sprite3DQuality", 1);
        for (int i = 0; i < 8; ++i) {
            Call<int>("ZoomSprite3D", 4, 20 + i * 3, 30 - i);
            Call<int>("RotateSprite3D", 4, i * 23, 0);
            EXPECT_EQ(Call<int>("DisplaySprite3D2", 4, i * 19, 20 + i * 5, 255 - i * 20), 0);
        }
        Call<int, int, float, float, float, float, float, float, float, float, float, float, float, float>(
            "TransformSprite3D2", 4, 10.f, 10.f, 1.f, 70.f, 5.f, 3.f, 20.f, 60.f, 1.f, 90.f, 70.f, 2.5f);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(Call<int>("DisplaySprite3D2", 4, i * 30, i * 8, 200), 0);
        EXPECT_EQ(Call<int>("Stop3D"), 1);
    }
};

TEST_F(Batch, TheBatchedPictureIsTheUnbatchedOnePixelForPixel) {
    Scene();
    const std::vector<DWORD> batched = Screen();

    // The host asks for the device: from now on every sprite is drawn at once.
    ASSERT_NE(Call<void*>("__GetD3DDevice9"), nullptr);
    ASSERT_EQ(Call<int>("ClearScreen", 0x604020), 1);
    Scene();
    const std::vector<DWORD> unbatched = Screen();
    ASSERT_EQ(batched.size(), unbatched.size());
    int differing = 0;
    for (size_t i = 0; i < batched.size(); ++i) {
        if (batched[i] != unbatched[i] && differing < 12)
            std::printf("(%d,%d) %06lx %06lx\n", int(i % kWidth), int(i / kWidth), batched[i], unbatched[i]);
        differing += batched[i] != unbatched[i];
    }
    EXPECT_EQ(differing, 0);
}

// The same scene drawn into a sprite, read through the sprite's drawing
// output: the target switch draws the queue into the sprite, not the screen.
TEST_F(Batch, ASceneDrawnIntoASpriteIsTheUnbatchedOne) {
    ASSERT_NE(Call<int>("CreateSprite2", 5, kWidth, kHeight, 0), 0);
    auto render = [&] {
        EXPECT_EQ(Call<int>("UseBuffer", 5), 1);
        EXPECT_EQ(Call<int>("ClearScreen", 0x604020), 1);
        Scene();
        EXPECT_EQ(Call<int>("UseBuffer", -1), 1);
        std::vector<DWORD> pixels;
        auto* out = static_cast<KorrinDrawingOutput*>(Call<void*>("SpriteOutput", 5));
        if (!out) {
            ADD_FAILURE() << "no output";
            return pixels;
        }
        const BYTE* bits = static_cast<const BYTE*>(out->getBuffer ? out->getBuffer() : out->buffer);
        for (int y = 0; bits && y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                pixels.push_back(reinterpret_cast<const WORD*>(bits + y * out->pitch)[x] & 0x7FFF);
        out->release();
        return pixels;
    };
    const std::vector<DWORD> batched = render();
    ASSERT_NE(Call<void*>("__GetD3DDevice9"), nullptr);
    EXPECT_EQ(render(), batched);
}

// Each queued sprite must reach the back buffer before what follows it: a
// host's own Clear, a change of the texture it shows, a switch of target,
// and the freeing of its sprite.
TEST_F(Batch, QueuedSpritesComeBeforeWhatFollows) {
    const std::vector<DWORD> background = Screen();
    ASSERT_EQ(Call<int>("ClearScreen", 0x604020), 1);
    ASSERT_EQ(Call<int>("DisplaySprite", 2, 0, 0), 0);
    const std::vector<DWORD> shown = Screen();  // sprite 2 at (0, 0), of its first image
    ASSERT_NE(shown, background);

    struct Case {
        const char* what;
        void (*after)();        // done after sprite 2 was displayed at (0, 0)
        bool spriteStays;       // the back buffer then shows sprite 2 as first painted
    };
    const Case cases[] = {
        {"a change of the sprite's pixels", [] { Paint(2, 16, 16, [](int, int) { return WORD{0x001F}; }); }, true},
        {"a switch of target", [] { Call<int>("UseBuffer", 1); Call<int>("UseBuffer", -1); }, true},
        {"the freeing of the sprite", [] { Call<int>("FreeSprite", 2); }, true},
        {"the host's own Clear",
         [] {
             auto* device = static_cast<IDirect3DDevice9*>(Call<void*>("__GetD3DDevice9"));
             device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00204060, 0.0f, 0);
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NE(Call<int>("CreateSprite2", 2, 16, 16, 1), 0);
        Paint(2, 16, 16, [](int x, int y) { return static_cast<WORD>(0x7C00 | (x * 2) << 5 | y); });
        ASSERT_EQ(Call<int>("ClearScreen", 0x604020), 1);
        ASSERT_EQ(Call<int>("DisplaySprite", 2, 0, 0), 0);
        c.after();
        EXPECT_EQ(Screen() == shown, c.spriteStays);
        if (!c.spriteStays) {
            EXPECT_EQ(Screen(), background);
        }
    }
}

}  // namespace
