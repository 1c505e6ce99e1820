// Image decoders: the image record, our own BMP and TGA readers, format
// detection and the dispatch to the library-backed PNG, JPEG and TIFF decoders.
//
// Both readers work on an untrusted byte range: every offset and length is
// checked against `size` before it is read (in 64-bit arithmetic, so that no
// header value can wrap a sum), dimensions are capped before anything is
// allocated, and the data must be long enough for the pixels the header
// promises before the rows are allocated.
#include "image/ImageDecoders.h"

#include <cstdlib>
#include <cstring>

namespace {

using std::uint8_t;
using std::uint16_t;
using std::uint32_t;
using std::uint64_t;
using std::int32_t;
using std::int64_t;

// Little-endian fields; callers have checked that the bytes are there.
uint32_t U16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t U32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// True when the `length` bytes at `offset` lie inside the first `size` bytes.
bool Fits(uint64_t offset, uint64_t length, std::size_t size) {
    return offset <= size && length <= size - offset;
}

bool SizeAllowed(uint64_t width, uint64_t height) {
    return width >= 1 && height >= 1 && width <= KORRIN_IMAGE_MAX_SIDE && height <= KORRIN_IMAGE_MAX_SIDE &&
           width * height <= KORRIN_IMAGE_MAX_PIXELS;
}

// Bytes of a DIB row of `width` pixels of `bits` bits.
uint64_t DibPitch(uint64_t width, uint64_t bits) { return (width * bits + 31) / 32 * 4; }

uint8_t* Row(korrin::DecodedImage* image, int y) {
    return image->pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(image->pitch);
}

uint8_t Expand5(uint32_t v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); }

// Repacks a 32-bit image as 24-bit, in place: each row moves to a lower or
// equal address and every pixel to one at or before its source.
void DropAlpha(korrin::DecodedImage* image) {
    const int pitch24 = static_cast<int>(DibPitch(image->width, 24));
    for (int y = 0; y < image->height; ++y) {
        const uint8_t* source = Row(image, y);
        uint8_t* target = image->pixels + static_cast<std::size_t>(y) * pitch24;
        for (int x = 0; x < image->width; ++x) {
            const uint8_t b = source[4 * x], g = source[4 * x + 1], r = source[4 * x + 2];
            target[3 * x] = b;
            target[3 * x + 1] = g;
            target[3 * x + 2] = r;
        }
        for (int i = 3 * image->width; i < pitch24; ++i) target[i] = 0;
    }
    image->bitsPerPixel = 24;
    image->pitch = pitch24;
    image->hasAlpha = false;
}

// For readers whose alpha channel may be a reserved byte or a bit nobody set:
// a 32-bit image whose alpha is zero everywhere would be wholly invisible, so
// such an alpha channel is taken as absent and the image becomes 24-bit.
void SettleAlpha(korrin::DecodedImage* image) {
    if (image->bitsPerPixel != 32) return;
    for (int y = 0; y < image->height; ++y) {
        const uint8_t* row = Row(image, y);
        for (int x = 0; x < image->width; ++x) {
            if (row[4 * x + 3] != 0) {
                image->hasAlpha = true;
                return;
            }
        }
    }
    DropAlpha(image);
}

// --- BMP -----------------------------------------------------------------------

enum : uint32_t { kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiAlphaBitfields = 6 };

// One colour channel of a 16- or 32-bit pixel, given by a contiguous mask.
struct Channel {
    uint32_t mask;
    int shift, bits;
};

bool MakeChannel(uint32_t mask, int pixelBits, Channel* channel) {
    *channel = Channel{mask, 0, 0};
    if (mask == 0) return true;
    if (pixelBits < 32 && (mask >> pixelBits) != 0) return false;
    while (!((mask >> channel->shift) & 1u)) ++channel->shift;
    uint32_t v = mask >> channel->shift;
    if (v & (v + 1)) return false;  // a hole in the mask
    for (; v; v >>= 1) ++channel->bits;
    return true;
}

