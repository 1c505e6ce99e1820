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

/* Image import: BMP, JPEG, PNG, TGA and TIFF from a file or from memory;
   flags as CreateSprite2, or 2 for an alpha sprite made from an 8-bit image */
KORRIN_API int KORRIN_CALL LoadSprite2(int sprite, const char* fileName, int flags) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL LoadSprite(int sprite, const char* fileName) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL CatchSprite2(int sprite, const void* address, int flags) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL CatchSprite(int sprite, const void* address) KORRIN_NOEXCEPT;

/* 2D display into the current drawing target, 1:1 at (x, y); the result is
   the Direct3D result of the draw (0 when drawn), or 0 when nothing was drawn */
KORRIN_API int KORRIN_CALL DisplaySprite(int sprite, int x, int y) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL DisplayTransparentSprite(int sprite, int x, int y) KORRIN_NOEXCEPT;

/* 3D sprites: quads made from a sprite's image, shaped by zoom and rotation
   or by four free corners, drawn between Start3D and Stop3D */
KORRIN_API int KORRIN_CALL InitSprite3D(void) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL IsSprite3D(int sprite3D) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL CreateSprite3D(int sprite3D, int sprite) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL FreeSprite3D(int sprite3D) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL ZoomSprite3D(int sprite3D, int width, int height) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL RotateSprite3D(int sprite3D, int angle, int mode) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL TransformSprite3D2(int sprite3D, float x1, float y1, float z1, float x2, float y2,
                                              float z2, float x3, float y3, float z3, float x4, float y4,
                                              float z4) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL TransformSprite3D(int sprite3D, float x1, float y1, float x2, float y2, float x3,
                                             float y3, float x4, float y4) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL Start3D(void) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL Stop3D(void) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL DisplaySprite3D2(int sprite3D, int x, int y, int alpha) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL DisplaySprite3D(int sprite3D, int x, int y) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL Sprite3DBlendingMode(int source, int destination) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL Sprite3DQuality(int quality) KORRIN_NOEXCEPT;

/* Drawing outputs for the host's own 2D drawing commands (a descriptor of
   12 32-bit fields: type 7, reserved, DC, release, buffer, pitch, width,
   height, bits per pixel, pixel format, getDC, getBuffer) */
KORRIN_API void* KORRIN_CALL ScreenOutput(void) KORRIN_NOEXCEPT;
KORRIN_API void* KORRIN_CALL SpriteOutput(int sprite) KORRIN_NOEXCEPT;

/* Sounds: RIFF WAVE images (a 16-byte format chunk followed directly by the
   data chunk) or Ogg Vorbis streams, from a file or from memory, each in one
   DirectSound buffer; a number chosen by the program, or -1 for a dynamic
   sound whose handle the loading command returns. Closing the screen releases
   every sound's buffer: sounds are loaded again after the next opening.
   Volume 0..100, pan -100 (left) .. 100 (right), frequency in Hz.
   CatchSound is given no size: it reads WAVE data only and must believe the
   data size in the header, so the block must really hold that many bytes;
   CatchSound2 checks the size against the block and also reads Ogg Vorbis.
   <mmsystem.h> (included by <windows.h>) defines PlaySound as a macro for
   its own function: korrin's PlaySound takes the name over here (the system's
   function stays reachable as PlaySoundA). */
#ifdef PlaySound
#undef PlaySound
#endif
KORRIN_API void* KORRIN_CALL InitSound(void) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL LoadSound(int sound, const char* fileName) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL CatchSound2(int sound, const void* address, int size) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL CatchSound(int sound, const void* address) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL FreeSound(int sound) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL IsSound(int sound) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL PlaySound2(int sound, int flags) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL PlaySound(int sound) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL StopSound(int sound) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL SoundVolume2(int sound, int volume, int unused) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL SoundVolume(int sound, int volume) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL SoundPan(int sound, int pan) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL SoundFrequency(int sound, int frequency) KORRIN_NOEXCEPT;

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
