// The fatal-error report. When an exception reaches no handler, a Yes/No box
// names the exception and the last source position the library recorded.
// Yes ends the process with exit code 0; No resumes after the faulting
// instruction, whose length is decoded from the code at the fault address.
//
// The filter allocates nothing: it may run with a damaged heap.
#include "frame/FatalReport.h"

#include <windows.h>

#include "frame/ErrorReport.h"
#include "frame/instruction_length.h"

namespace korrin {

namespace {

LPTOP_LEVEL_EXCEPTION_FILTER previousFilter;  // InstallFatalReport; restored by RemoveFatalReport

// Windows the report disabled while its box is shown.
struct DisabledWindows {
    HWND foreground;
    HWND windows[64];
    int count;
};

BOOL CALLBACK DisableWindow(HWND window, LPARAM context) {
    auto* disabled = reinterpret_cast<DisabledWindows*>(context);
    if (window == disabled->foreground || !IsWindowVisible(window) || !IsWindowEnabled(window)) return TRUE;
    if (disabled->count == 64) return FALSE;
    EnableWindow(window, FALSE);
    disabled->windows[disabled->count++] = window;
    return TRUE;
}

// Bytes readable from `address` onwards, up to `limit`.
std::size_t ReadableBytes(const void* address, std::size_t limit) {
    std::size_t total = 0;
    const auto* at = static_cast<const unsigned char*>(address);
    while (total < limit) {
        MEMORY_BASIC_INFORMATION info;
        if (!VirtualQuery(at + total, &info, sizeof info) || info.State != MEM_COMMIT) break;
        const DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                               PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
        if (!(info.Protect & readable) || (info.Protect & PAGE_GUARD)) break;
        const auto* regionEnd = static_cast<const unsigned char*>(info.BaseAddress) + info.RegionSize;
        total = static_cast<std::size_t>(regionEnd - at);
    }
    return total < limit ? total : limit;
}

LONG WINAPI FatalErrorFilter(EXCEPTION_POINTERS* info) {
    const DWORD code = info->ExceptionRecord->ExceptionCode;
    char title[64];
    char text[512];
    BuildReportTexts(code, errorPosition, title, sizeof title, text, sizeof text);

    // The box belongs to the foreground window only when that window is ours.
    HWND foreground = GetForegroundWindow();
    DWORD foregroundProcess = 0;
    if (foreground) GetWindowThreadProcessId(foreground, &foregroundProcess);
    HWND owner = foregroundProcess == GetCurrentProcessId() ? foreground : nullptr;

    DisabledWindows disabled = {};
    disabled.foreground = foreground;
    EnumThreadWindows(GetCurrentThreadId(), DisableWindow, reinterpret_cast<LPARAM>(&disabled));
    const int answer = MessageBoxA(owner, text, title, MB_YESNO);
    for (int i = 0; i < disabled.count; ++i) EnableWindow(disabled.windows[i], TRUE);

    if (answer == IDYES) TerminateProcess(GetCurrentProcess(), 0);

    // Resume after the faulting instruction. Code that cannot be read or
    // decoded cannot be stepped over: the process then ends with the code.
    auto* instruction = reinterpret_cast<const unsigned char*>(info->ContextRecord->Eip);
    const int length = InstructionLength(instruction, ReadableBytes(instruction, kMaxInstructionLength));
    if (length == 0) TerminateProcess(GetCurrentProcess(), code);
    info->ContextRecord->Eip += static_cast<DWORD>(length);
    return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

void InstallFatalReport() {
    previousFilter = SetUnhandledExceptionFilter(FatalErrorFilter);
}

void RemoveFatalReport() {
    // Put the earlier filter back, unless somebody replaced ours meanwhile: then
    // theirs stays, since ours is about to be unloaded either way.
    LPTOP_LEVEL_EXCEPTION_FILTER current = SetUnhandledExceptionFilter(previousFilter);
    if (current != FatalErrorFilter) SetUnhandledExceptionFilter(current);
    previousFilter = nullptr;
}

}  // namespace korrin