uint8_t Extract(const Channel& channel, uint32_t pixel) {
    if (!channel.bits) return 0;
    uint32_t v = (pixel & channel.mask) >> channel.shift;
    int bits = channel.bits;
    if (bits > 8) {
        v >>= bits - 8;
        bits = 8;
    }
    const uint32_t max = (1u << bits) - 1;
    return static_cast<uint8_t>((v * 255 + max / 2) / max);
}

struct BmpLayout {
    int width, height;      // height positive
    bool topDown;
    int bitCount;
    uint32_t compression;
    Channel red, green, blue, alpha;  // 16 and 32 bits; alpha.mask 0 when none
    uint64_t paletteOffset;
    int paletteEntries, paletteEntrySize;
    uint64_t bitsOffset;
};

// Reads and checks the headers: the file header, one of the info headers
// (core 12 bytes, 40, 52, 56, V4 108, V5 124), the masks and the palette extent.
bool ReadBmpLayout(const uint8_t* d, std::size_t size, BmpLayout* bmp) {
    if (!Fits(0, 18, size) || d[0] != 'B' || d[1] != 'M') return false;
    const uint32_t headerSize = U32(d + 14);
    if (!Fits(14, headerSize, size)) return false;
    int64_t width, height;
    uint32_t colours = 0;
    *bmp = BmpLayout{};
    bmp->bitsOffset = U32(d + 10);
    bmp->compression = kBiRgb;
    if (headerSize == 12) {
        width = U16(d + 18);
        height = U16(d + 20);
        bmp->bitCount = static_cast<int>(U16(d + 24));
        bmp->paletteEntrySize = 3;
        if (bmp->bitCount == 16 || bmp->bitCount == 32) return false;
    } else if (headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 108 || headerSize == 124) {
        width = static_cast<int32_t>(U32(d + 18));
        height = static_cast<int32_t>(U32(d + 22));
        bmp->bitCount = static_cast<int>(U16(d + 28));
        bmp->compression = U32(d + 30);
        colours = U32(d + 46);
        bmp->paletteEntrySize = 4;
    } else {
        return false;
    }
    bmp->topDown = height < 0;
    if (height < 0) height = -height;
    if (!SizeAllowed(width < 0 ? 0 : width, height)) return false;
    bmp->width = static_cast<int>(width);
    bmp->height = static_cast<int>(height);

    uint64_t masksEnd = 14 + uint64_t{headerSize};
    uint32_t masks[4] = {0, 0, 0, 0};
    const int bits = bmp->bitCount;
    switch (bmp->compression) {
    case kBiRgb:
        if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
        if (bits == 16) {
            masks[0] = 0x7C00;
            masks[1] = 0x03E0;
            masks[2] = 0x001F;
        } else if (bits == 32) {
            masks[0] = 0x00FF0000;
            masks[1] = 0x0000FF00;
            masks[2] = 0x000000FF;
            masks[3] = 0xFF000000;  // the reserved byte, often alpha (see SettleAlpha)
        }
        break;
    case kBiRle8:
    case kBiRle4:
        // Run-length bitmaps are bottom-up by definition.
        if (bits != (bmp->compression == kBiRle8 ? 8 : 4) || bmp->topDown) return false;
        break;
    case kBiBitfields:
    case kBiAlphaBitfields: {
        if (bits != 16 && bits != 32) return false;
        const int count = bmp->compression == kBiAlphaBitfields ? 4 : 3;
        if (headerSize == 40) {
            // The masks follow the header.
            if (!Fits(54, 4 * count, size)) return false;
            masksEnd += 4 * count;
            for (int i = 0; i < count; ++i) masks[i] = U32(d + 54 + 4 * i);
        } else if (headerSize >= 52) {
            // Inside the header: red, green, blue, then alpha from 56 bytes on.
            for (int i = 0; i < 3; ++i) masks[i] = U32(d + 54 + 4 * i);
            if (headerSize >= 56) masks[3] = U32(d + 66);
        } else {
            return false;
        }
        break;
    }
    default:
        return false;  // JPEG or PNG inside a BMP, CMYK variants, unknown
    }
    if (bits == 16 || bits == 32) {
        if (!MakeChannel(masks[0], bits, &bmp->red) || !MakeChannel(masks[1], bits, &bmp->green) ||
            !MakeChannel(masks[2], bits, &bmp->blue) || !MakeChannel(masks[3], bits, &bmp->alpha))
            return false;
    }

    bmp->paletteOffset = masksEnd;
    if (bmp->bitsOffset < masksEnd) return false;  // bits overlapping the headers
    if (bits <= 8) {
        const uint32_t most = 1u << bits;
        uint64_t entries = colours == 0 || colours > most ? most : colours;
        // A palette shorter than announced ends where the bits begin.
        const uint64_t room = (bmp->bitsOffset - masksEnd) / static_cast<uint64_t>(bmp->paletteEntrySize);
        if (entries > room) entries = room;
        if (entries == 0) return false;
        if (!Fits(masksEnd, entries * bmp->paletteEntrySize, size)) return false;
        bmp->paletteEntries = static_cast<int>(entries);
    }
    return true;
}

