// Loading platform components by name.
#include "frame/platform.h"

namespace korrin {

FARPROC LoadComponent(HMODULE* module, const char* fileName, const char* entryPoint) {
    if (!*module) *module = LoadLibraryA(fileName);
    if (!*module) return nullptr;
    FARPROC entry = GetProcAddress(*module, entryPoint);
    if (!entry) UnloadComponent(module);
    return entry;
}

void UnloadComponent(HMODULE* module) {
    if (!*module) return;
    FreeLibrary(*module);
    *module = nullptr;
}

}  // namespace korrin
