// Drawing into sprites, copies and grabs, the blended display modes, the
// colour filter, gamma and collision, on a windowed screen (gamma on a
// full-screen one), checked by reading pixels back from the back buffer and
// from sprites' pixel copies and comparing them with the per-pixel arithmetic
// within what the 5-bit formats explain.
#include <d3d9.h>
#include <wrl/client.h>

#include <climits>
#include <cstring>
#include <sstream>
#include <vector>

#include "host.h"
#include "image_files.h"
#include "method_slots.h"
#include "read_back.h"
#include "screen_fixture.h"
#include "texture_ops.h"

using host::Call;
using host::Int;
using Microsoft::WRL::ComPtr;

namespace {

constexpr int kWidth = 160, kHeight = 120;  // the screen

struct Rgb {
    int r, g, b;
};
constexpr Rgb kBackground = {0x20, 0x40, 0x60};  // the fixture's ClearScreen colour
constexpr Rgb kWhite = {255, 255, 255};

int Widen5(int n) { return (n * 255 + 15) / 31; }
Rgb Of555(WORD c) { return {Widen5((c >> 10) & 31), Widen5((c >> 5) & 31), Widen5(c & 31)}; }
Rgb OfX8(DWORD c) {
    return {static_cast<int>((c >> 16) & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>(c & 0xFF)};
}
Rgb Mix(Rgb a, Rgb b, double wa) {  // a × wa + b × (1 − wa)
    auto m = [&](int x, int y) { return static_cast<int>(x * wa + y * (1.0 - wa) + 0.5); };
    return {m(a.r, b.r), m(a.g, b.g), m(a.b, b.b)};
}
bool Near(Rgb a, Rgb b, int tolerance = 4) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}
std::string Text(Rgb c) {
    std::ostringstream s;
    s << "(" << c.r << ", " << c.g << ", " << c.b << ")";
    return s.str();
}

void* Texture(int sprite) { return Call<void*>("SpriteID", sprite); }
DWORD TransparentColourOf(const void* texture) { return static_cast<const DWORD*>(texture)[7]; }  // field at offset 28

// A sprite's 16-bit pixel copy, colour bits only, row by row.
std::vector<WORD> SpritePixels(int sprite, int w, int h) {
    std::vector<WORD> words;
    KorrinTextureObject* texture = TextureOf(sprite);
    void* bits = nullptr;
    int pitch = 0;
    if (!texture || !Ops(texture).LockPixels(texture, 1, 0, &bits, &pitch)) return words;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            words.push_back(reinterpret_cast<const WORD*>(static_cast<const BYTE*>(bits) + y * pitch)[x] & 0x7FFF);
    Ops(texture).UnlockPixels(texture, 1);
    return words;
}

class Drawing : public TexelSpriteTest {
protected:

    // The back buffer as colours, row by row.
    std::vector<Rgb> Read() {
        const readback::Picture picture = readback::ReadBackBuffer(device_);
        std::vector<Rgb> pixels;
        for (DWORD p : picture.pixels) pixels.push_back(OfX8(readback::ToRgb(p, picture.format)));
        return pixels;
    }
    Rgb At(int x, int y) { return Read()[y * kWidth + x]; }

    // Counts pixels of the rectangle (x, y, w, h) of the back buffer that
    // differ from `expected(px, py)` (coordinates within the rectangle) by
    // more than `tolerance` in a channel; a mismatch saves both pictures.
    template <class F>
    int Wrong(int x, int y, int w, int h, F expected, int tolerance = 4) {
        const readback::Picture actual = readback::ReadBackBuffer(device_);
        readback::Picture want = actual;
        for (int py = 0; py < h; ++py)
            for (int px = 0; px < w; ++px) {
                const Rgb c = expected(px, py);
                want.pixels[static_cast<size_t>(y + py) * want.width + x + px] =
                    static_cast<DWORD>(c.r << 16 | c.g << 8 | c.b);
            }
        if (!readback::Wide(want.format)) ADD_FAILURE() << "the back buffer is not 32-bit";
        return readback::CountMismatches(actual, want, tolerance, 0x00FFFFFF);
    }
};

}  // namespace

// ---- drawing into a sprite ---------------------------------------------------------

TEST_F(Drawing, DrawingIntoASpriteClipsAtItsEdgesAndShowsWhenDisplayed) {
    for (int flags : {0, 1}) {  // managed and render-target storage
        SCOPED_TRACE(flags);
        ASSERT_NE(Call<int>("CreateSprite2", 1, 64, 32, flags), 0);
        ASSERT_EQ(Call<int>("UseBuffer", 1), 1);
        EXPECT_EQ(Call<int>("UseBuffer", 1), 1) << "already the target";
        Clear(0xFF0000);  // blue, into the sprite
        EXPECT_EQ(Call<int>("DisplaySprite", 0, 60, 0), 0);
        ASSERT_EQ(Call<int>("UseBuffer", -1), 1);
        EXPECT_EQ(Call<int>("UseBuffer", -1), 1);

        const std::vector<WORD> drawn = SpritePixels(1, 64, 32);
        ASSERT_EQ(drawn.size(), 64u * 32u);
        int wrong = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 64; ++x) {
                const WORD want = x >= 60 ? Texel(x - 60, y) : WORD{0x001F};
                wrong += drawn[y * 64 + x] != want;
            }
        EXPECT_EQ(wrong, 0) << "only columns 60-63 get the sprite, clipped at x = 64";
        EXPECT_TRUE(Near(At(100, 50), kBackground)) << "the back buffer was not drawn on";

        EXPECT_EQ(Call<int>("DisplaySprite", 1, 10, 20), 0);
        EXPECT_EQ(Wrong(10, 20, 64, 32,
                        [](int x, int y) { return x >= 60 ? Of555(Texel(x - 60, y)) : Of555(0x001F); }),
                  0);
        Clear();
    }
}

