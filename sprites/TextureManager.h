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

#include "frame/AbiLayout.h"

namespace korrin {

struct TextureObject;

// Storage kinds: the `kind` field and GetKind's result.
enum TextureKind : int {
    kTextureVideo16 = 1,       // dynamic A1R5G5B5 texture, system copy, render target
    kTextureManaged16 = 2,     // managed A1R5G5B5 texture, lockable render target on demand
    kTextureAlpha32 = 3,       // managed A8R8G8B8 texture, lockable A8R8G8B8 render target on demand
    kTextureRenderTarget = 4,  // X1R5G5B5 render-target texture with a system copy
};

// The operations, in their fixed order; all stdcall, all return 0 on failure.
struct TextureInterface {
    int(__stdcall* GetKind)(TextureObject* object);
    int(__stdcall* GetWidth)(TextureObject* object);
    int(__stdcall* GetHeight)(TextureObject* object);
    int(__stdcall* GetBitsPerPixel)(TextureObject* object);
    TextureObject*(__stdcall* Create)(IDirect3DDevice9* device, int width, int height, int kind, int textureFlag);
    IDirect3DTexture9*(__stdcall* GetDrawTexture)(TextureObject* object);
    int(__stdcall* SetTransparentColor)(TextureObject* object, DWORD colour);
    int(__stdcall* LockPixels)(TextureObject* object, int readOnly, int mode, void** address, int* pitch);
    int(__stdcall* UnlockPixels)(TextureObject* object, int readOnly);
    HDC(__stdcall* OpenDC)(TextureObject* object);
    int(__stdcall* CloseDC)(TextureObject* object, int readOnly);
    IDirect3DSurface9*(__stdcall* GetRenderTarget)(TextureObject* object);
    int(__stdcall* ReleaseVideoMemory)(TextureObject* object);
    int(__stdcall* RestoreVideoMemory)(TextureObject* object);
    int(__stdcall* Free)(TextureObject* object);
    TextureObject*(__stdcall* Optimize)(TextureObject* object, int preferRenderTarget);
};
static_assert(sizeof(TextureInterface) == 16 * 4, "16 operations of 4 bytes");

// The table is the header's KorrinTextureInterface, field for field.
#define KORRIN_TABLE_FIELD(field) KORRIN_SAME_FIELD(TextureInterface, KorrinTextureInterface, field)
static_assert(sizeof(TextureInterface) == sizeof(KorrinTextureInterface) && KORRIN_TABLE_FIELD(GetKind) &&
                  KORRIN_TABLE_FIELD(GetWidth) && KORRIN_TABLE_FIELD(GetHeight) &&
                  KORRIN_TABLE_FIELD(GetBitsPerPixel) && KORRIN_TABLE_FIELD(Create) &&
                  KORRIN_TABLE_FIELD(GetDrawTexture) && KORRIN_TABLE_FIELD(SetTransparentColor) &&
                  KORRIN_TABLE_FIELD(LockPixels) &&
                  KORRIN_TABLE_FIELD(UnlockPixels) && KORRIN_TABLE_FIELD(OpenDC) && KORRIN_TABLE_FIELD(CloseDC) &&
                  KORRIN_TABLE_FIELD(GetRenderTarget) && KORRIN_TABLE_FIELD(ReleaseVideoMemory) &&
                  KORRIN_TABLE_FIELD(RestoreVideoMemory) && KORRIN_TABLE_FIELD(Free) && KORRIN_TABLE_FIELD(Optimize),
              "the operation table is laid out as the public header declares it");
#undef KORRIN_TABLE_FIELD

// One texture object; every field is 32-bit, flags are 0 or 1.
struct TextureObject {
    const TextureInterface* operations;  // the interface table, shared by every texture object
    int kind;                           // a TextureKind
    int width, height;                  // pixels, fixed for the object's life
    int defaultPool;                    // 1 for kTextureVideo16 and kTextureRenderTarget (lost on reset)
    int mayOptimize;                    // kTextureManaged16 at creation; cleared when a conversion fails
    int textureFlag;                    // sprite created with flag 4; handed on by Optimize
    DWORD transparentColor;             // host RGB (red bits 0-7); black at creation
    int copyModified;                   // kTextureVideo16: systemCopy changed since the last upload
    int stale;                          // texture must be rebuilt from the pixel copy
    HDC dc;                             // DC handed out by OpenDC, or 0
    int directDC;                       // kTextureAlpha32: dc taken from textureSurface directly
    int locked;                         // a normal LockPixels lock is held
    int changeCount;                    // modifying accesses so far; never decreases
    IDirect3DDevice9* device;           // the device the resources belong to (no reference)
    IDirect3DSurface9* systemCopy;      // system-memory pixel copy, or 0
    IDirect3DTexture9* texture;         // the texture drawn with
    IDirect3DSurface9* textureSurface;  // level 0 of texture
    IDirect3DSurface9* targetSurface;   // render target, or 0
};
static_assert(sizeof(TextureObject) == 19 * 4, "texture objects are 19 fields of 4 bytes");
static_assert(offsetof(TextureObject, kind) == 4 && offsetof(TextureObject, transparentColor) == 28 &&
                  offsetof(TextureObject, device) == 56 && offsetof(TextureObject, targetSurface) == 72,
              "field offsets are part of the interface");
static_assert(KORRIN_SAME_FIELD(TextureObject, KorrinTextureObject, operations), "the table pointer comes first");

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

}  // namespace korrin
