// Palette commands. They exist so that programs written against the full games
// command set find every command they expect; the library keeps no palettes,
// so each accepts its arguments, does nothing and reports success.
#include "frame/ErrorPosition.h"
#include "korrin.h"

extern "C" {

int __stdcall InitPalette() noexcept { RECORD_POSITION(MODULE_STUBS); return 1; }
int __stdcall CreatePalette(int) noexcept { RECORD_POSITION(MODULE_STUBS); return 1; }
int __stdcall DisplayPalette(int) noexcept { RECORD_POSITION(MODULE_STUBS); return 1; }
int __stdcall FreePalette(int) noexcept { RECORD_POSITION(MODULE_STUBS); return 1; }
int __stdcall IsPalette(int) noexcept { RECORD_POSITION(MODULE_STUBS); return 1; }
int __stdcall GetPaletteColor(int, int) noexcept { RECORD_POSITION(MODULE_STUBS); return 1; }
int __stdcall SetPaletteColor(int, int, int) noexcept { RECORD_POSITION(MODULE_STUBS); return 1; }
// The file is never opened.
int __stdcall LoadPalette(int, const char*) noexcept { RECORD_POSITION(MODULE_STUBS); return 1; }

}  // extern "C"
