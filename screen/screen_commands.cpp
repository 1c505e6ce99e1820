// Screen and presentation commands.
#include "frame/ErrorPosition.h"
#include "frame/globals.h"
#include "korrin.h"
#include "screen/screen.h"

extern "C" {

void* __stdcall OpenScreen(int, int, int, const char*) noexcept { RECORD_POSITION(MODULE_MAIN); return nullptr; }
void* __stdcall OpenWindowedScreen(void*, int, int, int, int, int, int, int) noexcept { RECORD_POSITION(MODULE_MAIN); return nullptr; }
int __stdcall CloseScreen() noexcept { RECORD_POSITION(MODULE_MAIN); return korrin::CloseScreen(); }
void* __stdcall ScreenID() noexcept { RECORD_POSITION(MODULE_MAIN); return nullptr; }
int __stdcall FlipBuffers2(int) noexcept { RECORD_POSITION(MODULE_MAIN); return 0; }
int __stdcall FlipBuffers() noexcept { RECORD_POSITION(MODULE_MAIN); return 0; }
int __stdcall SetFrameRate(int) noexcept { RECORD_POSITION(MODULE_MAIN); return 1; }
int __stdcall SetRefreshRate(int) noexcept { RECORD_POSITION(MODULE_MAIN); return 0; }
int __stdcall ClearScreen(int) noexcept { RECORD_POSITION(MODULE_MAIN); return 0; }
int __stdcall IsScreenActive() noexcept { RECORD_POSITION(MODULE_MAIN); return 0; }

}  // extern "C"
