// The texture manager, white-box, on a windowed Direct3D 9 device of the
// test's own: creation of every kind and its failures, the operation table,
// and colour keys. The other fixtures live in texture_access_test.cpp
// (pixel access, long locks) and texture_device_test.cpp (rendering, device
// reset, Optimize, leaks); all are one program.
#include "texture_fixture.h"

using namespace korrin;
using namespace texture_test;

// The device for every fixture of the program.
::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(new DeviceEnvironment);

// --- creation -----------------------------------------------------------------------------------------

TEST_F(Create, EachKindHoldsExactSizedObjectsOfItsFormatsAndPools) {
    struct Expect {
        int kind, bits;
        D3DFORMAT format;
        D3DPOOL pool;
        DWORD usage;
        bool systemCopy, target, lockableTarget;
    };
    const Expect kinds[] = {
        {1, 15, D3DFMT_A1R5G5B5, D3DPOOL_DEFAULT, D3DUSAGE_DYNAMIC, true, true, false},
        {2, 15, D3DFMT_A1R5G5B5, D3DPOOL_MANAGED, 0, false, true, true},
        {3, 32, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, 0, false, false, false},
        {4, 15, D3DFMT_X1R5G5B5, D3DPOOL_DEFAULT, D3DUSAGE_RENDERTARGET, true, false, false},
    };
    for (const Expect& e : kinds) {
        SCOPED_TRACE(e.kind);
        Held o(Make(e.kind, 100, 37, e.kind == 3));
        ASSERT_NE(o.object, nullptr);
        EXPECT_EQ(o->operations, &textureInterface);
        EXPECT_EQ(GetKind(o), e.kind);
        EXPECT_EQ(GetWidth(o), 100);
        EXPECT_EQ(GetHeight(o), 37);
        EXPECT_EQ(GetBitsPerPixel(o), e.bits);
        EXPECT_EQ(IsRenderTargetTexture(o), e.kind == 4 ? 1 : 0);
        EXPECT_EQ(GetTransparentColor(o), 0u);
        EXPECT_EQ(o->defaultPool, e.kind == 1 || e.kind == 4 ? 1 : 0);
        EXPECT_EQ(o->mayOptimize, e.kind == 2 ? 1 : 0);
        EXPECT_EQ(o->stale, e.kind == 3 ? 0 : 1);
        EXPECT_EQ(o->textureFlag, e.kind == 3 ? 1 : 0);
        EXPECT_EQ(o->device, g.device);
        EXPECT_EQ(o->dc, nullptr);
        EXPECT_EQ(o->changeCount, 0);

        ASSERT_NE(o->texture, nullptr);
        EXPECT_EQ(o->texture->GetLevelCount(), 1u);
        D3DSURFACE_DESC desc;
        o->texture->GetLevelDesc(0, &desc);
        EXPECT_EQ(desc.Width, 100u);
        EXPECT_EQ(desc.Height, 37u);
        EXPECT_EQ(desc.Format, e.format);
        EXPECT_EQ(desc.Pool, e.pool);
        EXPECT_EQ(desc.Usage, e.usage);
        IDirect3DSurface9* level = nullptr;
        o->texture->GetSurfaceLevel(0, &level);
        EXPECT_EQ(o->textureSurface, level);
        if (level) level->Release();

        EXPECT_EQ(o->systemCopy != nullptr, e.systemCopy);
        if (o->systemCopy) {
            o->systemCopy->GetDesc(&desc);
            EXPECT_EQ(desc.Format, D3DFMT_X1R5G5B5);
            EXPECT_EQ(desc.Pool, D3DPOOL_SYSTEMMEM);
            EXPECT_EQ(desc.Width, 100u);
        }
        EXPECT_EQ(o->targetSurface != nullptr, e.target);
        if (o->targetSurface) {
            o->targetSurface->GetDesc(&desc);
            EXPECT_EQ(desc.Format, D3DFMT_X1R5G5B5);
            EXPECT_EQ(desc.Usage, static_cast<DWORD>(D3DUSAGE_RENDERTARGET));
            EXPECT_EQ(desc.MultiSampleType, D3DMULTISAMPLE_NONE);
            D3DLOCKED_RECT rect;
            const bool lockable = SUCCEEDED(o->targetSurface->LockRect(&rect, nullptr, D3DLOCK_READONLY));
            if (lockable) o->targetSurface->UnlockRect();
            EXPECT_EQ(lockable, e.lockableTarget);
        }
    }
}

