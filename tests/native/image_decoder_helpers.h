// What the image decoder tests share: running a decoder on an exact-size heap
// copy (so that a read past the end is a sanitizer error), checks of a decoded
// record, and small BMP and TGA images (written by image_files.h).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "image/ImageDecoders.h"
#include "image_files.h"

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

// --- BMP images ---------------------------------------------------------------------

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

// --- TGA images ---------------------------------------------------------------------

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
