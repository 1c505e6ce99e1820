// The texture manager: the four storage kinds behind one interface. Owns the
// Direct3D objects of every texture object and the records themselves; the
// colour-key table it converts 16-bit pixels with lives in ColourKey.
#include "sprites/TextureManager.h"

#include <wrl/client.h>

#include <cstring>

#include "frame/ErrorPosition.h"
#include "frame/platform.h"
#include "sprites/ColourKey.h"
#include "sprites/SpriteBatch.h"

namespace korrin {

namespace {

using Microsoft::WRL::ComPtr;

// --- state ------------------------------------------------------------------------

// Long locks (LockPixels mode 1) in force. Only kinds 1 and 4 grant them (see
// LockPixels), and a host holds at most one drawing output at a time, so a
// few slots are plenty; when they are full a long lock is refused, which
// callers handle by alternating between buffer and DC.
constexpr int kLongLockSlots = 8;
TextureObject* longLocks[kLongLockSlots];  // objects holding a long lock, or null

// A host took a kind 2 object's render-target surface, which is that kind's
// pixel copy, through the operation table.
int hostHoldsPixelTarget;

int FindLongLock(const TextureObject* object) {
    for (int i = 0; i < kLongLockSlots; ++i)
        if (longLocks[i] == object) return i;
    return -1;
}

// --- scoped platform access ----------------------------------------------------------

// LockRect on a whole surface for the life of the scope.
class SurfaceLock {
public:
    SurfaceLock(IDirect3DSurface9* surface, DWORD flags) : surface_(surface) {
        if (surface_ && FAILED(surface_->LockRect(&rect_, nullptr, flags))) surface_ = nullptr;
    }
    ~SurfaceLock() {
        if (surface_) surface_->UnlockRect();
    }
    SurfaceLock(const SurfaceLock&) = delete;
    SurfaceLock& operator=(const SurfaceLock&) = delete;

