// The image loader (module ULH): files and memory blocks into GDI bitmaps.
//
// Every BMP file is read by our own BMP reader first, which checks its headers
// against the file's size and the image's geometry: the platform's loader
// trusts them, and a hostile offset or size makes it read far outside the
// file and fault. Opaque files of more than 8 bits per pixel that pass are
// then loaded by the platform as DIB sections, as before, so that their
// pixels stay exactly what they were. Files of 8 bits or fewer stay with our
// reader and are kept as 8-bit DIB sections with their palette (a bitmap
// compatible with the display would lose the palette indices that the alpha
// import reads), and so do files with alpha, which GDI would not carry.
// Everything else is decoded into pixel rows (ImageDecoders.h) and copied,
// bottom-up as GDI keeps them, into a DIB section of the image's depth.
#include "image/ImageLoader.h"

#include <cstdlib>
#include <cstring>

#include "frame/ErrorPosition.h"
#include "frame/LastError.h"
#include "image/ImageDecoders.h"

namespace korrin {

namespace {

// Files larger than this are not images we load.
constexpr DWORD kMaxFileSize = 256u * 1024u * 1024u;

// An icon or cursor file image: reserved 0, type 1 or 2, at least one entry.
bool LooksLikeIcon(const unsigned char* d, std::size_t size) {
    return size >= 6 && d[0] == 0 && d[1] == 0 && (d[2] == 1 || d[2] == 2) && d[3] == 0 && (d[4] | d[5]) != 0;
}

// Why a decoder refused an image: its format is unknown, or it is one of
// ours that does not decode.
void NoteUndecodable(const unsigned char* bytes, std::size_t size) {
    static const char* const names[] = {"", "BMP", "JPEG", "PNG", "TGA", "TIFF"};
    const ImageFormat format = DetectImageFormat(bytes, size);
    if (format == ImageFormat::Unknown)
        NoteFailure("not a BMP, JPEG, PNG, TGA or TIFF image");
    else
        NoteFailure("a damaged or unsupported %s image (or one over %u pixels)", names[static_cast<int>(format)],
                    KORRIN_IMAGE_MAX_PIXELS);
}

// Reads a whole file into malloc'ed memory; null when it cannot.
unsigned char* ReadWholeFile(const char* file, std::size_t* size) {
    HANDLE handle = CreateFileA(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        NoteFailure("cannot open \"%s\"", file);
        return nullptr;
    }
    unsigned char* bytes = nullptr;
    DWORD high = 0;
    const DWORD length = GetFileSize(handle, &high);
    if (length != INVALID_FILE_SIZE && high == 0 && length > 0 && length <= kMaxFileSize) {
        bytes = static_cast<unsigned char*>(std::malloc(length));
        DWORD read = 0;
        if (bytes && (!ReadFile(handle, bytes, length, &read, nullptr) || read != length)) {
            std::free(bytes);
            bytes = nullptr;
        }
    }
    CloseHandle(handle);
    if (bytes)
        *size = length;
    else
        NoteFailure("cannot read \"%s\" (empty, unreadable or over %lu bytes)", file,
                    static_cast<unsigned long>(kMaxFileSize));
    return bytes;
}

// A DIB section holding a decoded image: 8 bits with its palette, 24 or 32.
HBITMAP MakeDibSection(const DecodedImage& image) {
    const int colours = image.bitsPerPixel == 8 ? 256 : 0;
    auto* info = static_cast<BITMAPINFO*>(std::calloc(1, sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD)));
    if (!info) {
        NoteFailure("out of memory");
        return nullptr;
    }
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = image.width;
    info->bmiHeader.biHeight = image.height;  // bottom-up
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = static_cast<WORD>(image.bitsPerPixel);
    info->bmiHeader.biCompression = BI_RGB;
    info->bmiHeader.biClrUsed = colours;
    for (int i = 0; i < colours; ++i) {
        const uint32_t c = image.palette[i];
        info->bmiColors[i].rgbBlue = static_cast<BYTE>(c);
        info->bmiColors[i].rgbGreen = static_cast<BYTE>(c >> 8);
        info->bmiColors[i].rgbRed = static_cast<BYTE>(c >> 16);
    }
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::free(info);
    if (!bitmap || !bits) {
        if (bitmap) DeleteObject(bitmap);
        NoteFailure("no bitmap of %dx%d could be made", image.width, image.height);
        return nullptr;
    }
    GdiFlush();
    // The decoder's pitch is the DIB pitch of the same width and depth.
    const int pitch = image.pitch;
    auto* target = static_cast<unsigned char*>(bits);
    for (int y = 0; y < image.height; ++y)
        std::memcpy(target + static_cast<std::size_t>(image.height - 1 - y) * pitch,
                    image.pixels + static_cast<std::size_t>(y) * pitch, pitch);
    return bitmap;
}

// Decoded bytes into a bitmap. 8-bit images stay 8-bit unless their palette
// carries alpha, which only a 32-bit section keeps.
bool FromDecoded(DecodedImage* decoded, LoadedImage* image) {
    bool made = false;
    if (decoded->bitsPerPixel != 8 || !decoded->hasAlpha || ExpandToTrueColour(decoded)) {
        image->bitmap = MakeDibSection(*decoded);  // notes why it failed
        if (image->bitmap) {
            image->width = decoded->width;
            image->height = decoded->height;
            image->hasAlpha = decoded->bitsPerPixel == 32 && decoded->hasAlpha;
            made = true;
        }
    } else NoteFailure("out of memory for a %dx%d image", decoded->width, decoded->height);
    FreeDecodedImage(decoded);
    return made;
}

// Bytes of an image (not a platform-loaded BMP) into a bitmap.
bool FromBytes(const unsigned char* bytes, std::size_t size, LoadedImage* image) {
    if (LooksLikeIcon(bytes, size)) return NoteFailure("icons and cursors are not loaded");  // not bitmaps
    DecodedImage decoded;
    if (!DecodeImage(bytes, size, &decoded)) {
        NoteUndecodable(bytes, size);
        return false;
    }
    return FromDecoded(&decoded, image);
}

// The platform's load of a BMP file that CheckBmpFile has passed. The file is
// read a second time: a bitmap whose geometry differs from the checked one
// (the file changed in between) is refused.
bool LoadCheckedBmpFile(const char* file, const BmpFileCheck& check, LoadedImage* image) {
    HANDLE handle = LoadImageA(nullptr, file, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION);
    if (!handle) return NoteFailure("the platform cannot load \"%s\"", file);
    BITMAP description;
    if (::GetObjectA(handle, sizeof description, &description) != sizeof description ||
        description.bmWidth != check.width || std::abs(description.bmHeight) != check.height ||
        description.bmBitsPixel != check.bitsPerPixel) {
        DeleteObject(handle);
        return NoteFailure("\"%s\" changed while it was loaded", file);
    }
    image->bitmap = static_cast<HBITMAP>(handle);
    image->width = check.width;
    image->height = check.height;
    return true;
}

}  // namespace

