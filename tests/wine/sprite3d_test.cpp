// 3D sprites on a windowed screen, checked in the back buffer: the unshaped
// quad at 1:1, a quarter turn, alpha blending, sprites whose source is gone,
// and the commands' refusals.
#include <d3d9.h>
#include <wrl/client.h>

#include <cstdlib>
#include <vector>

#include "host.h"
#include "read_back.h"
#include "screen_fixture.h"
#include "texture_ops.h"

using host::Call;
using host::Int;
using Microsoft::WRL::ComPtr;

namespace {

constexpr int kW = 64, kH = 32;            // the source sprite
constexpr DWORD kBackground = 0x00102030;  // Direct3D order
constexpr int kBackgroundHost = 0x00302010;  // the same colour, red low

// Every row and every column of the image differs.
DWORD Texel32(int x, int y) { return 0xFF000000u | (static_cast<DWORD>(x * 4) << 16) | (y * 8 << 8) | 0x40; }

// The back buffer as 0x00RRGGBB words, row by row.
// The back buffer of the library's device (X8R8G8B8 or A8R8G8B8).
struct Frame : readback::Picture {
    DWORD At(int x, int y) const { return readback::Picture::At(x, y) & 0xFFFFFF; }
};

Frame ReadBackBuffer() {
    Frame frame;
    static_cast<readback::Picture&>(frame) = readback::ReadBackBuffer(Call<IDirect3DDevice9*>("__GetD3DDevice9"));
    EXPECT_TRUE(readback::Wide(frame.format)) << frame.format;
    return frame;
}

bool Near(DWORD a, DWORD b, int tolerance) {
    for (int shift = 0; shift < 24; shift += 8) {
        const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        if (std::abs(d) > tolerance) return false;
    }
    return true;
}

// Pixels of the frame that are not the background.
int DrawnPixels(const Frame& frame) {
    int drawn = 0;
    for (DWORD p : frame.pixels) drawn += (p & 0xFFFFFF) != kBackground;
    return drawn;
}

class Sprite3DTest : public WindowedScreenTest<> {
protected:
    void SetUp() override {
        WindowedScreenTest<>::SetUp();
        ASSERT_EQ(Int("InitSprite3D"), 1);
        ASSERT_NE(Call<int>("CreateSprite2", 0, kW, kH, 12), 0);
        ASSERT_NO_FATAL_FAILURE(Paint(0, kW, kH, Texel32));
        ASSERT_EQ(Call<int>("ClearScreen", kBackgroundHost), 1);
    }
};

}  // namespace

TEST(Sprite3DWithoutRegistry, EverythingIsRefused) {
    Int("Sprite_End");
    EXPECT_EQ(Call<int>("IsSprite3D", 0), 0);
    EXPECT_EQ(Call<int>("CreateSprite3D", 0, 0), 0);
    EXPECT_EQ(Call<int>("FreeSprite3D", 0), 0);
    EXPECT_EQ(Call<int>("ZoomSprite3D", 0, 10, 10), 0);
    EXPECT_EQ(Call<int>("RotateSprite3D", 0, 10, 0), 0);
    EXPECT_EQ(Call<int>("TransformSprite3D", 0, 0.f, 0.f, 1.f, 0.f, 0.f, 1.f, 1.f, 1.f), 0);
    EXPECT_EQ(Call<int>("DisplaySprite3D", 0, 0, 0), 0);
    EXPECT_EQ(Int("Start3D"), 0) << "no screen";
    EXPECT_EQ(Int("Stop3D"), 0);
    EXPECT_EQ(Call<int>("Sprite3DQuality", 1), 0);
    EXPECT_EQ(Call<int>("Sprite3DBlendingMode", 2, 2), 0) << "no device";
    EXPECT_EQ(Int("InitSprite3D"), 1);
    EXPECT_EQ(Int("InitSprite3D"), 1) << "a second registry replaces the first";
    Int("Sprite_End");
}