TEST_F(Create, RefusesAbsurdArgumentsAndLeavesNothing) {
    const SIZE_T heap = HeapBytesInUse();
    const int tooWide = static_cast<int>(g.caps.MaxTextureWidth) + 1;
    const int sizes[][2] = {{0, 10}, {10, 0}, {-5, 10}, {10, -1}, {100000, 100000}, {tooWide, 1}};
    for (int kind = 1; kind <= 4; ++kind)
        for (const auto& size : sizes) {
            SCOPED_TRACE(testing::Message() << "kind " << kind << " size " << size[0] << "x" << size[1]);
            EXPECT_EQ(Make(kind, size[0], size[1]), nullptr);
        }
    for (int kind : {0, 5, -1, 100}) EXPECT_EQ(Make(kind), nullptr) << kind;
    EXPECT_EQ(CreateTexture(nullptr, 16, 16, 2, 0), nullptr);
    EXPECT_EQ(textureInterface.Create(nullptr, 16, 16, 2, 0), nullptr);
    EXPECT_LT(HeapBytesInUse(), heap + 4096);
}

TEST_F(Create, FailingStepReleasesWhatWasMadeBefore) {
    struct Case {
        int kind;
        bool Injection::*fail;
        int textureCalls, targetCalls, plainCalls, levelCalls;
    };
    const Case cases[] = {
        {1, &Injection::failTexture, 1, 0, 0, 0},      {1, &Injection::failTarget, 1, 1, 0, 0},
        {1, &Injection::failPlain, 1, 1, 1, 0},        {1, &Injection::failSurfaceLevel, 1, 1, 1, 1},
        {2, &Injection::failTarget, 1, 1, 0, 0},       {2, &Injection::failSurfaceLevel, 1, 1, 0, 1},
        {3, &Injection::failSurfaceLevel, 1, 0, 0, 1}, {4, &Injection::failPlain, 1, 0, 1, 0},
        {4, &Injection::failSurfaceLevel, 1, 0, 1, 1},
    };
    const SIZE_T heap = HeapBytesInUse();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        HookedDevice hook;
        injection.*c.fail = true;
        EXPECT_EQ(Make(c.kind, 32, 32), nullptr);
        EXPECT_EQ(injection.textureCalls, c.textureCalls);
        EXPECT_EQ(injection.targetCalls, c.targetCalls);
        EXPECT_EQ(injection.plainCalls, c.plainCalls);
        EXPECT_EQ(injection.levelCalls, c.levelCalls);
        EXPECT_EQ(DeviceReferences(), references);
    }
    EXPECT_LT(HeapBytesInUse(), heap + 4096);
}

