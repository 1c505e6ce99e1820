// Loading platform components by name.
#include "frame/platform.h"

namespace korrin {

FARPROC LoadComponent(HMODULE* module, const char* fileName, const char* entryPoint) {
    if (!*module) *module = LoadLibraryA(fileName);
    if (!*module) return nullptr;
    FARPROC entry = GetProcAddress(*module, entryPoint);
    if (!entry) {
        FreeLibrary(*module);
        *module = nullptr;
    }
    return entry;
}

}  // namespace korrin