TEST_F(Drawing, FreeingTheTargetSpriteHandsDrawingBackToTheBackBuffer) {
    ASSERT_NE(Call<int>("CreateSprite", 1, 16, 16), 0);
    ASSERT_EQ(Call<int>("UseBuffer", 1), 1);
    ASSERT_EQ(Call<int>("FreeSprite", 1), 1);
    // Drawing goes on into the back buffer, clipped to the screen, not into the freed sprite's surface.
    EXPECT_EQ(Call<int>("DisplaySprite", 0, 90, 70), 0);
    EXPECT_EQ(Wrong(90, 70, 64, 32, [](int x, int y) { return Of555(Texel(x, y)); }), 0);
    EXPECT_EQ(Call<int>("UseBuffer", -1), 1);

    // Switching back explicitly works too, and so does a new target.
    ASSERT_NE(Call<int>("CreateSprite", 1, 16, 16), 0);
    ASSERT_EQ(Call<int>("UseBuffer", 1), 1);
    ASSERT_EQ(Call<int>("FreeSprite", 1), 1);
    EXPECT_EQ(Call<int>("UseBuffer", -1), 1);
    ASSERT_NE(Call<int>("CreateSprite", 2, 16, 16), 0);
    ASSERT_EQ(Call<int>("UseBuffer", 1), 0) << "no such sprite";
    EXPECT_EQ(Call<int>("UseBuffer", 2), 1);
    EXPECT_EQ(Call<int>("UseBuffer", -1), 1);

    // A grab that remakes the target sprite itself has nothing left to grab from.
    ASSERT_EQ(Call<int>("UseBuffer", 2), 1);
    EXPECT_EQ(Call<int>("GrabSprite", 2, 0, 0, 8, 8), 0);
    EXPECT_EQ(Call<int>("SpriteWidth", 2), 8) << "remade at the grab's size";
    Clear();
    EXPECT_EQ(Call<int>("DisplaySprite", 0, 90, 70), 0);
    EXPECT_EQ(Wrong(90, 70, 64, 32, [](int x, int y) { return Of555(Texel(x, y)); }), 0);
    EXPECT_EQ(Call<int>("UseBuffer", -1), 1);
}

// ---- copies ------------------------------------------------------------------------

TEST_F(Drawing, ACopyIsTheWholeImageWithTheDefaultTransparentColour) {
    ASSERT_EQ(Call<int>("ClipSprite", 0, 8, 4, 16, 16), 1);
    ASSERT_NE(Call<int>("TransparentSpriteColor", 0, 0xFF00FF), 0);
    ASSERT_EQ(Call<int>("TransparentSpriteColor", -1, 0x00FF00), 1);
    void* copy = reinterpret_cast<void*>(Call<int>("CopySprite", 0, 2));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy, Texture(2));
    EXPECT_EQ(Call<int>("SpriteWidth", 2), 64);
    EXPECT_EQ(Call<int>("SpriteHeight", 2), 32);
    EXPECT_EQ(SpritePixels(2, 64, 32), SpritePixels(0, 64, 32));
    EXPECT_EQ(TransparentColourOf(copy), 0x00FF00u) << "the default, not the source's";

    // A matching destination is reused as it is: clip window and colour stay.
    ASSERT_EQ(Call<int>("ClipSprite", 2, 0, 0, 10, 10), 1);
    ASSERT_NE(Call<int>("TransparentSpriteColor", 2, 0x0000FF), 0);
    Paint(2, 64, 32, [](int, int) { return WORD{0}; });
    EXPECT_EQ(reinterpret_cast<void*>(Call<int>("CopySprite", 0, 2)), copy);
    EXPECT_EQ(Call<int>("SpriteWidth", 2), 10);
    EXPECT_EQ(TransparentColourOf(copy), 0x0000FFu);
    EXPECT_EQ(SpritePixels(2, 64, 32), SpritePixels(0, 64, 32));

    // Another size of the same flags is made again.
    ASSERT_NE(Call<int>("CreateSprite", 3, 32, 64), 0);
    ASSERT_NE(Call<int>("CopySprite", 0, 3), 0);
    EXPECT_EQ(Call<int>("SpriteWidth", 3), 64);
    EXPECT_EQ(Call<int>("SpriteHeight", 3), 32);

    // -1 gives the new sprite's handle.
    const int handle = Call<int>("CopySprite", 0, -1);
    ASSERT_NE(handle, 0);
    EXPECT_EQ(Call<int>("IsSprite", handle), handle);
    EXPECT_EQ(SpritePixels(handle, 64, 32), SpritePixels(0, 64, 32));

    // A sprite copied onto itself stays whole; remaking it under other flags is refused.
    EXPECT_EQ(reinterpret_cast<void*>(Call<int>("CopySprite", 0, 0)), Texture(0));
    EXPECT_EQ(Call<int>("CopySprite2", 0, 0, 1), 0);
    EXPECT_EQ(SpritePixels(0, 64, 32)[33], Texel(33, 0));
    EXPECT_EQ(Call<int>("CopySprite", 77, 4), 0) << "no source";
}

TEST_F(Drawing, AnAlphaCopyNeedsAnAlphaSourceAndCarriesItsAlphaImage) {
    EXPECT_EQ(Call<int>("CopySprite2", 0, 4, 2), 0);
    EXPECT_EQ(Call<int>("IsSprite", 4), 0);
    const std::vector<BYTE> bmp = GreyBmp({0, 255, 0, 255, 0, 255, 0, 255});
    ASSERT_NE(Call<int>("CatchSprite2", 5, static_cast<const void*>(bmp.data()), 2), 0);
    ASSERT_NE(Call<int>("CopySprite2", 5, 4, 2), 0);
    EXPECT_EQ(Call<int>("SpriteDepth", 4), 8);
    EXPECT_EQ(Call<int>("DisplayAlphaSprite", 4, 20, 10), 0);
    EXPECT_EQ(Wrong(20, 10, 8, 1, [](int x, int) { return x % 2 ? kBackground : kWhite; }), 0);
}

// ---- grabs --------------------------------------------------------------------------

TEST_F(Drawing, GrabsGiveExactlyThePixelsOfTheRectangle) {
    EXPECT_EQ(Call<int>("DisplaySprite", 0, 10, 20), 0);
    void* grabbed = reinterpret_cast<void*>(Call<int>("GrabSprite", 6, 15, 23, 40, 20));
    ASSERT_NE(grabbed, nullptr);
    EXPECT_EQ(grabbed, Texture(6));
    std::vector<WORD> pixels = SpritePixels(6, 40, 20);
    ASSERT_EQ(pixels.size(), 40u * 20u);
    int wrong = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x) wrong += pixels[y * 40 + x] != Texel(5 + x, 3 + y);
    EXPECT_EQ(wrong, 0);

    // An existing sprite of the same size and depth is kept, with its transparent colour.
    ASSERT_NE(Call<int>("TransparentSpriteColor", 6, 0x00FF00), 0);
    EXPECT_EQ(reinterpret_cast<void*>(Call<int>("GrabSprite", 6, 0, 0, 40, 20)), grabbed);
    EXPECT_EQ(TransparentColourOf(grabbed), 0x00FF00u);

    // From a sprite target, while it is still the target.
    ASSERT_NE(Call<int>("CreateSprite2", 1, 64, 32, 1), 0);
    ASSERT_EQ(Call<int>("UseBuffer", 1), 1);
    EXPECT_EQ(Call<int>("DisplaySprite", 0, 0, 0), 0);
    const int handle = Call<int>("GrabSprite", -1, 2, 1, 30, 20);
    ASSERT_NE(handle, 0);
    EXPECT_EQ(Call<int>("IsSprite", handle), handle);
    EXPECT_EQ(Call<int>("GrabSprite", 7, 0, 0, 65, 10), 0) << "the target is 64 wide";
    ASSERT_EQ(Call<int>("UseBuffer", -1), 1);
    pixels = SpritePixels(handle, 30, 20);
    ASSERT_EQ(pixels.size(), 30u * 20u);
    wrong = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x) wrong += pixels[y * 30 + x] != Texel(2 + x, 1 + y);
    EXPECT_EQ(wrong, 0);
}

