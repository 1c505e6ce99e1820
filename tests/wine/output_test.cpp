// Drawing outputs: the descriptors ScreenOutput and SpriteOutput give the
// host's own drawing commands, and what drawing through them leaves behind.
#include <d3d9.h>
#include <wrl/client.h>

#include "host.h"
#include "read_back.h"
#include "texture_ops.h"

using host::Call;
using host::Int;
using Microsoft::WRL::ComPtr;

namespace {

// A sprite's 16-bit pixel copy, word at (x, y).
WORD CopyPixel(int sprite, int x, int y) {
    KorrinTextureObject* texture = TextureOf(sprite);
    void* bits = nullptr;
    int pitch = 0;
    if (!Ops(texture).LockPixels(texture, 1, 0, &bits, &pitch)) return 0xDEAD;
    const WORD value = reinterpret_cast<const WORD*>(static_cast<const BYTE*>(bits) + y * pitch)[x];
    Ops(texture).UnlockPixels(texture, 1);
    return value;
}

// The descriptor's fixed type, and the size and pixel format it reports.
void ExpectDescriptor(const KorrinDrawingOutput* out, int width, int height, int bitsPerPixel, int pixelFormat) {
    EXPECT_EQ(out->outputType, 7);
    EXPECT_EQ(out->width, width);
    EXPECT_EQ(out->height, height);
    EXPECT_EQ(out->bitsPerPixel, bitsPerPixel);
    EXPECT_EQ(out->pixelFormat, pixelFormat);
}

// Fills a box through the output's device context, as a host's drawing command does.
void FillBox(KorrinDrawingOutput* out, RECT box, COLORREF colour) {
    HDC dc = out->getDC();
    ASSERT_NE(dc, nullptr);
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &box, brush);
    DeleteObject(brush);
}

class Outputs : public ::testing::Test {
protected:
    void SetUp() override {
        window_ = CreateWindowExA(0, "STATIC", "outputs", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 160, nullptr,
                                  nullptr, nullptr, nullptr);
        ASSERT_NE(Call<void*>("InitSprite"), nullptr);
        device_ = static_cast<IDirect3DDevice9*>(
            Call<void*>("OpenWindowedScreen", static_cast<void*>(window_), 0, 0, 96, 64, 0, 0, 0));
        ASSERT_NE(device_, nullptr);
    }
    void TearDown() override {
        Int("Sprite_End");
        DestroyWindow(window_);
    }
    HWND window_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
};

}  // namespace

TEST_F(Outputs, SpriteDescriptorsByKind) {
    ASSERT_NE(Call<int>("CreateSprite", 0, 40, 30), 0);
    auto* out = static_cast<KorrinDrawingOutput*>(Call<void*>("SpriteOutput", 0));
    ASSERT_NE(out, nullptr);
    ExpectDescriptor(out, 40, 30, 15, 2);  // X1R5G5B5
    EXPECT_GE(out->pitch, 80);
    EXPECT_EQ(out->release(), 0);
    ASSERT_NE(Call<int>("CreateSprite2", 1, 16, 8, 12), 0);
    out = static_cast<KorrinDrawingOutput*>(Call<void*>("SpriteOutput", 1));
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->bitsPerPixel, 32);
    EXPECT_EQ(out->pixelFormat, 7);
    EXPECT_GE(out->pitch, 64);
    out->release();
    EXPECT_EQ(Call<void*>("SpriteOutput", 77), nullptr) << "no such sprite";
}

TEST_F(Outputs, DeviceContextAndBufferDrawingBothReachTheSprite) {
    ASSERT_NE(Call<int>("CreateSprite", 0, 40, 30), 0);
    auto* out = static_cast<KorrinDrawingOutput*>(Call<void*>("SpriteOutput", 0));
    ASSERT_NE(out, nullptr);
    FillBox(out, {2, 2, 10, 10}, RGB(255, 0, 0));
    auto* bits = static_cast<BYTE*>(out->getBuffer());
    ASSERT_NE(bits, nullptr);
    reinterpret_cast<WORD*>(bits + 20 * out->pitch)[30] = 0x03E0;  // green
    EXPECT_EQ(out->release(), 0);
    EXPECT_EQ(CopyPixel(0, 5, 5) & 0x7FFF, 0x7C00) << "the box drawn through the DC";
    EXPECT_EQ(CopyPixel(0, 30, 20) & 0x7FFF, 0x03E0) << "the pixel written through the buffer";
    EXPECT_EQ(CopyPixel(0, 20, 20) & 0x7FFF, 0) << "untouched";
}

TEST_F(Outputs, ScreenDescriptorAndDrawing) {
    auto* out = static_cast<KorrinDrawingOutput*>(Call<void*>("ScreenOutput"));
    ASSERT_NE(out, nullptr);
    ExpectDescriptor(out, 96, 64, 32, 7);  // eight bits per channel
    FillBox(out, {0, 0, 8, 8}, RGB(0, 0, 255));
    auto* bits = static_cast<BYTE*>(out->getBuffer());
    ASSERT_NE(bits, nullptr);
    EXPECT_EQ(reinterpret_cast<DWORD*>(bits)[3] & 0xFFFFFF, 0x0000FFu) << "the box, seen through the buffer";
    reinterpret_cast<DWORD*>(bits + 40 * out->pitch)[50] = 0x00FF00;
    EXPECT_EQ(out->release(), 0);
    // The back buffer, read back through the device: the box and the pixel on black.
    const readback::Picture back = readback::ReadBackBuffer(device_);
    ASSERT_FALSE(back.empty());
    readback::Picture expected = readback::Blank(back, 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) expected.pixels[y * 96 + x] = 0x0000FF;
    expected.pixels[40 * 96 + 50] = 0x00FF00;
    EXPECT_EQ(readback::CountMismatches(back, expected, 0, 0xFFFFFF), 0);
    Int("CloseScreen");
    EXPECT_EQ(Call<void*>("ScreenOutput"), nullptr) << "no screen";
}

