// The fatal-error report, seen from outside: a child process (this program
// started again with --child=<case>) faults, and the test acts as the user: it
// waits for the child's message box, reads its title and text, checks its
// owner and the state of the child's windows, and answers Yes or No.
#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "frame/ErrorReport.h"
#include "host.h"

namespace {

// ---- the child side ---------------------------------------------------------

// Prints the code of every exception the child raises, before the report sees
// it, so the watcher knows which description each box must show.
LONG WINAPI PrintCode(EXCEPTION_POINTERS* info) {
    printf("code %08lx\n", static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode));
    fflush(stdout);
    return EXCEPTION_CONTINUE_SEARCH;
}

int RunChild(const char* which) {
    _setmode(_fileno(stdout), _O_BINARY);
    AddVectoredExceptionHandler(1, PrintCode);
    HMODULE korrin = LoadLibraryA("korrin.dll");
    if (!korrin) return 90;
    auto command = [&](const char* name) { return host::Entry<int(__stdcall*)()>(korrin, name); };
    volatile int zero = 0;
    // An address no page is mapped at, read from a volatile so that the
    // compiler sees a store through a pointer, not into an array.
    volatile std::uintptr_t lowAddress = 16;
    volatile int* const unmapped = reinterpret_cast<volatile int*>(lowAddress);

    if (strcmp(which, "divide-yes") == 0) {
        command("__GetD3DDevice9")();  // the last position recorded is the main module's
        volatile int result = 10 / zero;
        (void)result;
        printf("resumed\n");
        return 3;
    }
    if (strcmp(which, "no-position") == 0) {
        // Nothing of the library ran yet: no position is known.
        *unmapped = 1;
        printf("resumed\n");
        fflush(stdout);
        return 3;
    }
    if (strcmp(which, "stubs") == 0) {
        host::Entry<int(__stdcall*)(int)>(korrin, "IsPalette")(1);
        *unmapped = 1;
        return 3;
    }
    if (strcmp(which, "lengths") == 0) {
        command("InitPalette")();
        // Faults in instructions of 1, 2, 5, 6, 8, 10 and 2 bytes; after each the
        // next instruction counts the resumption in edi.
        int resumed = 0;
        asm volatile(
            "xorl %%edi, %%edi\n\t"
            "xorl %%eax, %%eax\n\t"
            "xorl %%ecx, %%ecx\n\t"
            "xorl %%ebx, %%ebx\n\t"
            "int3\n\t"                                  // 1 byte: CC
            "incl %%edi\n\t"
            "divl %%ecx\n\t"                            // 2 bytes: F7 F1
            "incl %%edi\n\t"
            "movl 0x10, %%eax\n\t"                      // 5 bytes: A1 moffs32
            "incl %%edi\n\t"
            "movl 0x12345678(%%eax), %%edx\n\t"         // 6 bytes: 8B 90 disp32
            "incl %%edi\n\t"
            "movl $1, 0x20(%%eax,%%ebx,4)\n\t"          // 8 bytes: C7 44 98 20 imm32
            "incl %%edi\n\t"
            "movw $0x1234, 0x100(%%eax,%%ebx,4)\n\t"    // 10 bytes: 66 C7 84 98 disp32 imm16
            "incl %%edi\n\t"
            "ud2\n\t"                                   // 2 bytes: 0F 0B
            "incl %%edi\n\t"
            "movl %%edi, %0\n\t"
            : "=m"(resumed)
            :
            : "eax", "ebx", "ecx", "edx", "edi", "memory");
        printf("resumed %d\n", resumed);
        fflush(stdout);
        return 3;
    }
    if (strcmp(which, "windows") == 0) {
        // Four top-level windows of this thread: the foreground one, another
        // visible one, a hidden one and a disabled one.
        auto make = [](const char* title, DWORD style) {
            return CreateWindowExA(0, "STATIC", title, style | WS_OVERLAPPEDWINDOW, 10, 10, 200, 100, nullptr,
                                   nullptr, nullptr, nullptr);
        };
        HWND other = make("korrin-other", WS_VISIBLE);
        HWND hidden = make("korrin-hidden", 0);
        HWND disabled = make("korrin-disabled", WS_VISIBLE | WS_DISABLED);
        HWND front = make("korrin-front", WS_VISIBLE);
        SetForegroundWindow(front);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        command("__GetD3DDevice9")();
        *unmapped = 1;
        printf("front=%d other=%d hidden=%d disabled=%d visible=%d\n", IsWindowEnabled(front) ? 1 : 0,
               IsWindowEnabled(other) ? 1 : 0, IsWindowEnabled(hidden) ? 1 : 0, IsWindowEnabled(disabled) ? 1 : 0,
               IsWindowVisible(hidden) ? 1 : 0);
        fflush(stdout);
        return 3;
    }
    return 91;
}

