// The texture manager: the four storage kinds behind one interface.
#include "sprites/TextureManager.h"

#include "frame/ErrorPosition.h"
#include "frame/platform.h"
#include "sprites/ColourKey.h"

namespace korrin {

// Placeholder bodies: every operation fails until the manager is written.
int __stdcall GetKind(TextureObject* object) { return object ? object->kind : 0; }
int __stdcall GetWidth(TextureObject* object) { return object ? object->width : 0; }
int __stdcall GetHeight(TextureObject* object) { return object ? object->height : 0; }
int __stdcall GetBitsPerPixel(TextureObject*) { return 0; }
TextureObject* __stdcall CreateTexture(IDirect3DDevice9*, int, int, int, int) { return nullptr; }
IDirect3DTexture9* __stdcall GetDrawTexture(TextureObject*) { return nullptr; }
int __stdcall SetTransparentColor(TextureObject*, DWORD) { return 0; }
int __stdcall LockPixels(TextureObject*, int, int, void**, int*) { return 0; }
int __stdcall UnlockPixels(TextureObject*, int) { return 0; }
HDC __stdcall OpenDC(TextureObject*) { return nullptr; }
int __stdcall CloseDC(TextureObject*, int) { return 0; }
IDirect3DSurface9* __stdcall GetRenderTarget(TextureObject*) { return nullptr; }
int __stdcall ReleaseVideoMemory(TextureObject*) { return 0; }
int __stdcall RestoreVideoMemory(TextureObject*) { return 0; }
int __stdcall FreeTexture(TextureObject*) { return 0; }
TextureObject* __stdcall Optimize(TextureObject*, int) { return nullptr; }
DWORD GetTransparentColor(TextureObject*) { return 0; }
int IsRenderTargetTexture(TextureObject*) { return 0; }
int FinishRendering(TextureObject*) { return 0; }

const TextureInterface textureInterface = {
    GetKind, GetWidth, GetHeight, GetBitsPerPixel, CreateTexture, GetDrawTexture, SetTransparentColor, LockPixels,
    UnlockPixels, OpenDC, CloseDC, GetRenderTarget, ReleaseVideoMemory, RestoreVideoMemory, FreeTexture, Optimize,
};

}  // namespace korrin
