// Small helpers shared by the Windows side: the one place that loads platform
// components, and the one place that releases long-lived COM objects.
#pragma once

#include <windows.h>

namespace korrin {

// Loads a platform component by file name and finds one entry point in it.
// On failure *module is null, nothing stays loaded and NoteFailure says
// which was missing; an already loaded module (non-null *module) is reused.
FARPROC LoadComponent(HMODULE* module, const char* fileName, const char* entryPoint);

// Unloads a component LoadComponent loaded and nulls the handle; none is fine.
void UnloadComponent(HMODULE* module);

// Releases a long-lived COM object held in a global or record and nulls it.
template <class T>
void ReleaseObject(T*& object) {
    if (object) {
        T* released = object;
        object = nullptr;
        released->Release();
    }
}

}  // namespace korrin
