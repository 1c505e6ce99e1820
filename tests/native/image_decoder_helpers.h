// What the image decoder tests share: running a decoder on an exact-size heap
// copy (so that a read past the end is a sanitizer error), checks of a decoded
// record, and BMP and TGA images written byte by byte.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "image/ImageDecoders.h"
#include "little_endian.h"

namespace decoder_test {

using namespace korrin;
using Decoder = bool (*)(const void*, std::size_t, DecodedImage*);


// --- helpers -----------------------------------------------------------------------

struct Image {
    DecodedImage image{};
    ~Image() { FreeDecodedImage(&image); }
    DecodedImage* operator->() { return &image; }
    DecodedImage* get() { return &image; }
};

// Runs a decoder on an exact-size heap copy of the first n bytes, claiming
// `claimed` bytes (n unless given).
inline bool Decode(Decoder decoder, const Bytes& bytes, DecodedImage* out, std::size_t n = SIZE_MAX,
            std::size_t claimed = SIZE_MAX) {
    if (n == SIZE_MAX) n = bytes.size();
    if (claimed == SIZE_MAX) claimed = n;
    auto* copy = static_cast<std::uint8_t*>(std::malloc(n ? n : 1));
    if (n) std::memcpy(copy, bytes.data(), n);
    const bool ok = decoder(copy, claimed, out);
    std::free(copy);
    return ok;
}

// Decodes and frees: for data that must be refused.
inline bool Accepts(Decoder decoder, const Bytes& bytes, std::size_t n = SIZE_MAX) {
    Image image;
    const bool ok = Decode(decoder, bytes, image.get(), n);
    if (!ok) {
        EXPECT_EQ(image->pixels, nullptr);
        EXPECT_EQ(image->width, 0);
    }
    return ok;
}

// Checks the record's invariants and reads every row end to end.
inline void ExpectWellFormed(const DecodedImage& image) {
    ASSERT_NE(image.pixels, nullptr);
    ASSERT_TRUE(image.bitsPerPixel == 8 || image.bitsPerPixel == 24 || image.bitsPerPixel == 32);
    EXPECT_EQ(image.pitch % 4, 0);
    EXPECT_GE(image.pitch, image.width * image.bitsPerPixel / 8);
    if (image.bitsPerPixel != 8) {
        EXPECT_EQ(image.hasAlpha, image.bitsPerPixel == 32);
    }
    volatile unsigned sum = 0;
    for (int y = 0; y < image.height; ++y)
        for (int i = 0; i < image.pitch; ++i) sum = sum + image.pixels[static_cast<std::size_t>(y) * image.pitch + i];
}

inline std::uint32_t Rgb(const DecodedImage& image, int x, int y) {
    const std::uint8_t* p = image.pixels + static_cast<std::size_t>(y) * image.pitch + x * (image.bitsPerPixel / 8);
    if (image.bitsPerPixel == 8) return image.palette[p[0]] & 0xFFFFFF;
    return (p[2] << 16) | (p[1] << 8) | p[0];
}
using Colours = std::vector<std::uint32_t>;
// The first `count` colours of row y.
inline Colours RowRgb(const DecodedImage& image, int y, int count) {
    Colours colours;
    for (int x = 0; x < count; ++x) colours.push_back(Rgb(image, x, y));
    return colours;
}
inline int AlphaAt(const DecodedImage& image, int x, int y) {
    const std::uint8_t* p = image.pixels + static_cast<std::size_t>(y) * image.pitch + x * (image.bitsPerPixel / 8);
    if (image.bitsPerPixel == 8) return image.hasAlpha ? static_cast<int>(image.palette[p[0]] >> 24) : 255;
    return image.bitsPerPixel == 32 ? p[3] : 255;
}
inline int IndexAt(const DecodedImage& image, int x, int y) {
    return image.pixels[static_cast<std::size_t>(y) * image.pitch + x];
}

// Colours within `tolerance` per channel.
inline ::testing::AssertionResult Near(std::uint32_t actual, std::uint32_t expected, int tolerance) {
    for (int shift = 0; shift < 24; shift += 8) {
        const int a = (actual >> shift) & 255, e = (expected >> shift) & 255;
        if (std::abs(a - e) > tolerance) {
            char text[64];
            std::snprintf(text, sizeof text, "%06X, expected %06X", actual, expected);
            return ::testing::AssertionFailure() << text;
        }
    }
    return ::testing::AssertionSuccess();
}


// Every prefix of a valid image is refused.
inline void ExpectEveryTruncationRefused(Decoder decoder, const Bytes& bytes, const char* what) {
    for (std::size_t n = 0; n < bytes.size(); ++n) EXPECT_FALSE(Accepts(decoder, bytes, n)) << what << " cut to " << n;
}

// Random damage: bytes overwritten, then the result decoded, freed and checked
// when accepted. Only the sanitizers judge.
inline void Damage(Decoder decoder, const Bytes& bytes, int rounds, unsigned seed) {
    std::mt19937 random(seed);
    for (int round = 0; round < rounds; ++round) {
        Bytes damaged = bytes;
        const int hits = 1 + static_cast<int>(random() % 4);
        for (int h = 0; h < hits; ++h) damaged[random() % damaged.size()] = static_cast<std::uint8_t>(random());
        Image image;
        if (Decode(decoder, damaged, image.get())) ExpectWellFormed(image.image);
    }
}

// --- BMP writer ----------------------------------------------------------------------

struct Bmp {
    Bmp() = default;
    Bmp(int width_, int height_, int bitCount_, std::uint32_t compression_ = 0)
        : width(width_), height(height_), bitCount(bitCount_), compression(compression_) {}
    int width = 0, height = 0;  // negative height: top-down
    int bitCount = 24;
    std::uint32_t compression = 0;
    std::uint32_t headerSize = 40;
    std::uint32_t coloursUsed = 0;
    std::vector<std::uint32_t> palette;  // 0x00RRGGBB
    std::vector<std::uint32_t> masks;    // after a 40-byte header, or inside a larger one
    Bytes bits;                          // as stored
};

inline Bytes Write(const Bmp& bmp) {
    Bytes b = {'B', 'M'};
    Put32(b, 0);  // file size, set below
    Put32(b, 0);
    Put32(b, 0);  // bits offset, set below
    Put32(b, bmp.headerSize);
    if (bmp.headerSize == 12) {
        Put16(b, bmp.width);
        Put16(b, bmp.height);
        Put16(b, 1);
        Put16(b, bmp.bitCount);
    } else {
        Put32(b, bmp.width);
        Put32(b, static_cast<std::uint32_t>(bmp.height));
        Put16(b, 1);
        Put16(b, bmp.bitCount);
        Put32(b, bmp.compression);
        Put32(b, static_cast<std::uint32_t>(bmp.bits.size()));
        Put32(b, 2835);
        Put32(b, 2835);
        Put32(b, bmp.coloursUsed);
        Put32(b, 0);
        for (std::uint32_t m : bmp.masks) Put32(b, m);
        if (bmp.headerSize > 40) b.resize(14 + bmp.headerSize, 0);  // the masks were inside the header
    }
    for (std::uint32_t c : bmp.palette) {
        b.push_back(c & 255);
        b.push_back((c >> 8) & 255);
        b.push_back((c >> 16) & 255);
        if (bmp.headerSize != 12) b.push_back(0);
    }
    Set32(b, 10, static_cast<std::uint32_t>(b.size()));
    b.insert(b.end(), bmp.bits.begin(), bmp.bits.end());
    Set32(b, 2, static_cast<std::uint32_t>(b.size()));
    return b;
}

// Rows given top first, each padded to 4 bytes, stored bottom-up unless topDown.
inline Bytes StoreRows(const std::vector<Bytes>& rows, bool topDown) {
    Bytes out;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        Bytes row = rows[topDown ? i : rows.size() - 1 - i];
        row.resize((row.size() + 3) / 4 * 4, 0);
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

// 3 x 2, 24-bit: red green blue / white black grey.
inline Bmp Bmp24(bool topDown) {
    Bmp bmp;
    bmp.width = 3;
    bmp.height = topDown ? -2 : 2;
    bmp.bits = StoreRows({{0, 0, 255, 0, 255, 0, 255, 0, 0}, {255, 255, 255, 0, 0, 0, 128, 128, 128}}, topDown);
    return bmp;
}

inline Bmp Bmp8() {
    Bmp bmp(5, 2, 8);
    bmp.coloursUsed = 3;
    bmp.palette = {0x102030, 0xFF8000, 0x00FF7F};
    bmp.bits = StoreRows({{0, 1, 2, 1, 0}, {2, 2, 1, 1, 0}}, false);
    return bmp;
}

// 4 x 3 run-length image; see the expected rows in the test.
inline Bmp BmpRle8() {
    Bmp bmp(4, 3, 8, 1);
    bmp.palette.assign(10, 0);
    for (int i = 0; i < 10; ++i) bmp.palette[i] = 0x111111u * i;
    bmp.bits = {
        2, 7, 0, 3, 1, 2, 3, 0,  // bottom row: run of two 7s, absolute 1 2 3 (cut at the row's end)
        0, 0,                    // end of line
        0, 2, 2, 0, 2, 9,        // delta right 2, run of two 9s
        0, 0,                    // end of line
        1, 4,                    // top row: one 4, the rest skipped
        0, 1,                    // end of bitmap
    };
    return bmp;
}

// --- TGA writer ----------------------------------------------------------------------

struct Tga {
    Tga() = default;
    Tga(int type_, int width_, int height_, int depth_) : type(type_), width(width_), height(height_), depth(depth_) {}
    int type = 2;
    int width = 0, height = 0, depth = 24, descriptor = 0;
    Bytes id;
    int mapType = 0, mapFirst = 0, mapLength = 0, mapBits = 0;
    Bytes map;
    Bytes data;
};

inline Bytes Write(const Tga& tga) {
    Bytes b = {static_cast<std::uint8_t>(tga.id.size()), static_cast<std::uint8_t>(tga.mapType),
               static_cast<std::uint8_t>(tga.type)};
    Put16(b, tga.mapFirst);
    Put16(b, tga.mapLength);
    b.push_back(tga.mapBits);
    Put16(b, 0);
    Put16(b, 0);
    Put16(b, tga.width);
    Put16(b, tga.height);
    b.push_back(tga.depth);
    b.push_back(tga.descriptor);
    b.insert(b.end(), tga.id.begin(), tga.id.end());
    b.insert(b.end(), tga.map.begin(), tga.map.end());
    b.insert(b.end(), tga.data.begin(), tga.data.end());
    return b;
}

// 3 x 2 true colour, rows given top first as B,G,R; stored as the descriptor says.
inline Tga Tga24(int descriptor) {
    const std::vector<Bytes> top = {{0, 0, 255, 0, 255, 0, 255, 0, 0}, {255, 255, 255, 0, 0, 0, 128, 128, 128}};
    Tga tga;
    tga.width = 3;
    tga.height = 2;
    tga.descriptor = descriptor;
    for (int r = 0; r < 2; ++r) {
        const Bytes& row = top[(descriptor & 0x20) ? r : 1 - r];
        for (int x = 0; x < 3; ++x) {
            const int source = (descriptor & 0x10) ? 2 - x : x;
            tga.data.insert(tga.data.end(), row.begin() + 3 * source, row.begin() + 3 * source + 3);
        }
    }
    return tga;
}

inline void ExpectRedGreenBlueWhiteBlackGrey(const DecodedImage& image) {
    ASSERT_EQ(image.width, 3);
    ASSERT_EQ(image.height, 2);
    EXPECT_EQ(RowRgb(image, 0, 3), (Colours{0xFF0000u, 0x00FF00u, 0x0000FFu}));
    EXPECT_EQ(RowRgb(image, 1, 3), (Colours{0xFFFFFFu, 0x000000u, 0x808080u}));
}

}  // namespace decoder_test