void ReadBmpPalette(const uint8_t* d, const BmpLayout& bmp, korrin::DecodedImage* out) {
    const uint8_t* entry = d + bmp.paletteOffset;
    for (int i = 0; i < bmp.paletteEntries; ++i, entry += bmp.paletteEntrySize)
        out->palette[i] = entry[0] | (entry[1] << 8) | (static_cast<uint32_t>(entry[2]) << 16);
    out->paletteSize = bmp.paletteEntries;
}

bool DecodeBmpBits(const uint8_t* d, std::size_t size, const BmpLayout& bmp, korrin::DecodedImage* out) {
    const uint64_t sourcePitch = DibPitch(bmp.width, bmp.bitCount);
    if (!Fits(bmp.bitsOffset, sourcePitch * bmp.height, size)) return false;
    const int bits = bmp.bitCount;
    const bool alpha = bmp.alpha.mask != 0;
    const int outBits = bits <= 8 ? 8 : alpha ? 32 : 24;
    if (!KorrinAllocateImage(out, bmp.width, bmp.height, outBits)) return false;
    if (bits <= 8) ReadBmpPalette(d, bmp, out);
    for (int y = 0; y < bmp.height; ++y) {
        const uint8_t* source = d + bmp.bitsOffset + sourcePitch * static_cast<uint64_t>(bmp.topDown ? y : bmp.height - 1 - y);
        uint8_t* target = Row(out, y);
        for (int x = 0; x < bmp.width; ++x) {
            if (bits <= 8) {
                const int perByte = 8 / bits;
                const int shift = 8 - bits - (x % perByte) * bits;
                target[x] = static_cast<uint8_t>((source[x / perByte] >> shift) & ((1u << bits) - 1));
            } else if (bits == 24) {
                std::memcpy(target + 3 * x, source + 3 * x, 3);
            } else {
                const uint32_t pixel = bits == 16 ? U16(source + 2 * x) : U32(source + 4 * x);
                uint8_t* p = target + (outBits / 8) * x;
                p[0] = Extract(bmp.blue, pixel);
                p[1] = Extract(bmp.green, pixel);
                p[2] = Extract(bmp.red, pixel);
                if (alpha) p[3] = Extract(bmp.alpha, pixel);
            }
        }
    }
    SettleAlpha(out);
    return true;
}

// BI_RLE8 / BI_RLE4. Pixels the runs skip stay index 0; runs reaching past the
// end of a row are cut there. Anything that would place pixels below the last
// row, and data ending before the end-of-bitmap mark, is refused.
bool DecodeBmpRle(const uint8_t* d, std::size_t size, const BmpLayout& bmp, korrin::DecodedImage* out) {
    if (!Fits(bmp.bitsOffset, 2, size)) return false;
    if (!KorrinAllocateImage(out, bmp.width, bmp.height, 8)) return false;
    ReadBmpPalette(d, bmp, out);
    const bool four = bmp.compression == kBiRle4;
    uint64_t pos = bmp.bitsOffset;
    int64_t x = 0, y = 0;  // y counts rows from the bottom
    auto put = [&](uint8_t index) {
        if (x < bmp.width) Row(out, bmp.height - 1 - static_cast<int>(y))[x] = index;
        ++x;
    };
    for (;;) {
        if (!Fits(pos, 2, size)) break;
        const uint8_t count = d[pos], value = d[pos + 1];
        pos += 2;
        if (count > 0) {
            // Encoded run: `count` pixels of one index, or of two alternating nibbles.
            if (y >= bmp.height) break;
            for (int i = 0; i < count; ++i) put(four ? ((i & 1) ? value & 15 : value >> 4) : value);
        } else if (value == 0) {
            x = 0;
            if (++y > bmp.height) break;
        } else if (value == 1) {
            return true;
        } else if (value == 2) {
            if (!Fits(pos, 2, size)) break;
            x += d[pos];
            y += d[pos + 1];
            pos += 2;
            if (y > bmp.height || (y == bmp.height && x > 0)) break;
        } else {
            // Absolute run of `value` pixels, padded to a 16-bit boundary.
            const uint64_t bytes = four ? (value + 1u) / 2 : value;
            const uint64_t padded = (bytes + 1) & ~uint64_t{1};
            if (y >= bmp.height || !Fits(pos, padded, size)) break;
            for (int i = 0; i < value; ++i) put(four ? ((i & 1) ? d[pos + i / 2] & 15 : d[pos + i / 2] >> 4) : d[pos + i]);
            pos += padded;
        }
    }
    KorrinFreeImage(out);
    return false;
}

// --- TGA -----------------------------------------------------------------------

struct TgaLayout {
    int type;                 // 1/9 colour-mapped, 2/10 true-colour, 3/11 grey; 9..11 run-length
    int width, height, depth, alphaBits;
    bool topDown, rightToLeft, rle, mapped, grey;
    int mapFirst, mapLength, mapEntryBits;
    uint64_t mapOffset, dataOffset;
};

// Checks the header strictly, since TGA has no signature: known image type,
// colour-map fields consistent with it, valid depth and alpha bits, no
// interleaving, sizes inside the caps, and enough data for every pixel (for
// run-length data, at least one packet per 128 pixels).
bool ReadTgaLayout(const uint8_t* d, std::size_t size, TgaLayout* tga) {
    if (!d || !Fits(0, 18, size)) return false;
    *tga = TgaLayout{};
    const int idLength = d[0], mapType = d[1], type = d[2], descriptor = d[17];
    tga->type = type;
    tga->mapFirst = static_cast<int>(U16(d + 3));
    tga->mapLength = static_cast<int>(U16(d + 5));
    tga->mapEntryBits = d[7];
    tga->width = static_cast<int>(U16(d + 12));
    tga->height = static_cast<int>(U16(d + 14));
    tga->depth = d[16];
    tga->alphaBits = descriptor & 15;
    tga->rightToLeft = (descriptor & 0x10) != 0;
    tga->topDown = (descriptor & 0x20) != 0;
    if (descriptor & 0xC0) return false;
    if (type != 1 && type != 2 && type != 3 && type != 9 && type != 10 && type != 11) return false;
    tga->rle = type >= 9;
    tga->mapped = (type & 7) == 1;
    tga->grey = (type & 7) == 3;

    uint64_t mapBytes = 0;
    int mapAlphaBits = 0;
    if (mapType == 1) {
        const int e = tga->mapEntryBits;
        if ((e != 15 && e != 16 && e != 24 && e != 32) || tga->mapLength == 0) return false;
        mapBytes = static_cast<uint64_t>(tga->mapLength) * ((e + 7) / 8);
        mapAlphaBits = e == 32 ? 8 : e == 16 ? 1 : 0;
    } else if (mapType != 0 || tga->mapped || tga->mapFirst != 0 || tga->mapLength != 0) {
        return false;
    }
    if (!SizeAllowed(tga->width, tga->height)) return false;

    const int depth = tga->depth, alpha = tga->alphaBits;
    if (tga->mapped) {
        if (depth != 8 || (alpha != 0 && alpha != mapAlphaBits)) return false;
    } else if (tga->grey) {
        if (depth != 8 || alpha != 0) return false;
    } else {
        const bool ok = (depth == 15 && alpha == 0) || (depth == 16 && alpha <= 1) || (depth == 24 && alpha == 0) ||
                        (depth == 32 && (alpha == 0 || alpha == 8));
        if (!ok) return false;
    }

    tga->mapOffset = 18 + static_cast<uint64_t>(idLength);
    tga->dataOffset = tga->mapOffset + mapBytes;
    const uint64_t pixels = static_cast<uint64_t>(tga->width) * tga->height;
    const uint64_t pixelBytes = (depth + 7) / 8;
    const uint64_t least = tga->rle ? (pixels + 127) / 128 * (1 + pixelBytes) : pixels * pixelBytes;
    return Fits(tga->dataOffset, least, size);
}

