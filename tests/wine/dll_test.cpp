// The DLL itself: it exports exactly the commands of the library under their
// plain names, each removes exactly its arguments from the stack, and it
// imports system DLLs only.
#include <algorithm>
#include <cctype>
#include <set>
#include <string>

#include "host.h"

namespace {

struct Export {
    const char* name;
    int arguments;
};

// Every command and the number of 32-bit arguments it takes.
const Export commands[] = {
    {"__GetD3DDevice9", 0},
    {"AvailableScreenMemory", 0},
    {"CatchSound", 2},
    {"CatchSound2", 3},
    {"CatchSprite", 2},
    {"CatchSprite2", 3},
    {"ChangeAlphaIntensity", 3},
    {"ChangeGamma", 4},
    {"ClearScreen", 1},
    {"ClipSprite", 5},
    {"CloseScreen", 0},
    {"CopySprite", 2},
    {"CopySprite2", 3},
    {"CreatePalette", 1},
    {"CreateSprite", 3},
    {"CreateSprite2", 4},
    {"CreateSprite3D", 2},
    {"DisplayAlphaSprite", 3},
    {"DisplayPalette", 1},
    {"DisplayRGBFilter", 7},
    {"DisplayShadowSprite", 3},
    {"DisplaySolidSprite", 4},
    {"DisplaySprite", 3},
    {"DisplaySprite3D", 3},
    {"DisplaySprite3D2", 4},
    {"DisplayTranslucentSprite", 4},
    {"DisplayTransparentSprite", 3},
    {"ExamineJoystick", 0},
    {"ExamineKeyboard", 0},
    {"ExamineMouse", 0},
    {"ExamineScreenModes", 0},
    {"FlipBuffers", 0},
    {"FlipBuffers2", 1},
    {"FreePalette", 1},
    {"FreeSound", 1},
    {"FreeSprite", 1},
    {"FreeSprite3D", 1},
    {"GetPaletteColor", 2},
    {"GrabSprite", 5},
    {"GrabSprite2", 6},
    {"InitJoystick", 0},
    {"InitKeyboard", 0},
    {"InitMouse", 0},
    {"InitPalette", 0},
    {"InitSound", 0},
    {"InitSprite", 0},
    {"InitSprite3D", 0},
    {"IsPalette", 1},
    {"IsScreenActive", 0},
    {"IsSound", 1},
    {"IsSprite", 1},
    {"IsSprite3D", 1},
    {"JoystickAxisX", 0},
    {"JoystickAxisY", 0},
    {"JoystickButton", 1},
    {"KeyboardInkey", 0},
    {"KeyboardMode", 1},
    {"KeyboardPushed", 1},
    {"KeyboardReleased", 1},
    {"KorrinLastError", 0},  // korrin's own addition beyond the 110 commands
    {"LoadPalette", 2},
    {"LoadSound", 2},
    {"LoadSprite", 2},
    {"LoadSprite2", 3},
    {"MouseButton", 1},
    {"MouseDeltaX", 0},
    {"MouseDeltaY", 0},
    {"MouseLocate", 2},
    {"MouseWheel", 0},
    {"MouseX", 0},
    {"MouseY", 0},
    {"NextScreenMode", 0},
    {"OpenScreen", 4},
    {"OpenWindowedScreen", 8},
    {"PlaySound", 1},
    {"PlaySound2", 2},
    {"ReleaseMouse", 1},
    {"RotateSprite3D", 3},
    {"ScreenID", 0},
    {"ScreenModeDepth", 0},
    {"ScreenModeHeight", 0},
    {"ScreenModeRefreshRate", 0},
    {"ScreenModeWidth", 0},
    {"ScreenOutput", 0},
    {"SetFrameRate", 1},
    {"SetPaletteColor", 3},
    {"SetRefreshRate", 1},
    {"SoundFrequency", 2},
    {"SoundPan", 2},
    {"SoundVolume", 2},
    {"SoundVolume2", 3},
    {"Sprite3DBlendingMode", 2},
    {"Sprite3DQuality", 1},
    {"Sprite_End", 0},
    {"SpriteCollision", 6},
    {"SpriteDepth", 1},
    {"SpriteHeight", 1},
    {"SpriteID", 1},
    {"SpriteOutput", 1},
    {"SpritePixelCollision", 6},
    {"SpriteWidth", 1},
    {"Start3D", 0},
    {"StartSpecialFX", 0},
    {"Stop3D", 0},
    {"StopSound", 1},
    {"StopSpecialFX", 0},
    {"TransformSprite3D", 9},
    {"TransformSprite3D2", 13},
    {"TransparentSpriteColor", 2},
    {"UseBuffer", 1},
    {"ZoomSprite3D", 3},
};

template <class T>
const T* At(HMODULE module, DWORD rva) {
    return reinterpret_cast<const T*>(reinterpret_cast<const BYTE*>(module) + rva);
}

const IMAGE_DATA_DIRECTORY& Directory(HMODULE module, int index) {
    const auto* dos = At<IMAGE_DOS_HEADER>(module, 0);
    const auto* nt = At<IMAGE_NT_HEADERS32>(module, static_cast<DWORD>(dos->e_lfanew));
    return nt->OptionalHeader.DataDirectory[index];
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

}  // namespace

// Calls `entry` with `count` zero arguments and stores in *imbalance how many
// bytes the callee left on the stack beyond what stdcall removes (0 = exact).
extern "C" int __cdecl CallWithZeroArguments(FARPROC entry, int count, int* imbalance);
asm(R"(
    .text
    .globl _CallWithZeroArguments
_CallWithZeroArguments:
    pushl %ebp
    movl %esp, %ebp
    pushl %esi
    pushl %edi
    pushl %ebx
    movl %esp, %esi
    movl 12(%ebp), %ecx
1:  testl %ecx, %ecx
    jz 2f
    pushl $0
    decl %ecx
    jmp 1b
2:  call *8(%ebp)
    movl %esp, %edx
    subl %esi, %edx
    movl %esi, %esp
    movl 16(%ebp), %ecx
    movl %edx, (%ecx)
    popl %ebx
    popl %edi
    popl %esi
    popl %ebp
    ret
)");

TEST(Exports, ExactlyTheCommandsUnderPlainNames) {
    HMODULE korrin = host::Library();
    ASSERT_NE(korrin, nullptr);
    const IMAGE_DATA_DIRECTORY& dir = Directory(korrin, IMAGE_DIRECTORY_ENTRY_EXPORT);
    ASSERT_NE(dir.VirtualAddress, 0u);
    const auto* table = At<IMAGE_EXPORT_DIRECTORY>(korrin, dir.VirtualAddress);
    const auto* names = At<DWORD>(korrin, table->AddressOfNames);
    std::set<std::string> exported;
    for (DWORD i = 0; i < table->NumberOfNames; ++i) exported.insert(At<char>(korrin, names[i]));
    std::set<std::string> expected;
    for (const Export& c : commands) expected.insert(c.name);
    EXPECT_EQ(exported, expected);
    EXPECT_EQ(table->NumberOfFunctions, static_cast<DWORD>(expected.size()));
}

TEST(Exports, EachCommandRemovesExactlyItsArguments) {
    for (const Export& c : commands) {
        FARPROC entry = GetProcAddress(host::Library(), c.name);
        ASSERT_NE(entry, nullptr) << c.name;
        int imbalance = -1;
        CallWithZeroArguments(entry, c.arguments, &imbalance);
        EXPECT_EQ(imbalance, 0) << c.name << " with " << c.arguments << " arguments";
    }
    host::Call<int>("Sprite_End");
}

TEST(Imports, OnlySystemDllsAndNoPlatformComponents) {
    HMODULE korrin = host::Library();
    const IMAGE_DATA_DIRECTORY& dir = Directory(korrin, IMAGE_DIRECTORY_ENTRY_IMPORT);
    std::set<std::string> imported;
    if (dir.VirtualAddress) {
        for (const auto* d = At<IMAGE_IMPORT_DESCRIPTOR>(korrin, dir.VirtualAddress); d->Name; ++d)
            imported.insert(Lower(At<char>(korrin, d->Name)));
    }
    const std::set<std::string> system = {"kernel32.dll", "user32.dll", "gdi32.dll", "msvcrt.dll", "advapi32.dll"};
    for (const std::string& name : imported) EXPECT_TRUE(system.count(name)) << "imports " << name;
    for (const char* forbidden : {"d3d9.dll", "dinput8.dll", "dsound.dll", "libgcc_s_dw2-1.dll", "libstdc++-6.dll",
                                  "libwinpthread-1.dll"})
        EXPECT_EQ(imported.count(forbidden), 0u) << forbidden;
    EXPECT_TRUE(imported.count("kernel32.dll"));
}