    bool ok() const { return surface_ != nullptr; }
    BYTE* row(int y) const { return static_cast<BYTE*>(rect_.pBits) + y * rect_.Pitch; }

private:
    IDirect3DSurface9* surface_;
    D3DLOCKED_RECT rect_ = {};
};

// --- Direct3D objects of the kinds --------------------------------------------------

// The texture of a kind: one level of exactly width x height.
HRESULT MakeKindTexture(IDirect3DDevice9* device, int width, int height, int kind, IDirect3DTexture9** texture) {
    switch (kind) {
    case kTextureVideo16:
        return device->CreateTexture(width, height, 1, D3DUSAGE_DYNAMIC, D3DFMT_A1R5G5B5, D3DPOOL_DEFAULT, texture,
                                     nullptr);
    case kTextureManaged16:
        return device->CreateTexture(width, height, 1, 0, D3DFMT_A1R5G5B5, D3DPOOL_MANAGED, texture, nullptr);
    case kTextureAlpha32:
        return device->CreateTexture(width, height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture, nullptr);
    case kTextureRenderTarget:
        return device->CreateTexture(width, height, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X1R5G5B5, D3DPOOL_DEFAULT, texture,
                                     nullptr);
    default: return D3DERR_INVALIDCALL;
    }
}

HRESULT MakeTarget(IDirect3DDevice9* device, int width, int height, BOOL lockable, IDirect3DSurface9** surface,
                   D3DFORMAT format = D3DFMT_X1R5G5B5) {
    return device->CreateRenderTarget(width, height, format, D3DMULTISAMPLE_NONE, 0, lockable, surface, nullptr);
}

HRESULT MakeSystemCopy(IDirect3DDevice9* device, int width, int height, D3DFORMAT format, IDirect3DSurface9** surface) {
    return device->CreateOffscreenPlainSurface(width, height, format, D3DPOOL_SYSTEMMEM, surface, nullptr);
}

// Copies rowBytes of every row from one surface into another, each row at its
// own surface's pitch.
bool CopyRows(IDirect3DSurface9* source, IDirect3DSurface9* destination, DWORD destinationFlags, int rowBytes,
              int height) {
    if (!source || !destination) return false;
    SurfaceLock to(destination, destinationFlags);
    SurfaceLock from(source, D3DLOCK_READONLY);
    if (!to.ok() || !from.ok()) return false;
    for (int y = 0; y < height; ++y) std::memcpy(to.row(y), from.row(y), rowBytes);
    return true;
}

// The kind 2 target surface, made from the texture's pixels (alpha bit
// included) when absent.
bool EnsureTargetSurface(TextureObject* object) {
    if (object->targetSurface) return true;
    if (!object->textureSurface || !object->device) return false;
    ComPtr<IDirect3DSurface9> target;
    if (FAILED(MakeTarget(object->device, object->width, object->height, TRUE, target.GetAddressOf()))) return false;
    if (!CopyRows(object->textureSurface, target.Get(), 0, object->width * 2, object->height)) return false;
    object->targetSurface = target.Detach();
    return true;
}

// Converts a 16-bit pixel copy into the texture through the colour-key table:
// the alpha bit is cleared for the transparent colour and set for all others.
bool Rekey(TextureObject* object, IDirect3DSurface9* source, DWORD destinationFlags) {
    if (!colourKeyTable || !source || !object->textureSurface) return false;
    SelectColourKey(object->transparentColor);
    SurfaceLock to(object->textureSurface, destinationFlags);
    SurfaceLock from(source, D3DLOCK_READONLY);
    if (!to.ok() || !from.ok()) return false;
    for (int y = 0; y < object->height; ++y)
        ConvertRow(reinterpret_cast<const std::uint16_t*>(from.row(y)), reinterpret_cast<std::uint16_t*>(to.row(y)),
                   object->width);
    return true;
}

// The kind 3 target surface: a lockable A8R8G8B8 render target (made when
// absent) holding the texture's current pixels, alpha included, so that
// drawing starts from the image as it is. The texture stays the pixel copy;
// FinishRendering carries the drawing back into it.
bool FillAlphaTarget(TextureObject* object) {
    if (!object->targetSurface) {
        if (!object->device) return false;
        ComPtr<IDirect3DSurface9> target;
        if (FAILED(MakeTarget(object->device, object->width, object->height, TRUE, target.GetAddressOf(),
                              D3DFMT_A8R8G8B8)))
            return false;
        object->targetSurface = target.Detach();
    }
    return CopyRows(object->textureSurface, object->targetSurface, 0, object->width * 4, object->height);
}

bool RekeyKind1(TextureObject* object) { return Rekey(object, object->systemCopy, D3DLOCK_DISCARD); }
bool RekeyKind2(TextureObject* object) { return EnsureTargetSurface(object) && Rekey(object, object->targetSurface, 0); }

// One device call each; a missing surface fails.
bool Copy(IDirect3DDevice9* device, IDirect3DSurface9* from, IDirect3DSurface9* to, bool upload) {
    if (!device || !from || !to) return false;
    return SUCCEEDED(upload ? device->UpdateSurface(from, nullptr, to, nullptr) : device->GetRenderTargetData(from, to));
}
bool UploadKind1(TextureObject* o) { return Copy(o->device, o->systemCopy, o->targetSurface, true); }
bool ReadBackKind1(TextureObject* o) { return Copy(o->device, o->targetSurface, o->systemCopy, false); }
bool UploadKind4(TextureObject* o) { return Copy(o->device, o->systemCopy, o->textureSurface, true); }
bool ReadBackKind4(TextureObject* o) { return Copy(o->device, o->textureSurface, o->systemCopy, false); }

// The surface LockPixels works on (kind 2 makes its target surface first).
IDirect3DSurface9* PixelCopy(TextureObject* object, bool make) {
    switch (object->kind) {
    case kTextureVideo16:
    case kTextureRenderTarget: return object->systemCopy;
    case kTextureManaged16: return (!make || EnsureTargetSurface(object)) ? object->targetSurface : nullptr;
    case kTextureAlpha32: return object->textureSurface;
    default: return nullptr;
    }
}

// The surface an open DC was taken from.
IDirect3DSurface9* DCSurface(TextureObject* object) {
    return object->kind == kTextureManaged16 ? object->targetSurface : object->systemCopy;
}

// Ends a DC or normal lock still open on `surface`, so that the surface can
// be released without leaving GDI or the runtime holding it.
void EndAccessOn(TextureObject* object, IDirect3DSurface9* surface) {
    if (!surface) return;
    if (object->dc && DCSurface(object) == surface) {
        surface->ReleaseDC(object->dc);
        object->dc = nullptr;
    }
    if (object->locked && PixelCopy(object, false) == surface) {
        surface->UnlockRect();
        object->locked = 0;
    }
}

void ReleaseSurface(TextureObject* object, IDirect3DSurface9*& surface) {
    EndAccessOn(object, surface);
    ReleaseObject(surface);
}

// Whether a GDI device context on `surface` draws into the very memory that
// LockRect gave at `address` with `pitch`: the condition for a long lock.
bool DCSharesMemory(IDirect3DSurface9* surface, const void* address, int pitch) {
    HDC dc = nullptr;
    if (FAILED(surface->GetDC(&dc))) return false;
    DIBSECTION dib = {};
    HGDIOBJ bitmap = GetCurrentObject(dc, OBJ_BITMAP);
    const bool shared = bitmap && ::GetObjectA(bitmap, sizeof dib, &dib) == static_cast<int>(sizeof dib) &&
                        dib.dsBm.bmBits == address && dib.dsBm.bmWidthBytes == pitch;
    surface->ReleaseDC(dc);
    return shared;
}

// Device calls may run after they return (the runtime may queue them), so a
// read-back into a long-locked system copy is waited for with a lock: until
// then the pointer would miss the rendered pixels, and pixels written
// through it could still be overwritten.
void SettleLongLock(TextureObject* object) {
    D3DLOCKED_RECT rect;
    if (FindLongLock(object) >= 0 && SUCCEEDED(object->systemCopy->LockRect(&rect, nullptr, 0)))
        object->systemCopy->UnlockRect();
}

int AsResult(const void* pointer) { return static_cast<int>(reinterpret_cast<INT_PTR>(pointer)); }

}  // namespace

// --- the interface ------------------------------------------------------------------

int __stdcall GetKind(TextureObject* object) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    return object ? object->kind : 0;
}