// ---- the watching side ---------------------------------------------------------

struct Box {
    HWND window = nullptr;
    std::string title, text;
    HWND owner = nullptr;
};

struct ChildProcess {
    PROCESS_INFORMATION process = {};
    HANDLE output = nullptr;  // read end of the child's standard output
};

ChildProcess Start(const char* which) {
    ChildProcess child;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE write = nullptr;
    CreatePipe(&child.output, &write, &inherit, 0);
    SetHandleInformation(child.output, HANDLE_FLAG_INHERIT, 0);
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string commandLine = std::string("\"") + self + "\" --child=" + which;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    EXPECT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                               &child.process));
    CloseHandle(write);
    return child;
}

struct Search {
    DWORD process;
    HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char cls[64] = {};
    GetClassNameA(window, cls, sizeof cls);
    if (owner == search->process && strcmp(cls, "#32770") == 0 && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// Waits for the child's message box; null when the child ended first.
Box WaitForBox(const ChildProcess& child, DWORD timeoutMs = 120000) {
    Box box;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        Search search = {child.process.dwProcessId, nullptr};
        EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
        // The box is read once it shows its buttons, title and text.
        char title[1024] = {}, text[1024] = {};
        if (search.found && GetDlgItem(search.found, IDYES) && GetWindowTextA(search.found, title, sizeof title) > 0 &&
            GetDlgItemTextA(search.found, 0xFFFF, text, sizeof text) > 0) {
            box.window = search.found;
            box.title = title;
            box.text = text;
            box.owner = GetWindow(box.window, GW_OWNER);
            return box;
        }
        if (WaitForSingleObject(child.process.hProcess, 100) == WAIT_OBJECT_0) return box;
    }
    return box;
}

void Answer(const Box& box, int button) {
    PostMessageA(box.window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box.window, button)));
}

// Waits for the child to end; returns its exit code and what it printed.
DWORD Finish(ChildProcess& child, std::string* printed) {
    EXPECT_EQ(WaitForSingleObject(child.process.hProcess, 120000), WAIT_OBJECT_0);
    DWORD code = 0xDEAD;
    GetExitCodeProcess(child.process.hProcess, &code);
    char buffer[512];
    DWORD got = 0;
    while (ReadFile(child.output, buffer, sizeof buffer, &got, nullptr) && got > 0) printed->append(buffer, got);
    CloseHandle(child.output);
    CloseHandle(child.process.hProcess);
    CloseHandle(child.process.hThread);
    return code;
}

// The exception codes the child printed, in order.
std::vector<unsigned long> Codes(const std::string& printed) {
    std::vector<unsigned long> codes;
    for (size_t at = printed.find("code "); at != std::string::npos; at = printed.find("code ", at + 1))
        codes.push_back(strtoul(printed.c_str() + at + 5, nullptr, 16));
    return codes;
}

// What the child printed besides the exception codes.
std::string Rest(const std::string& printed) {
    std::string rest;
    size_t at = 0;
    while (at < printed.size()) {
        size_t end = printed.find('\n', at);
        if (end == std::string::npos) end = printed.size() - 1;
        const std::string line = printed.substr(at, end - at + 1);
        if (line.rfind("code ", 0) != 0) rest += line;
        at = end + 1;
    }
    return rest;
}

// The text the box must show for an exception code.
std::string Expected(const char* module, unsigned long code) {
    return std::string("Module: ") + module + "\rDescription:" + korrin::DescribeException(code) + "\rQuit ?";
}

// On an emulated processor the exception codes of some faults differ from
// those of real hardware (the emulator does not report the trap number):
// there the texts are checked against the codes the child reports, and the
// comparison of those codes with the hardware's is reported as skipped.
bool Emulated() { return getenv("KORRIN_EMULATED_CPU") != nullptr; }
constexpr const char* kEmulatedCodes =
    "the exception codes were not compared with the hardware's: the processor is emulated";

bool IsLineTitle(const std::string& title) {
    const std::string prefix = "ERROR in Line:";
    if (title.compare(0, prefix.size(), prefix) != 0 || title.size() == prefix.size()) return false;
    for (size_t i = prefix.size(); i < title.size(); ++i)
        if (title[i] < '0' || title[i] > '9') return false;
    return title != prefix + "0";
}

// The child printed one exception code and the box described it; on a real
// processor the code is `natural`.
void ExpectOneFault(const std::string& printed, const Box& box, const char* module, unsigned long natural) {
    const std::vector<unsigned long> codes = Codes(printed);
    ASSERT_EQ(codes.size(), 1u);
    EXPECT_EQ(box.text, Expected(module, codes[0]));
    if (Emulated()) GTEST_SKIP() << kEmulatedCodes;
    EXPECT_EQ(codes[0], natural);
}

}  // namespace

