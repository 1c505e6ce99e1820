// A windowed screen for tests that draw: the window and Direct3D live for the
// whole suite, a fresh screen (and the default transparent colour, black) for
// each test; and the same with a test pattern in sprite 0.
#pragma once

#include <d3d9.h>

#include "host.h"
#include "texture_ops.h"

template <int Width = 256, int Height = 192>
class WindowedScreenTest : public ::testing::Test {
protected:
    static constexpr int kScreenWidth = Width, kScreenHeight = Height;

    static void SetUpTestSuite() {
        window_ = CreateWindowExA(0, "STATIC", "korrin test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 240,
                                  nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(host::Call<void*>("InitSprite"), nullptr);
    }
    static void TearDownTestSuite() {
        host::Int("Sprite_End");
        DestroyWindow(window_);
    }
    void SetUp() override { ASSERT_TRUE(OpenScreen()); }
    void TearDown() override { host::Int("CloseScreen"); }

    // Opens the screen in the suite's window; the device, or null.
    IDirect3DDevice9* OpenScreen() {
        auto* opened = static_cast<IDirect3DDevice9*>(host::Call<void*>(
            "OpenWindowedScreen", static_cast<void*>(window_), 0, 0, Width, Height, 0, 0, 0));
        host::Call<int>("TransparentSpriteColor", -1, 0);
        return opened;
    }

    static inline HWND window_ = nullptr;
    // The library's device, asked for with __GetD3DDevice9 at every use, as a
    // host that calls the device itself must: the library then draws what it
    // has queued first, and draws each later sprite at once. Until a test
    // first uses it, its sprites are drawn batched.
    struct HostDevice {
        IDirect3DDevice9* get() const {
            return static_cast<IDirect3DDevice9*>(host::Call<void*>("__GetD3DDevice9"));
        }
        operator IDirect3DDevice9*() const { return get(); }
        IDirect3DDevice9* operator->() const { return get(); }
    } device_;
};

// A 15-bit colour unique to every pixel of a 64 by 32 image, never black.
inline WORD Texel(int x, int y) { return static_cast<WORD>(0x4000 | x | (y << 6)); }

// A 160 by 120 windowed screen cleared to ClearScreen(0x604020) (red 0x20,
// green 0x40, blue 0x60), with sprite 0, 64 by 32, painted with Texel.
class TexelSpriteTest : public WindowedScreenTest<160, 120> {
protected:
    void SetUp() override {
        WindowedScreenTest::SetUp();
        ASSERT_NE(host::Call<int>("CreateSprite", 0, 64, 32), 0);
        Paint(0, 64, 32, Texel);
        Clear();
    }

    void Clear(int host = 0x604020) { ASSERT_EQ(host::Call<int>("ClearScreen", host), 1); }
};
