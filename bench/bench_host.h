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

double Now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace
