/*
 * korrin: a games library for 32-bit Windows programs.
 *
 * Every command takes and returns 32-bit values and uses the standard Windows
 * calling convention; the DLL exports them under their plain names. Commands
 * return 0 for failure, "no" or "nothing", except the display commands
 * (DisplaySprite, DisplayTransparentSprite, DisplaySprite3D2, DisplaySprite3D,
 * DisplayRGBFilter): they return the Direct3D result of their draw, 0 (D3D_OK)
 * when drawn and 0 as well when nothing was drawn, for a missing sprite too;
 * the blended display commands always return 0. A C or C++ host may link
 * against the import library, or load korrin.dll and bind the commands by name.
 *
 * One thread: call every command, and every procedure of a texture object or
 * drawing output, from the same single thread. The library takes no locks; a
 * call from a second thread races with the first on the shared state, and
 * may fault inside the library (a sprite drawn on one thread while another
 * loads or frees sprites), corrupt sprites or lose frames.
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

/* Records the library hands to a host. Every field is 32 bits wide on the
   32-bit target; the operations use the standard calling convention. The
   platform types are declared here incompletely, as <windows.h> and <d3d9.h>
   declare them (struct HDC__ is the STRICT device-context handle). */
struct HDC__;
struct IDirect3DDevice9;
struct IDirect3DTexture9;
struct IDirect3DSurface9;

/* A sprite's texture object (SpriteID, and the creating commands for a
   numbered sprite): its first field points to a table of 16 operations,
   called by position with the object as first argument; all return 0 on
   failure. The library's own fields follow the table pointer: a host may
   read them but never writes them. */
typedef struct KorrinTextureObject KorrinTextureObject;
typedef struct KorrinTextureInterface {
    int(KORRIN_CALL* GetKind)(KorrinTextureObject* object); /* 1 video 16-bit, 2 managed 16-bit, 3 32-bit, 4 render target */
    int(KORRIN_CALL* GetWidth)(KorrinTextureObject* object);
    int(KORRIN_CALL* GetHeight)(KorrinTextureObject* object);
    int(KORRIN_CALL* GetBitsPerPixel)(KorrinTextureObject* object); /* 15 or 32 */
    KorrinTextureObject*(KORRIN_CALL* Create)(struct IDirect3DDevice9* device, int width, int height, int kind,
                                              int textureFlag);
    struct IDirect3DTexture9*(KORRIN_CALL* GetDrawTexture)(KorrinTextureObject* object);
    int(KORRIN_CALL* SetTransparentColor)(KorrinTextureObject* object, unsigned long colour);
    int(KORRIN_CALL* LockPixels)(KorrinTextureObject* object, int readOnly, int mode, void** address, int* pitch);
    int(KORRIN_CALL* UnlockPixels)(KorrinTextureObject* object, int readOnly);
    struct HDC__*(KORRIN_CALL* OpenDC)(KorrinTextureObject* object);
    int(KORRIN_CALL* CloseDC)(KorrinTextureObject* object, int readOnly);
    struct IDirect3DSurface9*(KORRIN_CALL* GetRenderTarget)(KorrinTextureObject* object);
    int(KORRIN_CALL* ReleaseVideoMemory)(KorrinTextureObject* object);
    int(KORRIN_CALL* RestoreVideoMemory)(KorrinTextureObject* object);
    int(KORRIN_CALL* Free)(KorrinTextureObject* object);
    KorrinTextureObject*(KORRIN_CALL* Optimize)(KorrinTextureObject* object, int preferRenderTarget);
} KorrinTextureInterface;
struct KorrinTextureObject {
    const KorrinTextureInterface* operations;  /* the table, shared by every texture object */
    int kind;                                  /* storage kind, as GetKind */
    int width, height;                         /* pixels, fixed for the object's life */
    int defaultPool;                           /* 1 for kinds 1 and 4 (lost on a device reset) */
    int mayOptimize;                           /* kind 2 at creation; cleared when a conversion fails */
    int textureFlag;                           /* sprite created with flag 4; handed on by Optimize */
    unsigned long transparentColor;            /* host RGB (red bits 0-7); black at creation */
    int copyModified;                          /* kind 1: systemCopy changed since the last upload */
    int stale;                                 /* texture must be rebuilt from the pixel copy */
    struct HDC__* dc;                          /* DC handed out by OpenDC, or 0 */
    int directDC;                              /* kind 3: dc taken from textureSurface directly */
    int locked;                                /* a normal LockPixels lock is held */
    int changeCount;                           /* modifying accesses so far; never decreases */
    struct IDirect3DDevice9* device;           /* the device the resources belong to (no reference) */
    struct IDirect3DSurface9* systemCopy;      /* system-memory pixel copy, or 0 */
    struct IDirect3DTexture9* texture;         /* the texture drawn with */
    struct IDirect3DSurface9* textureSurface;  /* level 0 of texture */
    struct IDirect3DSurface9* targetSurface;   /* render target, or 0 */
};

/* The drawing-output descriptor of ScreenOutput and SpriteOutput, read by the
   host's own 2D drawing commands; its procedures take no arguments. What
   getDC and getBuffer return is valid until the next command that draws,
   presents or clears, or until release; where the output holds one of the two
   at a time, each call also gives up what the other returned. */
typedef struct KorrinDrawingOutput {
    int outputType;                                 /* always 7 */
    int reserved;                                   /* not written */
    struct HDC__* dc;                               /* device context open on the pixels, or 0 */
    int(KORRIN_CALL* release)(void);                /* drawing ends; returns 0 */
    void* buffer;                                   /* top-left pixel while the memory is available, else 0 */
    int pitch;                                      /* bytes from one row to the next */
    int width, height;                              /* pixels */
    int bitsPerPixel;                               /* screen: 16 or 32; sprite: 15 or 32 */
    int pixelFormat;                                /* 2 X1R5G5B5, 3 R5G6B5, 7 eight bits per channel */
    struct HDC__*(KORRIN_CALL* getDC)(void);        /* the device context to draw with, or 0 */
    void*(KORRIN_CALL* getBuffer)(void);            /* the pixel address to draw at, or 0 */
} KorrinDrawingOutput;

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

