// What every benchmark program shares: korrin.dll's commands bound by name,
// as a host binds them, and the performance counter in seconds.
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

inline double Now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
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