TEST_F(Drawing, GrabBoundsAreTheTargetsAndNeverOverflow) {
    EXPECT_EQ(Call<int>("GrabSprite", 7, 0, 0, kWidth + 1, 10), 0);
    EXPECT_NE(Call<int>("GrabSprite", 7, 0, 0, kWidth, 10), 0);
    EXPECT_NE(Call<int>("GrabSprite", 8, kWidth - 1, kHeight - 1, 1, 1), 0);
    const struct { int x, y, w, h; } refused[] = {{1, 0, INT_MAX, 10}, {0, 1, 10, INT_MAX}, {INT_MAX, 0, 1, 1},
                                                    {0, 0, 10, INT_MIN},  {INT_MIN, 0, 10, 10}, {0, 0, 0, 10}};
    for (const auto& c : refused)
        EXPECT_EQ(Call<int>("GrabSprite2", 9, c.x, c.y, c.w, c.h, 0), 0) << c.x << "," << c.y << " " << c.w << "x" << c.h;
    EXPECT_EQ(Call<int>("GrabSprite2", 9, 0, 0, 10, 10, 2), 0) << "no alpha grabs";
    EXPECT_EQ(Call<int>("IsSprite", 9), 0);
}

// ---- blended display -------------------------------------------------------------------

namespace {
constexpr WORD kColour = (31 << 10) | (16 << 5) | 8;  // a left half of the key (black), a right half of this
WORD HalfKeyed(int x, int) { return x < 8 ? WORD{0} : kColour; }
}  // namespace

class Blending : public Drawing {
protected:
    void SetUp() override {
        Drawing::SetUp();
        ASSERT_NE(Call<int>("CreateSprite", 1, 16, 16), 0);
        Paint(1, 16, 16, HalfKeyed);
    }
    // After each mode stage 0 is back on the texture's colour (and alpha:
    // `alphaRestored`), and a plain DisplaySprite draws plain texture colour.
    void ExpectPlainDisplayAfterwards(bool alphaRestored = true) {
        DWORD colourOp = 0, alphaOp = 0;
        device_->GetTextureStageState(0, D3DTSS_COLOROP, &colourOp);
        device_->GetTextureStageState(0, D3DTSS_ALPHAOP, &alphaOp);
        EXPECT_EQ(colourOp, static_cast<DWORD>(D3DTOP_SELECTARG1));
        if (alphaRestored) {
            EXPECT_EQ(alphaOp, static_cast<DWORD>(D3DTOP_SELECTARG1));
        }
        Clear();
        EXPECT_EQ(Call<int>("DisplaySprite", 0, 40, 40), 0);
        EXPECT_EQ(Wrong(40, 40, 64, 32, [](int x, int y) { return Of555(Texel(x, y)); }), 0);
        Clear();
    }
};

TEST_F(Blending, TranslucencyMixesByTheLowEightBitsOfTheIntensity) {
    const Rgb colour = Of555(kColour);
    const struct { int intensity; double share; } cases[] = {{255, 1.0}, {128, 128 / 255.0}, {0, 0.0},
                                                               {256, 0.0}, {-1, 1.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.intensity);
        EXPECT_EQ(Call<int>("DisplayTranslucentSprite", 1, 30, 30, c.intensity), 0);
        EXPECT_EQ(Wrong(30, 30, 16, 16,
                        [&](int x, int) { return x < 8 ? kBackground : Mix(colour, kBackground, c.share); }),
                  0);
        ExpectPlainDisplayAfterwards();
    }
}

TEST_F(Blending, TranslucentRenderTargetSpritesAreKeyedByTheShader) {
    ASSERT_NE(Call<int>("CreateSprite2", 2, 16, 16, 1), 0);
    KorrinTextureObject* texture = TextureOf(2);
    ASSERT_EQ(Ops(texture).GetKind(texture), 4) << "the colour-key shader exists on this device";
    Paint(2, 16, 16, [](int x, int y) { return (x + y) % 3 == 0 ? WORD{0x7C1F} : kColour; });
    ASSERT_NE(Call<int>("TransparentSpriteColor", 2, 0xFF00FF), 0);
    EXPECT_EQ(Call<int>("DisplayTranslucentSprite", 2, 30, 30, 128), 0);
    const Rgb mixed = Mix(Of555(kColour), kBackground, 128 / 255.0);
    EXPECT_EQ(Wrong(30, 30, 16, 16, [&](int x, int y) { return (x + y) % 3 == 0 ? kBackground : mixed; }),
              0);
    ExpectPlainDisplayAfterwards();
}

TEST_F(Blending, ShadowsKeepHalfTheTargetWhereTheSpriteIsOpaque) {
    Clear(0xFFFFFF);
    EXPECT_EQ(Call<int>("DisplayShadowSprite", 1, 30, 30), 0);
    const Rgb grey = {127, 127, 127};
    EXPECT_EQ(Wrong(30, 30, 16, 16, [&](int x, int) { return x < 8 ? kWhite : grey; }, 2), 0);
    // A render-target sprite has no alpha bit: its whole rectangle darkens.
    ASSERT_NE(Call<int>("CreateSprite2", 2, 16, 16, 1), 0);
    Paint(2, 16, 16, HalfKeyed);
    Clear(0xFFFFFF);
    EXPECT_EQ(Call<int>("DisplayShadowSprite", 2, 30, 30), 0);
    EXPECT_EQ(Wrong(30, 30, 16, 16, [&](int, int) { return grey; }, 2), 0);
    ExpectPlainDisplayAfterwards();
}

