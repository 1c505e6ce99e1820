// The library frame: teardown, the device accessor, loading and unloading, and
// the palette commands.
#include <d3d9.h>

#include "host.h"

using host::Call;
using host::Int;

namespace {

IDirect3D9* InitSprite() { return static_cast<IDirect3D9*>(Call<void*>("InitSprite")); }

}  // namespace

TEST(Teardown, SpriteEndOnAFreshLibraryAndTwiceInARowReturnsZero) {
    ASSERT_NE(host::Library(), nullptr);
    EXPECT_EQ(Int("Sprite_End"), 0);
    EXPECT_EQ(Int("Sprite_End"), 0);
    EXPECT_EQ(Call<void*>("__GetD3DDevice9"), nullptr);
}

TEST(Teardown, SpriteEndReleasesDirect3DAndKeepsTheComponentLoaded) {
    IDirect3D9* d3d = InitSprite();
    ASSERT_NE(d3d, nullptr);
    HMODULE d3d9 = GetModuleHandleA("d3d9.dll");
    ASSERT_NE(d3d9, nullptr);
    EXPECT_EQ(d3d->AddRef(), 2u);
    EXPECT_EQ(Call<void*>("__GetD3DDevice9"), nullptr) << "no screen is open";
    EXPECT_EQ(Int("Sprite_End"), 0);
    EXPECT_EQ(d3d->Release(), 0u) << "the library still held its reference";
    EXPECT_EQ(GetModuleHandleA("d3d9.dll"), d3d9);

    // InitSprite works again and reuses the loaded component.
    IDirect3D9* again = InitSprite();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(GetModuleHandleA("d3d9.dll"), d3d9);
    EXPECT_GT(Int("ExamineScreenModes"), 0);
    EXPECT_EQ(Int("Sprite_End"), 0);
    EXPECT_EQ(Int("Sprite_End"), 0);
}

TEST(Teardown, SecondInitSpriteReleasesTheFirstDirect3DObject) {
    IDirect3D9* first = InitSprite();
    ASSERT_NE(first, nullptr);
    first->AddRef();
    IDirect3D9* second = InitSprite();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(first->Release(), 0u);
    EXPECT_EQ(Int("Sprite_End"), 0);
}

TEST(Palette, EveryCommandAcceptsAnythingAndReportsSuccess) {
    for (int round = 0; round < 2; ++round) {  // before InitSprite and after Sprite_End
        EXPECT_EQ(Int("InitPalette"), 1);
        EXPECT_EQ(Call<int>("CreatePalette", 3), 1);
        EXPECT_EQ(Call<int>("DisplayPalette", -7), 1);
        EXPECT_EQ(Call<int>("FreePalette", 99), 1);
        EXPECT_EQ(Call<int>("IsPalette", 123456), 1) << "never created";
        EXPECT_EQ(Call<int>("GetPaletteColor", 1, 255), 1) << "not a colour";
        EXPECT_EQ(Call<int>("SetPaletteColor", 1, 2, 0xFFFFFF), 1);
        EXPECT_EQ(Call<int>("LoadPalette", 1, "Z:\\no\\such\\file.pal"), 1);
        EXPECT_EQ(Call<int>("LoadPalette", 1, static_cast<const char*>(nullptr)), 1);
        ASSERT_NE(InitSprite(), nullptr);
        EXPECT_EQ(Int("Sprite_End"), 0);
    }
}

// ---- loading and unloading (run in a process of their own) ----------------

namespace {

LONG WINAPI HostFilter(EXCEPTION_POINTERS*) { return EXCEPTION_CONTINUE_SEARCH; }
LONG WINAPI Probe(EXCEPTION_POINTERS*) { return EXCEPTION_CONTINUE_SEARCH; }

// The filter installed now (read by swapping in a probe and back).
LPTOP_LEVEL_EXCEPTION_FILTER CurrentFilter() {
    LPTOP_LEVEL_EXCEPTION_FILTER current = SetUnhandledExceptionFilter(Probe);
    SetUnhandledExceptionFilter(current);
    return current;
}

}  // namespace

TEST(Unload, TheEarlierExceptionFilterIsBackAfterUnloading) {
    SetUnhandledExceptionFilter(HostFilter);
    HMODULE korrin = LoadLibraryA("korrin.dll");
    ASSERT_NE(korrin, nullptr);
    LPTOP_LEVEL_EXCEPTION_FILTER installed = CurrentFilter();
    EXPECT_NE(installed, HostFilter);
    EXPECT_EQ(GetModuleHandleA("d3d9.dll"), nullptr) << "loading touches no platform component";
    ASSERT_TRUE(FreeLibrary(korrin));
    EXPECT_EQ(GetModuleHandleA("korrin.dll"), nullptr);
    EXPECT_EQ(CurrentFilter(), HostFilter);
    SetUnhandledExceptionFilter(nullptr);
}

TEST(Unload, UnloadingWithoutSpriteEndLeavesDirect3DAlive) {
    HMODULE korrin = LoadLibraryA("korrin.dll");
    ASSERT_NE(korrin, nullptr);
    auto init = host::Entry<void*(__stdcall*)()>(korrin, "InitSprite");
    auto* d3d = static_cast<IDirect3D9*>(init());
    ASSERT_NE(d3d, nullptr);
    d3d->AddRef();
    ASSERT_TRUE(FreeLibrary(korrin));
    EXPECT_EQ(GetModuleHandleA("korrin.dll"), nullptr);
    EXPECT_EQ(d3d->Release(), 1u) << "the unloaded library's reference stays";
    d3d->Release();
}