// Each operation called by its position in the table as the public header
// declares it, as a host does, and recognised by what it does.
TEST_F(Create, InterfaceTableHoldsTheOperationsInTheirOrder) {
    Held o(Make(kTextureManaged16, 24, 10));
    ASSERT_NE(o.object, nullptr);
    auto* host = reinterpret_cast<KorrinTextureObject*>(o.object);
    const KorrinTextureInterface& t = *host->operations;
    EXPECT_EQ(t.GetKind(host), kTextureManaged16);
    EXPECT_EQ(t.GetWidth(host), 24);
    EXPECT_EQ(t.GetHeight(host), 10);
    EXPECT_EQ(t.GetBitsPerPixel(host), 15);
    KorrinTextureObject* made = t.Create(g.device, 5, 3, kTextureAlpha32, 0);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(GetKind(reinterpret_cast<TextureObject*>(made)), kTextureAlpha32);
    EXPECT_EQ(GetWidth(reinterpret_cast<TextureObject*>(made)), 5);
    EXPECT_EQ(t.Free(made), 1);
    EXPECT_EQ(t.GetDrawTexture(host), o->texture);
    EXPECT_EQ(o->stale, 0) << "GetDrawTexture brought the texture up to date";
    EXPECT_NE(t.SetTransparentColor(host, kBlue), 0);
    EXPECT_EQ(o->transparentColor, kBlue);
    void* bits = nullptr;
    int pitch = 0;
    ASSERT_NE(t.LockPixels(host, 0, 0, &bits, &pitch), 0);
    EXPECT_EQ(o->locked, 1);
    EXPECT_GE(pitch, 24 * 2);
    EXPECT_NE(t.UnlockPixels(host, 0), 0);
    EXPECT_EQ(o->locked, 0);
    HDC dc = t.OpenDC(host);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(o->dc, dc);
    EXPECT_NE(t.CloseDC(host, 1), 0);
    EXPECT_EQ(o->dc, nullptr);
    EXPECT_EQ(t.GetRenderTarget(host), o->targetSurface);
    EXPECT_NE(o->targetSurface, nullptr);
    EXPECT_EQ(t.ReleaseVideoMemory(host), 1);
    EXPECT_EQ(o->targetSurface, nullptr) << "kind 2 gives its target surface back";
    EXPECT_EQ(t.RestoreVideoMemory(host), 1);
    EXPECT_NE(o->targetSurface, nullptr) << "and makes it again";
    const int changes = o->changeCount;
    ASSERT_LT(changes, 3);
    EXPECT_EQ(t.Optimize(host, 0), host) << "few changes: the same object, target surface dropped";
    EXPECT_EQ(o->targetSurface, nullptr);
}

// --- colour key -----------------------------------------------------------------------------------------

TEST_F(ColourKey, AlphaBitIsClearExactlyForTheTransparentColour) {
    for (int kind : {1, 2}) {
        SCOPED_TRACE(kind);
        Held o(Make(kind));
        ASSERT_NE(o.object, nullptr);
        EXPECT_EQ(WritePixels(o, Words), reinterpret_cast<INT_PTR>(o->texture));
        EXPECT_EQ(o->stale, 0);
        // 0x0000 and 0x8000 are transparent, every other word opaque.
        EXPECT_EQ(ReadTexture(o), Expected(16, 8, Words, 0));
        EXPECT_EQ(ColourBits(ReadPixelCopy(o)), Pattern16(16, 8));
    }
}

TEST_F(ColourKey, SwitchingTheKeyAndBackRebuildsTheTexture) {
    for (int kind : {1, 2}) {
        SCOPED_TRACE(kind);
        Held o(MakeWithWords(kind));
        ASSERT_NE(o.object, nullptr);
        const Pixels black = ReadTexture(o);
        EXPECT_NE(SetTransparentColor(o, kRed), 0);
        EXPECT_EQ(GetTransparentColor(o), kRed);
        EXPECT_EQ(ReadTexture(o), Expected(16, 8, Words, kRedKey));
        EXPECT_NE(SetTransparentColor(o, 0), 0);
        EXPECT_EQ(ReadTexture(o), black);
    }
    // The shared table is back to black as well: a new object keys black.
    Held other(Make(2));
    WritePixels(other, Words);
    EXPECT_EQ(ReadTexture(other), Expected(16, 8, Words, 0));
}

TEST_F(ColourKey, OnlyTheTopFiveBitsOfEachChannelCount) {
    Held o(MakeWithWords(1));
    ASSERT_NE(o.object, nullptr);
    EXPECT_NE(SetTransparentColor(o, 0x070000), 0);  // blue 7: still the key of black
    EXPECT_EQ(ReadTexture(o), Expected(16, 8, Words, 0));
    EXPECT_NE(SetTransparentColor(o, 0x080000), 0);  // blue 8: the least blue
    EXPECT_EQ(ReadTexture(o), Expected(16, 8, Words, 0x0001));
    EXPECT_EQ(ReadTexture(o)[0], 0x8000u);  // black is opaque now
}

