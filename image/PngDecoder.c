/* PNG decoding through libpng, from memory. libpng reports errors by a long
 * jump; it lands in KorrinDecodePng's own frame, so only C frames (ours and
 * libpng's) are ever jumped over. Grey images without transparency and palette
 * images stay 8-bit; everything else becomes 24-bit BGR, or 32-bit BGRA when the
 * image has an alpha channel or a transparent colour. No gamma correction. */
#include "image/ImageDecoders.h"

#include <png.h>
#include <setjmp.h>
#include <stdlib.h>
#include <string.h>

typedef struct PngSource {
    const unsigned char* data;
    size_t size;
    size_t position;
} PngSource;

/* Reading past the end of the data is an error, like any malformed chunk. */
static void ReadFromMemory(png_structp png, png_bytep target, size_t length) {
    PngSource* source = (PngSource*)png_get_io_ptr(png);
    if (length > source->size - source->position) png_error(png, "truncated");
    memcpy(target, source->data + source->position, length);
    source->position += length;
}

static void Fail(png_structp png, png_const_charp message) {
    (void)message;
    png_longjmp(png, 1);
}

static void IgnoreWarning(png_structp png, png_const_charp message) {
    (void)png;
    (void)message;
}

/* Reads the image into *out; every libpng error jumps out of this frame to
 * KorrinDecodePng's trap. The row table goes to *rows so that the trap frees it. */
static void ReadPng(png_structp png, png_infop info, KorrinDecodedImage* out, png_bytep* volatile* rows) {
    png_uint_32 width, height, y;
    int bitDepth, colourType, bitsPerPixel, channels;
    uint32_t palette[256];
    int paletteSize = 0;
    bool hasAlpha = false;

    png_set_user_limits(png, KORRIN_IMAGE_MAX_SIDE, KORRIN_IMAGE_MAX_SIDE);
    png_set_chunk_cache_max(png, 1000);
    png_read_info(png, info);
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, NULL, NULL, NULL);
    if ((unsigned long long)width * height > KORRIN_IMAGE_MAX_PIXELS) png_error(png, "too large");

    memset(palette, 0, sizeof palette);
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        png_colorp entries = NULL;
        png_bytep alphas = NULL;
        int count = 0, alphaCount = 0, i;
        if (!png_get_PLTE(png, info, &entries, &count) || count < 1 || count > 256) png_error(png, "no palette");
        if (png_get_valid(png, info, PNG_INFO_tRNS)) png_get_tRNS(png, info, &alphas, &alphaCount, NULL);
        if (!alphas) alphaCount = 0;
        for (i = 0; i < count; ++i) {
            uint32_t alpha = i < alphaCount ? alphas[i] : 255;
            if (alpha != 255) hasAlpha = true;
            palette[i] = (alpha << 24) | ((uint32_t)entries[i].red << 16) | ((uint32_t)entries[i].green << 8) |
                         entries[i].blue;
        }
        if (!hasAlpha)
            for (i = 0; i < count; ++i) palette[i] &= 0x00FFFFFF;
        paletteSize = count;
        if (bitDepth < 8) png_set_packing(png);
        bitsPerPixel = 8;
        channels = 1;
    } else if (colourType == PNG_COLOR_TYPE_GRAY && !png_get_valid(png, info, PNG_INFO_tRNS)) {
        if (bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
        bitsPerPixel = 8;
        channels = 1;
    } else {
        /* Grey with alpha or a transparent grey level, RGB, RGBA: to B,G,R(,A). */
        hasAlpha = (colourType & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
        if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
        if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) {
            if (bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
            png_set_gray_to_rgb(png);
        }
        png_set_bgr(png);
        bitsPerPixel = hasAlpha ? 32 : 24;
        channels = hasAlpha ? 4 : 3;
    }
    if (bitDepth == 16) png_set_scale_16(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_bit_depth(png, info) != 8 || png_get_channels(png, info) != channels ||
        png_get_rowbytes(png, info) != (size_t)width * channels)
        png_error(png, "unexpected layout");

    if (!KorrinAllocateImage(out, (int)width, (int)height, bitsPerPixel)) png_error(png, "no memory");
    memcpy(out->palette, palette, sizeof palette);
    out->paletteSize = paletteSize;
    out->hasAlpha = hasAlpha;
    if (colourType == PNG_COLOR_TYPE_GRAY && bitsPerPixel == 8) KorrinSetGreyPalette(out);

    *rows = (png_bytep*)malloc(sizeof(png_bytep) * height);
    if (!*rows) png_error(png, "no memory");
    for (y = 0; y < height; ++y) (*rows)[y] = out->pixels + (size_t)y * (size_t)out->pitch;
    png_read_image(png, *rows);
    png_read_end(png, NULL);
}

/* libpng's memory: a chunk's stated length is not trusted, so no single
   allocation may exceed what the largest accepted image needs. */
static png_voidp LimitedMalloc(png_structp png, png_alloc_size_t bytes) {
    (void)png;
    return bytes > (png_alloc_size_t)KORRIN_IMAGE_MAX_PIXELS * 4u + 65536u ? NULL : malloc(bytes);
}

static void FreeMemory(png_structp png, png_voidp block) {
    (void)png;
    free(block);
}

bool KorrinDecodePng(const void* data, size_t size, KorrinDecodedImage* out) {
    PngSource source;
    png_structp png;
    png_infop info;
    png_bytep* volatile rows = NULL;

    memset(out, 0, sizeof *out);
    if (!data || size < 8 || png_sig_cmp((png_const_bytep)data, 0, 8) != 0) return false;
    source.data = (const unsigned char*)data;
    source.size = size;
    source.position = 0;

    png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, NULL, Fail, IgnoreWarning, NULL, LimitedMalloc,
                                   FreeMemory);
    if (!png) return false;
    info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, NULL, NULL);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, NULL);
        free(rows);
        KorrinFreeImage(out);
        return false;
    }
    png_set_read_fn(png, &source, ReadFromMemory);
    ReadPng(png, info, out, &rows);
    free(rows);
    png_destroy_read_struct(&png, &info, NULL);
    return true;
}
