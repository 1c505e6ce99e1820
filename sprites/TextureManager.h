// The texture manager: a sprite's pixels in one Direct3D texture of exactly
// the sprite's size, plus the surfaces its storage kind needs to be drawn
// into (GDI, direct pixel access, rendering) and to survive a device reset.
//
// The four storage kinds are named by TextureKind below.
//
// Host programs reach a texture object through SpriteID and call its 16
// operations by position through the table in its first field, so the table,
// the record and their layouts are part of the library's interface.
#pragma once

#include <windows.h>
#include <d3d9.h>

#include <cstddef>

#include "korrin.h"

namespace korrin {

// Storage kinds: the `kind` field and GetKind's result.
enum TextureKind : int {
    kTextureVideo16 = 1,       // dynamic A1R5G5B5 texture, system copy, render target
    kTextureManaged16 = 2,     // managed A1R5G5B5 texture, lockable render target on demand
    kTextureAlpha32 = 3,       // managed A8R8G8B8 texture, lockable A8R8G8B8 render target on demand
    kTextureRenderTarget = 4,  // X1R5G5B5 render-target texture with a system copy
};

// The record and its table of operations are the public header's; every
// field is 32-bit, flags are 0 or 1, `kind` is a TextureKind.
using TextureInterface = ::KorrinTextureInterface;
using TextureObject = ::KorrinTextureObject;
static_assert(sizeof(TextureInterface) == 16 * 4, "16 operations of 4 bytes");
static_assert(sizeof(TextureObject) == 19 * 4, "texture objects are 19 fields of 4 bytes");
static_assert(offsetof(TextureObject, kind) == 4 && offsetof(TextureObject, transparentColor) == 28 &&
                  offsetof(TextureObject, device) == 56 && offsetof(TextureObject, targetSurface) == 72,
              "field offsets are part of the interface");

// LockPixels' modes.
enum LockMode : int {
    kLockNormal = 0,  // a lock until UnlockPixels
    kLockLong = 1,    // a lock whose address stays valid next to OpenDC, until kLockEnd
    kLockEnd = 2,     // ends a long lock
};

// The table every texture object points to.
extern const TextureInterface textureInterface;

// The interface operations, also called directly by the library.
int __stdcall GetKind(TextureObject* object);
int __stdcall GetWidth(TextureObject* object);
int __stdcall GetHeight(TextureObject* object);
int __stdcall GetBitsPerPixel(TextureObject* object);
TextureObject* __stdcall CreateTexture(IDirect3DDevice9* device, int width, int height, int kind, int textureFlag);
IDirect3DTexture9* __stdcall GetDrawTexture(TextureObject* object);
int __stdcall SetTransparentColor(TextureObject* object, DWORD colour);
int __stdcall LockPixels(TextureObject* object, int readOnly, int mode, void** address, int* pitch);
int __stdcall UnlockPixels(TextureObject* object, int readOnly);
HDC __stdcall OpenDC(TextureObject* object);
int __stdcall CloseDC(TextureObject* object, int readOnly);
IDirect3DSurface9* __stdcall GetRenderTarget(TextureObject* object);
int __stdcall ReleaseVideoMemory(TextureObject* object);
int __stdcall RestoreVideoMemory(TextureObject* object);
int __stdcall FreeTexture(TextureObject* object);
TextureObject* __stdcall Optimize(TextureObject* object, int preferRenderTarget);

// Operations outside the interface.
DWORD GetTransparentColor(TextureObject* object);  // kTextureAlpha32: 0
int IsRenderTargetTexture(TextureObject* object);   // 1 for kTextureRenderTarget
int FinishRendering(TextureObject* object);         // rendering into GetRenderTarget's surface ended

// True while the pixel copy may change without changeCount moving: a lock, a
// DC or a long lock is open on it, or it is a render-target surface a host was
// handed (kind 2), which the host may draw into at any time.
bool PixelCopyMayChangeUnseen(const TextureObject* object);

// --- scope guards for the callers ------------------------------------------------

// OpenDC on a texture object (none for null) for the life of the scope,
// closed by CloseDC as modified or read-only, as chosen at opening.
class TextureDC {
public:
    enum Closing : int { kModified = 0, kReadOnly = 1 };
    TextureDC(TextureObject* texture, Closing closing)
        : texture_(texture), dc_(texture ? OpenDC(texture) : nullptr), closing_(closing) {}
    ~TextureDC() {
        if (dc_) CloseDC(texture_, closing_);
    }
    TextureDC(const TextureDC&) = delete;
    TextureDC& operator=(const TextureDC&) = delete;

    operator HDC() const { return dc_; }

private:
    TextureObject* texture_;
    HDC dc_;
    Closing closing_;
};

// GetDC on a Direct3D surface (none for null) for the life of the scope.
class SurfaceDC {
public:
    explicit SurfaceDC(IDirect3DSurface9* surface) : surface_(surface) {
        if (surface_ && FAILED(surface_->GetDC(&dc_))) surface_ = nullptr;
    }
    ~SurfaceDC() {
        if (surface_) surface_->ReleaseDC(dc_);
    }
    SurfaceDC(const SurfaceDC&) = delete;
    SurfaceDC& operator=(const SurfaceDC&) = delete;

    operator HDC() const { return surface_ ? dc_ : nullptr; }

private:
    IDirect3DSurface9* surface_;
    HDC dc_ = nullptr;
};

}  // namespace korrin
