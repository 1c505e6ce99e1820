// Loading platform components by name.
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

}  // namespace korrin