// A map entry or true-colour pixel as 0xAARRGGBB; alpha 255 unless the layout carries it.
uint32_t TgaColour(const uint8_t* p, int bits, bool withAlpha) {
    uint32_t b, g, r, a = 255;
    if (bits <= 16) {
        const uint32_t v = U16(p);
        b = Expand5(v & 31);
        g = Expand5((v >> 5) & 31);
        r = Expand5((v >> 10) & 31);
        if (withAlpha && bits == 16) a = (v & 0x8000) ? 255 : 0;
    } else {
        b = p[0];
        g = p[1];
        r = p[2];
        if (withAlpha && bits == 32) a = p[3];
    }
    return (a << 24) | (r << 16) | (g << 8) | b;
}

void ReadTgaPalette(const uint8_t* d, const TgaLayout& tga, korrin::DecodedImage* out) {
    const int entryBytes = (tga.mapEntryBits + 7) / 8;
    const bool withAlpha = tga.alphaBits > 0;
    bool anyVisible = false, anyTranslucent = false;
    for (int i = 0; i < tga.mapLength && tga.mapFirst + i < 256; ++i) {
        const uint32_t c = TgaColour(d + tga.mapOffset + static_cast<uint64_t>(i) * entryBytes, tga.mapEntryBits, withAlpha);
        out->palette[tga.mapFirst + i] = c;
        anyVisible |= (c >> 24) != 0;
        anyTranslucent |= (c >> 24) != 255;
    }
    out->paletteSize = tga.mapFirst + tga.mapLength < 256 ? tga.mapFirst + tga.mapLength : 256;
    // As for true-colour data: an alpha that is zero everywhere is taken as absent.
    out->hasAlpha = withAlpha && anyVisible && anyTranslucent;
    if (!out->hasAlpha)
        for (uint32_t& c : out->palette) c &= 0x00FFFFFF;
}

bool DecodeTgaPixels(const uint8_t* d, std::size_t size, const TgaLayout& tga, korrin::DecodedImage* out) {
    const bool eightBit = tga.mapped || tga.grey;
    const bool alpha = !eightBit && tga.alphaBits > 0;
    if (!KorrinAllocateImage(out, tga.width, tga.height, eightBit ? 8 : alpha ? 32 : 24)) return false;
    if (tga.grey) KorrinSetGreyPalette(out);
    if (tga.mapped) ReadTgaPalette(d, tga, out);

    const uint64_t total = static_cast<uint64_t>(tga.width) * tga.height;
    const int pixelBytes = (tga.depth + 7) / 8, outBytes = out->bitsPerPixel / 8;
    uint64_t p = 0, pos = tga.dataOffset;
    auto store = [&](const uint8_t* source) {
        int x = static_cast<int>(p % tga.width), y = static_cast<int>(p / tga.width);
        if (tga.rightToLeft) x = tga.width - 1 - x;
        if (!tga.topDown) y = tga.height - 1 - y;
        uint8_t* target = Row(out, y) + outBytes * x;
        if (eightBit) {
            target[0] = source[0];
        } else {
            const uint32_t c = TgaColour(source, tga.depth, alpha);
            target[0] = static_cast<uint8_t>(c);
            target[1] = static_cast<uint8_t>(c >> 8);
            target[2] = static_cast<uint8_t>(c >> 16);
            if (alpha) target[3] = static_cast<uint8_t>(c >> 24);
        }
        ++p;
    };
    if (!tga.rle) {
        // ReadTgaLayout has checked that all the pixels are there.
        while (p < total) {
            store(d + pos);
            pos += pixelBytes;
        }
    } else {
        // Packets may run on from one row to the next, but not past the last pixel.
        while (p < total) {
            if (!Fits(pos, 1, size)) break;
            const int header = d[pos++];
            const uint64_t count = (header & 0x7F) + 1u;
            if (count > total - p) break;
            const uint64_t bytes = (header & 0x80) ? pixelBytes : count * pixelBytes;
            if (!Fits(pos, bytes, size)) break;
            for (uint64_t i = 0; i < count; ++i) store(d + pos + ((header & 0x80) ? 0 : i * pixelBytes));
            pos += bytes;
        }
        if (p < total) {
            KorrinFreeImage(out);
            return false;
        }
    }
    SettleAlpha(out);
    return true;
}

