// What every Windows test program shares: korrin.dll loaded by name, and its
// commands called through entry points found by name, as a host program does.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

namespace host {

inline HMODULE Library() {
    static HMODULE library = LoadLibraryA("korrin.dll");
    return library;
}

template <class R, class... A>
using Command = R(__stdcall*)(A...);

// The entry point `name` of `module` as a procedure of type F, or null.
template <class F>
F Entry(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Calls the command `name` with `args`; a missing export fails the test.
template <class R, class... A>
R Call(const char* name, A... args) {
    auto entry = Entry<Command<R, A...>>(Library(), name);
    if (!entry) {
        ADD_FAILURE() << name << " is not exported";
        return R();
    }
    return entry(args...);
}

inline int Int(const char* name) { return Call<int>(name); }

// Committed memory outside mapped images, in bytes: what a leak makes grow
// (Wine reports no private usage).
inline SIZE_T CommittedBytes() {
    SIZE_T committed = 0;
    MEMORY_BASIC_INFORMATION info;
    for (const BYTE* at = nullptr; VirtualQuery(at, &info, sizeof info) == sizeof info;
         at = static_cast<const BYTE*>(info.BaseAddress) + info.RegionSize) {
        if (info.State == MEM_COMMIT && info.Type != MEM_IMAGE) committed += info.RegionSize;
        if (static_cast<const BYTE*>(info.BaseAddress) + info.RegionSize < at) break;
    }
    return committed;
}

}  // namespace host
