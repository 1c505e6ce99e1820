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
//
// Direct3D promises a surface's memory only until UnlockRect, so the pointer
// a long lock hands out is the library's own: a DIB section of the object's
// size in the system copy's 5:5:5 layout, which is also what the object's DC
// draws into while the lock lasts. The DIB section is the newest copy of the
// pixels; the system copy is brought in step with it before the library reads
// the system copy, and the DIB section with the system copy after the
// library writes it (the helpers below).
struct LongLock {
    TextureObject* object;  // the object holding the lock, or null
    HBITMAP bitmap;         // the DIB section handed out
    void* bits;             // its pixels, top row first
    int pitch;              // bytes per row
    HDC dc;                 // memory DC on the bitmap while the object's DC is open, or 0
};
constexpr int kLongLockSlots = 8;
LongLock longLocks[kLongLockSlots];

// A host took a kind 2 object's render-target surface, which is that kind's
// pixel copy, through the operation table.
int hostHoldsPixelTarget;

LongLock* FindLongLock(const TextureObject* object) {
    for (LongLock& lock : longLocks)
        if (lock.object == object) return &lock;
    return nullptr;
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

// --- long locks -------------------------------------------------------------------

// Copies every row between the system copy and a long lock's DIB section.
bool CopyLongLock(TextureObject* object, const LongLock& lock, bool toSystemCopy) {
    SurfaceLock copy(object->systemCopy, toSystemCopy ? 0 : D3DLOCK_READONLY);
    if (!copy.ok()) return false;
    GdiFlush();  // GDI may still be drawing into the DIB section
    for (int y = 0; y < object->height; ++y) {
        BYTE* row = static_cast<BYTE*>(lock.bits) + y * lock.pitch;
        if (toSystemCopy) std::memcpy(copy.row(y), row, object->width * 2);
        else std::memcpy(row, copy.row(y), object->width * 2);
    }
    return true;
}

// Before the library reads the system copy: what was drawn through the long
// lock's pointer or DC goes into it.
bool PushLongLock(TextureObject* object) {
    const LongLock* lock = FindLongLock(object);
    return !lock || CopyLongLock(object, *lock, true);
}

// After the library wrote the system copy (a read-back, a normal lock): the
// long lock's pointer and DC see it.
void PullLongLock(TextureObject* object) {
    if (const LongLock* lock = FindLongLock(object)) CopyLongLock(object, *lock, false);
}

// Ends a long lock: its memory DC (the object's DC, if open) and DIB section go.
void EndLongLock(LongLock& lock) {
    if (lock.dc) {
        if (lock.object->dc == lock.dc) lock.object->dc = nullptr;
        DeleteDC(lock.dc);
    }
    if (lock.bitmap) DeleteObject(lock.bitmap);
    lock = LongLock{};
}

// A DIB section of the object's size in X1R5G5B5 (16-bit BI_RGB), top row
// first, filled from the system copy.
bool BeginLongLock(TextureObject* object, LongLock& lock) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = object->width;
    info.bmiHeader.biHeight = -object->height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 16;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits) {
        if (bitmap) DeleteObject(bitmap);
        return false;
    }
    lock = LongLock{object, bitmap, bits, (object->width * 2 + 3) & ~3, nullptr};
    if (!CopyLongLock(object, lock, false)) {
        EndLongLock(lock);
        return false;
    }
    return true;
}

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

bool RekeyKind1(TextureObject* object) {
    return PushLongLock(object) && Rekey(object, object->systemCopy, D3DLOCK_DISCARD);
}
bool RekeyKind2(TextureObject* object) { return EnsureTargetSurface(object) && Rekey(object, object->targetSurface, 0); }

