// Library entry: the load and unload steps.
#include <windows.h>

#include "frame/FatalReport.h"

// Loading touches no platform component: it only installs the fatal-error
// report. Unloading puts the earlier filter back and leaves every Direct3D,
// DirectInput and DirectSound object alone (Sprite_End releases them).
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) korrin::InstallFatalReport();
    if (reason == DLL_PROCESS_DETACH) korrin::RemoveFatalReport();
    return TRUE;
}
