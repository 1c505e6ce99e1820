// InitSprite and the display-mode walk: on Wine's own adapter, on stand-in
// adapters with chosen mode lists, and without a usable Direct3D.
#include <d3d9.h>

#include <string>
#include <vector>

#include "host.h"

using host::Call;
using host::Int;

namespace {

struct Mode {
    int width, height, depth, refresh;
    bool operator==(const Mode& o) const {
        return width == o.width && height == o.height && depth == o.depth && refresh == o.refresh;
    }
};

std::ostream& operator<<(std::ostream& out, const Mode& m) {
    return out << m.width << "x" << m.height << "x" << m.depth << "@" << m.refresh;
}

IDirect3D9* InitSprite() { return static_cast<IDirect3D9*>(Call<void*>("InitSprite")); }

// Walks the list from the start, as a host does.
std::vector<Mode> Walk() {
    std::vector<Mode> modes;
    const int count = Int("ExamineScreenModes");
    while (Int("NextScreenMode") == 1) {
        modes.push_back({Int("ScreenModeWidth"), Int("ScreenModeHeight"), Int("ScreenModeDepth"),
                         Int("ScreenModeRefreshRate")});
        if (modes.size() > 100000) break;
    }
    EXPECT_EQ(static_cast<int>(modes.size()), count);
    return modes;
}

void ExpectCurrentModeCleared() {
    EXPECT_EQ(Int("ScreenModeWidth"), 0);
    EXPECT_EQ(Int("ScreenModeHeight"), 0);
    EXPECT_EQ(Int("ScreenModeDepth"), 0);
    EXPECT_EQ(Int("ScreenModeRefreshRate"), 0);
}

// The d3d9.dll the library would load: a stand-in beside the program, or
// else the system's.
HMODULE LoadedDirect3D() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string standIn(path, length);
    standIn = standIn.substr(0, standIn.find_last_of("\\/") + 1) + "d3d9.dll";
    if (GetFileAttributesA(standIn.c_str()) != INVALID_FILE_ATTRIBUTES) return GetModuleHandleA(standIn.c_str());
    return GetModuleHandleA("d3d9.dll");
}

void ExpectNothingLeftBehind() {
    EXPECT_EQ(LoadedDirect3D(), nullptr);
    EXPECT_EQ(Int("ExamineScreenModes"), 0);
    EXPECT_EQ(Int("NextScreenMode"), 0);
    EXPECT_EQ(Int("Sprite_End"), 0);
}

}  // namespace

TEST(RealAdapter, ListsTheAdaptersModesInItsOrder) {
    EXPECT_EQ(Int("AvailableScreenMemory"), 0) << "no screen yet";
    ExpectCurrentModeCleared();
    IDirect3D9* d3d = InitSprite();
    ASSERT_NE(d3d, nullptr);

    // The adapter's own lists, read directly: 16-bit modes (X1R5G5B5 when
    // there are any, else R5G6B5), then X8R8G8B8 modes.
    std::vector<Mode> expected;
    const D3DFORMAT format16 = d3d->GetAdapterModeCount(0, D3DFMT_X1R5G5B5) > 0 ? D3DFMT_X1R5G5B5 : D3DFMT_R5G6B5;
    for (D3DFORMAT format : {format16, D3DFMT_X8R8G8B8}) {
        for (UINT i = 0; i < d3d->GetAdapterModeCount(0, format); ++i) {
            D3DDISPLAYMODE m;
            ASSERT_EQ(d3d->EnumAdapterModes(0, format, i, &m), D3D_OK);
            expected.push_back({static_cast<short>(m.Width), static_cast<short>(m.Height),
                                format == D3DFMT_X8R8G8B8 ? 32 : 16, static_cast<short>(m.RefreshRate)});
        }
    }
    ASSERT_FALSE(expected.empty());

    const std::vector<Mode> walked = Walk();
    EXPECT_EQ(walked, expected);
    // Past the end: 0, and the current mode reads 0; again the same.
    EXPECT_EQ(Int("NextScreenMode"), 0);
    ExpectCurrentModeCleared();
    // Examining again restarts at the first mode, with the same count.
    EXPECT_EQ(Int("ExamineScreenModes"), static_cast<int>(expected.size()));
    ASSERT_EQ(Int("NextScreenMode"), 1);
    EXPECT_EQ(Int("ScreenModeWidth"), expected[0].width);
    EXPECT_EQ(Walk(), expected);
    EXPECT_EQ(Int("AvailableScreenMemory"), 0) << "still no screen";
    EXPECT_EQ(Int("Sprite_End"), 0);
}

TEST(StandIn, ListsX1R5G5B5ThenX8R8G8B8) {
    ASSERT_NE(InitSprite(), nullptr);
    const std::vector<Mode> expected = {
        {640, 480, 16, 60}, {800, 600, 16, 0}, {1024, 768, 32, 85}, {1280, 1024, 32, 60}};
    EXPECT_EQ(Walk(), expected) << "R5G6B5 modes are left out when X1R5G5B5 modes exist";
    EXPECT_EQ(Int("Sprite_End"), 0);
}

TEST(StandIn, ListsR5G6B5WithoutX1R5G5B5) {
    ASSERT_NE(InitSprite(), nullptr);
    const std::vector<Mode> expected = {{320, 240, 16, 70}, {640, 480, 16, 72}, {1024, 768, 32, 85}};
    EXPECT_EQ(Walk(), expected);
    EXPECT_EQ(Int("Sprite_End"), 0);
}

TEST(StandIn, FailsWithoutModes) {
    EXPECT_EQ(InitSprite(), nullptr);
    ExpectNothingLeftBehind();
}

TEST(StandIn, FailsWhenCreateReturnsNull) {
    EXPECT_EQ(InitSprite(), nullptr);
    ExpectNothingLeftBehind();
}

TEST(Missing, InitSpriteFailsAndLeavesNothingBehind) {
    EXPECT_EQ(InitSprite(), nullptr);
    ExpectNothingLeftBehind();
    EXPECT_EQ(InitSprite(), nullptr) << "and again";
    ExpectNothingLeftBehind();
}
