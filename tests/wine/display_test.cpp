// DisplaySprite and DisplayTransparentSprite on a windowed screen, checked by
// reading the back buffer: texels map to pixels exactly (every row and column
// of the test image differs), clipping at each edge shows the right image
// columns and rows, a clip window combines with target clipping, the
// transparent colour is drawn by DisplaySprite and left out by
// DisplayTransparentSprite (by the alpha bit, or by the colour-key shader for
// render-target sprites), and a run of sprites sets the cached states once.
#include <d3d9.h>
#include <wrl/client.h>

#include <vector>

#include "host.h"
#include "method_slots.h"
#include "read_back.h"
#include "screen_fixture.h"
#include "texture_ops.h"

using host::Call;
using host::Int;
using Microsoft::WRL::ComPtr;

namespace {

constexpr int kWidth = 160, kHeight = 120;   // the screen
constexpr DWORD kBackground = 0x00204060;    // X8R8G8B8 after ClearScreen(0x604020)

// The 8-bit X8R8G8B8 value a 5-bit-per-channel colour shows as.
DWORD Shown(WORD c) {
    auto widen = [](int n) { return static_cast<DWORD>((n * 255 + 15) / 31); };
    return (widen((c >> 10) & 31) << 16) | (widen((c >> 5) & 31) << 8) | widen(c & 31);
}

bool Near(DWORD a, DWORD b) {
    for (int shift = 0; shift < 24; shift += 8) {
        const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        if (d < -3 || d > 3) return false;
    }
    return true;
}

class Display : public TexelSpriteTest {
protected:
    // The back buffer as X8R8G8B8 values, row by row.
    std::vector<DWORD> Read() {
        std::vector<DWORD> pixels = readback::ReadBackBuffer(device_).pixels;
        for (DWORD& p : pixels) p &= 0xFFFFFF;
        return pixels;
    }

    // Counts pixels where the picture differs from the image's columns
    // [u0, u0 + w) and rows [v0, v0 + h) drawn at (x, y), and from the
    // background everywhere else (a mismatch saves both pictures).
    int Wrong(const std::vector<DWORD>& pixels, int x, int y, int u0, int v0, int w, int h) {
        readback::Picture actual, expected;
        actual.width = expected.width = kWidth;
        actual.height = expected.height = kHeight;
        actual.pixels = pixels;
        for (int py = 0; py < kHeight; ++py) {
            for (int px = 0; px < kWidth; ++px) {
                const bool inside = px >= x && px < x + w && py >= y && py < y + h;
                expected.pixels.push_back(inside ? Shown(Texel(u0 + px - x, v0 + py - y)) : kBackground);
            }
        }
        return readback::CountMismatches(actual, expected, 3, 0xFFFFFF);
    }

};

}  // namespace

TEST_F(Display, TexelsMapToPixelsExactly) {
    EXPECT_EQ(Call<int>("DisplaySprite", 0, 10, 20), 0);
    EXPECT_EQ(Wrong(Read(), 10, 20, 0, 0, 64, 32), 0);
}

TEST_F(Display, ClippingAtEachEdgeShowsTheRightPart) {
    // Drawn at (x, y); visible from (vx, vy): image columns u0.., rows v0...
    struct Case { int x, y, vx, vy, u0, v0, w, h; };
    const Case cases[] = {
        {-10, 5, 0, 5, 10, 0, 54, 32},                              // left
        {kWidth - 20, 7, kWidth - 20, 7, 0, 0, 20, 32},             // right
        {30, -12, 30, 0, 0, 12, 64, 20},                            // top
        {40, kHeight - 9, 40, kHeight - 9, 0, 0, 64, 9},            // bottom
        {-63, -31, 0, 0, 63, 31, 1, 1},                             // one pixel in at the corner
    };
    for (const Case& c : cases) {
        Clear();
        EXPECT_EQ(Call<int>("DisplayTransparentSprite", 0, c.x, c.y), 0);
        EXPECT_EQ(Wrong(Read(), c.vx, c.vy, c.u0, c.v0, c.w, c.h), 0) << "at " << c.x << "," << c.y;
    }
}