// One device call each; a missing surface fails.
bool Copy(IDirect3DDevice9* device, IDirect3DSurface9* from, IDirect3DSurface9* to, bool upload) {
    if (!device || !from || !to) return false;
    return SUCCEEDED(upload ? device->UpdateSurface(from, nullptr, to, nullptr) : device->GetRenderTargetData(from, to));
}
// Uploads take the long lock's pixels first, read-backs hand theirs to it.
bool UploadKind1(TextureObject* o) { return PushLongLock(o) && Copy(o->device, o->systemCopy, o->targetSurface, true); }
bool UploadKind4(TextureObject* o) { return PushLongLock(o) && Copy(o->device, o->systemCopy, o->textureSurface, true); }
bool ReadBack(TextureObject* o, IDirect3DSurface9* from) {
    if (!Copy(o->device, from, o->systemCopy, false)) return false;
    PullLongLock(o);
    return true;
}
bool ReadBackKind1(TextureObject* o) { return ReadBack(o, o->targetSurface); }
bool ReadBackKind4(TextureObject* o) { return ReadBack(o, o->textureSurface); }

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
// promises a locked surface's memory only until UnlockRect and refuses GetDC,
// UpdateSurface and GetRenderTargetData on a locked surface. So no lock is
// held: the pointer is a DIB section of the library's own (see LongLock),
// and OpenDC hands out a DC on that same DIB section, so that the pointer and
// GDI see each other's pixels while every device operation keeps working. It
// is granted for kinds 1 and 4, whose pixel copy is a system-memory surface
// the library keeps in step with the DIB section; kinds 2 and 3 refuse it, and
// so does an object whose pixel copy is locked or has a DC open. Callers then
// alternate between buffer and DC. Ending a modifying long lock hands what
// was written through the pointer to the system copy and marks the texture
// stale, so it reaches the texture.
int __stdcall LockPixels(TextureObject* object, int readOnly, int mode, void** address, int* pitch) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    FlushSpriteBatch();
    if (!object) return 0;
    if ((mode == 0 || mode == 1) && (!address || !pitch)) return 0;

    if (mode == 0) {
        if (object->locked) return 0;
        IDirect3DSurface9* surface = PixelCopy(object, true);
        D3DLOCKED_RECT rect;
        if (!surface || !PushLongLock(object) ||
            FAILED(surface->LockRect(&rect, nullptr, readOnly ? D3DLOCK_READONLY : 0)))
            return 0;
        if (!readOnly) ++object->changeCount;
        object->locked = 1;
        *address = rect.pBits;
        *pitch = rect.Pitch;
        return 1;
    }

    if (mode == 1) {
        if ((object->kind != kTextureVideo16 && object->kind != kTextureRenderTarget) || FindLongLock(object) ||
            object->locked || object->dc || !object->systemCopy)
            return 0;
        LongLock* slot = FindLongLock(nullptr);
        if (!slot || !BeginLongLock(object, *slot)) return 0;
        if (!readOnly) ++object->changeCount;  // a write lock, as in mode 0
        *address = slot->bits;
        *pitch = slot->pitch;
        return 1;
    }

    if (mode == 2) {
        LongLock* lock = FindLongLock(object);
        if (!lock) return 0;
        const bool kept = readOnly || CopyLongLock(object, *lock, true);
        EndLongLock(*lock);
        if (!readOnly) {
            object->stale = 1;
            object->copyModified = 1;
        }
        return kept ? 1 : 0;
    }
    return 0;
}

// A normal lock taken during a long lock wrote the system copy: the long
// lock's pointer sees it afterwards.
int __stdcall UnlockPixels(TextureObject* object, int readOnly) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    FlushSpriteBatch();
    if (!object || !object->locked) return 0;
    IDirect3DSurface9* surface = PixelCopy(object, false);
    if (!surface || FAILED(surface->UnlockRect())) return 0;
    object->locked = 0;
    if (!readOnly) {
        PullLongLock(object);
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
    // During a long lock the DC draws into the pointer's own memory.
    if (LongLock* lock = FindLongLock(object)) {
        lock->dc = CreateCompatibleDC(nullptr);
        if (lock->dc && !SelectObject(lock->dc, lock->bitmap)) {
            DeleteDC(lock->dc);
            lock->dc = nullptr;
        }
        object->dc = lock->dc;
        return object->dc;
    }
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
    LongLock* lock = FindLongLock(object);
    if (lock && lock->dc == object->dc) {
        GdiFlush();
        DeleteDC(lock->dc);  // the DIB section stays, as the long lock's pointer
        lock->dc = nullptr;
    } else {
        IDirect3DSurface9* surface = DCSurface(object);
        if (!surface || FAILED(surface->ReleaseDC(object->dc))) return 0;
    }
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
    case kTextureRenderTarget: return ReadBackKind4(object) ? 1 : 0;
    case kTextureVideo16:
        if (!ReadBackKind1(object)) return 0;
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
    if (LongLock* lock = FindLongLock(object)) EndLongLock(*lock);
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
    return object->locked || object->dc || FindLongLock(object) ||
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