TEST_F(Blending, SolidSpritesAreTintedByADirect3DColour) {
    const Rgb colour = Of555(kColour);
    // The alpha operation in force is left alone (texture alpha, which this one also gives).
    device_->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_TEXTURE);
    device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    EXPECT_EQ(Call<int>("DisplaySolidSprite", 1, 30, 30, 0x0000FF), 0);
    EXPECT_EQ(Wrong(30, 30, 16, 16,
                    [&](int x, int) { return x < 8 ? kBackground : Rgb{0, 0, colour.b}; }),
              0)
        << "blue in the low byte";
    Clear();
    EXPECT_EQ(Call<int>("DisplaySolidSprite", 1, 30, 30, 0x00FFFFFF), 0);
    EXPECT_EQ(Wrong(30, 30, 16, 16, [&](int x, int) { return x < 8 ? kBackground : colour; }), 0);
    DWORD alphaOp = 0;
    device_->GetTextureStageState(0, D3DTSS_ALPHAOP, &alphaOp);
    EXPECT_EQ(alphaOp, static_cast<DWORD>(D3DTOP_MODULATE));
    ExpectPlainDisplayAfterwards(false);
}

TEST_F(Blending, InsideA3DBracketTheModesUndoItsStageSetUp) {
    ASSERT_EQ(Int("InitSprite3D"), 1);
    ASSERT_NE(Call<int>("CreateSprite3D", 0, 0), 0);
    ASSERT_EQ(Int("Start3D"), 1);
    EXPECT_EQ(Call<int>("DisplaySprite3D2", 0, 0, 0, 128), 0);
    const Rgb half = Mix(Of555(Texel(5, 5)), kBackground, 128 / 255.0);
    EXPECT_TRUE(Near(At(5, 5), half)) << "alpha 128 under Start3D's states: " << Text(At(5, 5));
    EXPECT_EQ(Call<int>("DisplayShadowSprite", 1, 100, 80), 0);
    EXPECT_EQ(Call<int>("DisplaySprite3D2", 0, 0, 40, 128), 0);
    EXPECT_TRUE(Near(At(5, 45), Of555(Texel(5, 5)))) << "texture alpha alone after the shadow: " << Text(At(5, 45));
    EXPECT_EQ(Int("Stop3D"), 1);
}

TEST_F(Blending, AlphaSpritesAreTintedByTheAlphaIntensity) {
    // Levels 0 (opaque white), 255 (transparent), 127 (alpha and colour 128/255).
    const std::vector<BYTE> bmp = GreyBmp({0, 255, 127, 0});
    ASSERT_NE(Call<int>("CatchSprite2", 3, static_cast<const void*>(bmp.data()), 2), 0);
    const double half = 128 / 255.0;
    auto expect = [&](Rgb tint) {
        return [=](int x, int) {
            auto channel = [&](int t, int target) {
                const double s = [&] {
                    if (x == 1) return 0.0;
                    return (x == 2 ? half : 1.0) * t / 255.0;
                }();
                const double a = x == 1 ? 0.0 : x == 2 ? half : 1.0;
                return static_cast<int>(255 * s * s + target * (1 - a) + 0.5);
            };
            return Rgb{channel(tint.r, kBackground.r), channel(tint.g, kBackground.g), channel(tint.b, kBackground.b)};
        };
    };
    EXPECT_EQ(Call<int>("DisplayAlphaSprite", 3, 30, 30), 0);
    EXPECT_EQ(Wrong(30, 30, 4, 1, expect(kWhite)), 0) << "white until changed";
    Clear();
    EXPECT_EQ(Call<int>("ChangeAlphaIntensity", 255, 0, 0), 0);
    EXPECT_EQ(Call<int>("DisplayAlphaSprite", 3, 30, 30), 0);
    EXPECT_EQ(Wrong(30, 30, 4, 1, expect({255, 0, 0})), 0) << "red";
    Clear();
    EXPECT_EQ(Call<int>("ChangeAlphaIntensity", 0, 256, 0), 0);
    EXPECT_EQ(Call<int>("DisplayAlphaSprite", 3, 30, 30), 0);
    EXPECT_EQ(Wrong(30, 30, 4, 1, expect({1, 0, 0})), 0) << "green 256 carries into red";
    EXPECT_EQ(Call<int>("ChangeAlphaIntensity", 255, 255, 255), 0);
    ExpectPlainDisplayAfterwards();
}

TEST_F(Blending, RefusalsReturnZeroAndDrawNothing) {
    for (const char* name : {"DisplayTranslucentSprite", "DisplaySolidSprite"})
        EXPECT_EQ(Call<int>(name, 99, 0, 0, 255), 0) << name;
    for (const char* name : {"DisplayAlphaSprite", "DisplayShadowSprite"}) {
        EXPECT_EQ(Call<int>(name, 99, 0, 0), 0) << name;
        EXPECT_EQ(Call<int>(name, 1, kWidth, 0), 0) << name;
    }
    EXPECT_EQ(Call<int>("DisplayAlphaSprite", 1, 0, 0), 0) << "no alpha image: an untextured quad";
    Clear();
    EXPECT_EQ(Call<int>("DisplaySolidSprite", 1, INT_MAX, INT_MAX, 0xFFFFFF), 0);
    EXPECT_EQ(Call<int>("DisplayTranslucentSprite", 1, INT_MIN, 0, 255), 0);
    EXPECT_EQ(Wrong(0, 0, kWidth, kHeight, [](int, int) { return kBackground; }), 0);
    Int("CloseScreen");
    EXPECT_EQ(Call<int>("DisplayShadowSprite", 1, 0, 0), 0);
    EXPECT_EQ(Call<int>("ChangeAlphaIntensity", 255, 255, 255), 0) << "needs no screen";
    EXPECT_EQ(Int("StartSpecialFX"), 1);
    EXPECT_EQ(Int("StopSpecialFX"), 1);
}

// ---- drawing into a 32-bit sprite ------------------------------------------------------------

namespace {

struct Argb {
    Rgb c;
    int a;
};
constexpr int kTargetAlpha = 64;                   // the 32-bit target's alpha before each drawing
constexpr Argb kUntouched = {kBackground, kTargetAlpha};
constexpr double kHalf = 128 / 255.0;
constexpr DWORD kColour32 = 0x80C08040u;           // the 32-bit source: half alpha, (0xC0, 0x80, 0x40)

// Alpha of a pixel drawn at alpha `share` over the target: the "over" result.
int Over(double share) { return static_cast<int>(255 * share + kTargetAlpha * (1 - share) + 0.5); }
Argb HalfKeyedOver(int x, Argb drawn) { return x < 8 ? kUntouched : drawn; }

DWORD Word32(Argb p) { return static_cast<DWORD>(p.a) << 24 | static_cast<DWORD>(p.c.r << 16 | p.c.g << 8 | p.c.b); }

// Rows of 32-bit pixels `pitch` bytes apart, as a picture.
readback::Picture Picture32(const DWORD* pixels, int pitch, int w, int h) {
    readback::Picture picture;
    picture.width = w;
    picture.height = h;
    picture.format = D3DFMT_A8R8G8B8;
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const DWORD*>(reinterpret_cast<const BYTE*>(pixels) + y * pitch);
        picture.pixels.insert(picture.pixels.end(), row, row + w);
    }
    return picture;
}

