/*
 * korrin: a games library for 32-bit Windows programs.
 *
 * Every command takes and returns 32-bit values and uses the standard Windows
 * calling convention; the DLL exports them under their plain names. Commands
 * return 0 for failure, "no" or "nothing". A C or C++ host may link against
 * the import library, or load korrin.dll and bind the commands by name.
 */
#ifndef KORRIN_H
#define KORRIN_H

#ifndef KORRIN_API
#define KORRIN_API
#endif
#define KORRIN_CALL __stdcall

#ifdef __cplusplus
#define KORRIN_NOEXCEPT noexcept
extern "C" {
#else
#define KORRIN_NOEXCEPT
#endif

/* Library frame */
KORRIN_API int KORRIN_CALL Sprite_End(void) KORRIN_NOEXCEPT;
KORRIN_API void* KORRIN_CALL __GetD3DDevice9(void) KORRIN_NOEXCEPT;

/* Direct3D and display modes */
KORRIN_API void* KORRIN_CALL InitSprite(void) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL ExamineScreenModes(void) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL NextScreenMode(void) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL ScreenModeWidth(void) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL ScreenModeHeight(void) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL ScreenModeDepth(void) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL ScreenModeRefreshRate(void) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL AvailableScreenMemory(void) KORRIN_NOEXCEPT;

/* Screens */
KORRIN_API void* KORRIN_CALL OpenScreen(int width, int height, int depth, const char* title) KORRIN_NOEXCEPT;
KORRIN_API void* KORRIN_CALL OpenWindowedScreen(void* window, int x, int y, int width, int height, int autoStretch,
                                                int rightOffset, int bottomOffset) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL CloseScreen(void) KORRIN_NOEXCEPT;
KORRIN_API void* KORRIN_CALL ScreenID(void) KORRIN_NOEXCEPT;

/* Frames: presentation and pacing */
KORRIN_API int KORRIN_CALL FlipBuffers2(int mode) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL FlipBuffers(void) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL SetFrameRate(int framesPerSecond) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL SetRefreshRate(int hertz) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL ClearScreen(int colour) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL IsScreenActive(void) KORRIN_NOEXCEPT;

/* Sprites: a number chosen by the program, or -1 for a dynamic sprite whose
   handle the creating command returns */
KORRIN_API int KORRIN_CALL CreateSprite2(int sprite, int width, int height, int flags) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL CreateSprite(int sprite, int width, int height) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL FreeSprite(int sprite) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL IsSprite(int sprite) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL SpriteWidth(int sprite) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL SpriteHeight(int sprite) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL SpriteDepth(int sprite) KORRIN_NOEXCEPT;
KORRIN_API void* KORRIN_CALL SpriteID(int sprite) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL TransparentSpriteColor(int sprite, int colour) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL ClipSprite(int sprite, int x, int y, int width, int height) KORRIN_NOEXCEPT;

/* 2D display into the current drawing target, 1:1 at (x, y); the result is
   the Direct3D result of the draw (0 when drawn), or 0 when nothing was drawn */
KORRIN_API int KORRIN_CALL DisplaySprite(int sprite, int x, int y) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL DisplayTransparentSprite(int sprite, int x, int y) KORRIN_NOEXCEPT;

/* Palette commands: accepted for completeness, they keep no palettes.
   CreatePalette shares its name with a GDI function: when <windows.h> was
   included first, it is not declared here (bind it by name instead). */
KORRIN_API int KORRIN_CALL InitPalette(void) KORRIN_NOEXCEPT;
#ifndef _WINGDI_
KORRIN_API int KORRIN_CALL CreatePalette(int palette) KORRIN_NOEXCEPT;
#endif
KORRIN_API int KORRIN_CALL DisplayPalette(int palette) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL FreePalette(int palette) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL IsPalette(int palette) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL GetPaletteColor(int palette, int index) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL SetPaletteColor(int palette, int index, int colour) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL LoadPalette(int palette, const char* fileName) KORRIN_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* KORRIN_H */