int __stdcall GetWidth(TextureObject* object) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    return object ? object->width : 0;
}

int __stdcall GetHeight(TextureObject* object) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    return object ? object->height : 0;
}

int __stdcall GetBitsPerPixel(TextureObject* object) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    if (!object) return 0;
    switch (object->kind) {
    case kTextureVideo16:
    case kTextureManaged16:
    case kTextureRenderTarget: return 15;
    case kTextureAlpha32: return 32;
    default: return 0;
    }
}

// Makes the Direct3D objects of the kind in a fixed order; whatever was made
// is released again (by the ComPtrs) when a later step fails.
TextureObject* __stdcall CreateTexture(IDirect3DDevice9* device, int width, int height, int kind, int textureFlag) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    FlushSpriteBatch();
    if (width <= 0 || height <= 0 || !device || kind < kTextureVideo16 || kind > kTextureRenderTarget) return nullptr;

    ComPtr<IDirect3DTexture9> texture;
    ComPtr<IDirect3DSurface9> systemCopy, targetSurface, textureSurface;
    if (FAILED(MakeKindTexture(device, width, height, kind, texture.GetAddressOf()))) return nullptr;
    switch (kind) {
    case kTextureRenderTarget:
        if (FAILED(MakeSystemCopy(device, width, height, D3DFMT_X1R5G5B5, systemCopy.GetAddressOf()))) return nullptr;
        break;
    case kTextureVideo16:
        if (FAILED(MakeTarget(device, width, height, FALSE, targetSurface.GetAddressOf()))) return nullptr;
        if (FAILED(MakeSystemCopy(device, width, height, D3DFMT_X1R5G5B5, systemCopy.GetAddressOf()))) return nullptr;
        break;
    case kTextureManaged16:
        if (FAILED(MakeTarget(device, width, height, TRUE, targetSurface.GetAddressOf()))) return nullptr;
        break;
    default: break;
    }
    if (FAILED(texture->GetSurfaceLevel(0, textureSurface.GetAddressOf()))) return nullptr;

    auto* object = static_cast<TextureObject*>(GlobalAlloc(GPTR, sizeof(TextureObject)));
    if (!object) return nullptr;
    object->operations = &textureInterface;
    object->kind = kind;
    object->width = width;
    object->height = height;
    object->textureFlag = textureFlag;
    object->defaultPool = (kind == kTextureVideo16 || kind == kTextureRenderTarget) ? 1 : 0;
    object->mayOptimize = kind == kTextureManaged16 ? 1 : 0;
    object->stale = kind == kTextureAlpha32 ? 0 : 1;
    object->device = device;
    object->systemCopy = systemCopy.Detach();
    object->texture = texture.Detach();
    object->textureSurface = textureSurface.Detach();
    object->targetSurface = targetSurface.Detach();
    return object;
}

