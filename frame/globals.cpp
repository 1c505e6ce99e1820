// Definitions of the shared state; every value is zero when the library loads,
// except the 3D sprites' default blend factors.
#include "frame/globals.h"

namespace korrin {

IDirect3D9* d3d;
HMODULE d3d9Library;
IDirect3DDevice9* device;
D3DPRESENT_PARAMETERS presentParams;
D3DCAPS9 deviceCaps;
IDirect3DSurface9* backBuffer;
int screenActive;
int inScene;
int alphaBlendCache;
int srcBlendCache;
int destBlendCache;
int fvfCache;
int targetAlphaCache;
int colourOpCache;
int colourArg1Cache;
int colourArg2Cache;
int alphaOpCache;
int alphaArg1Cache;
int textureFilterCache;
IDirect3DPixelShader9* colourKeyShader;
int colourKeyShaderAvailable;
int colourKeyShaderBound;
DWORD colourKeyShaderKey;
int frameRate;
int refreshRate;
int screenWidth, screenHeight;
int targetWidth, targetHeight;
int currentBuffer;
IDirect3DSurface9* targetSurface;
int screenIsWindowed;
int viewX, viewY, autoStretch;
int rightOffset, bottomOffset;
int keyboardReady, mouseReady, joystickReady, soundReady;
DisplayMode* modeList;
int modeCount;
int modeCursor;
int currentModeWidth, currentModeHeight;
int currentModeDepth, currentModeRefresh;
DWORD alphaIntensity;
DWORD defaultTransparentColor;
int sprite3DSrcBlend = D3DBLEND_SRCALPHA;
int sprite3DDestBlend = D3DBLEND_INVSRCALPHA;
int sprite3DQuality;
ObjectRegistry* spriteRegistry;
ObjectRegistry* sprite3DRegistry;
ObjectRegistry* soundRegistry;

}  // namespace korrin