readback::Picture Pixels32(int sprite, int w, int h) {
    KorrinTextureObject* texture = TextureOf(sprite);
    void* bits = nullptr;
    int pitch = 0;
    if (!texture || !Ops(texture).LockPixels(texture, 1, 0, &bits, &pitch)) {
        ADD_FAILURE() << "sprite " << sprite << " cannot be read";
        return {};
    }
    readback::Picture picture = Picture32(static_cast<const DWORD*>(bits), pitch, w, h);
    Ops(texture).UnlockPixels(texture, 1);
    return picture;
}

// Pixels of a 32-bit picture off `expected` by more than 4 in a colour
// channel or in alpha (compared as a grey picture of its own).
template <class F>
int WrongArgb(const readback::Picture& actual, F expected) {
    readback::Picture want = actual, alpha = actual, wantAlpha = actual;
    for (int y = 0; y < actual.height; ++y)
        for (int x = 0; x < actual.width; ++x) {
            const size_t i = static_cast<size_t>(y) * actual.width + x;
            const Argb e = expected(x, y);
            want.pixels[i] = Word32(e);
            const DWORD a = actual.pixels[i] >> 24;
            alpha.pixels[i] = a << 16 | a << 8 | a;
            wantAlpha.pixels[i] = static_cast<DWORD>(e.a << 16 | e.a << 8 | e.a);
        }
    return readback::CountMismatches(actual, want, 4) + readback::CountMismatches(alpha, wantAlpha, 4);
}

// A target of 16 by 16 (sprite 5) and the sources drawn into it at (0, 0):
// 1, half key and half colour (managed 16-bit); 2, the same as a
// render-target sprite, keyed by the shader; 3, an alpha sprite; 4, a 32-bit
// sprite at half alpha; 3D sprite 0, made from 1.
class AlphaTarget : public Blending {
protected:
    void SetUp() override {
        Blending::SetUp();
        ASSERT_NE(Call<int>("CreateSprite2", 2, 16, 16, 1), 0);
        Paint(2, 16, 16, HalfKeyed);
        const std::vector<BYTE> bmp = GreyBmp({0, 255, 127, 0});
        ASSERT_NE(Call<int>("CatchSprite2", 3, static_cast<const void*>(bmp.data()), 2), 0);
        ASSERT_NE(Call<int>("CreateSprite2", 4, 16, 16, 12), 0);
        Paint(4, 16, 16, [](int, int) { return kColour32; });
        ASSERT_EQ(Int("InitSprite3D"), 1);
        ASSERT_NE(Call<int>("CreateSprite3D", 0, 1), 0);
        ASSERT_NE(Call<int>("CreateSprite2", 5, 16, 16, 12), 0);
    }
    void FillTarget() {
        Paint(5, 16, 16, [](int, int) { return Word32(kUntouched); });
    }
};

struct TargetMode {
    const char* name;
    void (*draw)();                 // draws into the current target
    Argb (*expected)(int x, int y);  // in a target that held kUntouched
};

const TargetMode kTargetModes[] = {
    {"ClearScreen", [] { Call<int>("ClearScreen", 0x0000FF); }, [](int, int) { return Argb{{255, 0, 0}, 255}; }},
    {"DisplaySprite", [] { Call<int>("DisplaySprite", 1, 0, 0); },
     // The key is copied as a colour; its alpha 0 leaves the target's alpha.
     [](int x, int) { return x < 8 ? Argb{{0, 0, 0}, kTargetAlpha} : Argb{Of555(kColour), 255}; }},
    {"DisplayTransparentSprite", [] { Call<int>("DisplayTransparentSprite", 1, 0, 0); },
     [](int x, int) { return HalfKeyedOver(x, {Of555(kColour), 255}); }},
    {"DisplayTransparentSprite keyed by the shader", [] { Call<int>("DisplayTransparentSprite", 2, 0, 0); },
     [](int x, int) { return HalfKeyedOver(x, {Of555(kColour), 255}); }},
    {"DisplayTransparentSprite of a 32-bit sprite", [] { Call<int>("DisplayTransparentSprite", 4, 0, 0); },
     [](int, int) { return Argb{Mix(OfX8(kColour32), kBackground, kHalf), Over(kHalf)}; }},
    {"DisplayTranslucentSprite", [] { Call<int>("DisplayTranslucentSprite", 1, 0, 0, 128); },
     [](int x, int) { return HalfKeyedOver(x, {Mix(Of555(kColour), kBackground, kHalf), Over(kHalf)}); }},
    {"DisplaySolidSprite", [] { Call<int>("DisplaySolidSprite", 1, 0, 0, 0x0000FF); },
     [](int x, int) { return HalfKeyedOver(x, {{0, 0, Of555(kColour).b}, 255}); }},
    {"DisplayShadowSprite", [] { Call<int>("DisplayShadowSprite", 1, 0, 0); },
     [](int x, int) { return HalfKeyedOver(x, {Mix({0, 0, 0}, kBackground, kHalf), Over(kHalf)}); }},
    {"DisplayAlphaSprite", [] { Call<int>("DisplayAlphaSprite", 3, 0, 0); },
     [](int x, int y) {
         if (y > 0 || x > 3 || x == 1) return kUntouched;
         if (x != 2) return Argb{kWhite, 255};
         auto channel = [](int target) { return static_cast<int>(255 * kHalf * kHalf + target * (1 - kHalf) + 0.5); };
         return Argb{{channel(kBackground.r), channel(kBackground.g), channel(kBackground.b)}, Over(kHalf)};
     }},
    {"DisplayRGBFilter", [] { Call<int>("DisplayRGBFilter", 0, 0, 16, 16, 64, 0, 0); },
     [](int, int) { return Argb{{kBackground.r + 64, kBackground.g, kBackground.b}, kTargetAlpha}; }},
    {"DisplaySprite3D2",
     [] {
         Int("Start3D");
         Call<int>("DisplaySprite3D2", 0, 0, 0, 128);
         Int("Stop3D");
     },
     [](int x, int) { return HalfKeyedOver(x, {Mix(Of555(kColour), kBackground, kHalf), Over(kHalf)}); }},
};

}  // namespace