const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

bool IsJpeg(const uint8_t* d, std::size_t size) { return size >= 3 && d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF; }
bool IsPng(const uint8_t* d, std::size_t size) { return size >= 8 && std::memcmp(d, kPngSignature, 8) == 0; }
// Classic and big TIFF, either byte order.
bool IsTiff(const uint8_t* d, std::size_t size) {
    if (size < 4) return false;
    return (d[0] == 'I' && d[1] == 'I' && (d[2] == 42 || d[2] == 43) && d[3] == 0) ||
           (d[0] == 'M' && d[1] == 'M' && d[2] == 0 && (d[3] == 42 || d[3] == 43));
}

// Common opening of the public decoders: a clean record, and the data present.
bool Begin(const void* data, korrin::DecodedImage* out) {
    if (!out) return false;
    std::memset(out, 0, sizeof *out);
    return data != nullptr;
}

}  // namespace

// --- the image record ------------------------------------------------------------

extern "C" bool KorrinAllocateImage(KorrinDecodedImage* image, int width, int height, int bitsPerPixel) {
    std::memset(image, 0, sizeof *image);
    if (!SizeAllowed(width < 0 ? 0 : width, height < 0 ? 0 : height)) return false;
    if (bitsPerPixel != 8 && bitsPerPixel != 24 && bitsPerPixel != 32) return false;
    const uint64_t pitch = DibPitch(width, bitsPerPixel);
    const uint64_t bytes = pitch * height;
    if (bytes > SIZE_MAX) return false;
    auto* pixels = static_cast<uint8_t*>(std::calloc(static_cast<std::size_t>(bytes), 1));
    if (!pixels) return false;
    image->width = width;
    image->height = height;
    image->bitsPerPixel = bitsPerPixel;
    image->pixels = pixels;
    image->pitch = static_cast<int>(pitch);
    return true;
}

extern "C" void KorrinFreeImage(KorrinDecodedImage* image) {
    if (!image) return;
    std::free(image->pixels);
    std::memset(image, 0, sizeof *image);
}

extern "C" void KorrinSetGreyPalette(KorrinDecodedImage* image) {
    for (uint32_t i = 0; i < 256; ++i) image->palette[i] = (i << 16) | (i << 8) | i;
    image->paletteSize = 256;
}