IDirect3DTexture9* __stdcall GetDrawTexture(TextureObject* object) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    if (!object) return nullptr;
    if (!object->stale || object->kind == kTextureAlpha32) return object->texture;
    FlushSpriteBatch();  // queued quads may show the texture as it is now
    bool updated = false;
    switch (object->kind) {
    case kTextureRenderTarget: updated = UploadKind4(object); break;
    case kTextureManaged16: updated = RekeyKind2(object); break;
    case kTextureVideo16: updated = RekeyKind1(object); break;
    default: break;
    }
    if (!updated) return nullptr;
    object->stale = 0;
    return object->texture;
}

int __stdcall SetTransparentColor(TextureObject* object, DWORD colour) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    if (!object || object->kind == kTextureAlpha32) return 0;
    if (colour == object->transparentColor) return 1;
    FlushSpriteBatch();
    if (object->kind != kTextureRenderTarget) object->stale = 1;
    object->transparentColor = colour;
    return AsResult(GetDrawTexture(object));
}

// Mode 1 (long lock): the address handed out must stay valid while the
// object's DC is open and while device calls use the surface, but Direct3D
// refuses GetDC, UpdateSurface and GetRenderTargetData on a locked surface.
// So no lock is held: a long lock is granted only where the pixel copy is a
// system-memory surface (kinds 1 and 4), whose memory is the surface's own
// allocation and stays at one address for the surface's life, and only after
// checking that a DC on it draws into that same memory (same address, same
// pitch), so that GDI and the pointer see each other's pixels. The pointer
// and the DC are then two views of one buffer, and every device operation
// keeps working. Kinds 2 and 3 (video-memory or managed pixel copies, whose
// memory may move between locks) refuse it; callers then alternate between
// buffer and DC. A read-back into the system copy is waited for while a
// long lock is held (SettleLongLock). Ending a modifying long lock marks the
// texture stale, so pixels written through the pointer reach the texture.
int __stdcall LockPixels(TextureObject* object, int readOnly, int mode, void** address, int* pitch) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    FlushSpriteBatch();
    if (!object) return 0;
    if ((mode == 0 || mode == 1) && (!address || !pitch)) return 0;

    if (mode == 0) {
        if (object->locked) return 0;
        IDirect3DSurface9* surface = PixelCopy(object, true);
        D3DLOCKED_RECT rect;
        if (!surface || FAILED(surface->LockRect(&rect, nullptr, readOnly ? D3DLOCK_READONLY : 0))) return 0;
        if (!readOnly) ++object->changeCount;
        object->locked = 1;
        *address = rect.pBits;
        *pitch = rect.Pitch;
        return 1;
    }

    if (mode == 1) {
        if ((object->kind != kTextureVideo16 && object->kind != kTextureRenderTarget) || FindLongLock(object) >= 0)
            return 0;
        const int slot = FindLongLock(nullptr);
        IDirect3DSurface9* surface = object->systemCopy;
        D3DLOCKED_RECT rect;
        // Fails while a normal lock or a DC holds the surface.
        if (slot < 0 || !surface || FAILED(surface->LockRect(&rect, nullptr, 0))) return 0;
        surface->UnlockRect();
        if (!DCSharesMemory(surface, rect.pBits, rect.Pitch)) return 0;
        longLocks[slot] = object;
        if (!readOnly) ++object->changeCount;  // a write lock, as in mode 0
        *address = rect.pBits;
        *pitch = rect.Pitch;
        return 1;
    }

    if (mode == 2) {
        const int slot = FindLongLock(object);
        if (slot < 0) return 0;
        longLocks[slot] = nullptr;
        if (!readOnly) {
            object->stale = 1;
            object->copyModified = 1;
        }
        return 1;
    }
    return 0;
}