bool LoadImageFile(const char* file, LoadedImage* image) {
    RECORD_POSITION(MODULE_ULH);
    if (!image) return false;
    *image = LoadedImage{};
    if (!file) return false;
    std::size_t size = 0;
    unsigned char* bytes = ReadWholeFile(file, &size);
    if (!bytes) return false;
    bool loaded = false;
    if (size >= 2 && bytes[0] == 'B' && bytes[1] == 'M') {
        DecodedImage decoded;
        BmpFileCheck check;
        if (CheckBmpFile(bytes, size, &decoded, &check)) {
            if (check.platformLoads) {
                FreeDecodedImage(&decoded);
                loaded = LoadCheckedBmpFile(file, check, image);
            } else {
                loaded = FromDecoded(&decoded, image);
            }
        } else {
            NoteFailure("a damaged or unsupported BMP image");
        }
    } else {
        loaded = FromBytes(bytes, size, image);
    }
    std::free(bytes);
    if (!loaded) *image = LoadedImage{};
    return loaded;
}

bool LoadImageMemory(const void* address, LoadedImage* image) {
    RECORD_POSITION(MODULE_ULH);
    if (!image) return false;
    *image = LoadedImage{};
    if (!address) return false;
    const auto* bytes = static_cast<const unsigned char*>(address);
    DecodedImage decoded;
    if (bytes[0] == 'B' && bytes[1] == 'M') {
        // BMP file images: true colour as 32-bit sections, palettes as 8-bit.
        if (!DecodeBmp(bytes, ImageMemoryBlockSize, &decoded)) return NoteFailure("a damaged or unsupported BMP image");
        if (decoded.bitsPerPixel == 24) {
            DecodedImage wide;
            if (!KorrinAllocateImage(&wide, decoded.width, decoded.height, 32)) {
                NoteFailure("out of memory for a %dx%d image", decoded.width, decoded.height);
                FreeDecodedImage(&decoded);
                return false;
            }
            for (int y = 0; y < decoded.height; ++y) {
                const unsigned char* from = decoded.pixels + static_cast<std::size_t>(y) * decoded.pitch;
                unsigned char* to = wide.pixels + static_cast<std::size_t>(y) * wide.pitch;
                for (int x = 0; x < decoded.width; ++x) {
                    to[4 * x] = from[3 * x];
                    to[4 * x + 1] = from[3 * x + 1];
                    to[4 * x + 2] = from[3 * x + 2];
                    to[4 * x + 3] = 0xFF;
                }
            }
            FreeDecodedImage(&decoded);
            return FromDecoded(&wide, image);
        }
        return FromDecoded(&decoded, image);
    }
    return FromBytes(bytes, ImageMemoryBlockSize, image);
}

HBITMAP ImageBitmap(const LoadedImage* image) { return image ? image->bitmap : nullptr; }
int ImageWidth(const LoadedImage* image) { return image ? image->width : 0; }
int ImageHeight(const LoadedImage* image) { return image ? image->height : 0; }

void ReleaseImage(LoadedImage* image) {
    RECORD_POSITION(MODULE_ULH);
    if (!image) return;
    if (image->bitmap) DeleteObject(image->bitmap);
    *image = LoadedImage{};
}

}  // namespace korrin