TEST_F(Display, TouchingOrOutsideTheTargetDrawsNothing) {
    for (int x : {-64, kWidth}) EXPECT_EQ(Call<int>("DisplaySprite", 0, x, 10), 0);
    for (int y : {-32, kHeight}) EXPECT_EQ(Call<int>("DisplaySprite", 0, 10, y), 0);
    EXPECT_EQ(Wrong(Read(), 0, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(Call<int>("DisplaySprite", 99, 0, 0), 0) << "no such sprite";
}

TEST_F(Display, ClipWindowAndTargetClippingCombine) {
    ASSERT_EQ(Call<int>("ClipSprite", 0, 16, 8, 32, 16), 1);
    EXPECT_EQ(Call<int>("DisplaySprite", 0, 50, 40), 0);
    EXPECT_EQ(Wrong(Read(), 50, 40, 16, 8, 32, 16), 0);
    Clear();
    EXPECT_EQ(Call<int>("DisplaySprite", 0, -5, kHeight - 10), 0);
    EXPECT_EQ(Wrong(Read(), -5 + 5, kHeight - 10, 16 + 5, 8, 27, 10), 0);
}

TEST_F(Display, TheKeyIsDrawnByDisplaySpriteAndLeftOutByDisplayTransparentSprite) {
    // A left half of the default key (black) and a right half of the pattern.
    Paint(0, 64, 32, [](int x, int y) { return x < 32 ? WORD{0} : Texel(x, y); });
    EXPECT_EQ(Call<int>("DisplaySprite", 0, 0, 0), 0);
    std::vector<DWORD> drawn = Read();
    EXPECT_EQ(drawn[5 * kWidth + 5], 0u) << "black drawn as a colour";
    Clear();
    EXPECT_EQ(Call<int>("DisplayTransparentSprite", 0, 0, 0), 0);
    drawn = Read();
    EXPECT_TRUE(Near(drawn[5 * kWidth + 5], kBackground)) << std::hex << drawn[5 * kWidth + 5];
    EXPECT_TRUE(Near(drawn[5 * kWidth + 40], Shown(Texel(40, 5))));
}

TEST_F(Display, RenderTargetSpritesAreKeyedByTheShader) {
    ASSERT_NE(Call<int>("CreateSprite2", 1, 64, 32, 1), 0);
    KorrinTextureObject* texture = TextureOf(1);
    ASSERT_EQ(Ops(texture).GetKind(texture), 4) << "the colour-key shader exists on this device";
    const WORD key = 0x7C1F;  // magenta
    Paint(1, 64, 32, [&](int x, int y) { return (x + y) % 3 == 0 ? key : Texel(x, y); });
    ASSERT_NE(Call<int>("TransparentSpriteColor", 1, 0xFF00FF), 0);
    EXPECT_EQ(Call<int>("DisplayTransparentSprite", 1, 20, 30), 0);
    const std::vector<DWORD> pixels = Read();
    int wrong = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) {
            const DWORD expected = (x + y) % 3 == 0 ? kBackground : Shown(Texel(x, y));
            wrong += !Near(pixels[(30 + y) * kWidth + 20 + x], expected);
        }
    EXPECT_EQ(wrong, 0);
    // DisplaySprite unbinds the shader: the key is drawn as a colour again.
    Clear();
    EXPECT_EQ(Call<int>("DisplaySprite", 1, 20, 30), 0);
    EXPECT_TRUE(Near(Read()[30 * kWidth + 20], Shown(key)));
}

// ---- state calls, counted through the device's own method table ------------

namespace {
int renderStateCalls = 0, fvfCalls = 0;
HRESULT(WINAPI* realSetRenderState)(IDirect3DDevice9*, D3DRENDERSTATETYPE, DWORD);
HRESULT(WINAPI* realSetFVF)(IDirect3DDevice9*, DWORD);
HRESULT WINAPI CountingSetRenderState(IDirect3DDevice9* d, D3DRENDERSTATETYPE s, DWORD v) {
    ++renderStateCalls;
    return realSetRenderState(d, s, v);
}
HRESULT WINAPI CountingSetFVF(IDirect3DDevice9* d, DWORD f) {
    ++fvfCalls;
    return realSetFVF(d, f);
}
}  // namespace

TEST_F(Display, ARunOfSpritesOfOneKindSetsTheStatesOnce) {
    // Give the device a copy of its method table with two counting entries.
    void** original = *reinterpret_cast<void***>(device_.get());
    std::vector<void*> table(original, original + deviceMethodSlots.count);
    realSetRenderState = reinterpret_cast<decltype(realSetRenderState)>(original[deviceMethodSlots.setRenderState]);
    realSetFVF = reinterpret_cast<decltype(realSetFVF)>(original[deviceMethodSlots.setFVF]);
    table[deviceMethodSlots.setRenderState] = reinterpret_cast<void*>(CountingSetRenderState);
    table[deviceMethodSlots.setFVF] = reinterpret_cast<void*>(CountingSetFVF);
    *reinterpret_cast<void***>(device_.get()) = table.data();
    struct Restore {  // the device's own table comes back however the test ends
        IDirect3DDevice9* device;
        void** methods;
        ~Restore() { *reinterpret_cast<void***>(device) = methods; }
    } restore{device_.get(), original};
    // The positions are right when the test's own calls are counted.
    device_->SetRenderState(D3DRS_DITHERENABLE, FALSE);
    device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
    ASSERT_EQ(renderStateCalls, 1);
    ASSERT_EQ(fvfCalls, 1);

    // A new screen starts with an empty cache: the first run sets each of its
    // states exactly once.
    renderStateCalls = fvfCalls = 0;
    for (int i = 0; i < 10; ++i) EXPECT_EQ(Call<int>("DisplayTransparentSprite", 0, i * 5, i * 3), 0);
    EXPECT_EQ(renderStateCalls, 3) << "alpha blend, source and destination factors: once";
    EXPECT_EQ(fvfCalls, 1);
    renderStateCalls = fvfCalls = 0;
    for (int i = 0; i < 10; ++i) EXPECT_EQ(Call<int>("DisplaySprite", 0, i * 5, i * 3), 0);
    EXPECT_EQ(renderStateCalls, 2) << "the two blend factors change once; blending stays on";
    EXPECT_EQ(fvfCalls, 0) << "same vertex format";
}

TEST_F(Display, NothingIsDrawnWithoutAScreen) {
    // The test keeps the closed screen's device alive: a draw that still
    // reached it would show in its back buffer.
    ComPtr<IDirect3DDevice9> kept(device_.get());
    const std::vector<DWORD> before = Read();
    ASSERT_EQ(Wrong(before, 0, 0, 0, 0, 0, 0), 0) << "the cleared background";
    Int("CloseScreen");
    EXPECT_EQ(Int("IsScreenActive"), 0);
    EXPECT_EQ(Call<int>("DisplaySprite", 0, 0, 0), 0);
    EXPECT_EQ(Call<int>("DisplayTransparentSprite", 0, 0, 0), 0);
    std::vector<DWORD> after = readback::ReadBackBuffer(kept.Get()).pixels;
    for (DWORD& p : after) p &= 0xFFFFFF;
    EXPECT_EQ(after, before) << "nothing reached the closed screen's device";
}