TEST_F(AlphaTarget, EveryModeDrawsColourAndAlphaIntoA32BitSprite) {
    for (const TargetMode& mode : kTargetModes) {
        SCOPED_TRACE(mode.name);
        FillTarget();
        ASSERT_EQ(Call<int>("UseBuffer", 5), 1);
        mode.draw();
        ASSERT_EQ(Call<int>("UseBuffer", -1), 1);
        EXPECT_EQ(WrongArgb(Pixels32(5, 16, 16), mode.expected), 0);
    }
    EXPECT_TRUE(Near(At(100, 50), kBackground)) << "the back buffer was not drawn on";
}

TEST_F(AlphaTarget, WhatWasDrawnShowsWhenDisplayedCopiedGrabbedAndRead) {
    FillTarget();
    auto drawn = [](int x, int) { return HalfKeyedOver(x, {Of555(kColour), 255}); };
    ASSERT_EQ(Call<int>("UseBuffer", 5), 1);
    EXPECT_EQ(Call<int>("DisplayTransparentSprite", 1, 0, 0), 0);
    ASSERT_NE(Call<int>("GrabSprite2", 6, 0, 0, 16, 16, 12), 0) << "grabbed while still the target";
    ASSERT_EQ(Call<int>("UseBuffer", -1), 1);
    EXPECT_EQ(WrongArgb(Pixels32(6, 16, 16), drawn), 0) << "grabbed";

    ASSERT_NE(Call<int>("CopySprite2", 5, 7, 12), 0);
    EXPECT_EQ(WrongArgb(Pixels32(7, 16, 16), drawn), 0) << "copied";

    auto* out = static_cast<KorrinDrawingOutput*>(Call<void*>("SpriteOutput", 5));
    ASSERT_NE(out, nullptr);
    const auto* bits = static_cast<const DWORD*>(out->getBuffer());
    ASSERT_NE(bits, nullptr);
    EXPECT_EQ(WrongArgb(Picture32(bits, out->pitch, 16, 16), drawn), 0) << "read through the output";
    EXPECT_EQ(out->release(), 0);

    EXPECT_EQ(Call<int>("DisplaySprite", 5, 30, 30), 0);
    EXPECT_EQ(Wrong(30, 30, 16, 16, [&](int x, int y) { return drawn(x, y).c; }), 0) << "displayed";
}

// ---- colour filter -----------------------------------------------------------------------

TEST_F(Blending, TheFilterAddsItsColourWhateverStageZeroWasLeftIn) {
    const Rgb brightened = {kBackground.r + 64, kBackground.g, kBackground.b};
    auto inside = [&](int x, int y) { return x < 40 && y < 20 ? brightened : kBackground; };
    // After plain drawing, inside a 3D bracket, and after a blended mode.
    for (int setUp = 0; setUp < 3; ++setUp) {
        SCOPED_TRACE(setUp);
        Clear();
        if (setUp == 1) {
            ASSERT_EQ(Int("Start3D"), 1);
        }
        if (setUp == 2) {
            EXPECT_EQ(Call<int>("DisplaySolidSprite", 1, kWidth - 16, kHeight - 16, 0xFF), 0);
        }
        EXPECT_EQ(Call<int>("DisplayRGBFilter", -20, -20, 60, 40, 64, 0, 0), 0);
        EXPECT_EQ(Wrong(0, 0, 60, 40, inside), 0);
        if (setUp == 1) {
            EXPECT_EQ(Int("Stop3D"), 1);
        }
    }
    Clear();
    EXPECT_EQ(Call<int>("DisplayRGBFilter", 10, 10, 20, 20, 255, 255, 255), 0);
    EXPECT_TRUE(Near(At(15, 15), kWhite)) << "saturates";
    ExpectPlainDisplayAfterwards();
}

TEST_F(Blending, EmptyOrOverflowingFilterRectangles) {
    EXPECT_EQ(Call<int>("DisplayRGBFilter", 10, 10, 0, 10, 64, 64, 64), 0);
    EXPECT_EQ(Call<int>("DisplayRGBFilter", 10, 10, 10, -1, 64, 64, 64), 0);
    EXPECT_EQ(Call<int>("DisplayRGBFilter", kWidth, 0, 10, 10, 64, 64, 64), 0);
    EXPECT_EQ(Call<int>("DisplayRGBFilter", INT_MIN, 0, INT_MAX, 10, 64, 64, 64), 0) << "ends at x = -1";
    EXPECT_EQ(Wrong(0, 0, kWidth, kHeight, [](int, int) { return kBackground; }), 0);
    // x + width past INT_MAX reaches the right edge rather than wrapping to nothing.
    EXPECT_EQ(Call<int>("DisplayRGBFilter", 150, 100, INT_MAX, INT_MAX, 0, 64, 0), 0);
    const Rgb greener = {kBackground.r, kBackground.g + 64, kBackground.b};
    EXPECT_EQ(Wrong(140, 90, 20, 30, [&](int x, int y) { return x >= 10 && y >= 10 ? greener : kBackground; }),
              0);
}

// ---- collision ------------------------------------------------------------------------------

TEST_F(Drawing, CollisionByRectangleAndByPixel) {
    ASSERT_NE(Call<int>("CreateSprite", 1, 32, 32), 0);
    ASSERT_NE(Call<int>("CreateSprite", 2, 32, 32), 0);
    ASSERT_NE(Call<int>("TransparentSpriteColor", 1, 0xFF00FF), 0);
    ASSERT_NE(Call<int>("TransparentSpriteColor", 2, 0xFF00FF), 0);
    const WORD key = (31 << 10) | 31;
    Paint(1, 32, 32, [&](int x, int y) { return x == 31 && y == 31 ? WORD{0x7C1E} : key; });
    Paint(2, 32, 32, [&](int, int) { return key; });
    EXPECT_EQ(Call<int>("SpriteCollision", 1, 0, 0, 2, 32, 0), 0) << "shared edge";
    EXPECT_EQ(Call<int>("SpriteCollision", 1, 0, 0, 2, 31, 31), 1);
    EXPECT_EQ(Call<int>("SpritePixelCollision", 1, 0, 0, 2, 31, 31), 0) << "the key word never counts";
    Paint(2, 32, 32, [&](int x, int y) { return x == 0 && y == 0 ? WORD{0} : key; });
    EXPECT_EQ(Call<int>("SpritePixelCollision", 1, 0, 0, 2, 31, 31), 1);
    EXPECT_EQ(Call<int>("SpritePixelCollision", 2, 31, 31, 1, 0, 0), 1);
    EXPECT_EQ(Call<int>("SpritePixelCollision", 1, 0, 0, 1, 0, 0), 1) << "itself, one solid pixel";
    EXPECT_EQ(Call<int>("SpritePixelCollision", 1, 0, 0, 1, 1, 1), 0);

    // The clip window's size and pixels count.
    ASSERT_EQ(Call<int>("ClipSprite", 1, 16, 16, 16, 16), 1);
    EXPECT_EQ(Call<int>("SpriteCollision", 1, 0, 0, 2, 16, 0), 0);
    EXPECT_EQ(Call<int>("SpritePixelCollision", 1, 0, 0, 2, 15, 15), 1) << "image pixel (31, 31) at (15, 15)";
    EXPECT_EQ(Call<int>("SpritePixelCollision", 1, 0, 0, 2, 14, 15), 0);

    // Every lock was released: the pixel copies lock again.
    Paint(1, 32, 32, [&](int, int) { return key; });
    Paint(2, 32, 32, [&](int, int) { return key; });
    EXPECT_EQ(Call<int>("SpritePixelCollision", 1, 0, 0, 1, 0, 0), 0) << "wholly transparent";

    // Positions at the ends of the int range.
    EXPECT_EQ(Call<int>("SpriteCollision", 2, INT_MAX, 0, 2, INT_MAX - 5, 0), 1);
    EXPECT_EQ(Call<int>("SpriteCollision", 2, INT_MAX - 10, 0, 2, INT_MIN, 0), 0);
    EXPECT_EQ(Call<int>("SpritePixelCollision", 0, INT_MAX - 20, 0, 0, INT_MIN, 0), 0);
    EXPECT_EQ(Call<int>("SpritePixelCollision", 0, INT_MAX - 20, INT_MAX - 20, 0, INT_MAX - 30, INT_MAX - 10), 1);
    EXPECT_EQ(Call<int>("SpriteCollision", 1, 0, 0, 99, 0, 0), 0) << "no such sprite";
}

