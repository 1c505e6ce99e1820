// What every benchmark program shares: korrin.dll's commands bound by name,
// as a host binds them, and the performance counter in integer ticks.
#pragma once

#include <windows.h>

namespace {

template <class R, class... A>
using CommandProc = R(__stdcall*)(A...);

HMODULE korrin;  // korrin.dll, loaded by the program's main

// The command `name` of korrin.dll, or null when it is not exported.
template <class R, class... A>
CommandProc<R, A...> Command(const char* name) {
    return reinterpret_cast<CommandProc<R, A...>>(reinterpret_cast<void*>(GetProcAddress(korrin, name)));
}

// The performance counter in its own integer ticks. Clocks are read and
// summed in ticks and turned into seconds only at the end (Seconds): a
// reading converted to double at once would be rounded to the precision the
// x87 unit was left at (24 bits after Direct3D set it up), 2^-12 s here.
inline LONGLONG Ticks() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

// A span of counter ticks in seconds.
inline double Seconds(LONGLONG ticks) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

// A visible 640x480 popup window in the foreground, for a windowed screen.
inline HWND BenchmarkWindow(const char* title) {
    HWND window = CreateWindowExA(0, "STATIC", title, WS_POPUP | WS_VISIBLE, 0, 0, 640, 480, nullptr, nullptr,
                                  nullptr, nullptr);
    SetForegroundWindow(window);
    return window;
}

// Opens a 640x480 windowed screen filling `window`; false when it fails.
inline bool OpenBenchmarkScreen(HWND window) {
    return Command<void*, void*, int, int, int, int, int, int, int>("OpenWindowedScreen")(window, 0, 0, 640, 480, 0, 0,
                                                                                          0) != nullptr;
}

}  // namespace