TEST(FatalReport, YesEndsTheProcessWithExitCodeZero) {
    ChildProcess child = Start("divide-yes");
    Box box = WaitForBox(child);
    ASSERT_NE(box.window, nullptr) << "no message box";
    EXPECT_TRUE(IsLineTitle(box.title)) << box.title;
    EXPECT_NE(GetDlgItem(box.window, IDNO), nullptr);
    EXPECT_EQ(GetDlgItem(box.window, IDCANCEL), nullptr) << "Yes and No only";
    Answer(box, IDYES);
    std::string printed;
    EXPECT_EQ(Finish(child, &printed), 0u);
    EXPECT_EQ(Rest(printed), "") << "the process ended at once";
    ExpectOneFault(printed, box, "Main Module", 0xC0000094ul);
}

TEST(FatalReport, WithoutAPositionItSaysSoAndNoResumes) {
    ChildProcess child = Start("no-position");
    Box box = WaitForBox(child);
    ASSERT_NE(box.window, nullptr);
    EXPECT_EQ(box.title, "ERROR in Line:-1");
    Answer(box, IDNO);
    std::string printed;
    EXPECT_EQ(Finish(child, &printed), 3u);
    EXPECT_EQ(Rest(printed), "resumed\n");
    ExpectOneFault(printed, box, "OnError line support disabled", 0xC0000005ul);
}

TEST(FatalReport, NamesTheModuleThatRanLast) {
    ChildProcess child = Start("stubs");
    Box box = WaitForBox(child);
    ASSERT_NE(box.window, nullptr);
    EXPECT_EQ(box.text.rfind("Module: Dummys\rDescription:", 0), 0u) << box.text;
    EXPECT_TRUE(IsLineTitle(box.title)) << box.title;
    Answer(box, IDNO);
    std::string printed;
    EXPECT_EQ(Finish(child, &printed), 3u);
}

TEST(FatalReport, NoResumesAfterInstructionsOfEveryLength) {
    ChildProcess child = Start("lengths");
    const unsigned long natural[] = {0x80000003ul, 0xC0000094ul, 0xC0000005ul, 0xC0000005ul,
                                     0xC0000005ul, 0xC0000005ul, 0xC000001Dul};
    std::vector<std::string> texts;
    for (size_t i = 0; i < sizeof natural / sizeof natural[0]; ++i) {
        Box box = WaitForBox(child);
        ASSERT_NE(box.window, nullptr) << "no box for fault " << i;
        texts.push_back(box.text);
        Answer(box, IDNO);
        // Wait until this box is gone before looking for the next one.
        for (int wait = 0; wait < 600 && IsWindow(box.window); ++wait) Sleep(50);
    }
    std::string printed;
    EXPECT_EQ(Finish(child, &printed), 3u);
    EXPECT_EQ(Rest(printed), "resumed 7\n") << "each fault was stepped over exactly";
    const std::vector<unsigned long> codes = Codes(printed);
    ASSERT_EQ(codes.size(), texts.size());
    for (size_t i = 0; i < codes.size(); ++i) EXPECT_EQ(texts[i], Expected("Dummys", codes[i])) << "fault " << i;
    if (Emulated()) GTEST_SKIP() << kEmulatedCodes;
    for (size_t i = 0; i < codes.size(); ++i) EXPECT_EQ(codes[i], natural[i]) << "fault " << i;
}

TEST(FatalReport, OwnerIsTheForegroundWindowAndOtherWindowsAreDisabledMeanwhile) {
    ChildProcess child = Start("windows");
    Box box = WaitForBox(child);
    ASSERT_NE(box.window, nullptr);
    HWND front = FindWindowA("STATIC", "korrin-front");
    HWND other = FindWindowA("STATIC", "korrin-other");
    HWND disabled = FindWindowA("STATIC", "korrin-disabled");
    ASSERT_NE(front, nullptr);
    EXPECT_EQ(box.owner, front);
    EXPECT_FALSE(IsWindowEnabled(other)) << "visible windows of the thread are disabled while the box is shown";
    EXPECT_FALSE(IsWindowEnabled(disabled));
    Answer(box, IDNO);
    std::string printed;
    EXPECT_EQ(Finish(child, &printed), 3u);
    // Afterwards exactly the windows the report disabled are enabled again.
    EXPECT_EQ(Rest(printed), "front=1 other=1 hidden=1 disabled=0 visible=0\n");
}

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (strncmp(argv[i], "--child=", 8) == 0) return RunChild(argv[i] + 8);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
