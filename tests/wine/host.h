// What every Windows test program shares: korrin.dll loaded by name, and its
// commands called through entry points found by name, as a host program does.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include "windows_helpers.h"

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

using ::CommittedBytes;

}  // namespace host