int __stdcall UnlockPixels(TextureObject* object, int readOnly) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    FlushSpriteBatch();
    if (!object || !object->locked) return 0;
    IDirect3DSurface9* surface = PixelCopy(object, false);
    if (!surface || FAILED(surface->UnlockRect())) return 0;
    object->locked = 0;
    if (!readOnly) {
        object->stale = 1;
        object->copyModified = 1;
    }
    return AsResult(GetDrawTexture(object));
}

// Kind 3's A8R8G8B8 surface gives no DC, so it is drawn on through an
// X8R8G8B8 system copy that carries all four bytes of every pixel there and
// back (CloseDC), alpha included.
HDC __stdcall OpenDC(TextureObject* object) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    FlushSpriteBatch();
    if (!object || object->dc) return nullptr;
    IDirect3DSurface9* surface = nullptr;
    switch (object->kind) {
    case kTextureVideo16:
    case kTextureRenderTarget: surface = object->systemCopy; break;
    case kTextureManaged16:
        if (EnsureTargetSurface(object)) surface = object->targetSurface;
        break;
    case kTextureAlpha32: {
        ComPtr<IDirect3DSurface9> made;
        if (!object->systemCopy) {
            if (!object->device ||
                FAILED(MakeSystemCopy(object->device, object->width, object->height, D3DFMT_X8R8G8B8,
                                      made.GetAddressOf())))
                return nullptr;
        }
        IDirect3DSurface9* copy = made ? made.Get() : object->systemCopy;
        if (!CopyRows(object->textureSurface, copy, 0, object->width * 4, object->height)) return nullptr;
        HDC dc = nullptr;
        if (FAILED(copy->GetDC(&dc))) return nullptr;
        if (made) object->systemCopy = made.Detach();
        object->dc = dc;
        return dc;
    }
    default: break;
    }
    HDC dc = nullptr;
    if (!surface || FAILED(surface->GetDC(&dc))) return nullptr;
    object->dc = dc;
    return dc;
}

int __stdcall CloseDC(TextureObject* object, int readOnly) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    FlushSpriteBatch();
    if (!object || !object->dc) return 0;
    IDirect3DSurface9* surface = DCSurface(object);
    if (!surface || FAILED(surface->ReleaseDC(object->dc))) return 0;
    object->dc = nullptr;
    const bool copiedBack = object->kind != kTextureAlpha32 ||
                            CopyRows(object->systemCopy, object->textureSurface, 0, object->width * 4, object->height);
    if (!readOnly) {
        object->stale = 1;
        object->copyModified = 1;
        ++object->changeCount;
    }
    if (!copiedBack) return 0;
    return AsResult(GetDrawTexture(object));
}

