// The library's shared state, in one place: every variable that more than one
// command family reads. Plain zero-initialised data with no constructors or
// destructors, so loading sets nothing up and unloading releases nothing.
// State private to a subsystem (input devices, sound buffers) stays in that
// subsystem's own source file.
#pragma once

#include <windows.h>
#include <d3d9.h>

#include "frame/ObjectManager.h"

namespace korrin {

// One display mode of the adapter, as InitSprite lists it.
struct DisplayMode {
    short width;    // pixels
    short height;   // pixels
    short depth;    // bits per pixel of the mode's format
    short refresh;  // Hz as the adapter reports it, 0 = adapter default
};
static_assert(sizeof(DisplayMode) == 8, "display-mode entries are 8 bytes");

// --- Direct3D and the screen ---------------------------------------------
extern IDirect3D9* d3d;                        // InitSprite; released by Sprite_End
extern HMODULE d3d9Library;                    // InitSprite; freed again when InitSprite fails with no earlier
                                               // Direct3D object, else kept for the life of the process
extern IDirect3DDevice9* device;               // screen opening; released by CloseScreen
extern D3DPRESENT_PARAMETERS presentParams;    // screen opening
extern D3DCAPS9 deviceCaps;                    // screen opening
extern IDirect3DSurface9* backBuffer;          // screen opening, device reset; released by CloseScreen
extern int screenActive;                       // screen opening (1), FlipBuffers
extern int inScene;                            // drawing commands (1), FlipBuffers (0)
extern int alphaBlendCache;                    // render-state caches: drawing commands, device reset
extern int srcBlendCache;
extern int destBlendCache;
extern int fvfCache;
extern int targetAlphaCache;                   // "over" alpha blending for a 32-bit target; UseBuffer, new device, reset
extern int colourOpCache;                      // stage 0 and the sampler filter: drawing commands; unknown
extern int colourArg1Cache;                    // (-1) on a new device and after a reset
extern int colourArg2Cache;
extern int alphaOpCache;
extern int alphaArg1Cache;
extern int textureFilterCache;
extern IDirect3DPixelShader9* colourKeyShader; // screen opening; released by CloseScreen
extern int colourKeyShaderAvailable;           // screen opening
extern int colourKeyShaderBound;               // the shader is set on the device; display commands, new device, reset
extern DWORD colourKeyShaderKey;               // host RGB last loaded into the shader's constant; the same
extern int frameRate;                          // InitSprite (60), SetFrameRate
extern int refreshRate;                        // screen opening, SetRefreshRate
extern int screenWidth, screenHeight;          // screen opening
extern int targetWidth, targetHeight;          // screen opening, UseBuffer
extern int currentBuffer;                      // screen opening (-1), UseBuffer
extern IDirect3DSurface9* targetSurface;       // the surface drawn into while a sprite is the target (the
                                               // device holds the reference), null for the back buffer; UseBuffer
extern int screenIsWindowed;                   // OpenScreen (0), OpenWindowedScreen (1)
extern int viewX, viewY, autoStretch;          // OpenWindowedScreen
extern int rightOffset, bottomOffset;          // OpenWindowedScreen

// --- subsystems ready --------------------------------------------------------
extern int keyboardReady, mouseReady, joystickReady, soundReady;  // the Init commands

// --- display modes -----------------------------------------------------------
extern DisplayMode* modeList;  // InitSprite; released by CloseScreen
extern int modeCount;          // InitSprite
extern int modeCursor;         // ExamineScreenModes, NextScreenMode
extern int currentModeWidth, currentModeHeight;    // the mode NextScreenMode made current, 0 after the
extern int currentModeDepth, currentModeRefresh;   // last one; NextScreenMode

// --- drawing -------------------------------------------------------------------
extern DWORD alphaIntensity;           // 0x00RRGGBB in Direct3D order; InitSprite, ChangeAlphaIntensity
extern DWORD defaultTransparentColor;  // host RGB given to every new sprite; TransparentSpriteColor(-1, …)
extern int sprite3DSrcBlend;           // blend factors Start3D applies; InitSprite3D, Sprite3DBlendingMode
extern int sprite3DDestBlend;
extern int sprite3DQuality;            // 0 point sampling, anything else bilinear; Sprite3DQuality

// The colour-key table stays with its portable code: sprites/ColourKey.h.

// --- registries ----------------------------------------------------------------
extern ObjectRegistry* spriteRegistry;    // InitSprite
extern ObjectRegistry* sprite3DRegistry;  // InitSprite3D
extern ObjectRegistry* soundRegistry;     // InitSound

}  // namespace korrin
