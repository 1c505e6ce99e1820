// The DLL itself: it exports exactly what korrin.def declares (the 110
// commands and korrin's own additions) under plain names, each export removes
// exactly its arguments from the stack, and it imports system DLLs only.
#include <algorithm>
#include <cctype>
#include <set>
#include <string>

#include "host.h"
#include "korrin_exports.h"

namespace {

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
    int commands = 0;
    for (const KorrinExport& e : korrinExports) {
        expected.insert(e.name);
        commands += e.command;
    }
    EXPECT_EQ(exported, expected);
    EXPECT_EQ(table->NumberOfFunctions, static_cast<DWORD>(expected.size()));
    EXPECT_EQ(commands, 110) << "korrin.def lists its own additions after a comment line \"; korrin's own ...\"";
}

TEST(Exports, EachCommandRemovesExactlyItsArguments) {
    for (const KorrinExport& e : korrinExports) {
        FARPROC entry = GetProcAddress(host::Library(), e.name);
        ASSERT_NE(entry, nullptr) << e.name;
        const int arguments = e.argumentBytes / 4;
        int imbalance = -1;
        CallWithZeroArguments(entry, arguments, &imbalance);
        EXPECT_EQ(imbalance, 0) << e.name << " with " << arguments << " arguments";
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