namespace korrin {

ImageFormat DetectImageFormat(const void* data, std::size_t size) {
    const auto* d = static_cast<const uint8_t*>(data);
    if (!d) return ImageFormat::Unknown;
    if (size >= 2 && d[0] == 'B' && d[1] == 'M') return ImageFormat::Bmp;
    if (IsJpeg(d, size)) return ImageFormat::Jpeg;
    if (IsPng(d, size)) return ImageFormat::Png;
    if (IsTiff(d, size)) return ImageFormat::Tiff;
    TgaLayout tga;
    if (ReadTgaLayout(d, size, &tga)) return ImageFormat::Tga;
    return ImageFormat::Unknown;
}

bool DecodeBmp(const void* data, std::size_t size, DecodedImage* out) {
    if (!Begin(data, out)) return false;
    const auto* d = static_cast<const uint8_t*>(data);
    BmpLayout bmp;
    if (!ReadBmpLayout(d, size, &bmp)) return false;
    if (bmp.compression == kBiRle8 || bmp.compression == kBiRle4) return DecodeBmpRle(d, size, bmp, out);
    return DecodeBmpBits(d, size, bmp, out);
}

bool CheckBmpFile(const void* data, std::size_t size, DecodedImage* out, BmpFileCheck* check) {
    if (!check || !DecodeBmp(data, size, out)) {
        if (check) *check = BmpFileCheck{};
        return false;
    }
    const auto* d = static_cast<const uint8_t*>(data);
    BmpLayout bmp;
    ReadBmpLayout(d, size, &bmp);  // accepted by DecodeBmp
    *check = BmpFileCheck{bmp.width, bmp.height, bmp.bitCount, false};
    if (bmp.bitCount <= 8 || out->hasAlpha) return true;
    if (bmp.compression != kBiRgb && bmp.compression != kBiBitfields) return true;
    const uint32_t headerSize = U32(d + 14);
    if (headerSize == 12) {
        check->platformLoads = U16(d + 22) == 1;  // planes
        return true;
    }
    if (U16(d + 26) != 1) return true;  // planes
    // An optional colour table of biClrUsed entries must end before the rows.
    const uint64_t tableEnd = bmp.paletteOffset + 4 * uint64_t{U32(d + 46)};
    if (tableEnd > bmp.bitsOffset) return true;
    // A V5 header may point at an embedded or linked colour profile.
    if (headerSize == 124) {
        const uint32_t type = U32(d + 14 + 56);
        if ((type == 0x4D424544u || type == 0x4C494E4Bu) &&
            !Fits(14 + uint64_t{U32(d + 14 + 112)}, U32(d + 14 + 116), size))
            return true;
    }
    check->platformLoads = true;
    return true;
}

bool DecodeTga(const void* data, std::size_t size, DecodedImage* out) {
    if (!Begin(data, out)) return false;
    const auto* d = static_cast<const uint8_t*>(data);
    TgaLayout tga;
    return ReadTgaLayout(d, size, &tga) && DecodeTgaPixels(d, size, tga, out);
}

bool DecodePng(const void* data, std::size_t size, DecodedImage* out) {
    return Begin(data, out) && IsPng(static_cast<const uint8_t*>(data), size) && KorrinDecodePng(data, size, out);
}

bool DecodeJpeg(const void* data, std::size_t size, DecodedImage* out) {
    return Begin(data, out) && IsJpeg(static_cast<const uint8_t*>(data), size) && KorrinDecodeJpeg(data, size, out);
}

bool DecodeTiff(const void* data, std::size_t size, DecodedImage* out) {
    return Begin(data, out) && IsTiff(static_cast<const uint8_t*>(data), size) && KorrinDecodeTiff(data, size, out);
}

bool DecodeImage(const void* data, std::size_t size, DecodedImage* out) {
    if (!Begin(data, out)) return false;
    if (DetectImageFormat(data, size) == ImageFormat::Bmp) return DecodeBmp(data, size, out);
    return DecodeJpeg(data, size, out) || DecodePng(data, size, out) || DecodeTga(data, size, out) ||
           DecodeTiff(data, size, out);
}

bool ExpandToTrueColour(DecodedImage* image) {
    if (!image) return false;
    if (image->bitsPerPixel != 8 || !image->pixels) return true;
    DecodedImage wide;
    if (!KorrinAllocateImage(&wide, image->width, image->height, image->hasAlpha ? 32 : 24)) return false;
    const int bytes = wide.bitsPerPixel / 8;
    for (int y = 0; y < image->height; ++y) {
        const uint8_t* source = Row(image, y);
        uint8_t* target = Row(&wide, y);
        for (int x = 0; x < image->width; ++x, target += bytes) {
            const uint32_t c = image->palette[source[x]];
            target[0] = static_cast<uint8_t>(c);
            target[1] = static_cast<uint8_t>(c >> 8);
            target[2] = static_cast<uint8_t>(c >> 16);
            if (bytes == 4) target[3] = static_cast<uint8_t>(c >> 24);
        }
    }
    wide.hasAlpha = image->hasAlpha;
    KorrinFreeImage(image);
    *image = wide;
    return true;
}

void FreeDecodedImage(DecodedImage* image) { KorrinFreeImage(image); }

}  // namespace korrin
