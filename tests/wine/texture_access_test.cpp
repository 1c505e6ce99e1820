// The texture manager's pixel access: LockPixels and GDI on every kind, the
// state of unmatched or repeated accesses, and long locks where pointer and
// device context share one buffer.
#include "texture_fixture.h"

using namespace korrin;
using namespace texture_test;

// --- pixel access -----------------------------------------------------------------------------------------

TEST_F(PixelAccess, GdiDrawingReachesPixelCopyAndTexture) {
    for (int kind = 1; kind <= 4; ++kind) {
        SCOPED_TRACE(kind);
        Held o(Make(kind, 16, 8));
        ASSERT_NE(o.object, nullptr);
        HDC dc = OpenDC(o);
        ASSERT_NE(dc, nullptr);
        EXPECT_EQ(o->dc, dc);
        RECT all = {0, 0, 16, 8};
        HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
        FillRect(dc, &all, blue);
        DeleteObject(blue);
        SetPixel(dc, 3, 2, RGB(255, 0, 0));
        EXPECT_NE(CloseDC(o, 0), 0);
        EXPECT_EQ(o->dc, nullptr);
        EXPECT_EQ(o->changeCount, 1);

        const Pixels copy = ReadPixelCopy(o);
        const Pixels texture = ReadTexture(o);
        ASSERT_EQ(texture.size(), 128u);
        for (int i = 0; i < 128; ++i) {
            const bool red = i == 2 * 16 + 3;
            if (kind == 3) {
                EXPECT_EQ(texture[i] & 0xFFFFFF, red ? 0xFF0000u : 0x0000FFu) << i;
                EXPECT_EQ(copy[i], texture[i]) << i;
            } else {
                EXPECT_EQ(copy[i] & 0x7FFF, red ? 0x7C00u : 0x001Fu) << i;
                const std::uint32_t alpha = kind == 4 ? 0 : 0x8000;  // kind 4 has no alpha
                EXPECT_EQ(kind == 4 ? texture[i] & 0x7FFF : texture[i], (red ? 0x7C00u : 0x001Fu) | alpha) << i;
            }
        }
        // A read-only close counts no change.
        ASSERT_NE(OpenDC(o), nullptr);
        CloseDC(o, 1);
        EXPECT_EQ(o->changeCount, 1);
    }
}

TEST_F(PixelAccess, Kind3KeepsItsAlphaBytesThroughTheDC) {
    Held o(Make(3, 16, 8));
    ASSERT_NE(o.object, nullptr);
    EXPECT_NE(WritePixels(o, Wide), 0);
    EXPECT_EQ(ReadTexture(o), Pattern32(16, 8));
    HDC dc = OpenDC(o);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(o->directDC, 0);
    SetPixel(dc, 5, 1, RGB(10, 20, 30));
    EXPECT_NE(CloseDC(o, 0), 0);
    Pixels expected = Pattern32(16, 8);
    const Pixels texture = ReadTexture(o);
    ASSERT_EQ(texture.size(), expected.size());
    EXPECT_EQ(texture[1 * 16 + 5] & 0xFFFFFF, 0x0A141Eu);
    expected[1 * 16 + 5] = texture[1 * 16 + 5];
    EXPECT_EQ(texture, expected) << "pixels GDI did not touch changed";
    // Twice, so that the kept system copy is refreshed from the texture.
    WritePixels(o, [](int x, int y) { return Wide(y, x); });
    ASSERT_NE(OpenDC(o), nullptr);
    EXPECT_NE(CloseDC(o, 0), 0);
    Pixels swapped;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) swapped.push_back(Wide(y, x));
    EXPECT_EQ(ReadTexture(o), swapped);
}

TEST_F(PixelAccess, WriteLocksCountAndReadLocksDoNot) {
    Held o(MakeWithWords(2));
    ASSERT_NE(o.object, nullptr);
    ReadPixelCopy(o);
    WritePixels(o, Words);
    EXPECT_EQ(o->changeCount, 2);
    EXPECT_EQ(o->locked, 0);
}