// Pixel collision keeps a mask of each sprite's solid pixels between tests; a
// change by any path must be seen by the very next test. Sprite 2 starts
// wholly of its key colour, each path makes its top-left pixel solid, and the
// test before the change has made (and cached) sprite 2's mask.
TEST_F(Drawing, PixelCollisionSeesEveryChangeAtTheNextTest) {
    const WORD key = (31 << 10) | 31;
    struct Case {
        const char* path;
        int flags;  // of sprite 2: 0 managed, 1 video memory
        void (*change)();
    };
    const Case cases[] = {
        {"a write lock", 0, [] { Paint(2, 32, 32, [](int x, int y) { return x + y == 0 ? WORD{0x1234} : key; }); }},
        {"a new transparent colour", 1, [] { Call<int>("TransparentSpriteColor", 2, 0x00FF00); }},
        {"drawing into the sprite", 0,
         [] {
             Call<int>("UseBuffer", 2);
             Call<int>("DisplaySprite", 3, 0, 0);
             Call<int>("UseBuffer", -1);
         }},
        {"the sprite's drawing output", 1,
         [] {
             auto* out = static_cast<KorrinDrawingOutput*>(Call<void*>("SpriteOutput", 2));
             if (!out) return;
             auto* pixels = static_cast<WORD*>(out->getBuffer ? out->getBuffer() : out->buffer);
             if (pixels) pixels[0] = 0x1234;
             out->release();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        ASSERT_NE(Call<int>("CreateSprite2", 1, 32, 32, 0), 0);
        ASSERT_NE(Call<int>("CreateSprite2", 2, 32, 32, c.flags), 0);
        ASSERT_NE(Call<int>("CreateSprite2", 3, 1, 1, 0), 0);
        for (int sprite : {1, 2, 3}) ASSERT_NE(Call<int>("TransparentSpriteColor", sprite, 0xFF00FF), 0);
        Paint(1, 32, 32, [](int, int) { return WORD{0x7FFF}; });
        Paint(2, 32, 32, [&](int, int) { return key; });
        Paint(3, 1, 1, [](int, int) { return WORD{0x1234}; });
        EXPECT_EQ(Call<int>("SpritePixelCollision", 1, 0, 0, 2, 0, 0), 0);
        EXPECT_EQ(Call<int>("SpritePixelCollision", 2, 0, 0, 1, 0, 0), 0) << "the same answer from the cache";
        c.change();
        EXPECT_EQ(Call<int>("SpritePixelCollision", 1, 0, 0, 2, 0, 0), 1);
        EXPECT_EQ(Call<int>("SpritePixelCollision", 2, 0, 0, 2, 0, 0), 1) << "against itself";
    }
}

TEST_F(Drawing, ThirtyTwoBitSpritesCollideOnlyByRectangle) {
    ASSERT_NE(Call<int>("CreateSprite2", 1, 8, 8, 12), 0);
    EXPECT_EQ(Call<int>("SpriteDepth", 1), 32);
    EXPECT_EQ(Call<int>("SpriteCollision", 1, 0, 0, 0, 0, 0), 1);
    EXPECT_EQ(Call<int>("SpritePixelCollision", 1, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(Call<int>("SpritePixelCollision", 0, 0, 0, 1, 0, 0), 0);
    EXPECT_EQ(Call<int>("SpritePixelCollision", 0, 0, 0, 0, 0, 0), 1);
    // No screen needed.
    Int("CloseScreen");
    EXPECT_EQ(Call<int>("SpriteCollision", 0, 0, 0, 0, 0, 0), 0) << "closing freed every sprite";
}

// ---- gamma -----------------------------------------------------------------------------------

// Wine's Direct3D under Xvfb does not hold a gamma ramp (GetGammaRamp reads
// zeros), so the ramp the library hands the device is recorded through a copy
// of the device's method table with a recording SetGammaRamp.
namespace {
int gammaCalls = 0;
D3DGAMMARAMP lastRamp;
void(WINAPI* realSetGammaRamp)(IDirect3DDevice9*, UINT, DWORD, const D3DGAMMARAMP*);
void WINAPI RecordingSetGammaRamp(IDirect3DDevice9* d, UINT chain, DWORD flags, const D3DGAMMARAMP* ramp) {
    ++gammaCalls;
    lastRamp = *ramp;
    EXPECT_EQ(chain, 0u);
    EXPECT_EQ(flags, static_cast<DWORD>(D3DSGR_CALIBRATE));
    realSetGammaRamp(d, chain, flags, ramp);
}
}  // namespace

class Gamma : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_NE(host::Call<void*>("InitSprite"), nullptr); }
    static void TearDownTestSuite() { host::Int("Sprite_End"); }
    void TearDown() override {
        if (device_) *reinterpret_cast<void***>(device_) = original_;
        Int("CloseScreen");
    }
    // Records the device's SetGammaRamp calls from now on.
    void Record(IDirect3DDevice9* device) {
        device_ = device;
        original_ = *reinterpret_cast<void***>(device);
        table_.assign(original_, original_ + deviceMethodSlots.count);
        realSetGammaRamp = reinterpret_cast<decltype(realSetGammaRamp)>(original_[deviceMethodSlots.setGammaRamp]);
        table_[deviceMethodSlots.setGammaRamp] = reinterpret_cast<void*>(RecordingSetGammaRamp);
        *reinterpret_cast<void***>(device) = table_.data();
        // The position is right when the test's own call is recorded.
        const D3DGAMMARAMP zero = {};
        gammaCalls = 0;
        device->SetGammaRamp(0, D3DSGR_CALIBRATE, &zero);
        ASSERT_EQ(gammaCalls, 1);
        gammaCalls = 0;
    }
    IDirect3DDevice9* device_ = nullptr;
    void** original_ = nullptr;
    std::vector<void*> table_;
};

TEST_F(Gamma, FullScreenRampsFollowTheLevels) {
    auto* device = static_cast<IDirect3DDevice9*>(Call<void*>("OpenScreen", 1024, 768, 32, "gamma"));
    ASSERT_NE(device, nullptr);
    Record(device);
    EXPECT_EQ(Call<int>("ChangeGamma", 255, 255, 255, 0), 0);
    ASSERT_EQ(gammaCalls, 1);
    for (int i = 0; i < 256; ++i) {
        const WORD want = static_cast<WORD>(256 * std::min(i + 1, 255));
        ASSERT_EQ(lastRamp.red[i], want) << i;
        ASSERT_EQ(lastRamp.green[i], want) << i;
        ASSERT_EQ(lastRamp.blue[i], want) << i;
    }
    EXPECT_EQ(lastRamp.red[254], 65280);
    EXPECT_EQ(lastRamp.red[255], 65280);

    EXPECT_EQ(Call<int>("ChangeGamma", 128, 255, 0, 0), 0);
    ASSERT_EQ(gammaCalls, 2);
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(lastRamp.red[i], 256 * std::min(i + 1, 128)) << i;
        ASSERT_EQ(lastRamp.green[i], 256 * std::min(i + 1, 255)) << i;
        ASSERT_EQ(lastRamp.blue[i], 0) << i;
    }
    EXPECT_EQ(lastRamp.red[127], 32768);

    // Levels beyond 255 run on past 65280 and are kept to 16 bits; negative ones stay at 0.
    EXPECT_EQ(Call<int>("ChangeGamma", 300, -5, INT_MAX, 0), 0);
    ASSERT_EQ(gammaCalls, 3);
    EXPECT_EQ(lastRamp.red[254], 65280);
    EXPECT_EQ(lastRamp.red[255], 0) << "65536 kept to 16 bits";
    EXPECT_EQ(lastRamp.green[255], 0);
    EXPECT_EQ(lastRamp.blue[100], 256 * 101);

    EXPECT_EQ(Call<int>("ChangeGamma", 10, 10, 10, 1), 0);
    EXPECT_EQ(gammaCalls, 3) << "flags 1 changes nothing";
    *reinterpret_cast<void***>(device_) = original_;
    device_ = nullptr;
    Int("CloseScreen");
    EXPECT_EQ(Call<int>("ChangeGamma", 255, 255, 255, 0), 0) << "no screen";
}

TEST_F(Gamma, WindowedScreensKeepTheirRamp) {
    HWND window = CreateWindowExA(0, "STATIC", "gamma", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 200, nullptr,
                                  nullptr, nullptr, nullptr);
    auto* device = static_cast<IDirect3DDevice9*>(
        Call<void*>("OpenWindowedScreen", static_cast<void*>(window), 0, 0, 100, 100, 0, 0, 0));
    ASSERT_NE(device, nullptr);
    Record(device);
    EXPECT_EQ(Call<int>("ChangeGamma", 100, 0, 50, 0), 0);
    EXPECT_EQ(gammaCalls, 0);
    *reinterpret_cast<void***>(device_) = original_;
    device_ = nullptr;
    Int("CloseScreen");
    DestroyWindow(window);
}

// ---- a refused state leaves the cache unknown -----------------------------------------------

namespace {
int refuseSourceBlend = 0;  // SetRenderState(D3DRS_SRCBLEND) calls still to refuse
int renderStateCalls = 0;
HRESULT(WINAPI* realSetRenderState)(IDirect3DDevice9*, D3DRENDERSTATETYPE, DWORD);
HRESULT WINAPI RefusingSetRenderState(IDirect3DDevice9* d, D3DRENDERSTATETYPE state, DWORD value) {
    ++renderStateCalls;
    if (state == D3DRS_SRCBLEND && refuseSourceBlend > 0) {
        --refuseSourceBlend;
        return D3DERR_INVALIDCALL;
    }
    return realSetRenderState(d, state, value);
}
}  // namespace

// Sprite3DBlendingMode keeps its factors for Start3D when the device refuses
// one, but the cache must not claim the device has it: the next DisplaySprite
// then sets its source factor again and draws the key colour as a colour.
TEST_F(Drawing, ARefusedBlendFactorIsSetAgainByTheNextDrawing) {
    Paint(0, 64, 32, [](int x, int y) { return x < 32 ? WORD{0x03E0} : Texel(x, y); });  // left half green
    ASSERT_NE(Call<int>("TransparentSpriteColor", 0, 0x00FF00), 0);
    EXPECT_EQ(Call<int>("DisplayTransparentSprite", 0, 0, 0), 0);  // source factor: source alpha

    void** original = *reinterpret_cast<void***>(device_.get());
    std::vector<void*> table(original, original + deviceMethodSlots.count);
    realSetRenderState = reinterpret_cast<decltype(realSetRenderState)>(original[deviceMethodSlots.setRenderState]);
    table[deviceMethodSlots.setRenderState] = reinterpret_cast<void*>(RefusingSetRenderState);
    *reinterpret_cast<void***>(device_.get()) = table.data();
    device_->SetRenderState(D3DRS_DITHERENABLE, FALSE);
    ASSERT_EQ(renderStateCalls, 1) << "the position is right";

    refuseSourceBlend = 1;
    EXPECT_EQ(Call<int>("Sprite3DBlendingMode", D3DBLEND_ONE, D3DBLEND_ZERO), 0) << "the device refused";
    EXPECT_EQ(refuseSourceBlend, 0);
    *reinterpret_cast<void***>(device_.get()) = original;

    Clear();
    EXPECT_EQ(Call<int>("DisplaySprite", 0, 10, 10), 0);
    EXPECT_TRUE(Near(At(15, 15), Of555(0x03E0))) << "the key drawn as a colour, not blended away: "
                                                 << Text(At(15, 15));
}