IDirect3DSurface9* __stdcall GetRenderTarget(TextureObject* object) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    FlushSpriteBatch();
    if (!object) return nullptr;
    switch (object->kind) {
    case kTextureRenderTarget:
        // Rendering starts from the current image: changes still waiting in
        // the system copy go up first, or the read-back would drop them.
        if (object->stale && !GetDrawTexture(object)) return nullptr;
        return object->textureSurface;
    case kTextureManaged16:
        if (!EnsureTargetSurface(object)) return nullptr;
        break;
    case kTextureAlpha32:
        // Only the change count moves: the texture itself is the pixel copy
        // and is never stale.
        if (!FillAlphaTarget(object)) return nullptr;
        ++object->changeCount;
        return object->targetSurface;
    case kTextureVideo16:
        if (object->copyModified) {
            if (!UploadKind1(object)) return nullptr;
            object->copyModified = 0;
        }
        if (!object->targetSurface) return nullptr;
        break;
    default: return nullptr;
    }
    ++object->changeCount;
    object->stale = 1;
    return object->targetSurface;
}

int FinishRendering(TextureObject* object) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    FlushSpriteBatch();
    if (!object) return 0;
    switch (object->kind) {
    case kTextureManaged16: return RekeyKind2(object) ? 1 : 0;
    case kTextureRenderTarget:
        if (!ReadBackKind4(object)) return 0;
        SettleLongLock(object);
        return 1;
    case kTextureVideo16:
        if (!ReadBackKind1(object)) return 0;
        SettleLongLock(object);
        object->stale = 1;
        return 1;
    case kTextureAlpha32:
        return CopyRows(object->targetSurface, object->textureSurface, 0, object->width * 4, object->height) ? 1 : 0;
    default: return 0;
    }
}

// Gives back everything of the default pool (the system copy is the master
// copy of kinds 1 and 4 until RestoreVideoMemory).
int __stdcall ReleaseVideoMemory(TextureObject* object) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    FlushSpriteBatch();
    if (!object) return 0;
    switch (object->kind) {
    case kTextureVideo16: ReleaseSurface(object, object->targetSurface); [[fallthrough]];
    case kTextureRenderTarget:
        ReleaseSurface(object, object->textureSurface);
        ReleaseObject(object->texture);
        return 1;
    case kTextureManaged16:
        if (!object->targetSurface) return 0;
        ReleaseSurface(object, object->targetSurface);
        return 1;
    case kTextureAlpha32:
        // Only a surface made by GetRenderTarget lives in the default pool.
        ReleaseSurface(object, object->targetSurface);
        return 1;
    default: return 0;
    }
}

// Makes again what ReleaseVideoMemory gave back, refilled from the master
// copy; objects that already exist are kept.
int __stdcall RestoreVideoMemory(TextureObject* object) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    FlushSpriteBatch();
    if (!object) return 0;
    if (object->kind == kTextureAlpha32) return 1;
    if (object->kind == kTextureManaged16) return EnsureTargetSurface(object) ? 1 : 0;
    if ((object->kind != kTextureVideo16 && object->kind != kTextureRenderTarget) || !object->device) return 0;

    if (!object->texture &&
        FAILED(MakeKindTexture(object->device, object->width, object->height, object->kind, &object->texture))) {
        object->texture = nullptr;
        return 0;
    }
    if (object->kind == kTextureVideo16 && !object->targetSurface &&
        FAILED(MakeTarget(object->device, object->width, object->height, FALSE, &object->targetSurface))) {
        object->targetSurface = nullptr;
        return 0;
    }
    if (!object->textureSurface && FAILED(object->texture->GetSurfaceLevel(0, &object->textureSurface))) {
        object->textureSurface = nullptr;
        return 0;
    }
    if (object->kind == kTextureRenderTarget) return UploadKind4(object) ? 1 : 0;
    return RekeyKind1(object) && UploadKind1(object) ? 1 : 0;
}

