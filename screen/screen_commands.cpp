// Screen and presentation commands, and the library's teardown.
#include <windows.h>

#include "frame/ErrorPosition.h"
#include "frame/globals.h"
#include "korrin.h"
#include "screen/screen.h"

extern "C" {

int __stdcall Sprite_End() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::ShutdownLibrary();
}

void* __stdcall __GetD3DDevice9() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::device;
}

void* __stdcall OpenScreen(int width, int height, int depth, const char* title) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::OpenScreen(width, height, depth, title);
}

void* __stdcall OpenWindowedScreen(void* window, int x, int y, int width, int height, int autoStretch,
                                   int rightOffset, int bottomOffset) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::OpenWindowedScreen(static_cast<HWND>(window), x, y, width, height, autoStretch, rightOffset,
                                      bottomOffset);
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
    return korrin::FlipBuffers2(mode);
}

int __stdcall FlipBuffers() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::FlipBuffers2(1);
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
    if (korrin::device) return 0;
    korrin::refreshRate = hertz;
    return 1;
}

int __stdcall ClearScreen(int colour) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::ClearScreen(colour);
}

int __stdcall IsScreenActive() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::IsScreenActive();
}

}  // extern "C"
