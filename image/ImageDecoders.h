// Image decoders of the image loader: turn the bytes of a BMP, TGA, PNG, JPEG
// or TIFF image into a pixel buffer laid out like a Windows DIB, so that the
// Windows side only copies rows into a DIB section. Portable: no platform
// headers. The BMP and TGA readers are our own; PNG, JPEG and TIFF go through
// thin C wrappers around libpng, libjpeg and libtiff (PngDecoder.c,
// JpegDecoder.c, TiffDecoder.c), which catch the libraries' long jumps in C
// frames, so no long jump ever crosses C++ code.
//
// Every input is treated as hostile: sizes, offsets, strides and run lengths
// are checked against the byte count given, dimensions are capped, and a
// failing decoder returns false with nothing allocated.
//
// The image record is plain C because the C wrappers fill it too.
#pragma once

#ifdef __cplusplus
#include <cstddef>
#include <cstdint>
#else
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#endif

// Caps on what a decoder accepts.
#define KORRIN_IMAGE_MAX_SIDE 32768                 // width and height each
#define KORRIN_IMAGE_MAX_PIXELS (64u * 1024u * 1024u)  // width x height

// A decoded image. Rows run top-down, `pitch` bytes apart (a multiple of 4, as
// in a DIB); pixels are B,G,R (24 bits) or B,G,R,A with straight alpha (32
// bits), or one palette index per byte (8 bits). 32 bits per pixel exactly when
// hasAlpha, except for 8-bit images, whose alpha (if any) is in the palette.
typedef struct KorrinDecodedImage {
    int width, height;            // pixels, 1..KORRIN_IMAGE_MAX_SIDE
    int bitsPerPixel;             // 8 (palette index or grey level), 24 or 32
    uint8_t* pixels;              // malloc'ed; freed by FreeDecodedImage
    int pitch;                    // bytes from one row to the next
    uint32_t palette[256];        // 8-bit images: all 256 entries set (unused ones black);
                                  // 0x00RRGGBB (an RGBQUAD table), or 0xAARRGGBB when hasAlpha
    int paletteSize;              // entries the image defines (grey images: 256), 0 above 8 bits
    bool hasAlpha;                // the image carries transparency
} KorrinDecodedImage;

#ifdef __cplusplus
extern "C" {
#endif

// Zeroes *image, checks the size against the caps and allocates zeroed rows
// with a DIB pitch. False (and nothing allocated) when out of bounds or memory.
bool KorrinAllocateImage(KorrinDecodedImage* image, int width, int height, int bitsPerPixel);
// Frees the rows and zeroes the record; a zeroed record is fine.
void KorrinFreeImage(KorrinDecodedImage* image);
// Fills palette entries 0..255 with the grey ramp (paletteSize 256).
void KorrinSetGreyPalette(KorrinDecodedImage* image);

// The library-backed decoders (C wrappers). Same contract as korrin::DecodePng etc.
bool KorrinDecodePng(const void* data, size_t size, KorrinDecodedImage* out);
bool KorrinDecodeJpeg(const void* data, size_t size, KorrinDecodedImage* out);
bool KorrinDecodeTiff(const void* data, size_t size, KorrinDecodedImage* out);

#ifdef __cplusplus
}  // extern "C"

namespace korrin {

using DecodedImage = KorrinDecodedImage;

enum class ImageFormat { Unknown, Bmp, Jpeg, Png, Tga, Tiff };

// The format by the image's first bytes; TGA, which has no signature, only when
// its whole header is valid and the data is long enough for it.
ImageFormat DetectImageFormat(const void* data, std::size_t size);

// Decoders: true and *out filled, or false and *out zeroed (nothing to free);
// *out is overwritten, not freed. `size` is what may be read; within it a
// decoder reads no more than the image's headers describe.
bool DecodeBmp(const void* data, std::size_t size, DecodedImage* out);   // file image: BITMAPFILEHEADER first
bool DecodeTga(const void* data, std::size_t size, DecodedImage* out);
bool DecodePng(const void* data, std::size_t size, DecodedImage* out);
bool DecodeJpeg(const void* data, std::size_t size, DecodedImage* out);
bool DecodeTiff(const void* data, std::size_t size, DecodedImage* out);

// What CheckBmpFile found out about a BMP file image.
struct BmpFileCheck {
    int width, height;   // pixels (height positive)
    int bitsPerPixel;    // as stored: 1, 4, 8, 16, 24 or 32
    bool platformLoads;  // the platform's loader may be given the file (see CheckBmpFile)
};

// Reads a BMP file image with our reader, which checks every header field
// against `size` and the image's geometry; false (and *out zeroed) when it
// refuses. Otherwise *out holds the image and *check its facts; platformLoads
// is set for opaque images of more than 8 bits per pixel whose every declared
// part (headers, masks, colour table, colour profile, rows) lies inside the
// data and which use no compression a platform reader would run, so that the
// platform's loader gives the same pixels and reads nothing the check did not.
bool CheckBmpFile(const void* data, std::size_t size, DecodedImage* out, BmpFileCheck* check);

// BMP when the data starts with "BM", else the first of JPEG, PNG, TGA, TIFF
// that accepts the data.
bool DecodeImage(const void* data, std::size_t size, DecodedImage* out);

// Turns an 8-bit image into 24-bit BGR, or 32-bit BGRA when its palette has
// alpha; other images are left as they are. False (image unchanged) when out
// of memory.
bool ExpandToTrueColour(DecodedImage* image);

void FreeDecodedImage(DecodedImage* image);

}  // namespace korrin
#endif
