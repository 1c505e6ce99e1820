// Loading platform components by name, and the sizes of pixel formats.
#include "frame/platform.h"

#include "frame/LastError.h"

namespace korrin {

FARPROC LoadComponent(HMODULE* module, const char* fileName, const char* entryPoint) {
    if (!*module) *module = LoadLibraryA(fileName);
    if (!*module) {
        NoteFailure("cannot load %s", fileName);
        return nullptr;
    }
    FARPROC entry = GetProcAddress(*module, entryPoint);
    if (!entry) {
        UnloadComponent(module);
        NoteFailure("%s has no %s", fileName, entryPoint);
    }
    return entry;
}

void UnloadComponent(HMODULE* module) {
    if (!*module) return;
    FreeLibrary(*module);
    *module = nullptr;
}

int FormatBitsPerPixel(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_A16B16G16R16:
            return 64;
        case D3DFMT_X8R8G8B8:
        case D3DFMT_A8R8G8B8:
        case D3DFMT_A2R10G10B10:
        case D3DFMT_A2B10G10R10:
        case D3DFMT_G16R16:
            return 32;
        case D3DFMT_R8G8B8:
            return 24;
        case D3DFMT_R5G6B5:
        case D3DFMT_X1R5G5B5:
        case D3DFMT_A1R5G5B5:
        case D3DFMT_A4R4G4B4:
        case D3DFMT_X4R4G4B4:
        case D3DFMT_A8R3G3B2:
            return 16;
        case D3DFMT_R3G3B2:
        case D3DFMT_A8:
            return 8;
        default:
            return 0;
    }
}

}  // namespace korrin