int __stdcall FreeTexture(TextureObject* object) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    FlushSpriteBatch();
    if (!object) return 0;
    const int slot = FindLongLock(object);
    if (slot >= 0) longLocks[slot] = nullptr;
    // Every surface present is released, whatever the kind: a kind 3 object
    // may hold a target surface made by GetRenderTarget.
    ReleaseSurface(object, object->targetSurface);
    ReleaseSurface(object, object->systemCopy);
    ReleaseSurface(object, object->textureSurface);
    ReleaseObject(object->texture);
    GlobalFree(object);
    return 1;
}

// Optimize's thresholds on changeCount: a sprite changed fewer times than
// kRarelyChanged keeps its kind and lets its target surface go; one changed
// more often than kOftenChanged moves to a video-memory kind.
constexpr int kRarelyChanged = 3;
constexpr int kOftenChanged = 5;

TextureObject* __stdcall Optimize(TextureObject* object, int preferRenderTarget) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    FlushSpriteBatch();
    if (!object || object->kind != kTextureManaged16) return nullptr;
    if (object->changeCount < kRarelyChanged) {
        // The target surface is made again on demand; one in use stays.
        if (!object->dc && !object->locked) ReleaseObject(object->targetSurface);
        return object;
    }
    // An open DC or lock would make the conversion fail for good; keep the
    // object as it is and let a later call convert it.
    if (object->changeCount <= kOftenChanged || !object->mayOptimize || object->dc || object->locked) return nullptr;

    const int width = object->width, height = object->height;
    TextureObject* replacement = nullptr;
    if (preferRenderTarget)
        replacement = CreateTexture(object->device, width, height, kTextureRenderTarget, object->textureFlag);
    if (!replacement) replacement = CreateTexture(object->device, width, height, kTextureVideo16, object->textureFlag);

    bool converted = false;
    if (replacement) {
        HDC from = OpenDC(object);
        HDC to = from ? OpenDC(replacement) : nullptr;
        if (to) {
            const BOOL copied = BitBlt(to, 0, 0, width, height, from, 0, 0, SRCCOPY);
            CloseDC(replacement, 0);
            converted = copied && !replacement->dc;
        }
        if (from) CloseDC(object, 1);
        converted = converted && SetTransparentColor(replacement, GetTransparentColor(object)) != 0;
    }
    if (!converted) {
        if (replacement) FreeTexture(replacement);
        object->mayOptimize = 0;
        return nullptr;
    }
    FreeTexture(object);
    return replacement;
}

// --- outside the interface --------------------------------------------------------------

DWORD GetTransparentColor(TextureObject* object) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    if (!object || object->kind == kTextureAlpha32) return 0;
    return object->transparentColor;
}

bool PixelCopyMayChangeUnseen(const TextureObject* object) {
    return object->locked || object->dc || FindLongLock(object) >= 0 ||
           (hostHoldsPixelTarget && object->kind == kTextureManaged16);
}

int IsRenderTargetTexture(TextureObject* object) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    return object && object->kind == kTextureRenderTarget ? 1 : 0;
}

// --- the table -----------------------------------------------------------------------

namespace {

// A host handed a texture or surface may draw with it, or on the device it
// belongs to, between any two commands: from then on nothing is queued.
IDirect3DTexture9* __stdcall HostGetDrawTexture(TextureObject* object) {
    if (object) NoteHostDeviceAccess();
    return GetDrawTexture(object);
}

IDirect3DSurface9* __stdcall HostGetRenderTarget(TextureObject* object) {
    if (object) NoteHostDeviceAccess();
    if (object && object->kind == kTextureManaged16) hostHoldsPixelTarget = 1;
    return GetRenderTarget(object);
}

}  // namespace

const TextureInterface textureInterface = {
    GetKind,      GetWidth, GetHeight, GetBitsPerPixel, CreateTexture, HostGetDrawTexture, SetTransparentColor,
    LockPixels,   UnlockPixels, OpenDC, CloseDC, HostGetRenderTarget, ReleaseVideoMemory, RestoreVideoMemory,
    FreeTexture,  Optimize,
};

}  // namespace korrin