TEST_F(PixelAccess, NullObjectsGiveZero) {
    const TextureInterface& t = textureInterface;
    void* bits = nullptr;
    int pitch = 0;
    EXPECT_EQ(t.GetKind(nullptr), 0);
    EXPECT_EQ(t.GetWidth(nullptr), 0);
    EXPECT_EQ(t.GetHeight(nullptr), 0);
    EXPECT_EQ(t.GetBitsPerPixel(nullptr), 0);
    EXPECT_EQ(t.GetDrawTexture(nullptr), nullptr);
    EXPECT_EQ(t.SetTransparentColor(nullptr, 0), 0);
    for (int mode : {0, 1, 2}) EXPECT_EQ(t.LockPixels(nullptr, 0, mode, &bits, &pitch), 0);
    EXPECT_EQ(t.UnlockPixels(nullptr, 0), 0);
    EXPECT_EQ(t.OpenDC(nullptr), nullptr);
    EXPECT_EQ(t.CloseDC(nullptr, 0), 0);
    EXPECT_EQ(t.GetRenderTarget(nullptr), nullptr);
    EXPECT_EQ(t.ReleaseVideoMemory(nullptr), 0);
    EXPECT_EQ(t.RestoreVideoMemory(nullptr), 0);
    EXPECT_EQ(t.Free(nullptr), 0);
    EXPECT_EQ(t.Optimize(nullptr, 1), nullptr);
    EXPECT_EQ(GetTransparentColor(nullptr), 0u);
    EXPECT_EQ(IsRenderTargetTexture(nullptr), 0);
    EXPECT_EQ(FinishRendering(nullptr), 0);
}

TEST_F(PixelAccess, UnmatchedOrRepeatedAccessFailsAndKeepsState) {
    for (int kind = 1; kind <= 4; ++kind) {
        SCOPED_TRACE(kind);
        Held o(Make(kind));
        ASSERT_NE(o.object, nullptr);
        void* bits = nullptr;
        int pitch = 0;
        EXPECT_EQ(UnlockPixels(o, 0), 0);
        EXPECT_EQ(CloseDC(o, 0), 0);
        EXPECT_EQ(LockPixels(o, 0, 2, nullptr, nullptr), 0);  // no long lock to end
        EXPECT_EQ(LockPixels(o, 0, 3, &bits, &pitch), 0);
        for (int mode : {0, 1}) {
            EXPECT_EQ(LockPixels(o, 0, mode, nullptr, &pitch), 0) << mode;
            EXPECT_EQ(LockPixels(o, 0, mode, &bits, nullptr), 0) << mode;
        }
        EXPECT_EQ(o->locked, 0);
        EXPECT_EQ(o->changeCount, 0);

        HDC dc = OpenDC(o);
        ASSERT_NE(dc, nullptr);
        EXPECT_EQ(OpenDC(o), nullptr);
        EXPECT_EQ(o->dc, dc);
        EXPECT_NE(SetPixel(dc, 0, 0, RGB(255, 0, 0)), static_cast<COLORREF>(-1));  // still usable
        EXPECT_NE(CloseDC(o, 0), 0);
        EXPECT_EQ(CloseDC(o, 0), 0);

        ASSERT_EQ(LockPixels(o, 0, 0, &bits, &pitch), 1);
        EXPECT_NE(bits, nullptr);
        EXPECT_GE(pitch, 16 * (kind == 3 ? 4 : 2));
        EXPECT_EQ(LockPixels(o, 0, 0, &bits, &pitch), 0);
        EXPECT_EQ(o->locked, 1);
        EXPECT_NE(UnlockPixels(o, 0), 0);
        EXPECT_EQ(UnlockPixels(o, 0), 0);
        EXPECT_EQ((kind == 3 ? ReadTexture(o)[0] & 0xFFFFFF : ReadTexture(o)[0] & 0x7FFF), kind == 3 ? 0xFF0000u : 0x7C00u);
    }
}

TEST_F(PixelAccess, FreeEndsOpenAccess) {
    for (int kind = 1; kind <= 4; ++kind) {
        TextureObject* o = Make(kind);
        ASSERT_NE(o, nullptr);
        ASSERT_NE(OpenDC(o), nullptr);
        EXPECT_EQ(FreeTexture(o), 1);
        o = Make(kind);
        void* bits;
        int pitch;
        ASSERT_EQ(LockPixels(o, 0, 0, &bits, &pitch), 1);
        EXPECT_EQ(FreeTexture(o), 1);
    }
}

// --- long locks ----------------------------------------------------------------------------------------------

