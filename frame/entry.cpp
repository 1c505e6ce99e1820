// Library entry and teardown: the load and unload steps, Sprite_End and the
// device accessor.
#include <windows.h>

#include "frame/ErrorPosition.h"
#include "frame/FatalReport.h"
#include "frame/globals.h"
#include "frame/platform.h"
#include "input/input.h"
#include "korrin.h"
#include "render/SpriteBatch.h"
#include "screen/screen.h"
#include "sound/DS8.h"
#include "sprites/ColourKey.h"

// Loading touches no platform component: it only installs the fatal-error
// report. Unloading puts the earlier filter back and leaves every Direct3D,
// DirectInput and DirectSound object alone (Sprite_End releases them).
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) korrin::InstallFatalReport();
    if (reason == DLL_PROCESS_DETACH) korrin::RemoveFatalReport();
    return TRUE;
}

extern "C" int __stdcall Sprite_End() noexcept {
    using namespace korrin;
    RECORD_POSITION(MODULE_MAIN);
    korrin::CloseScreen();
    if (soundRegistry) DestroyRegistry(soundRegistry);
    soundRegistry = nullptr;
    if (spriteRegistry) DestroyRegistry(spriteRegistry);
    spriteRegistry = nullptr;
    if (sprite3DRegistry) DestroyRegistry(sprite3DRegistry);
    sprite3DRegistry = nullptr;
    ReleaseObject(d3d);
    ShutdownKeyboard();
    ShutdownMouse();
    ShutdownJoystick();
    ShutdownSound();
    FreeColourKeyTable();
    return 0;
}

extern "C" void* __stdcall __GetD3DDevice9() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    if (korrin::device) korrin::NoteHostDeviceAccess();
    return korrin::device;
}