TEST_F(Sprite3DTest, UnshapedQuadShowsTheImageAtOneToOne) {
    ASSERT_NE(Call<int>("CreateSprite3D", 1, 0), 0);
    ASSERT_EQ(Int("Start3D"), 1);
    ASSERT_EQ(Int("Start3D"), 1) << "a second Start3D in the frame";
    EXPECT_EQ(Call<int>("DisplaySprite3D", 1, 100, 50), 0);
    EXPECT_EQ(Int("Stop3D"), 1);
    const Frame frame = ReadBackBuffer();
    ASSERT_EQ(frame.width, 256);
    int wrong = 0;
    for (int y = 49; y <= 82; ++y)
        for (int x = 99; x <= 164; ++x) {
            const bool inside = x >= 100 && x <= 163 && y >= 50 && y <= 81;
            const DWORD want = inside ? Texel32(x - 100, y - 50) & 0xFFFFFF : kBackground;
            if (!Near(frame.At(x, y), want, 1) && wrong++ < 5)
                ADD_FAILURE() << "(" << x << "," << y << ") " << std::hex << frame.At(x, y) << " want " << want;
        }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(DrawnPixels(frame), kW * kH) << "nothing outside the quad";
}

TEST_F(Sprite3DTest, HandlesNumbersAndShapes) {
    const int handle = Call<int>("CreateSprite3D", -1, 0);
    ASSERT_NE(handle, 0);
    EXPECT_EQ(Call<int>("IsSprite3D", handle), handle);
    const int shared = Call<int>("CreateSprite3D", 2, 0);
    EXPECT_EQ(reinterpret_cast<void*>(shared), Call<void*>("SpriteID", 0)) << "a fixed number gives the texture";
    EXPECT_NE(Call<int>("IsSprite3D", 2), 0);
    EXPECT_EQ(Call<int>("CreateSprite3D", 3, 7), 0) << "no sprite 7";
    EXPECT_EQ(Call<int>("IsSprite3D", 3), 0);
    EXPECT_EQ(Call<int>("TransformSprite3D2", 2, 0.f, 0.f, 0.f, 1.f, 0.f, 1.f, 0.f, 1.f, 1.f, 1.f, 1.f, 1.f), 0)
        << "a depth of 0 is refused";
    EXPECT_EQ(Call<int>("TransformSprite3D2", 2, 0.f, 0.f, 2.f, 1.f, 0.f, 2.f, 0.f, 1.f, 2.f, 1.f, 1.f, 2.f), 1);
    for (int n : {9, -2, handle + 4}) {
        EXPECT_EQ(Call<int>("ZoomSprite3D", n, 5, 5), 0) << n;
        EXPECT_EQ(Call<int>("RotateSprite3D", n, 5, 0), 0) << n;
        EXPECT_EQ(Call<int>("DisplaySprite3D2", n, 0, 0, 255), 0) << n;
        EXPECT_EQ(Call<int>("FreeSprite3D", n), 0) << n;
    }
    EXPECT_EQ(Call<int>("FreeSprite3D", handle), 1);
    EXPECT_EQ(Call<int>("FreeSprite3D", handle), 0);
    EXPECT_EQ(Call<int>("FreeSprite3D", 2), 1);
    EXPECT_EQ(Call<int>("IsSprite", 0) != 0, true) << "the source sprite stays";
    // Quality: the same value twice is accepted.
    EXPECT_EQ(Call<int>("Sprite3DQuality", 1), 1);
    EXPECT_EQ(Call<int>("Sprite3DQuality", 1), 1);
    EXPECT_EQ(Call<int>("Sprite3DQuality", 0), 1);
}

// A quarter turn clockwise about the quad's centre (132, 66): texel (tx, ty)
// lands on pixel (147 - ty, 34 + tx).
TEST_F(Sprite3DTest, QuarterTurnIsClockwiseAboutTheCentre) {
    ASSERT_NE(Call<int>("CreateSprite3D", 1, 0), 0);
    ASSERT_EQ(Call<int>("RotateSprite3D", 1, 45, 0), 1);
    ASSERT_EQ(Call<int>("RotateSprite3D", 1, 45, 1), 1);
    ASSERT_EQ(Int("Start3D"), 1);
    EXPECT_EQ(Call<int>("DisplaySprite3D", 1, 100, 50), 0);
    Int("Stop3D");
    const Frame frame = ReadBackBuffer();
    ASSERT_EQ(frame.width, 256);
    EXPECT_TRUE(Near(frame.At(147, 34), Texel32(0, 0) & 0xFFFFFF, 1)) << "the top-left texel at the top right";
    int wrong = 0;
    for (int ty = 0; ty < kH; ++ty)
        for (int tx = 0; tx < kW; ++tx) wrong += !Near(frame.At(147 - ty, 34 + tx), Texel32(tx, ty) & 0xFFFFFF, 1);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(DrawnPixels(frame), kW * kH);
}

