// Sprite import commands: a sprite from an image file (LoadSprite2) or from an
// image in memory (CatchSprite2), copied in through GDI, or with kSpriteAlpha
// an alpha sprite built from an 8-bit image.
#include "frame/ErrorPosition.h"
#include "frame/LastError.h"
#include "frame/globals.h"
#include "image/ImageLoader.h"
#include "korrin.h"
#include "sprites/Sprite.h"

#include <cstring>

namespace korrin {
namespace {

// Alpha sprite from the 8-bit DIB section `bits`: the main texture is opaque
// white where the image byte g is below 255 and transparent black at 255; the
// alpha texture holds v = 255 - g in all four bytes, except that g = 128 gives
// a zero alpha pixel (and a white main pixel).
Sprite* ImportAlpha(ObjectNumber number, const DIBSECTION& section, int width, int height) {
    TextureObject* alpha = CreateTexture(device, width, height, kTextureAlpha32, 0);
    if (!alpha) {
        NoteFailure("the device refused a %dx%d alpha texture", width, height);
        return nullptr;
    }
    Sprite* sprite = CreateSpriteRecord(number, width, height, kSpriteTextureFlag + kSprite32Bit);
    if (!sprite) {
        FreeTexture(alpha);
        return nullptr;
    }
    sprite->flags = kSpriteAlpha;
    sprite->alphaTexture = alpha;
    void* mainBits = nullptr;
    void* alphaBits = nullptr;
    int mainPitch = 0, alphaPitch = 0;
    const bool mainLocked = LockPixels(sprite->texture, 0, 0, &mainBits, &mainPitch) != 0;
    const bool alphaLocked = LockPixels(alpha, 0, 0, &alphaBits, &alphaPitch) != 0;
    if (mainLocked && alphaLocked) {
        const auto* image = static_cast<const BYTE*>(section.dsBm.bmBits);
        const int stride = section.dsBm.bmWidthBytes;
        for (int y = 0; y < height; ++y) {
            const BYTE* row = image + static_cast<size_t>(height - 1 - y) * stride;
            auto* mainRow = reinterpret_cast<DWORD*>(static_cast<BYTE*>(mainBits) + static_cast<size_t>(y) * mainPitch);
            auto* alphaRow =
                reinterpret_cast<DWORD*>(static_cast<BYTE*>(alphaBits) + static_cast<size_t>(y) * alphaPitch);
            for (int x = 0; x < width; ++x) {
                const DWORD g = row[x];
                DWORD v, a;
                if (g == 128) {
                    v = 128;
                    a = 0;
                } else {
                    v = 255 - g;
                    a = v * 0x01010101u;
                }
                mainRow[x] = v > 0 ? 0xFFFFFFFFu : 0;
                alphaRow[x] = a;
            }
        }
    }
    if (mainLocked) UnlockPixels(sprite->texture, 0);
    if (alphaLocked) UnlockPixels(alpha, 0);
    if (!mainLocked || !alphaLocked) {
        ReleaseSprite(CreatedSpriteNumber(number, sprite));  // frees alpha too
        NoteFailure("the new sprite's pixels cannot be written");
        return nullptr;
    }
    return sprite;
}

// GDI's copy carries no alpha into a 32-bit sprite: the fourth byte of each
// pixel comes out zero for an image without alpha, which would hide every
// pixel in each mode that blends by alpha. So a 32-bit sprite's alpha is set
// after the copy: opaque for an image without alpha, and the image's own
// straight alpha, byte for byte, for one with it (a 32-bit DIB section).
bool SetImportedAlpha(Sprite* sprite, const LoadedImage* image, int width, int height) {
    const BYTE* source = nullptr;
    int stride = 0;
    bool bottomUp = true;
    if (image->hasAlpha) {
        DIBSECTION section;
        if (::GetObjectA(ImageBitmap(image), sizeof section, &section) != sizeof section ||
            section.dsBm.bmBitsPixel != 32 || !section.dsBm.bmBits)
            return false;
        GdiFlush();
        source = static_cast<const BYTE*>(section.dsBm.bmBits);
        stride = section.dsBm.bmWidthBytes;
        bottomUp = section.dsBmih.biHeight > 0;
    }
    void* bits = nullptr;
    int pitch = 0;
    if (!LockPixels(sprite->texture, 0, 0, &bits, &pitch)) return false;
    for (int y = 0; y < height; ++y) {
        BYTE* row = static_cast<BYTE*>(bits) + static_cast<size_t>(y) * pitch;
        if (source) {
            const BYTE* from = source + static_cast<size_t>(bottomUp ? height - 1 - y : y) * stride;
            for (int x = 0; x < width; ++x) row[4 * x + 3] = from[4 * x + 3];
        } else {
            for (int x = 0; x < width; ++x) row[4 * x + 3] = 0xFF;
        }
    }
    return UnlockPixels(sprite->texture, 0) != 0;
}

// The image's bits when it is a plain (BI_RGB) 24- or 32-bit DIB section of
// its own size: GDI's copy from one of those into a 32-bit sprite moves the
// colour bytes unchanged, so they may be written into the texture directly.
bool DirectBits(const LoadedImage* image, int width, int height, DIBSECTION* section) {
    if (::GetObjectA(ImageBitmap(image), sizeof *section, section) != sizeof *section) return false;
    const int bits = section->dsBm.bmBitsPixel;
    return (bits == 24 || bits == 32) && section->dsBm.bmBits && section->dsBmih.biCompression == BI_RGB &&
           section->dsBm.bmWidth == width && section->dsBm.bmHeight == height;
}

// A 32-bit sprite filled straight from a 24- or 32-bit DIB section, alpha
// included (as SetImportedAlpha sets it): the same pixels as the GDI copy,
// without the 32-bit staging copy a DC on the texture needs and without a
// second pass for the alpha.
bool FillFromBits(Sprite* sprite, const DIBSECTION& section, bool hasAlpha, int width, int height) {
    void* bits = nullptr;
    int pitch = 0;
    GdiFlush();
    if (!LockPixels(sprite->texture, 0, 0, &bits, &pitch)) return false;
    const auto* image = static_cast<const BYTE*>(section.dsBm.bmBits);
    const int stride = section.dsBm.bmWidthBytes;
    const bool bottomUp = section.dsBmih.biHeight > 0;
    const bool wide = section.dsBm.bmBitsPixel == 32;
    for (int y = 0; y < height; ++y) {
        const BYTE* from = image + static_cast<size_t>(bottomUp ? height - 1 - y : y) * stride;
        auto* to = reinterpret_cast<DWORD*>(static_cast<BYTE*>(bits) + static_cast<size_t>(y) * pitch);
        if (wide) {
            const auto* pixels = reinterpret_cast<const DWORD*>(from);
            if (hasAlpha)
                std::memcpy(to, pixels, static_cast<size_t>(width) * 4);
            else
                for (int x = 0; x < width; ++x) to[x] = pixels[x] | 0xFF000000u;
        } else {
            for (int x = 0; x < width; ++x, from += 3)
                to[x] = 0xFF000000u | (static_cast<DWORD>(from[2]) << 16) | (static_cast<DWORD>(from[1]) << 8) | from[0];
        }
    }
    return UnlockPixels(sprite->texture, 0) != 0;
}

// Copies the bitmap selected into `imageDC` into a new sprite.
Sprite* ImportPlain(ObjectNumber number, const LoadedImage* image, HDC imageDC, int width, int height, int flags) {
    Sprite* sprite = CreateSpriteRecord(number, width, height, flags);
    if (!sprite) return nullptr;
    DIBSECTION section;
    bool done;
    if (sprite->depth == 32 && DirectBits(image, width, height, &section)) {
        done = FillFromBits(sprite, section, image->hasAlpha, width, height);
    } else {
        HDC dc = OpenDC(sprite->texture);
        const bool copied = dc && BitBlt(dc, 0, 0, width, height, imageDC, 0, 0, SRCCOPY);
        const bool closed = dc && CloseDC(sprite->texture, copied ? 0 : 1);
        done = copied && closed && (sprite->depth != 32 || SetImportedAlpha(sprite, image, width, height));
    }
    if (!done) {
        ReleaseSprite(CreatedSpriteNumber(number, sprite));
        NoteFailure("the image cannot be copied into the new sprite");
        return nullptr;
    }
    return sprite;
}

// Makes sprite `number` from a loaded image and releases the image; the
// command's result (CreationResult) or 0, which NoteFailure explains.
int ImportImage(ObjectNumber number, LoadedImage* image, int flags) {
    RECORD_POSITION(MODULE_MAIN);
    HBITMAP bitmap = ImageBitmap(image);
    const int width = ImageWidth(image), height = ImageHeight(image);
    if (!bitmap || GetObjectType(bitmap) != OBJ_BITMAP || width < 1 || height < 1) {
        ReleaseImage(image);
        return NoteFailure("the image holds no bitmap");
    }
    HDC imageDC = CreateCompatibleDC(nullptr);
    if (!imageDC) {
        ReleaseImage(image);
        return NoteFailure("no device context for the image");
    }
    HGDIOBJ old = SelectObject(imageDC, bitmap);
    if (!old || old == HGDI_ERROR) {
        DeleteDC(imageDC);
        ReleaseImage(image);
        return NoteFailure("the image cannot be selected for copying");
    }
    Sprite* sprite = nullptr;
    if (flags == kSpriteAlpha) {
        DIBSECTION section;
        if (::GetObjectA(bitmap, sizeof section, &section) == sizeof section && section.dsBm.bmBitsPixel == 8 &&
            section.dsBm.bmBits) {
            GdiFlush();
            sprite = ImportAlpha(number, section, width, height);
        } else {
            NoteFailure("flags 2 (an alpha sprite) need an image of 8 bits per pixel");
        }
    } else {
        sprite = ImportPlain(number, image, imageDC, width, height, flags);
    }
    SelectObject(imageDC, old);
    DeleteDC(imageDC);
    ReleaseImage(image);
    return sprite ? static_cast<int>(CreationResult(number, sprite, sprite->texture)) : 0;
}

}  // namespace
}  // namespace korrin

