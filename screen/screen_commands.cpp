// Screen and presentation commands, and the library's teardown.
#include <windows.h>

#include "frame/ErrorPosition.h"
#include "frame/LastError.h"
#include "frame/globals.h"
#include "korrin.h"
#include "screen/screen.h"
#include "sprites/SpriteBatch.h"

namespace {

// Why a screen of this size did not open (the checks the opening makes, in its order).
void* ScreenRefused(const char* command, int width, int height, const char* what) {
    using namespace korrin;
    if (!d3d) Fail("%s: no Direct3D (InitSprite first)", command);
    else if (width <= 0 || height <= 0) Fail("%s: a size of %dx%d", command, width, height);
    else Fail("%s: %s", command, what);
    return nullptr;
}

}  // namespace

extern "C" {

int __stdcall Sprite_End() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::ShutdownLibrary();
}

// A host that asks for the device may draw on it: what is queued is drawn
// first, and later sprites at once.
void* __stdcall __GetD3DDevice9() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    if (korrin::device) korrin::NoteHostDeviceAccess();
    return korrin::device;
}

void* __stdcall OpenScreen(int width, int height, int depth, const char* title) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    if (void* opened = korrin::OpenScreen(width, height, depth, title)) return opened;
    char what[96];
    wsprintfA(what, "the device refused %dx%d at %d bits (a full-screen depth is 16 or 32)", width, height, depth);
    return ScreenRefused("OpenScreen", width, height, what);
}

void* __stdcall OpenWindowedScreen(void* window, int x, int y, int width, int height, int autoStretch,
                                   int rightOffset, int bottomOffset) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    if (void* opened = korrin::OpenWindowedScreen(static_cast<HWND>(window), x, y, width, height, autoStretch,
                                                  rightOffset, bottomOffset))
        return opened;
    if (!IsWindow(static_cast<HWND>(window))) {
        korrin::Fail("OpenWindowedScreen: no such window");
        return nullptr;
    }
    return ScreenRefused("OpenWindowedScreen", width, height, "the device refused the window");
}

int __stdcall CloseScreen() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::CloseScreen();
}

void* __stdcall ScreenID() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::presentParams.hDeviceWindow;
}

int __stdcall FlipBuffers2(int mode) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    if (korrin::FlipBuffers2(mode)) return 1;
    return korrin::Fail("FlipBuffers2: no usable screen (none open, the device lost or the window gone)");
}

int __stdcall FlipBuffers() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return FlipBuffers2(1);
}

int __stdcall SetFrameRate(int framesPerSecond) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    korrin::frameRate = framesPerSecond;
    return 1;
}

// The refresh rate belongs to the open screen's display mode: it changes only
// while no screen is open, and the next opening replaces it.
int __stdcall SetRefreshRate(int hertz) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    if (korrin::device) return korrin::Fail("SetRefreshRate: only while no screen is open");
    korrin::refreshRate = hertz;
    return 1;
}

int __stdcall ClearScreen(int colour) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    if (korrin::ClearScreen(colour)) return 1;
    return korrin::Fail(korrin::device && korrin::screenActive ? "ClearScreen: the device cannot clear"
                                                               : "ClearScreen: no usable screen");
}

int __stdcall IsScreenActive() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::IsScreenActive();
}

}  // extern "C"