TEST_F(Sprite3DTest, AlphaBlendsOverTheBackground) {
    ASSERT_NE(Call<int>("CreateSprite3D", 1, 0), 0);
    ASSERT_EQ(Int("Start3D"), 1);
    EXPECT_EQ(Call<int>("DisplaySprite3D2", 1, 100, 50, 128), 0);
    EXPECT_EQ(Call<int>("DisplaySprite3D2", 1, 0, 0, 256), 0) << "only the low 8 bits: invisible";
    Int("Stop3D");
    const Frame frame = ReadBackBuffer();
    ASSERT_EQ(frame.width, 256);
    int wrong = 0;
    for (int ty = 0; ty < kH; ++ty)
        for (int tx = 0; tx < kW; ++tx) {
            DWORD want = 0;
            for (int shift = 0; shift < 24; shift += 8) {
                const int s = (Texel32(tx, ty) >> shift) & 0xFF, d = (kBackground >> shift) & 0xFF;
                want |= static_cast<DWORD>((s * 128 + d * 127 + 127) / 255) << shift;
            }
            wrong += !Near(frame.At(100 + tx, 50 + ty), want, 3);
        }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(DrawnPixels(frame), kW * kH) << "alpha 256 drew nothing";
}

TEST_F(Sprite3DTest, AdditiveBlending) {
    ASSERT_NE(Call<int>("CreateSprite3D", 1, 0), 0);
    ASSERT_EQ(Call<int>("Sprite3DBlendingMode", 2, 2), 1);
    ASSERT_EQ(Int("Start3D"), 1);
    EXPECT_EQ(Call<int>("DisplaySprite3D", 1, 100, 50), 0);
    Int("Stop3D");
    ASSERT_EQ(Call<int>("Sprite3DBlendingMode", 5, 6), 1);
    const Frame frame = ReadBackBuffer();
    ASSERT_EQ(frame.width, 256);
    const DWORD texel = Texel32(10, 3) & 0xFFFFFF;
    DWORD sum = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const DWORD c = ((texel >> shift) & 0xFF) + ((kBackground >> shift) & 0xFF);
        sum |= (c > 255 ? 255 : c) << shift;
    }
    EXPECT_TRUE(Near(frame.At(110, 53), sum, 1)) << std::hex << frame.At(110, 53) << " want " << sum;
}

// The freed sprite's texture is gone: its 3D sprite must not draw it.
TEST_F(Sprite3DTest, SourceGoneDrawsNothing) {
    ASSERT_NE(Call<int>("CreateSprite3D", 1, 0), 0);
    ASSERT_NE(Call<int>("CreateSprite2", 5, kW, kH, 12), 0);
    ASSERT_NE(Call<int>("CreateSprite3D", 2, 5), 0);
    ASSERT_NE(Call<int>("FreeSprite", 0), 0);
    ASSERT_EQ(Int("Start3D"), 1);
    EXPECT_EQ(Call<int>("DisplaySprite3D", 1, 100, 50), 0);
    Int("Stop3D");
    EXPECT_NE(Call<int>("IsSprite3D", 1), 0) << "the 3D sprite itself stays";
    EXPECT_EQ(DrawnPixels(ReadBackBuffer()), 0);

    // Closing the screen frees every sprite: 3D sprites made before stay dark.
    Int("CloseScreen");
    ASSERT_NE(Call<void*>("OpenWindowedScreen", static_cast<void*>(window_), 0, 0, 256, 192, 0, 0, 0), nullptr);
    ASSERT_EQ(Call<int>("ClearScreen", kBackgroundHost), 1);
    ASSERT_EQ(Int("Start3D"), 1);
    EXPECT_EQ(Call<int>("DisplaySprite3D", 2, 100, 50), 0);
    EXPECT_EQ(Call<int>("DisplaySprite3D", 1, 10, 10), 0);
    Int("Stop3D");
    EXPECT_EQ(DrawnPixels(ReadBackBuffer()), 0);
    EXPECT_EQ(Call<int>("FreeSprite3D", 2), 1);
}