/* Image import: BMP, JPEG, PNG, TGA and TIFF from a file or from memory, up to
   64 Mi pixels; flags as CreateSprite2, or 2 for an alpha sprite made from the
   palette indices of an 8-bit image */
KORRIN_API int KORRIN_CALL LoadSprite2(int sprite, const char* fileName, int flags) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL LoadSprite(int sprite, const char* fileName) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL CatchSprite2(int sprite, const void* address, int flags) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL CatchSprite(int sprite, const void* address) KORRIN_NOEXCEPT;

/* Drawing target, copies and grabs: UseBuffer(-1) draws into the back buffer
   again; copies and grabs return the new handle for -1, else the texture object */
KORRIN_API int KORRIN_CALL UseBuffer(int sprite) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL CopySprite2(int source, int destination, int flags) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL CopySprite(int source, int destination) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL GrabSprite2(int sprite, int x, int y, int width, int height, int flags) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL GrabSprite(int sprite, int x, int y, int width, int height) KORRIN_NOEXCEPT;

/* 2D display into the current drawing target, 1:1 at (x, y); the result is
   the Direct3D result of the draw (0 when drawn), or 0 when nothing was drawn */
KORRIN_API int KORRIN_CALL DisplaySprite(int sprite, int x, int y) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL DisplayTransparentSprite(int sprite, int x, int y) KORRIN_NOEXCEPT;

/* Blended display (each returns 0); colours in Direct3D order (blue low) */
KORRIN_API int KORRIN_CALL DisplayTranslucentSprite(int sprite, int x, int y, int intensity) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL DisplayAlphaSprite(int sprite, int x, int y) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL DisplaySolidSprite(int sprite, int x, int y, int colour) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL DisplayShadowSprite(int sprite, int x, int y) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL ChangeAlphaIntensity(int red, int green, int blue) KORRIN_NOEXCEPT;

/* Effects: an added colour over a rectangle (the result as DisplaySprite's),
   the full-screen gamma ramp */
KORRIN_API int KORRIN_CALL DisplayRGBFilter(int x, int y, int width, int height, int red, int green,
                                            int blue) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL ChangeGamma(int red, int green, int blue, int flags) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL StartSpecialFX(void) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL StopSpecialFX(void) KORRIN_NOEXCEPT;

/* Collision of two sprites placed at (x1, y1) and (x2, y2): 1 or 0 */
KORRIN_API int KORRIN_CALL SpriteCollision(int sprite1, int x1, int y1, int sprite2, int x2, int y2) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL SpritePixelCollision(int sprite1, int x1, int y1, int sprite2, int x2,
                                                int y2) KORRIN_NOEXCEPT;

/* 3D sprites: quads made from a sprite's image, shaped by zoom and rotation
   or by four free corners, drawn between Start3D and Stop3D; the display
   commands return as DisplaySprite */
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

/* Drawing outputs for the host's own 2D drawing commands: the address of a
   KorrinDrawingOutput */
KORRIN_API void* KORRIN_CALL ScreenOutput(void) KORRIN_NOEXCEPT;
KORRIN_API void* KORRIN_CALL SpriteOutput(int sprite) KORRIN_NOEXCEPT;

/* Keyboard, by DirectInput scan code (0 to 255): one ExamineKeyboard per
   frame, then the questions. KeyboardInkey's text lives in the library until
   the next call into it. */
KORRIN_API int KORRIN_CALL InitKeyboard(void) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL ExamineKeyboard(void) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL KeyboardPushed(int key) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL KeyboardReleased(int key) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL KeyboardMode(int flags) KORRIN_NOEXCEPT;
KORRIN_API const char* KORRIN_CALL KeyboardInkey(void) KORRIN_NOEXCEPT;

/* Mouse: a virtual pointer inside the screen that follows the mouse's
   movement; buttons 1 to 8 read 128 while down */
KORRIN_API int KORRIN_CALL InitMouse(void) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL ExamineMouse(void) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL MouseButton(int button) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL MouseX(void) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL MouseY(void) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL MouseDeltaX(void) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL MouseDeltaY(void) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL MouseWheel(void) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL MouseLocate(int x, int y) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL ReleaseMouse(int state) KORRIN_NOEXCEPT;

/* Joystick: the first game controller; buttons 1 to 32 read 128 while down,
   the axes -1, 0 or 1 */
KORRIN_API int KORRIN_CALL InitJoystick(void) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL ExamineJoystick(void) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL JoystickButton(int button) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL JoystickAxisX(void) KORRIN_NOEXCEPT;
KORRIN_API int KORRIN_CALL JoystickAxisY(void) KORRIN_NOEXCEPT;

/* Sounds: RIFF WAVE images (PCM or extensible PCM, the fmt chunk before the
   data chunk, other chunks skipped) or Ogg Vorbis streams, from a file or
   from memory, each in one DirectSound buffer; a number chosen by the
   program, or -1 for a dynamic sound whose handle the loading command
   returns. Closing the screen releases every sound's buffer: sounds are
   loaded again after the next opening.
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

/* korrin's own additions beyond the 110 commands */
/* Why the last failing command failed: one short English line such as
   LoadSprite2: cannot open "ball.png", also sent to the debugger; "" before
   the first failure. Valid until the next command. */
KORRIN_API const char* KORRIN_CALL KorrinLastError(void) KORRIN_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* KORRIN_H */