TEST_F(LongLock, PointerAndDCShareThePixelsOfSystemMemoryKinds) {
    for (int kind : {1, 4}) {
        SCOPED_TRACE(kind);
        Held o(Make(kind, 16, 8));
        ASSERT_NE(o.object, nullptr);
        WritePixels(o, [](int, int) -> std::uint32_t { return 0; });
        void* bits = nullptr;
        int pitch = 0;
        ASSERT_EQ(LockPixels(o, 0, 1, &bits, &pitch), 1);
        EXPECT_EQ(o->locked, 0);
        EXPECT_EQ(LockPixels(o, 0, 1, &bits, &pitch), 0) << "a second long lock";
        auto word = [&](int x, int y) -> std::uint16_t& {
            return reinterpret_cast<std::uint16_t*>(static_cast<BYTE*>(bits) + y * pitch)[x];
        };

        // Shared mode: the DC and the pointer at once.
        HDC dc = OpenDC(o);
        ASSERT_NE(dc, nullptr);
        SetPixel(dc, 1, 1, RGB(255, 0, 0));
        GetPixel(dc, 0, 0);  // GDI has finished
        EXPECT_EQ(word(1, 1) & 0x7FFF, 0x7C00) << "GDI drawing is not seen through the pointer";
        word(2, 1) = 0x03E0;
        EXPECT_EQ(GetPixel(dc, 2, 1) & 0xF8F8F8, RGB(0, 0xF8, 0)) << "pointer writes are not seen by GDI";
        EXPECT_NE(CloseDC(o, 0), 0);
        Pixels texture = ColourBits(ReadTexture(o));
        EXPECT_EQ(texture[16 + 1], 0x7C00u);
        EXPECT_EQ(texture[16 + 2], 0x03E0u);

        // Device operations go on working: render into the object.
        IDirect3DSurface9* target = GetRenderTarget(o);
        ASSERT_NE(target, nullptr);
        RECT box = {0, 4, 2, 6};
        EXPECT_EQ(g.device->ColorFill(target, &box, D3DCOLOR_XRGB(0, 0, 255)), D3D_OK);
        EXPECT_EQ(FinishRendering(o), 1);
        EXPECT_EQ(word(1, 5) & 0x7FFF, 0x001F) << "rendering is not seen through the pointer";
        EXPECT_EQ(word(1, 1) & 0x7FFF, 0x7C00);

        // Writes through the pointer alone reach the texture when the lock ends.
        word(7, 7) = 0x7FFF;
        EXPECT_EQ(LockPixels(o, 0, 2, nullptr, nullptr), 1);
        EXPECT_EQ(LockPixels(o, 0, 2, nullptr, nullptr), 0) << "no long lock is left to end";
        ASSERT_NE(GetDrawTexture(o), nullptr);
        texture = ColourBits(ReadTexture(o));
        EXPECT_EQ(texture[7 * 16 + 7], 0x7FFFu);
        EXPECT_EQ(texture[5 * 16 + 1], 0x001Fu);
    }
}

TEST_F(LongLock, RefusedWhereThePixelMemoryMayMoveOrIsBusy) {
    void* bits = nullptr;
    int pitch = 0;
    for (int kind : {2, 3}) {
        Held o(Make(kind));
        ASSERT_NE(o.object, nullptr);
        EXPECT_EQ(LockPixels(o, 0, 1, &bits, &pitch), 0) << kind;
        EXPECT_EQ(LockPixels(o, 0, 2, nullptr, nullptr), 0) << kind;
        ASSERT_NE(OpenDC(o), nullptr) << kind;  // alternating access still works
        EXPECT_NE(CloseDC(o, 0), 0);
    }
    Held o(Make(1));
    ASSERT_NE(OpenDC(o), nullptr);
    EXPECT_EQ(LockPixels(o, 0, 1, &bits, &pitch), 0) << "granted while a DC is open";
    CloseDC(o, 1);
    ASSERT_EQ(LockPixels(o, 0, 0, &bits, &pitch), 1);
    EXPECT_EQ(LockPixels(o, 0, 1, &bits, &pitch), 0) << "granted while locked";
    UnlockPixels(o, 1);
    // Freeing an object ends its long lock.
    TextureObject* freed = Make(4);
    ASSERT_EQ(LockPixels(freed, 0, 1, &bits, &pitch), 1);
    FreeTexture(freed);
    Held next(Make(4));
    EXPECT_EQ(LockPixels(next, 0, 2, nullptr, nullptr), 0);
}
