// Small helpers shared by the Windows side: the one place that loads platform
// components, the one place that releases long-lived COM objects, and the
// size of a Direct3D pixel format.
#pragma once

#include <windows.h>
#include <d3d9.h>

namespace korrin {

// Loads a platform component by file name and finds one entry point in it.
// On failure *module is null, nothing stays loaded and NoteFailure says
// which was missing; an already loaded module (non-null *module) is reused.
FARPROC LoadComponent(HMODULE* module, const char* fileName, const char* entryPoint);

// Unloads a component LoadComponent loaded and nulls the handle; none is fine.
void UnloadComponent(HMODULE* module);

// Bits per pixel of a Direct3D format; 0 for formats the library does not use.
int FormatBitsPerPixel(D3DFORMAT format);

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
