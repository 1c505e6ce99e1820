/* TIFF decoding through libtiff, from memory (TIFFClientOpenExt with read,
 * seek and map procedures over the byte range), first directory only. Grey
 * and palette images of 1 to 8 bits in strips stay 8-bit; everything else
 * goes through libtiff's RGBA interface and becomes 24-bit BGR, or 32-bit BGRA
 * with straight alpha when the image has an alpha sample. libtiff reports
 * errors through handlers (kept quiet here), not long jumps; its own JPEG
 * codec catches libjpeg's inside libtiff. */
#include "image/ImageDecoders.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <tiffio.h>

/* Largest single allocation libtiff may make for one image (strip buffers). */
#define KORRIN_TIFF_MAX_ALLOCATION ((tmsize_t)256 * 1024 * 1024)

typedef struct TiffSource {
    const uint8_t* data;
    uint64_t size;
    uint64_t position; /* may lie past the end: reads there return nothing */
} TiffSource;

static tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t count) {
    TiffSource* source = (TiffSource*)handle;
    uint64_t left;
    if (count <= 0 || source->position >= source->size) return 0;
    left = source->size - source->position;
    if ((uint64_t)count > left) count = (tmsize_t)left;
    memcpy(buffer, source->data + source->position, (size_t)count);
    source->position += (uint64_t)count;
    return count;
}

static tmsize_t WriteProc(thandle_t handle, void* buffer, tmsize_t count) {
    (void)handle;
    (void)buffer;
    (void)count;
    return 0;
}

static toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
    TiffSource* source = (TiffSource*)handle;
    uint64_t base;
    switch (whence) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = source->position; break;
    case SEEK_END: base = source->size; break;
    default: return (toff_t)-1;
    }
    /* Offsets are unsigned: a backward seek arrives as a wrapped value. */
    source->position = base + offset;
    return source->position;
}

static int CloseProc(thandle_t handle) {
    (void)handle;
    return 0;
}

static toff_t SizeProc(thandle_t handle) { return ((TiffSource*)handle)->size; }

/* The data is already in memory: libtiff reads strips and tiles straight from
 * it, checking every offset and byte count against the size. (Reading them
 * through ReadProc instead fails on some valid uncompressed tiled images.) */
static int MapProc(thandle_t handle, void** base, toff_t* size) {
    TiffSource* source = (TiffSource*)handle;
    *base = (void*)source->data;
    *size = source->size;
    return 1;
}

static void UnmapProc(thandle_t handle, void* base, toff_t size) {
    (void)handle;
    (void)base;
    (void)size;
}

static int Quiet(TIFF* tif, void* userData, const char* module, const char* format, va_list arguments) {
    (void)tif;
    (void)userData;
    (void)module;
    (void)format;
    (void)arguments;
    return 1; /* handled: the process-wide handlers (stderr) are not called */
}

/* One-sample images of 1, 2, 4 or 8 bits in strips: palette indices, or grey
 * levels scaled to 0..255 (white-is-zero images inverted). */
static bool DecodeEightBit(TIFF* tif, uint32_t width, uint32_t height, uint16_t bits, uint16_t photometric,
                           KorrinDecodedImage* out) {
    uint16_t orientation = ORIENTATION_TOPLEFT;
    const tmsize_t lineSize = TIFFScanlineSize(tif);
    const uint32_t most = (1u << bits) - 1;
    uint8_t* line;
    uint32_t row, x;
    bool flipRows, flipColumns;

    if (lineSize <= 0 || (uint64_t)lineSize < ((uint64_t)width * bits + 7) / 8) return false;
    if (!KorrinAllocateImage(out, (int)width, (int)height, 8)) return false;
    if (photometric == PHOTOMETRIC_PALETTE) {
        uint16_t *red, *green, *blue;
        uint32_t i, count = 1u << bits;
        bool sixteen = false;
        if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue)) return false;
        /* Some writers store 8-bit values in the 16-bit colour map. */
        for (i = 0; i < count; ++i) sixteen |= red[i] > 255 || green[i] > 255 || blue[i] > 255;
        for (i = 0; i < count; ++i) {
            uint32_t r = sixteen ? red[i] >> 8 : red[i], g = sixteen ? green[i] >> 8 : green[i],
                     b = sixteen ? blue[i] >> 8 : blue[i];
            out->palette[i] = (r << 16) | (g << 8) | b;
        }
        out->paletteSize = (int)count;
    } else {
        KorrinSetGreyPalette(out);
    }
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
    flipRows = orientation == ORIENTATION_BOTLEFT || orientation == ORIENTATION_BOTRIGHT;
    flipColumns = orientation == ORIENTATION_TOPRIGHT || orientation == ORIENTATION_BOTRIGHT;

    line = (uint8_t*)malloc((size_t)lineSize);
    if (!line) return false;
    for (row = 0; row < height; ++row) {
        uint8_t* target = out->pixels + (size_t)(flipRows ? height - 1 - row : row) * (size_t)out->pitch;
        if (TIFFReadScanline(tif, line, row, 0) < 0) {
            free(line);
            return false;
        }
        for (x = 0; x < width; ++x) {
            const uint64_t bit = (uint64_t)x * bits;
            uint32_t v = (line[bit / 8] >> (8 - bits - bit % 8)) & most;
            if (photometric != PHOTOMETRIC_PALETTE) {
                v = (v * 255 + most / 2) / most;
                if (photometric == PHOTOMETRIC_MINISWHITE) v = 255 - v;
            }
            target[flipColumns ? width - 1 - x : x] = (uint8_t)v;
        }
    }
    free(line);
    return true;
}