TEST_F(ColourKey, SameColourDoesNotRebuildAndKind3HasNoKey) {
    Held o(MakeWithWords(2));
    ASSERT_NE(o.object, nullptr);
    ASSERT_NE(SetTransparentColor(o, kRed), 0);
    // Mark the texture behind the manager's back: an unchanged colour leaves it.
    D3DLOCKED_RECT rect;
    ASSERT_EQ(o->textureSurface->LockRect(&rect, nullptr, 0), D3D_OK);
    static_cast<std::uint16_t*>(rect.pBits)[0] = 0x1234;
    o->textureSurface->UnlockRect();
    EXPECT_EQ(SetTransparentColor(o, kRed), 1);
    EXPECT_EQ(ReadTexture(o)[0], 0x1234u);

    Held wide(Make(3));
    ASSERT_NE(wide.object, nullptr);
    EXPECT_EQ(SetTransparentColor(wide, kRed), 0);
    EXPECT_EQ(wide->transparentColor, 0u);
    EXPECT_EQ(GetTransparentColor(wide), 0u);
}

TEST_F(ColourKey, Kind4KeepsItsColoursAndOnlyRemembersTheKey) {
    Held o(Make(4));
    ASSERT_NE(o.object, nullptr);
    EXPECT_NE(WritePixels(o, Words), 0);
    EXPECT_EQ(ColourBits(ReadTexture(o)), Pattern16(16, 8));
    EXPECT_NE(SetTransparentColor(o, kRed), 0);
    EXPECT_EQ(GetTransparentColor(o), kRed);
    EXPECT_EQ(o->stale, 0);
    EXPECT_EQ(ColourBits(ReadTexture(o)), Pattern16(16, 8));
}

// Draws the texture over a green back buffer with alpha blending, the way
// transparent sprites are drawn, and returns the back buffer.
Pixels DrawOverGreen(IDirect3DTexture9* texture, int width, int height) {
    struct Vertex {
        float x, y, z, rhw, u, v;
    };
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    const Vertex quad[] = {{-0.5f, -0.5f, 0, 1, 0, 0}, {w - 0.5f, -0.5f, 0, 1, 1, 0},
                           {-0.5f, h - 0.5f, 0, 1, 0, 1}, {w - 0.5f, h - 0.5f, 0, 1, 1, 1}};
    IDirect3DDevice9* d = g.device;
    d->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0, 255, 0), 1.0f, 0);
    d->SetRenderState(D3DRS_LIGHTING, FALSE);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    d->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
    d->SetTexture(0, texture);
    d->BeginScene();
    d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
    d->EndScene();
    d->SetTexture(0, nullptr);
    IDirect3DSurface9* back = nullptr;
    d->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    Pixels pixels = ReadSurface(back);
    if (back) back->Release();
    for (auto& p : pixels) p &= 0xFFFFFF;
    return pixels;
}

TEST_F(ColourKey, DrawnTextureLeavesTransparentPixelsOut) {
    for (int kind : {1, 2}) {
        SCOPED_TRACE(kind);
        Held o(Make(kind, 8, 8));
        ASSERT_NE(o.object, nullptr);
        ASSERT_NE(SetTransparentColor(o, kBlue), 0);
        // Left half blue (the key), right half red.
        WritePixels(o, [](int x, int) -> std::uint32_t { return x < 4 ? 0x001F : 0x7C00; });
        IDirect3DTexture9* texture = GetDrawTexture(o);
        ASSERT_NE(texture, nullptr);
        const Pixels screen = DrawOverGreen(texture, 8, 8);
        ASSERT_EQ(screen.size(), 64u * 64u);
        EXPECT_EQ(screen[4 * 64 + 1], 0x00FF00u) << "a key pixel was drawn";
        EXPECT_EQ(screen[4 * 64 + 6] & 0xF8F8F8, 0xF80000u) << "an opaque pixel was left out";
        EXPECT_EQ(screen[4 * 64 + 20], 0x00FF00u);
    }
}
