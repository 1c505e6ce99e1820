// Sprites survive a device reset: with a stand-in Direct3D that reports a
// lost, then resettable device, FlipBuffers resets the device (which only
// succeeds once every default-pool resource is released) and every sprite,
// numbered or dynamic, of every kind shows its pixels again afterwards.
#include <d3d9.h>
#include <wrl/client.h>

#include <vector>

#include "host.h"
#include "read_back.h"
#include "texture_ops.h"

using host::Call;
using host::Int;
using Microsoft::WRL::ComPtr;

namespace {

DWORD Pattern(int kind, int x, int y, int seed) {
    if (kind == 3) return 0xFF000000u | static_cast<DWORD>((x * 37 + y * 11 + seed) & 0xFFFFFF);
    return static_cast<DWORD>(((x * 7 + y * 13 + seed) & 0x7FFF) | 1);  // never the black key
}

// Writes the pattern through the sprite's pixel copy.
bool Paint(KorrinTextureObject* texture, int seed) {
    const KorrinTextureInterface& ops = Ops(texture);
    const int kind = ops.GetKind(texture);
    return PaintTexture(texture, ops.GetWidth(texture), ops.GetHeight(texture),
                        [&](int x, int y) { return Pattern(kind, x, y, seed); });
}

// Reads the Direct3D texture the sprite is drawn with and compares it with
// the pattern (colour bits; 16-bit kinds with the alpha bit where they have one).
int Mismatches(IDirect3DDevice9* device, KorrinTextureObject* texture, int seed) {
    const KorrinTextureInterface& ops = Ops(texture);
    const int kind = ops.GetKind(texture), w = ops.GetWidth(texture), h = ops.GetHeight(texture);
    IDirect3DTexture9* drawn = ops.GetDrawTexture(texture);
    if (!drawn) return w * h;
    const readback::Picture actual = readback::ReadTexture(device, drawn);
    readback::Picture expected;
    expected.width = w;
    expected.height = h;
    expected.format = actual.format;
    const DWORD opaque = (kind == 1 || kind == 2) ? 0x8000 : 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) expected.pixels.push_back(Pattern(kind, x, y, seed) | opaque);
    const DWORD mask = kind == 3 ? 0xFFFFFFFFu : kind == 4 ? 0x7FFFu : 0xFFFFu;
    return readback::CountMismatches(actual, expected, 0, mask);
}

struct StandIn {
    void(WINAPI* loseDevice)(LONG);
    int(WINAPI* resetCalls)();
};

}  // namespace

// A 128x96 windowed screen on a window of the test's own, beside the stand-in d3d9.dll.
class DeviceReset : public ::testing::Test {
protected:
    void SetUp() override {
        window_ = CreateWindowExA(0, "STATIC", "reset", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 150, nullptr,
                                  nullptr, nullptr, nullptr);
        SetForegroundWindow(window_);
        ASSERT_NE(Call<void*>("InitSprite"), nullptr);
        device_ = static_cast<IDirect3DDevice9*>(
            Call<void*>("OpenWindowedScreen", static_cast<void*>(window_), 0, 0, 128, 96, 0, 0, 0));
        ASSERT_NE(device_, nullptr);
        HMODULE d3d9 = GetModuleHandleA("d3d9.dll");
        standIn_ = {host::Entry<void(WINAPI*)(LONG)>(d3d9, "StandInLoseDevice"),
                    host::Entry<int(WINAPI*)()>(d3d9, "StandInResetCalls")};
        ASSERT_TRUE(standIn_.loseDevice && standIn_.resetCalls) << "run beside the stand-in d3d9.dll";
    }
    void TearDown() override {
        Int("Sprite_End");
        DestroyWindow(window_);
    }

    HWND window_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
    StandIn standIn_ = {};
};

TEST_F(DeviceReset, EverySpriteKeepsItsPixels) {
    IDirect3DDevice9* device = device_;
    const StandIn& standIn = standIn_;

    // Numbered and dynamic sprites of every kind the flags give.
    struct Made {
        int id;
        int seed;
    };
    std::vector<Made> sprites;
    const int flags[] = {0, 1, 12};
    int seed = 1;
    for (int f : flags) {
        ASSERT_NE(Call<int>("CreateSprite2", 10 + f, 24, 16, f), 0);
        sprites.push_back({10 + f, seed++});
        const int handle = Call<int>("CreateSprite2", -1, 20, 12, f);
        ASSERT_NE(handle, 0);
        sprites.push_back({handle, seed++});
    }
    std::vector<int> kinds;
    for (const Made& s : sprites) {
        KorrinTextureObject* texture = TextureOf(s.id);
        ASSERT_TRUE(Paint(texture, s.seed));
        ASSERT_EQ(Mismatches(device, texture, s.seed), 0) << "before the reset, sprite " << s.id;
        kinds.push_back(Ops(texture).GetKind(texture));
    }

    // A 32-bit sprite that was drawn into (its loaded pixels cleared to green).
    ASSERT_NE(Call<int>("CreateSprite2", 30, 8, 8, 12), 0);
    ASSERT_EQ(Call<int>("UseBuffer", 30), 1);
    ASSERT_EQ(Call<int>("ClearScreen", 0x00FF00), 1);
    ASSERT_EQ(Call<int>("UseBuffer", -1), 1);

    const int resets = standIn.resetCalls();
    standIn.loseDevice(0);  // lost; it can be reset at once
    EXPECT_EQ(Int("FlipBuffers"), 1);
    EXPECT_EQ(standIn.resetCalls(), resets + 1) << "the device was reset";
    for (size_t i = 0; i < sprites.size(); ++i) {
        KorrinTextureObject* texture = TextureOf(sprites[i].id);
        EXPECT_EQ(Mismatches(device, texture, sprites[i].seed), 0)
            << "after the reset, sprite " << sprites[i].id << " of kind " << kinds[i];
    }
    KorrinTextureObject* drawn = TextureOf(30);
    const readback::Picture green = readback::ReadTexture(device, Ops(drawn).GetDrawTexture(drawn));
    EXPECT_EQ(readback::CountMismatches(green, readback::Blank(green, 0xFF00FF00u)), 0) << "what was drawn stays";
}

// A reset puts stage 0 back to Direct3D's defaults (colour operation
// MODULATE), and the library's cache of stage 0 goes with it: the filter
// drawn after the reset sets its stage-0 operation again and adds its colour
// unchanged, rather than squaring it through a forgotten MODULATE.
TEST_F(DeviceReset, StageZeroIsSetAgainAfterTheReset) {
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "before the reset" : "after the reset");
        ASSERT_EQ(Call<int>("ClearScreen", 0), 1);
        EXPECT_EQ(Call<int>("DisplayRGBFilter", 0, 0, 16, 16, 128, 64, 32), 0);
        const readback::Picture picture = readback::ReadBackBuffer(device_);
        ASSERT_FALSE(picture.empty());
        const DWORD rgb = readback::ToRgb(picture.At(8, 8), picture.format);
        const int channels[3][2] = {{static_cast<int>(rgb >> 16), 128},
                                    {static_cast<int>((rgb >> 8) & 0xFF), 64},
                                    {static_cast<int>(rgb & 0xFF), 32}};
        for (const auto& channel : channels) EXPECT_NEAR(channel[0], channel[1], 8) << std::hex << rgb;
        if (round == 0) {
            standIn_.loseDevice(0);
            EXPECT_EQ(Int("FlipBuffers"), 1);
        }
    }
}