static uint32_t Unpremultiply(uint32_t colour, uint32_t alpha) {
    const uint32_t straight = (colour * 255 + alpha / 2) / alpha;
    return straight > 255 ? 255 : straight;
}

/* Everything else, through libtiff's RGBA interface straight into the image's
 * rows (32-bit rows are exactly 4 x width bytes), then rearranged in place. */
static bool DecodeRgba(TIFF* tif, uint32_t width, uint32_t height, KorrinDecodedImage* out) {
    TIFFRGBAImage rgba;
    char message[1024];
    bool alpha;
    int got;
    uint32_t y, x;
    const uint32_t pitch24 = (width * 24 + 31) / 32 * 4;

    if (!TIFFRGBAImageOK(tif, message) || !TIFFRGBAImageBegin(&rgba, tif, 1, message)) return false;
    rgba.req_orientation = ORIENTATION_TOPLEFT;
    alpha = rgba.alpha != 0;
    if (!KorrinAllocateImage(out, (int)width, (int)height, 32)) {
        TIFFRGBAImageEnd(&rgba);
        return false;
    }
    got = TIFFRGBAImageGet(&rgba, (uint32_t*)(void*)out->pixels, width, height);
    TIFFRGBAImageEnd(&rgba);
    if (!got) return false;

    /* Each pixel is a 32-bit value R | G << 8 | B << 16 | A << 24 with colour
     * premultiplied by alpha; written back as B,G,R(,A) with straight alpha.
     * 24-bit targets never overtake their source, so one pass in place works. */
    for (y = 0; y < height; ++y) {
        const uint8_t* source = out->pixels + (size_t)y * width * 4;
        uint8_t* target = out->pixels + (size_t)y * (alpha ? width * 4 : pitch24);
        for (x = 0; x < width; ++x) {
            uint32_t v, r, g, b, a;
            memcpy(&v, source + 4 * (size_t)x, 4);
            r = TIFFGetR(v);
            g = TIFFGetG(v);
            b = TIFFGetB(v);
            a = TIFFGetA(v);
            if (alpha) {
                if (a == 0) {
                    r = g = b = 0;
                } else if (a < 255) {
                    r = Unpremultiply(r, a);
                    g = Unpremultiply(g, a);
                    b = Unpremultiply(b, a);
                }
                target[4 * (size_t)x] = (uint8_t)b;
                target[4 * (size_t)x + 1] = (uint8_t)g;
                target[4 * (size_t)x + 2] = (uint8_t)r;
                target[4 * (size_t)x + 3] = (uint8_t)a;
            } else {
                target[3 * (size_t)x] = (uint8_t)b;
                target[3 * (size_t)x + 1] = (uint8_t)g;
                target[3 * (size_t)x + 2] = (uint8_t)r;
            }
        }
        if (!alpha)
            for (x = width * 3; x < pitch24; ++x) target[x] = 0;
    }
    if (!alpha) {
        out->bitsPerPixel = 24;
        out->pitch = (int)pitch24;
    }
    out->hasAlpha = alpha;
    return true;
}

static bool DecodeOpened(TIFF* tif, KorrinDecodedImage* out) {
    uint32_t width = 0, height = 0;
    uint16_t samples = 1, bits = 1, format = SAMPLEFORMAT_UINT, photometric = 0;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height)) return false;
    if (width < 1 || height < 1 || width > KORRIN_IMAGE_MAX_SIDE || height > KORRIN_IMAGE_MAX_SIDE ||
        (uint64_t)width * height > KORRIN_IMAGE_MAX_PIXELS)
        return false;
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    if (TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) && samples == 1 && format == SAMPLEFORMAT_UINT &&
        (bits == 1 || bits == 2 || bits == 4 || bits == 8) && !TIFFIsTiled(tif) &&
        (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE ||
         photometric == PHOTOMETRIC_PALETTE))
        return DecodeEightBit(tif, width, height, bits, photometric, out);
    return DecodeRgba(tif, width, height, out);
}

bool KorrinDecodeTiff(const void* data, size_t size, KorrinDecodedImage* out) {
    TiffSource source;
    TIFFOpenOptions* options;
    TIFF* tif;
    bool ok;

    memset(out, 0, sizeof *out);
    if (!data || size < 8) return false;
    source.data = (const uint8_t*)data;
    source.size = size;
    source.position = 0;
    /* Messages without an open image would go to libtiff's process-wide
     * handlers, which print to stderr: the library says nothing. */
    TIFFSetErrorHandler(NULL);
    TIFFSetWarningHandler(NULL);
    options = TIFFOpenOptionsAlloc();
    if (!options) return false;
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, KORRIN_TIFF_MAX_ALLOCATION);
    TIFFOpenOptionsSetErrorHandlerExtR(options, Quiet, NULL);
    TIFFOpenOptionsSetWarningHandlerExtR(options, Quiet, NULL);
    tif = TIFFClientOpenExt("image", "r", (thandle_t)&source, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc,
                            MapProc, UnmapProc, options);
    TIFFOpenOptionsFree(options);
    if (!tif) return false;
    ok = DecodeOpened(tif, out);
    TIFFClose(tif);
    if (!ok) KorrinFreeImage(out);
    return ok;
}