// The back buffer is the library's again whenever it draws, clears or
// presents: an open screen output gives up its lock or device context (a
// locked back buffer may make Direct3D refuse all three, and a refused
// present leaves the screen inactive), and takes it again when next asked.
TEST_F(Outputs, TheScreenOutputLetsGoOfTheBackBufferWhileTheLibraryUsesIt) {
    ASSERT_NE(Call<int>("CreateSprite", 0, 16, 16), 0);
    auto* sprite = static_cast<KorrinDrawingOutput*>(Call<void*>("SpriteOutput", 0));
    ASSERT_NE(sprite, nullptr);
    FillBox(sprite, {0, 0, 16, 16}, RGB(255, 0, 0));
    sprite->release();

    auto* out = static_cast<KorrinDrawingOutput*>(Call<void*>("ScreenOutput"));
    ASSERT_NE(out, nullptr);
    auto pixel = [&](int x, int y) {
        auto* bits = static_cast<BYTE*>(out->getBuffer());
        return bits ? reinterpret_cast<DWORD*>(bits + y * out->pitch)[x] & 0xFFFFFF : 0xDEADu;
    };
    auto* bits = static_cast<BYTE*>(out->getBuffer());
    ASSERT_NE(bits, nullptr);
    reinterpret_cast<DWORD*>(bits + 40 * out->pitch)[50] = 0x00FF00;

    Call<int>("DisplaySprite", 0, 0, 0);
    EXPECT_EQ(out->buffer, nullptr) << "the back buffer stayed locked while a sprite was drawn";
    EXPECT_EQ(pixel(5, 5), 0xFF0000u) << "the sprite";
    EXPECT_EQ(pixel(50, 40), 0x00FF00u) << "the pixel written before";

    FillBox(out, {0, 0, 4, 4}, RGB(0, 0, 255));
    EXPECT_EQ(Call<int>("ClearScreen", 0xFF0000), 1);  // blue
    EXPECT_EQ(out->dc, nullptr) << "the device context stayed out while the screen was cleared";
    EXPECT_EQ(pixel(50, 40), 0x0000FFu) << "the cleared back buffer";

    ASSERT_NE(out->buffer, nullptr);
    EXPECT_EQ(Call<int>("FlipBuffers2", 0), 1) << "presented with the back buffer locked by the output";
    EXPECT_EQ(out->buffer, nullptr);
    EXPECT_EQ(Call<int>("ClearScreen", 0), 1) << "the screen stays active";
    EXPECT_NE(out->getDC(), nullptr);
    EXPECT_EQ(Call<int>("FlipBuffers2", 0), 1) << "presented with the output's device context out";
    EXPECT_EQ(out->release(), 0);
}

// A video-memory sprite (flags 1), whose pixel copy is in system memory,
// gives its device context and pixel address at once: both show the same pixels, and stay
// usable while the library draws the sprite, until release.
TEST_F(Outputs, ASystemMemorySpriteSharesItsDeviceContextAndBuffer) {
    ASSERT_NE(Call<int>("CreateSprite2", 0, 40, 30, 1), 0);
    auto* out = static_cast<KorrinDrawingOutput*>(Call<void*>("SpriteOutput", 0));
    ASSERT_NE(out, nullptr);
    HDC dc = out->getDC();
    FillBox(out, {2, 2, 10, 10}, RGB(255, 0, 0));
    auto* bits = static_cast<BYTE*>(out->getBuffer());
    ASSERT_NE(bits, nullptr);
    EXPECT_EQ(out->getDC(), dc) << "the device context stays open beside the buffer";
    auto word = [&](int x, int y) -> WORD& { return reinterpret_cast<WORD*>(bits + y * out->pitch)[x]; };
    EXPECT_EQ(word(5, 5) & 0x7FFF, 0x7C00) << "GDI's box, seen through the buffer";
    word(30, 20) = 0x03E0;
    EXPECT_EQ(GetPixel(dc, 30, 20) & 0xF8F8F8, RGB(0, 0xF8, 0)) << "the buffer's pixel, seen by GDI";

    Call<int>("DisplaySprite", 0, 0, 0);
    EXPECT_EQ(Call<int>("FlipBuffers2", 0), 1);
    word(31, 20) = 0x001F;  // still the output's memory after the device used the sprite
    EXPECT_EQ(out->release(), 0);
    EXPECT_EQ(CopyPixel(0, 5, 5) & 0x7FFF, 0x7C00);
    EXPECT_EQ(CopyPixel(0, 30, 20) & 0x7FFF, 0x03E0);
    EXPECT_EQ(CopyPixel(0, 31, 20) & 0x7FFF, 0x001F);
}