extern "C" {

int __stdcall LoadSprite2(int number, const char* file, int flags) noexcept {
    using namespace korrin;
    RECORD_POSITION(MODULE_MAIN);
    if (!file) return Fail("LoadSprite2: no file name");
    if (!spriteRegistry || !device) return Fail("LoadSprite2: no screen is open");
    LoadedImage image;
    if (!LoadImageFile(file, &image)) return FailIn("LoadSprite2");
    const int made = ImportImage(number, &image, flags);
    return made ? made : FailIn("LoadSprite2");
}

int __stdcall LoadSprite(int number, const char* file) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return LoadSprite2(number, file, 0);
}

int __stdcall CatchSprite2(int number, const void* address, int flags) noexcept {
    using namespace korrin;
    RECORD_POSITION(MODULE_MAIN);
    if (!address) return Fail("CatchSprite2: no image address");
    if (!spriteRegistry || !device) return Fail("CatchSprite2: no screen is open");
    LoadedImage image;
    if (!LoadImageMemory(address, &image)) return FailIn("CatchSprite2");
    const int made = ImportImage(number, &image, flags);
    return made ? made : FailIn("CatchSprite2");
}

int __stdcall CatchSprite(int number, const void* address) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return CatchSprite2(number, address, 0);
}

}  // extern "C"
