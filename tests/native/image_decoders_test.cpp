// Image decoders: pixels of BMP and TGA images written here byte by byte, and
// of PNG, JPEG and TIFF images that ImageMagick's convert makes at test time
// from exact sources; malformed data of every kind (truncations, absurd sizes,
// bad offsets, runs past the end, random damage) refused without a sanitizer
// report. Every decoder gets an exact-size heap copy, so a read past the end
// is a sanitizer error.
#include "sprites/ImageDecoders.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

using namespace korrin;
using Bytes = std::vector<std::uint8_t>;
using Decoder = bool (*)(const void*, std::size_t, DecodedImage*);

namespace {

// --- helpers -----------------------------------------------------------------------

struct Image {
    DecodedImage image{};
    ~Image() { FreeDecodedImage(&image); }
    DecodedImage* operator->() { return &image; }
    DecodedImage* get() { return &image; }
};

// Runs a decoder on an exact-size heap copy of the first n bytes, claiming
// `claimed` bytes (n unless given).
bool Decode(Decoder decoder, const Bytes& bytes, DecodedImage* out, std::size_t n = SIZE_MAX,
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
bool Accepts(Decoder decoder, const Bytes& bytes, std::size_t n = SIZE_MAX) {
    Image image;
    const bool ok = Decode(decoder, bytes, image.get(), n);
    if (!ok) {
        EXPECT_EQ(image->pixels, nullptr);
        EXPECT_EQ(image->width, 0);
    }
    return ok;
}

// Checks the record's invariants and reads every row end to end.
void ExpectWellFormed(const DecodedImage& image) {
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

std::uint32_t Rgb(const DecodedImage& image, int x, int y) {
    const std::uint8_t* p = image.pixels + static_cast<std::size_t>(y) * image.pitch + x * (image.bitsPerPixel / 8);
    if (image.bitsPerPixel == 8) return image.palette[p[0]] & 0xFFFFFF;
    return (p[2] << 16) | (p[1] << 8) | p[0];
}
int AlphaAt(const DecodedImage& image, int x, int y) {
    const std::uint8_t* p = image.pixels + static_cast<std::size_t>(y) * image.pitch + x * (image.bitsPerPixel / 8);
    if (image.bitsPerPixel == 8) return image.hasAlpha ? static_cast<int>(image.palette[p[0]] >> 24) : 255;
    return image.bitsPerPixel == 32 ? p[3] : 255;
}
int IndexAt(const DecodedImage& image, int x, int y) {
    return image.pixels[static_cast<std::size_t>(y) * image.pitch + x];
}

// Colours within `tolerance` per channel.
::testing::AssertionResult Near(std::uint32_t actual, std::uint32_t expected, int tolerance) {
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

void Put16(Bytes& b, unsigned v) {
    b.push_back(v & 255);
    b.push_back((v >> 8) & 255);
}
void Put32(Bytes& b, std::uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
void Set32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = (v >> (8 * i)) & 255;
}

// Every prefix of a valid image is refused.
void ExpectEveryTruncationRefused(Decoder decoder, const Bytes& bytes, const char* what) {
    for (std::size_t n = 0; n < bytes.size(); ++n) EXPECT_FALSE(Accepts(decoder, bytes, n)) << what << " cut to " << n;
}

// Random damage: bytes overwritten, then the result decoded, freed and checked
// when accepted. Only the sanitizers judge.
void Damage(Decoder decoder, const Bytes& bytes, int rounds, unsigned seed) {
    std::mt19937 random(seed);
    for (int round = 0; round < rounds; ++round) {
        Bytes damaged = bytes;
        const int hits = 1 + static_cast<int>(random() % 4);
        for (int h = 0; h < hits; ++h) damaged[random() % damaged.size()] = static_cast<std::uint8_t>(random());
        Image image;
        if (Decode(decoder, damaged, image.get())) ExpectWellFormed(image.image);
    }
}

// The facts of the last CheckBmpFile call made through a Decoder adapter.
BmpFileCheck& lastCheck() {
    static BmpFileCheck check;
    return check;
}

// --- BMP writer ----------------------------------------------------------------------

struct Bmp {
    int width = 0, height = 0;  // negative height: top-down
    int bitCount = 24;
    std::uint32_t compression = 0;
    std::uint32_t headerSize = 40;
    std::uint32_t coloursUsed = 0;
    std::vector<std::uint32_t> palette;  // 0x00RRGGBB
    std::vector<std::uint32_t> masks;    // after a 40-byte header, or inside a larger one
    Bytes bits;                          // as stored
};

Bytes Write(const Bmp& bmp) {
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
Bytes StoreRows(const std::vector<Bytes>& rows, bool topDown) {
    Bytes out;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        Bytes row = rows[topDown ? i : rows.size() - 1 - i];
        row.resize((row.size() + 3) / 4 * 4, 0);
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

// 3 x 2, 24-bit: red green blue / white black grey.
Bmp Bmp24(bool topDown) {
    Bmp bmp;
    bmp.width = 3;
    bmp.height = topDown ? -2 : 2;
    bmp.bits = StoreRows({{0, 0, 255, 0, 255, 0, 255, 0, 0}, {255, 255, 255, 0, 0, 0, 128, 128, 128}}, topDown);
    return bmp;
}

Bmp Bmp8() {
    Bmp bmp;
    bmp.width = 5;
    bmp.height = 2;
    bmp.bitCount = 8;
    bmp.coloursUsed = 3;
    bmp.palette = {0x102030, 0xFF8000, 0x00FF7F};
    bmp.bits = StoreRows({{0, 1, 2, 1, 0}, {2, 2, 1, 1, 0}}, false);
    return bmp;
}

// 4 x 3 run-length image; see the expected rows in the test.
Bmp BmpRle8() {
    Bmp bmp;
    bmp.width = 4;
    bmp.height = 3;
    bmp.bitCount = 8;
    bmp.compression = 1;
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
    int type = 2;
    int width = 0, height = 0, depth = 24, descriptor = 0;
    Bytes id;
    int mapType = 0, mapFirst = 0, mapLength = 0, mapBits = 0;
    Bytes map;
    Bytes data;
};

Bytes Write(const Tga& tga) {
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
Tga Tga24(int descriptor) {
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

void ExpectRedGreenBlueWhiteBlackGrey(const DecodedImage& image) {
    ASSERT_EQ(image.width, 3);
    ASSERT_EQ(image.height, 2);
    EXPECT_EQ(Rgb(image, 0, 0), 0xFF0000u);
    EXPECT_EQ(Rgb(image, 1, 0), 0x00FF00u);
    EXPECT_EQ(Rgb(image, 2, 0), 0x0000FFu);
    EXPECT_EQ(Rgb(image, 0, 1), 0xFFFFFFu);
    EXPECT_EQ(Rgb(image, 1, 1), 0x000000u);
    EXPECT_EQ(Rgb(image, 2, 1), 0x808080u);
}

}  // namespace

// --- BMP -------------------------------------------------------------------------------

TEST(BmpReader, ReadsBottomUpAndTopDownRowsWithPadding) {
    for (bool topDown : {false, true}) {
        Image image;
        ASSERT_TRUE(Decode(DecodeBmp, Write(Bmp24(topDown)), image.get())) << topDown;
        ExpectWellFormed(image.image);
        EXPECT_EQ(image->bitsPerPixel, 24);
        EXPECT_EQ(image->pitch, 12);
        EXPECT_FALSE(image->hasAlpha);
        ExpectRedGreenBlueWhiteBlackGrey(image.image);
    }
}

TEST(BmpReader, KeepsImagesOfEightBitsOrFewerAsPaletteIndices) {
    Image eight;
    ASSERT_TRUE(Decode(DecodeBmp, Write(Bmp8()), eight.get()));
    ExpectWellFormed(eight.image);
    EXPECT_EQ(eight->bitsPerPixel, 8);
    EXPECT_EQ(eight->paletteSize, 3);
    EXPECT_EQ(eight->palette[1], 0xFF8000u);
    EXPECT_EQ(eight->palette[3], 0u);  // unused entries black
    const int expected[2][5] = {{0, 1, 2, 1, 0}, {2, 2, 1, 1, 0}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(IndexAt(eight.image, x, y), expected[y][x]);

    Bmp four;
    four.width = 3;
    four.height = 1;
    four.bitCount = 4;
    four.palette.assign(16, 0);
    four.bits = StoreRows({{0xF1, 0x70}}, false);
    Image image4;
    ASSERT_TRUE(Decode(DecodeBmp, Write(four), image4.get()));
    EXPECT_EQ(image4->paletteSize, 16);
    EXPECT_EQ(IndexAt(image4.image, 0, 0), 15);
    EXPECT_EQ(IndexAt(image4.image, 1, 0), 1);
    EXPECT_EQ(IndexAt(image4.image, 2, 0), 7);

    Bmp one;
    one.width = 10;
    one.height = -1;
    one.bitCount = 1;
    one.palette = {0x000000, 0xFFFFFF};
    one.bits = StoreRows({{0xA5, 0xC0}}, true);
    Image image1;
    ASSERT_TRUE(Decode(DecodeBmp, Write(one), image1.get()));
    const int bits[10] = {1, 0, 1, 0, 0, 1, 0, 1, 1, 1};
    for (int x = 0; x < 10; ++x) EXPECT_EQ(IndexAt(image1.image, x, 0), bits[x]) << x;
    EXPECT_EQ(Rgb(image1.image, 0, 0), 0xFFFFFFu);

    // The 12-byte core header has three-byte palette entries.
    Bmp core = Bmp8();
    core.headerSize = 12;
    core.palette.resize(256, 0x0000FF);
    Image imageCore;
    ASSERT_TRUE(Decode(DecodeBmp, Write(core), imageCore.get()));
    EXPECT_EQ(imageCore->paletteSize, 256);
    EXPECT_EQ(Rgb(imageCore.image, 1, 0), 0xFF8000u);
    EXPECT_EQ(Rgb(imageCore.image, 2, 0), 0x00FF7Fu);
}

TEST(BmpReader, ExpandsSixteenBitPixelsByTheirMasks) {
    Bmp rgb555;
    rgb555.width = 3;
    rgb555.height = 1;
    rgb555.bitCount = 16;
    rgb555.bits = StoreRows({{0xFF, 0x7F, 0x1F, 0x00, 0x10, 0x00}}, false);  // white, blue, blue 16/31
    Image a;
    ASSERT_TRUE(Decode(DecodeBmp, Write(rgb555), a.get()));
    EXPECT_EQ(a->bitsPerPixel, 24);
    EXPECT_EQ(Rgb(a.image, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(Rgb(a.image, 1, 0), 0x0000FFu);
    EXPECT_EQ(Rgb(a.image, 2, 0), 0x000084u);

    Bmp rgb565 = rgb555;
    rgb565.compression = 3;
    rgb565.masks = {0xF800, 0x07E0, 0x001F};
    rgb565.bits = StoreRows({{0x00, 0xF8, 0xE0, 0x07, 0x00, 0x04}}, false);  // red, green, green 32/63
    Image b;
    ASSERT_TRUE(Decode(DecodeBmp, Write(rgb565), b.get()));
    EXPECT_EQ(Rgb(b.image, 0, 0), 0xFF0000u);
    EXPECT_EQ(Rgb(b.image, 1, 0), 0x00FF00u);
    EXPECT_EQ(Rgb(b.image, 2, 0), 0x008200u);
}

TEST(BmpReader, ThirtyTwoBitImagesHaveAlphaOnlyWhenItIsThere) {
    Bmp bmp;
    bmp.width = 2;
    bmp.height = 1;
    bmp.bitCount = 32;
    bmp.bits = {10, 20, 30, 0, 40, 50, 60, 0};
    Image opaque;
    ASSERT_TRUE(Decode(DecodeBmp, Write(bmp), opaque.get()));
    ExpectWellFormed(opaque.image);
    EXPECT_EQ(opaque->bitsPerPixel, 24);  // a reserved byte of zeros is no alpha channel
    EXPECT_EQ(Rgb(opaque.image, 1, 0), 0x3C3228u);

    bmp.bits = {10, 20, 30, 0, 40, 50, 60, 200};
    Image translucent;
    ASSERT_TRUE(Decode(DecodeBmp, Write(bmp), translucent.get()));
    EXPECT_EQ(translucent->bitsPerPixel, 32);
    EXPECT_TRUE(translucent->hasAlpha);
    EXPECT_EQ(AlphaAt(translucent.image, 0, 0), 0);
    EXPECT_EQ(AlphaAt(translucent.image, 1, 0), 200);
    EXPECT_EQ(Rgb(translucent.image, 0, 0), 0x1E140Au);

    // V5 header, top-down, masks in the header with red in the low byte.
    Bmp v5;
    v5.headerSize = 124;
    v5.width = 1;
    v5.height = -2;
    v5.bitCount = 32;
    v5.compression = 3;
    v5.masks = {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000};
    v5.bits = {0xFF, 0x00, 0x00, 0x80, 0x00, 0x00, 0xFF, 0xFF};
    Image image5;
    ASSERT_TRUE(Decode(DecodeBmp, Write(v5), image5.get()));
    EXPECT_EQ(image5->bitsPerPixel, 32);
    EXPECT_EQ(Rgb(image5.image, 0, 0), 0xFF0000u);
    EXPECT_EQ(AlphaAt(image5.image, 0, 0), 0x80);
    EXPECT_EQ(Rgb(image5.image, 0, 1), 0x0000FFu);

    // A V4 header with an alpha mask over 16-bit pixels (A1R5G5B5).
    Bmp v4;
    v4.headerSize = 108;
    v4.width = 2;
    v4.height = 1;
    v4.bitCount = 16;
    v4.compression = 3;
    v4.masks = {0x7C00, 0x03E0, 0x001F, 0x8000};
    v4.bits = {0x00, 0xFC, 0x1F, 0x00};
    Image image4;
    ASSERT_TRUE(Decode(DecodeBmp, Write(v4), image4.get()));
    EXPECT_EQ(image4->bitsPerPixel, 32);
    EXPECT_EQ(Rgb(image4.image, 0, 0), 0xFF0000u);
    EXPECT_EQ(AlphaAt(image4.image, 0, 0), 255);
    EXPECT_EQ(AlphaAt(image4.image, 1, 0), 0);
}

TEST(BmpReader, DecodesRunLengthImages) {
    Image image;
    ASSERT_TRUE(Decode(DecodeBmp, Write(BmpRle8()), image.get()));
    ExpectWellFormed(image.image);
    ASSERT_EQ(image->bitsPerPixel, 8);
    const int expected[3][4] = {{4, 0, 0, 0}, {0, 0, 9, 9}, {7, 7, 1, 2}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(IndexAt(image.image, x, y), expected[y][x]) << x << "," << y;

    Bmp rle4;
    rle4.width = 4;
    rle4.height = 2;
    rle4.bitCount = 4;
    rle4.compression = 2;
    rle4.palette.assign(16, 0);
    rle4.bits = {4, 0x12, 0, 0, 0, 3, 0x34, 0x50, 1, 0x60, 0, 1};
    Image image4;
    ASSERT_TRUE(Decode(DecodeBmp, Write(rle4), image4.get()));
    const int expected4[2][4] = {{3, 4, 5, 6}, {1, 2, 1, 2}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(IndexAt(image4.image, x, y), expected4[y][x]) << x << "," << y;
}

TEST(BmpReader, RefusesEveryTruncation) {
    Bmp v5 = Bmp24(true);
    v5.headerSize = 124;
    ExpectEveryTruncationRefused(DecodeBmp, Write(Bmp24(false)), "24-bit");
    ExpectEveryTruncationRefused(DecodeBmp, Write(v5), "V5");
    ExpectEveryTruncationRefused(DecodeBmp, Write(Bmp8()), "8-bit");
    ExpectEveryTruncationRefused(DecodeBmp, Write(BmpRle8()), "RLE8");
}

TEST(BmpReader, RefusesBadHeaders) {
    const Bytes good = Write(Bmp24(false));
    ASSERT_TRUE(Accepts(DecodeBmp, good));
    auto with = [&](std::size_t at, std::uint32_t v) {
        Bytes b = good;
        Set32(b, at, v);
        return b;
    };
    EXPECT_FALSE(Accepts(DecodeBmp, with(10, 20))) << "bits inside the header";
    EXPECT_FALSE(Accepts(DecodeBmp, with(10, 0xFFFFFFF0))) << "bits far past the end";
    EXPECT_FALSE(Accepts(DecodeBmp, with(14, 64))) << "unknown header size";
    EXPECT_FALSE(Accepts(DecodeBmp, with(14, 0xFFFFFFFF))) << "header size past the end";
    EXPECT_FALSE(Accepts(DecodeBmp, with(18, 0))) << "no width";
    EXPECT_FALSE(Accepts(DecodeBmp, with(18, static_cast<std::uint32_t>(-3)))) << "negative width";
    EXPECT_FALSE(Accepts(DecodeBmp, with(22, 0))) << "no height";
    EXPECT_FALSE(Accepts(DecodeBmp, with(22, 0x80000000))) << "most negative height";
    EXPECT_FALSE(Accepts(DecodeBmp, with(18, 32769))) << "too wide";
    EXPECT_FALSE(Accepts(DecodeBmp, with(22, 40000))) << "too high";
    Bytes huge = with(18, 32768);
    Set32(huge, 22, 4096);  // each side allowed, 128M pixels not
    EXPECT_FALSE(Accepts(DecodeBmp, huge));
    Bytes big = with(18, 20000);
    Set32(big, 22, 3000);  // allowed size, far more pixels than data
    EXPECT_FALSE(Accepts(DecodeBmp, big));
    Bytes bits = good;
    bits[28] = 7;
    EXPECT_FALSE(Accepts(DecodeBmp, bits)) << "7 bits per pixel";
    EXPECT_FALSE(Accepts(DecodeBmp, with(30, 4))) << "embedded JPEG";
    EXPECT_FALSE(Accepts(DecodeBmp, with(30, 5))) << "embedded PNG";
    EXPECT_FALSE(Accepts(DecodeBmp, with(30, 1))) << "RLE8 with 24 bits";
    Bytes notBm = good;
    notBm[1] = 'A';
    EXPECT_FALSE(Accepts(DecodeBmp, notBm));

    Bmp masks;
    masks.width = 1;
    masks.height = 1;
    masks.bitCount = 16;
    masks.compression = 3;
    masks.bits = {0, 0, 0, 0};
    masks.masks = {0xF0F0, 0x0F00, 0x000F};
    EXPECT_FALSE(Accepts(DecodeBmp, Write(masks))) << "mask with a hole";
    masks.masks = {0x1F0000, 0x07E0, 0x001F};
    EXPECT_FALSE(Accepts(DecodeBmp, Write(masks))) << "mask above 16 bits";
    masks.masks = {0xF800, 0x07E0, 0x001F};
    EXPECT_TRUE(Accepts(DecodeBmp, Write(masks)));

    Bmp topDownRle = BmpRle8();
    topDownRle.height = -3;
    EXPECT_FALSE(Accepts(DecodeBmp, Write(topDownRle))) << "top-down run-length image";
    Bmp noPalette = Bmp8();
    noPalette.palette.clear();
    EXPECT_FALSE(Accepts(DecodeBmp, Write(noPalette))) << "palette image without palette";
}

TEST(BmpReader, RefusesRunsOutsideTheImage) {
    auto rle = [](Bytes bits) {
        Bmp bmp = BmpRle8();
        bmp.bits = std::move(bits);
        return Write(bmp);
    };
    ASSERT_TRUE(Accepts(DecodeBmp, rle({0, 0, 0, 0, 0, 0, 0, 1})));
    EXPECT_FALSE(Accepts(DecodeBmp, rle({0, 0, 0, 0, 0, 0, 5, 1, 0, 1}))) << "run below the last row";
    EXPECT_FALSE(Accepts(DecodeBmp, rle({0, 0, 0, 0, 0, 0, 0, 0, 0, 1}))) << "line end below the last row";
    EXPECT_FALSE(Accepts(DecodeBmp, rle({0, 2, 0, 4, 0, 1}))) << "delta below the last row";
    EXPECT_FALSE(Accepts(DecodeBmp, rle({0, 2, 1, 3, 0, 1}))) << "delta past the last pixel";
    EXPECT_FALSE(Accepts(DecodeBmp, rle({0, 9, 1, 2, 3, 0, 1}))) << "absolute run past the data";
    EXPECT_FALSE(Accepts(DecodeBmp, rle({2, 7, 0, 0}))) << "no end of bitmap";
    // Runs longer than a row are cut at the row's end, never written past it.
    Image image;
    ASSERT_TRUE(Decode(DecodeBmp, rle({255, 3, 0, 0, 255, 4, 0, 1}), image.get()));
    EXPECT_EQ(IndexAt(image.image, 3, 2), 3);
    EXPECT_EQ(IndexAt(image.image, 0, 1), 4);
    EXPECT_EQ(IndexAt(image.image, 0, 0), 0);
}

TEST(BmpReader, SurvivesRandomDamage) {
    Bmp v5 = Bmp24(true);
    v5.headerSize = 124;
    Damage(DecodeBmp, Write(Bmp24(false)), 2000, 1);
    Damage(DecodeBmp, Write(Bmp8()), 2000, 2);
    Damage(DecodeBmp, Write(BmpRle8()), 2000, 3);
    Damage(DecodeBmp, Write(v5), 2000, 4);
}

// --- TGA -------------------------------------------------------------------------------

// BMP files are checked by our reader before the platform's loader may see
// them: only opaque true-colour files whose every declared part lies inside
// the file go on to the platform; the others are decoded by us or refused.
TEST(BmpFileCheck, SendsOnlyCheckedOpaqueTrueColourFilesToThePlatform) {
    auto route = [](const Bytes& bytes, BmpFileCheck* check) {
        Image image;
        const bool ok = Decode([](const void* d, std::size_t n, DecodedImage* out) {
            BmpFileCheck c;
            const bool accepted = CheckBmpFile(d, n, out, &c);
            lastCheck() = c;
            return accepted;
        }, bytes, image.get());
        *check = lastCheck();
        if (ok) ExpectWellFormed(image.image);
        else EXPECT_EQ(image->pixels, nullptr);
        return ok;
    };
    BmpFileCheck check;
    const Bytes bmp24 = Write(Bmp24(false));
    ASSERT_TRUE(route(bmp24, &check));
    EXPECT_TRUE(check.platformLoads);
    EXPECT_EQ(check.width, 3);
    EXPECT_EQ(check.height, 2);
    EXPECT_EQ(check.bitsPerPixel, 24);
    ASSERT_TRUE(route(Write(Bmp24(true)), &check));
    EXPECT_TRUE(check.platformLoads);
    EXPECT_EQ(check.height, 2);

    ASSERT_TRUE(route(Write(Bmp8()), &check));
    EXPECT_FALSE(check.platformLoads) << "8-bit files keep their palette indices";
    ASSERT_TRUE(route(Write(BmpRle8()), &check));
    EXPECT_FALSE(check.platformLoads);

    Bmp bmp32;
    bmp32.width = 2;
    bmp32.height = 1;
    bmp32.bitCount = 32;
    bmp32.bits = {10, 20, 30, 0, 40, 50, 60, 0};
    ASSERT_TRUE(route(Write(bmp32), &check));
    EXPECT_TRUE(check.platformLoads) << "a reserved byte of zeros: opaque";
    bmp32.bits[7] = 200;
    ASSERT_TRUE(route(Write(bmp32), &check));
    EXPECT_FALSE(check.platformLoads) << "GDI would not carry the alpha";

    // The 102-byte 4x4 file whose rows are said to start 2 GB in.
    Bmp small;
    small.width = 4;
    small.height = 4;
    small.bits.assign(48, 0x40);
    Bytes farOffset = Write(small);
    ASSERT_EQ(farOffset.size(), 102u);
    Set32(farOffset, 10, 0x7FFFFFF0);
    EXPECT_FALSE(route(farOffset, &check));
    EXPECT_FALSE(check.platformLoads);

    // Decodable by us, but with parts the platform would read unchecked.
    Bytes hugeTable = Write(small);
    Set32(hugeTable, 46, 0x40000000);
    ASSERT_TRUE(route(hugeTable, &check));
    EXPECT_FALSE(check.platformLoads) << "colour table past the rows";
    Bytes planes = Write(small);
    planes[26] = 2;
    ASSERT_TRUE(route(planes, &check));
    EXPECT_FALSE(check.platformLoads);
    Bmp v5 = small;
    v5.headerSize = 124;
    Bytes profile = Write(v5);
    Set32(profile, 14 + 56, 0x4D424544);  // an embedded profile...
    Set32(profile, 14 + 112, 0x7FFF0000);  // ...far outside the file
    Set32(profile, 14 + 116, 64);
    ASSERT_TRUE(route(profile, &check));
    EXPECT_FALSE(check.platformLoads);
    Set32(profile, 14 + 112, 124);  // inside: the file's own rows
    Set32(profile, 14 + 116, 16);
    ASSERT_TRUE(route(profile, &check));
    EXPECT_TRUE(check.platformLoads);

    // Every prefix of a valid file is refused outright.
    for (std::size_t n = 0; n < bmp24.size(); ++n) {
        Image image;
        EXPECT_FALSE(Decode([](const void* d, std::size_t size, DecodedImage* out) {
            BmpFileCheck c;
            return CheckBmpFile(d, size, out, &c);
        }, bmp24, image.get(), n)) << n;
    }
    Image none;
    EXPECT_FALSE(CheckBmpFile(bmp24.data(), bmp24.size(), none.get(), nullptr));
}

TEST(TgaReader, HonoursTheOriginBits) {
    for (int descriptor : {0x00, 0x20, 0x10, 0x30}) {
        Image image;
        ASSERT_TRUE(Decode(DecodeTga, Write(Tga24(descriptor)), image.get())) << descriptor;
        ExpectWellFormed(image.image);
        EXPECT_EQ(image->bitsPerPixel, 24);
        ExpectRedGreenBlueWhiteBlackGrey(image.image);
    }
}

TEST(TgaReader, ThirtyTwoBitAlphaFollowsTheDescriptor) {
    Tga tga;
    tga.width = 2;
    tga.height = 1;
    tga.depth = 32;
    tga.descriptor = 0x28;
    tga.data = {10, 20, 30, 0, 40, 50, 60, 128};
    Image alpha;
    ASSERT_TRUE(Decode(DecodeTga, Write(tga), alpha.get()));
    EXPECT_EQ(alpha->bitsPerPixel, 32);
    EXPECT_TRUE(alpha->hasAlpha);
    EXPECT_EQ(Rgb(alpha.image, 1, 0), 0x3C3228u);
    EXPECT_EQ(AlphaAt(alpha.image, 0, 0), 0);
    EXPECT_EQ(AlphaAt(alpha.image, 1, 0), 128);

    // Alpha declared but zero everywhere: taken as absent, not as an invisible image.
    tga.data = {10, 20, 30, 0, 40, 50, 60, 0};
    Image zero;
    ASSERT_TRUE(Decode(DecodeTga, Write(tga), zero.get()));
    EXPECT_EQ(zero->bitsPerPixel, 24);
    EXPECT_FALSE(zero->hasAlpha);
    EXPECT_EQ(Rgb(zero.image, 0, 0), 0x1E140Au);

    // No alpha bits: the fourth byte is padding.
    tga.descriptor = 0x20;
    tga.data = {10, 20, 30, 77, 40, 50, 60, 0};
    Image none;
    ASSERT_TRUE(Decode(DecodeTga, Write(tga), none.get()));
    EXPECT_EQ(none->bitsPerPixel, 24);
}

TEST(TgaReader, ExpandsSixteenBitPixels) {
    Tga tga;
    tga.width = 3;
    tga.height = 1;
    tga.depth = 16;
    tga.descriptor = 0x21;  // one alpha bit
    tga.data = {0x00, 0xFC, 0x1F, 0x00, 0x10, 0x80};  // opaque red, clear blue, opaque blue 16/31
    Image image;
    ASSERT_TRUE(Decode(DecodeTga, Write(tga), image.get()));
    EXPECT_EQ(image->bitsPerPixel, 32);
    EXPECT_EQ(Rgb(image.image, 0, 0), 0xFF0000u);
    EXPECT_EQ(AlphaAt(image.image, 0, 0), 255);
    EXPECT_EQ(AlphaAt(image.image, 1, 0), 0);
    EXPECT_EQ(Rgb(image.image, 2, 0), 0x000084u);
    tga.descriptor = 0x20;
    Image opaque;
    ASSERT_TRUE(Decode(DecodeTga, Write(tga), opaque.get()));
    EXPECT_EQ(opaque->bitsPerPixel, 24);
}

TEST(TgaReader, RunLengthPacketsMayRunOnToTheNextRow) {
    Tga tga = Tga24(0x20);
    tga.type = 10;
    tga.data = {0x84, 0, 0, 255,  // five reds, over the row end
                0x00, 9, 8, 7};   // one raw pixel
    Image image;
    ASSERT_TRUE(Decode(DecodeTga, Write(tga), image.get()));
    ExpectWellFormed(image.image);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(Rgb(image.image, i % 3, i / 3), 0xFF0000u) << i;
    EXPECT_EQ(Rgb(image.image, 2, 1), 0x070809u);

    Tga bottomUp = Tga24(0);
    bottomUp.type = 10;
    bottomUp.data = {0x02, 255, 255, 255, 0, 0, 0, 128, 128, 128, 0x82, 0, 0, 255};
    Image image2;
    ASSERT_TRUE(Decode(DecodeTga, Write(bottomUp), image2.get()));
    EXPECT_EQ(Rgb(image2.image, 2, 1), 0x808080u);
    EXPECT_EQ(Rgb(image2.image, 1, 0), 0xFF0000u);
}

TEST(TgaReader, KeepsGreyAndColourMappedImagesAtEightBits) {
    Tga grey;
    grey.type = 3;
    grey.width = 2;
    grey.height = 2;
    grey.depth = 8;
    grey.descriptor = 0x20;
    grey.data = {0, 128, 255, 7};
    Image g;
    ASSERT_TRUE(Decode(DecodeTga, Write(grey), g.get()));
    EXPECT_EQ(g->bitsPerPixel, 8);
    EXPECT_EQ(g->paletteSize, 256);
    EXPECT_EQ(IndexAt(g.image, 1, 0), 128);
    EXPECT_EQ(Rgb(g.image, 1, 0), 0x808080u);
    EXPECT_EQ(IndexAt(g.image, 0, 1), 255);

    grey.type = 11;
    grey.data = {0x81, 200, 0x81, 50};
    Image gr;
    ASSERT_TRUE(Decode(DecodeTga, Write(grey), gr.get()));
    EXPECT_EQ(IndexAt(gr.image, 1, 0), 200);
    EXPECT_EQ(IndexAt(gr.image, 0, 1), 50);

    Tga mapped;
    mapped.type = 1;
    mapped.width = 3;
    mapped.height = 1;
    mapped.depth = 8;
    mapped.mapType = 1;
    mapped.mapFirst = 2;
    mapped.mapLength = 2;
    mapped.mapBits = 24;
    mapped.map = {255, 0, 0, 0, 255, 0};  // entry 2 blue, entry 3 green
    mapped.data = {2, 3, 0};
    Image m;
    ASSERT_TRUE(Decode(DecodeTga, Write(mapped), m.get()));
    EXPECT_EQ(m->bitsPerPixel, 8);
    EXPECT_EQ(m->paletteSize, 4);
    EXPECT_FALSE(m->hasAlpha);
    EXPECT_EQ(Rgb(m.image, 0, 0), 0x0000FFu);
    EXPECT_EQ(Rgb(m.image, 1, 0), 0x00FF00u);
    EXPECT_EQ(Rgb(m.image, 2, 0), 0u);  // outside the map: black

    mapped.type = 9;
    mapped.mapBits = 32;
    mapped.descriptor = 8;
    mapped.map = {255, 0, 0, 255, 0, 255, 0, 64};
    mapped.data = {0x82, 3};
    Image mr;
    ASSERT_TRUE(Decode(DecodeTga, Write(mapped), mr.get()));
    EXPECT_TRUE(mr->hasAlpha);
    EXPECT_EQ(AlphaAt(mr.image, 2, 0), 64);
    EXPECT_EQ(Rgb(mr.image, 2, 0), 0x00FF00u);
    ASSERT_TRUE(ExpandToTrueColour(mr.get()));
    EXPECT_EQ(mr->bitsPerPixel, 32);
    EXPECT_EQ(AlphaAt(mr.image, 0, 0), 64);
    EXPECT_EQ(Rgb(mr.image, 0, 0), 0x00FF00u);
}

TEST(TgaReader, SkipsTheIdFieldAndAnUnusedColourMap) {
    Tga tga = Tga24(0x20);
    tga.id = {'h', 'e', 'l', 'l', 'o'};
    tga.mapType = 1;
    tga.mapLength = 2;
    tga.mapBits = 16;
    tga.map = {1, 2, 3, 4};
    Image image;
    ASSERT_TRUE(Decode(DecodeTga, Write(tga), image.get()));
    ExpectRedGreenBlueWhiteBlackGrey(image.image);
}

TEST(TgaReader, RefusesEveryTruncation) {
    Tga rle = Tga24(0);
    rle.type = 10;
    rle.data = {0x02, 255, 255, 255, 0, 0, 0, 128, 128, 128, 0x82, 0, 0, 255};
    Tga mapped;
    mapped.type = 1;
    mapped.width = 2;
    mapped.height = 2;
    mapped.depth = 8;
    mapped.mapType = 1;
    mapped.mapLength = 2;
    mapped.mapBits = 24;
    mapped.map = {1, 2, 3, 4, 5, 6};
    mapped.data = {0, 1, 1, 0};
    ExpectEveryTruncationRefused(DecodeTga, Write(Tga24(0)), "24-bit");
    ExpectEveryTruncationRefused(DecodeTga, Write(rle), "RLE");
    ExpectEveryTruncationRefused(DecodeTga, Write(mapped), "colour-mapped");
}

TEST(TgaReader, RefusesMalformedHeaders) {
    const Tga good = Tga24(0);
    ASSERT_TRUE(Accepts(DecodeTga, Write(good)));
    auto changed = [&](auto change) {
        Tga tga = good;
        change(tga);
        return Write(tga);
    };
    EXPECT_FALSE(Accepts(DecodeTga, changed([](Tga& t) { t.type = 0; })));
    EXPECT_FALSE(Accepts(DecodeTga, changed([](Tga& t) { t.type = 32; })));
    EXPECT_FALSE(Accepts(DecodeTga, changed([](Tga& t) { t.type = 1; }))) << "colour-mapped without a map";
    EXPECT_FALSE(Accepts(DecodeTga, changed([](Tga& t) { t.depth = 8; })));
    EXPECT_FALSE(Accepts(DecodeTga, changed([](Tga& t) { t.depth = 25; })));
    EXPECT_FALSE(Accepts(DecodeTga, changed([](Tga& t) { t.descriptor = 8; }))) << "alpha bits on 24-bit pixels";
    EXPECT_FALSE(Accepts(DecodeTga, changed([](Tga& t) { t.descriptor = 0x40; }))) << "interleaved";
    EXPECT_FALSE(Accepts(DecodeTga, changed([](Tga& t) { t.mapType = 2; })));
    EXPECT_FALSE(Accepts(DecodeTga, changed([](Tga& t) { t.mapLength = 3; }))) << "map fields without a map";
    EXPECT_FALSE(Accepts(DecodeTga, changed([](Tga& t) {
        t.mapType = 1;
        t.mapLength = 1;
        t.mapBits = 8;
        t.map = {0};
    }))) << "map entries of 8 bits";
    EXPECT_FALSE(Accepts(DecodeTga, changed([](Tga& t) { t.width = 0; })));
    EXPECT_FALSE(Accepts(DecodeTga, changed([](Tga& t) { t.height = 0; })));
    EXPECT_FALSE(Accepts(DecodeTga, changed([](Tga& t) { t.width = 40000; })));
    EXPECT_FALSE(Accepts(DecodeTga, changed([](Tga& t) {
        t.width = 30000;
        t.height = 30000;
    }))) << "more pixels than allowed";
    EXPECT_FALSE(Accepts(DecodeTga, changed([](Tga& t) {
        t.width = 30000;
        t.type = 10;
    }))) << "too little data even for runs";
}

TEST(TgaReader, RefusesRunsPastTheLastPixel) {
    Tga tga = Tga24(0);
    tga.type = 10;
    tga.data = {0x85, 1, 2, 3};  // six pixels: exactly the image
    ASSERT_TRUE(Accepts(DecodeTga, Write(tga)));
    tga.data = {0x86, 1, 2, 3};
    EXPECT_FALSE(Accepts(DecodeTga, Write(tga))) << "run of seven";
    tga.data = {0x84, 1, 2, 3, 0x01, 1, 2, 3, 4, 5, 6};
    EXPECT_FALSE(Accepts(DecodeTga, Write(tga))) << "raw packet of two after five";
}

TEST(TgaReader, SurvivesRandomDamage) {
    Tga rle = Tga24(0);
    rle.type = 10;
    rle.data = {0x02, 255, 255, 255, 0, 0, 0, 128, 128, 128, 0x82, 0, 0, 255};
    Damage(DecodeTga, Write(Tga24(0x20)), 2000, 5);
    Damage(DecodeTga, Write(rle), 2000, 6);
}

// --- detection and dispatch ----------------------------------------------------------------

TEST(ImageDetection, KnowsTgaOnlyByAValidHeaderWithEnoughData) {
    const Bytes tga = Write(Tga24(0));
    EXPECT_EQ(DetectImageFormat(tga.data(), tga.size()), ImageFormat::Tga);
    EXPECT_EQ(DetectImageFormat(tga.data(), tga.size() - 1), ImageFormat::Unknown);
    const Bytes zeros(64, 0);
    EXPECT_EQ(DetectImageFormat(zeros.data(), zeros.size()), ImageFormat::Unknown);
    const char text[] = "Hello, this is not an image at all; it is plain text.";
    EXPECT_EQ(DetectImageFormat(text, sizeof text), ImageFormat::Unknown);
    const Bytes bmp = Write(Bmp8());
    EXPECT_EQ(DetectImageFormat(bmp.data(), bmp.size()), ImageFormat::Bmp);
    EXPECT_EQ(DetectImageFormat(nullptr, 100), ImageFormat::Unknown);

    Image image;
    EXPECT_FALSE(Decode(DecodeImage, Bytes(text, text + sizeof text), image.get()));
    ASSERT_TRUE(Decode(DecodeImage, tga, image.get()));
    ExpectRedGreenBlueWhiteBlackGrey(image.image);
}

TEST(ImageDetection, MemoryImagesOfUnknownSizeAreReadOnlyAsFarAsTheirHeaders) {
    // The caller claims far more bytes than the block holds; nothing past the
    // image may be read (the copy is exactly the image's size).
    for (const Bytes& bytes : {Write(Bmp24(false)), Write(BmpRle8()), Write(Tga24(0))}) {
        Image image;
        EXPECT_TRUE(Decode(DecodeImage, bytes, image.get(), bytes.size(), 10000000));
    }
}

TEST(ImageDetection, RefusesNullArgumentsWithAClearedRecord) {
    const Bytes bmp = Write(Bmp8());
    DecodedImage image;
    std::memset(&image, 0x5A, sizeof image);
    EXPECT_FALSE(DecodeImage(nullptr, 100, &image));
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.width, 0);
    for (Decoder decoder : {DecodeImage, DecodeBmp, DecodeTga, DecodePng, DecodeJpeg, DecodeTiff}) {
        EXPECT_FALSE(decoder(bmp.data(), bmp.size(), nullptr));
        EXPECT_FALSE(decoder(nullptr, 0, &image));
        EXPECT_FALSE(decoder(bmp.data(), 0, &image));
    }
    EXPECT_FALSE(ExpandToTrueColour(nullptr));
    FreeDecodedImage(nullptr);
    FreeDecodedImage(&image);
}

TEST(ImageDetection, ExpandsPaletteImagesToTrueColour) {
    Image image;
    ASSERT_TRUE(Decode(DecodeImage, Write(Bmp8()), image.get()));
    ASSERT_TRUE(ExpandToTrueColour(image.get()));
    ExpectWellFormed(image.image);
    EXPECT_EQ(image->bitsPerPixel, 24);
    EXPECT_EQ(image->paletteSize, 0);
    EXPECT_EQ(Rgb(image.image, 0, 0), 0x102030u);
    EXPECT_EQ(Rgb(image.image, 2, 0), 0x00FF7Fu);
    EXPECT_EQ(Rgb(image.image, 4, 1), 0x102030u);
    const std::uint8_t* before = image->pixels;
    ASSERT_TRUE(ExpandToTrueColour(image.get()));  // already true colour: unchanged
    EXPECT_EQ(image->pixels, before);
}

// --- PNG, JPEG and TIFF through the libraries -----------------------------------------------

namespace {

// A temporary folder with exact source images for convert.
class LibraryImages : public ::testing::Test {
protected:
    static std::filesystem::path folder;

    static void SetUpTestSuite() {
        char pattern[] = "/tmp/korrin-images-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        // 4 x 3 colours, exact.
        Bytes ppm = {'P', '6', '\n', '4', ' ', '3', '\n', '2', '5', '5', '\n'};
        for (std::uint32_t c : kColours) {
            ppm.push_back(c >> 16);
            ppm.push_back((c >> 8) & 255);
            ppm.push_back(c & 255);
        }
        WriteFile("colours.ppm", ppm);
        // The same with alpha.
        const std::string pamHeader = "P7\nWIDTH 4\nHEIGHT 3\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
        Bytes pam(pamHeader.begin(), pamHeader.end());
        for (int i = 0; i < 12; ++i) {
            pam.push_back(kColours[i] >> 16);
            pam.push_back((kColours[i] >> 8) & 255);
            pam.push_back(kColours[i] & 255);
            pam.push_back(kAlphas[i]);
        }
        WriteFile("alpha.pam", pam);
        // Binary alpha, for palette transparency.
        for (int i = 0; i < 12; ++i) pam[pamHeader.size() + 4 * i + 3] = kAlphas[i] >= 128 ? 255 : 0;
        WriteFile("binary.pam", pam);
        // 4 x 3 grey levels.
        Bytes pgm = {'P', '5', '\n', '4', ' ', '3', '\n', '2', '5', '5', '\n'};
        for (int v : kGreys) pgm.push_back(v);
        WriteFile("greys.pgm", pgm);
        Bytes bilevel = {'P', '5', '\n', '4', ' ', '3', '\n', '2', '5', '5', '\n'};
        for (int v : kGreys) bilevel.push_back(v >= 128 ? 255 : 0);
        WriteFile("bilevel.pgm", bilevel);
        // 16 x 16 of four flat 8 x 8 quadrants, for JPEG.
        Bytes quads = {'P', '6', '\n', '1', '6', ' ', '1', '6', '\n', '2', '5', '5', '\n'};
        Bytes greyQuads = {'P', '5', '\n', '1', '6', ' ', '1', '6', '\n', '2', '5', '5', '\n'};
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const int q = (y / 8) * 2 + x / 8;
                quads.push_back(kQuadrants[q] >> 16);
                quads.push_back((kQuadrants[q] >> 8) & 255);
                quads.push_back(kQuadrants[q] & 255);
                greyQuads.push_back(kGreyQuadrants[q]);
            }
        WriteFile("quadrants.ppm", quads);
        WriteFile("quadrants.pgm", greyQuads);
    }

    static void TearDownTestSuite() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    static void WriteFile(const std::string& name, const Bytes& bytes) {
        std::ofstream file(folder / name, std::ios::binary);
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    // convert <source> <options> [FORMAT:]<target>, and the target's bytes.
    static Bytes Convert(const std::string& source, const std::string& options, const std::string& target) {
        const std::size_t colon = target.find(':');
        const std::string prefix = colon == std::string::npos ? "" : target.substr(0, colon + 1);
        const std::filesystem::path path = folder / target.substr(colon == std::string::npos ? 0 : colon + 1);
        const std::string command =
            "convert '" + (folder / source).string() + "' " + options + " '" + prefix + path.string() + "' 2>/dev/null";
        if (std::system(command.c_str()) != 0) {
            ADD_FAILURE() << "convert failed: " << command;
            return {};
        }
        std::ifstream file(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    void SetUp() override {
        if (std::system("convert -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "ImageMagick's convert is missing";
    }

    static constexpr std::uint32_t kColours[12] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000, 0x0A141E,
                                                  0xC86432, 0x808080, 0x010203, 0xFAF0E6, 0x0080FF, 0x4D4237};
    static constexpr int kAlphas[12] = {255, 0, 128, 64, 255, 255, 200, 10, 255, 1, 254, 255};
    static constexpr int kGreys[12] = {0, 17, 34, 51, 68, 85, 102, 119, 136, 200, 254, 255};
    static constexpr std::uint32_t kQuadrants[4] = {0xFF0000, 0x00C000, 0x2040FF, 0xC86432};
    static constexpr int kGreyQuadrants[4] = {0, 80, 160, 255};

    static void ExpectColours(const DecodedImage& image) {
        ASSERT_EQ(image.width, 4);
        ASSERT_EQ(image.height, 3);
        for (int i = 0; i < 12; ++i) EXPECT_EQ(Rgb(image, i % 4, i / 4), kColours[i]) << i;
    }
    static void ExpectGreys(const DecodedImage& image) {
        ASSERT_EQ(image.width, 4);
        ASSERT_EQ(image.height, 3);
        ASSERT_EQ(image.bitsPerPixel, 8);
        for (int i = 0; i < 12; ++i) EXPECT_EQ(IndexAt(image, i % 4, i / 4), kGreys[i]) << i;
        EXPECT_EQ(image.palette[200], 0xC8C8C8u);
    }
    static void ExpectQuadrants(const DecodedImage& image, int tolerance) {
        ASSERT_EQ(image.width, 16);
        ASSERT_EQ(image.height, 16);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                EXPECT_TRUE(Near(Rgb(image, x, y), kQuadrants[(y / 8) * 2 + x / 8], tolerance)) << x << "," << y;
    }
};

std::filesystem::path LibraryImages::folder;

// PNG header fields of a fixture, to make sure it is the kind the test is about.
int PngColourType(const Bytes& png) { return png.size() > 28 ? png[25] : -1; }
int PngBitDepth(const Bytes& png) { return png.size() > 28 ? png[24] : -1; }

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

// The PNG with new IHDR dimensions and a matching CRC.
Bytes PngSized(Bytes png, std::uint32_t width, std::uint32_t height) {
    auto big = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) png[at + i] = (v >> (24 - 8 * i)) & 255;
    };
    big(16, width);
    big(20, height);
    big(29, Crc32(png.data() + 12, 17));
    return png;
}

// Offset of the first start-of-frame marker segment of a JPEG, or 0.
std::size_t JpegFrame(const Bytes& jpeg, int* marker = nullptr) {
    std::size_t at = 2;
    while (at + 9 < jpeg.size() && jpeg[at] == 0xFF) {
        const int m = jpeg[at + 1];
        if (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC) {
            if (marker) *marker = m;
            return at;
        }
        at += 2 + ((jpeg[at + 2] << 8) | jpeg[at + 3]);
    }
    return 0;
}

// The value of a tag of a little-endian TIFF's first directory (-1: absent),
// or, with `patch`, the file with that tag's value replaced.
long TiffTag(Bytes& tiff, int tag, long patch = -1) {
    if (tiff.size() < 8 || tiff[0] != 'I') return -1;
    auto u16 = [&](std::size_t at) { return tiff[at] | (tiff[at + 1] << 8); };
    auto u32 = [&](std::size_t at) { return static_cast<std::uint32_t>(u16(at) | (u16(at + 2) << 16)); };
    const std::uint32_t directory = u32(4);
    const int count = u16(directory);
    for (int i = 0; i < count; ++i) {
        const std::size_t entry = directory + 2 + 12 * i;
        if (u16(entry) != tag) continue;
        const int type = u16(entry + 2);
        if (patch >= 0) {
            if (type == 3) {
                tiff[entry + 8] = patch & 255;
                tiff[entry + 9] = (patch >> 8) & 255;
            } else {
                Set32(tiff, entry + 8, static_cast<std::uint32_t>(patch));
            }
        }
        return type == 3 ? u16(entry + 8) : static_cast<long>(u32(entry + 8));
    }
    return -1;
}

}  // namespace

TEST_F(LibraryImages, PngKeepsGreyAndPaletteImagesAtEightBits) {
    const Bytes grey = Convert("greys.pgm", "-define png:color-type=0 -define png:bit-depth=8", "grey.png");
    ASSERT_EQ(PngColourType(grey), 0);
    Image g;
    ASSERT_TRUE(Decode(DecodePng, grey, g.get()));
    ExpectWellFormed(g.image);
    ExpectGreys(g.image);
    EXPECT_FALSE(g->hasAlpha);

    const Bytes oneBit = Convert("bilevel.pgm", "-define png:color-type=0 -define png:bit-depth=1", "bilevel.png");
    ASSERT_EQ(PngBitDepth(oneBit), 1);
    Image b;
    ASSERT_TRUE(Decode(DecodePng, oneBit, b.get()));
    EXPECT_EQ(b->bitsPerPixel, 8);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(IndexAt(b.image, i % 4, i / 4), kGreys[i] >= 128 ? 255 : 0) << i;

    const Bytes palette = Convert("colours.ppm", "", "PNG8:palette.png");
    ASSERT_EQ(PngColourType(palette), 3);
    Image p;
    ASSERT_TRUE(Decode(DecodePng, palette, p.get()));
    ExpectWellFormed(p.image);
    EXPECT_EQ(p->bitsPerPixel, 8);
    EXPECT_GE(p->paletteSize, 12);
    EXPECT_FALSE(p->hasAlpha);
    ExpectColours(p.image);

    const Bytes transparent = Convert("binary.pam", "", "PNG8:transparent.png");
    ASSERT_EQ(PngColourType(transparent), 3);
    Image t;
    ASSERT_TRUE(Decode(DecodePng, transparent, t.get()));
    EXPECT_EQ(t->bitsPerPixel, 8);
    EXPECT_TRUE(t->hasAlpha);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(AlphaAt(t.image, i % 4, i / 4), kAlphas[i] >= 128 ? 255 : 0) << i;
    EXPECT_EQ(Rgb(t.image, 0, 0), 0xFF0000u);
}

TEST_F(LibraryImages, PngTrueColourBecomesBgrOrBgra) {
    const Bytes rgb = Convert("colours.ppm", "", "PNG24:rgb.png");
    ASSERT_EQ(PngColourType(rgb), 2);
    Image c;
    ASSERT_TRUE(Decode(DecodePng, rgb, c.get()));
    ExpectWellFormed(c.image);
    EXPECT_EQ(c->bitsPerPixel, 24);
    ExpectColours(c.image);

    const Bytes deep = Convert("colours.ppm", "-depth 16", "PNG48:deep.png");
    ASSERT_EQ(PngBitDepth(deep), 16);
    Image d;
    ASSERT_TRUE(Decode(DecodePng, deep, d.get()));
    EXPECT_EQ(d->bitsPerPixel, 24);
    ExpectColours(d.image);

    const Bytes interlaced = Convert("colours.ppm", "-interlace PNG", "PNG24:interlaced.png");
    ASSERT_EQ(interlaced.size() > 28 ? interlaced[28] : 0, 1);
    Image i;
    ASSERT_TRUE(Decode(DecodePng, interlaced, i.get()));
    ExpectColours(i.image);

    const Bytes rgba = Convert("alpha.pam", "", "PNG32:rgba.png");
    ASSERT_EQ(PngColourType(rgba), 6);
    Image a;
    ASSERT_TRUE(Decode(DecodePng, rgba, a.get()));
    ExpectWellFormed(a.image);
    EXPECT_EQ(a->bitsPerPixel, 32);
    EXPECT_TRUE(a->hasAlpha);
    for (int k = 0; k < 12; ++k) {
        EXPECT_EQ(AlphaAt(a.image, k % 4, k / 4), kAlphas[k]) << k;
        if (kAlphas[k]) {
            EXPECT_EQ(Rgb(a.image, k % 4, k / 4), kColours[k]) << k;  // straight, not premultiplied
        }
    }

    const Bytes greyAlpha = Convert("alpha.pam", "-colorspace Gray -define png:color-type=4", "greyalpha.png");
    ASSERT_EQ(PngColourType(greyAlpha), 4);
    Image ga;
    ASSERT_TRUE(Decode(DecodePng, greyAlpha, ga.get()));
    EXPECT_EQ(ga->bitsPerPixel, 32);
    EXPECT_EQ(AlphaAt(ga.image, 2, 0), 128);
    const std::uint32_t px = Rgb(ga.image, 3, 0);
    EXPECT_EQ(px & 0xFF, (px >> 8) & 0xFF);  // grey: equal channels
}

TEST_F(LibraryImages, PngRefusesTruncationAndHugeSizes) {
    const Bytes png = Convert("alpha.pam", "", "PNG32:cut.png");
    ASSERT_FALSE(png.empty());
    ExpectEveryTruncationRefused(DecodePng, png, "PNG");
    EXPECT_TRUE(Accepts(DecodePng, PngSized(png, 4, 3)));
    EXPECT_FALSE(Accepts(DecodePng, PngSized(png, 40000, 3)));
    EXPECT_FALSE(Accepts(DecodePng, PngSized(png, 30000, 30000)));
    EXPECT_FALSE(Accepts(DecodePng, PngSized(png, 0, 3)));
    EXPECT_FALSE(Accepts(DecodePng, PngSized(png, 4, 300)));  // too little image data
    Damage(DecodePng, png, 1500, 7);
    Damage(DecodePng, Convert("colours.ppm", "", "PNG8:damage.png"), 1500, 8);
}

TEST_F(LibraryImages, JpegDecodesColourAndGreyWithinTolerance) {
    const Bytes colour = Convert("quadrants.ppm", "-quality 95 -sampling-factor 1x1", "colour.jpg");
    Image c;
    ASSERT_TRUE(Decode(DecodeJpeg, colour, c.get()));
    ExpectWellFormed(c.image);
    EXPECT_EQ(c->bitsPerPixel, 24);
    ExpectQuadrants(c.image, 8);

    int marker = 0;
    const Bytes progressive = Convert("quadrants.ppm", "-quality 95 -interlace JPEG", "progressive.jpg");
    ASSERT_NE(JpegFrame(progressive, &marker), 0u);
    ASSERT_EQ(marker, 0xC2);
    Image p;
    ASSERT_TRUE(Decode(DecodeJpeg, progressive, p.get()));
    ExpectQuadrants(p.image, 12);

    const Bytes grey = Convert("quadrants.pgm", "-quality 95", "grey.jpg");
    const std::size_t frame = JpegFrame(grey);
    ASSERT_NE(frame, 0u);
    ASSERT_EQ(grey[frame + 9], 1) << "one component";
    Image g;
    ASSERT_TRUE(Decode(DecodeJpeg, grey, g.get()));
    EXPECT_EQ(g->bitsPerPixel, 8);
    EXPECT_EQ(g->paletteSize, 256);
    for (int q = 0; q < 4; ++q) EXPECT_NEAR(IndexAt(g.image, (q % 2) * 8 + 3, (q / 2) * 8 + 3), kGreyQuadrants[q], 4) << q;

    const Bytes cmyk = Convert("quadrants.ppm", "-colorspace CMYK -quality 95", "cmyk.jpg");
    const std::size_t cmykFrame = JpegFrame(cmyk);
    ASSERT_NE(cmykFrame, 0u);
    ASSERT_EQ(cmyk[cmykFrame + 9], 4) << "four components";
    Image k;
    ASSERT_TRUE(Decode(DecodeJpeg, cmyk, k.get()));
    EXPECT_EQ(k->bitsPerPixel, 24);
    ExpectQuadrants(k.image, 12);
}

TEST_F(LibraryImages, JpegRefusesTruncationAndHugeSizes) {
    const Bytes jpeg = Convert("quadrants.ppm", "-quality 90", "cut.jpg");
    const std::size_t frame = JpegFrame(jpeg);
    ASSERT_NE(frame, 0u);
    ExpectEveryTruncationRefused(DecodeJpeg, jpeg, "JPEG");
    auto sized = [&](int width, int height) {
        Bytes b = jpeg;
        b[frame + 5] = height >> 8;
        b[frame + 6] = height & 255;
        b[frame + 7] = width >> 8;
        b[frame + 8] = width & 255;
        return b;
    };
    EXPECT_TRUE(Accepts(DecodeJpeg, sized(16, 16)));
    EXPECT_FALSE(Accepts(DecodeJpeg, sized(40000, 16)));
    EXPECT_FALSE(Accepts(DecodeJpeg, sized(30000, 30000)));
    EXPECT_FALSE(Accepts(DecodeJpeg, sized(0, 16)));
    EXPECT_FALSE(Accepts(DecodeJpeg, sized(16, 4000))) << "data for 16 rows of 4000";
    Damage(DecodeJpeg, jpeg, 1500, 9);
}

TEST_F(LibraryImages, TiffDecodesStripsTilesGreyPaletteAndAlpha) {
    for (const char* options : {"-compress None", "-compress LZW", "-compress Zip", "-define tiff:tile-geometry=16x16"}) {
        Bytes tiff = Convert("colours.ppm", options, "rgb.tif");
        ASSERT_EQ(TiffTag(tiff, 262), 2) << options;  // RGB
        Image image;
        ASSERT_TRUE(Decode(DecodeTiff, tiff, image.get())) << options;
        ExpectWellFormed(image.image);
        EXPECT_EQ(image->bitsPerPixel, 24);
        ExpectColours(image.image);
    }

    Bytes grey = Convert("greys.pgm", "-depth 8", "grey.tif");
    ASSERT_EQ(TiffTag(grey, 262), 1);  // black is zero
    Image g;
    ASSERT_TRUE(Decode(DecodeTiff, grey, g.get()));
    ExpectGreys(g.image);

    Bytes white = Convert("greys.pgm", "-depth 8 -define quantum:polarity=min-is-white", "white.tif");
    ASSERT_EQ(TiffTag(white, 262), 0);  // white is zero
    ASSERT_EQ(white[static_cast<std::size_t>(TiffTag(white, 273)) + 1], kGreys[1]);  // same bytes, other meaning
    Image w;
    ASSERT_TRUE(Decode(DecodeTiff, white, w.get()));
    EXPECT_EQ(w->bitsPerPixel, 8);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(IndexAt(w.image, i % 4, i / 4), 255 - kGreys[i]) << i;

    Bytes fax = Convert("bilevel.pgm", "-compress Group4", "fax.tif");
    ASSERT_EQ(TiffTag(fax, 258), 1);  // one bit per pixel, white is zero
    ASSERT_EQ(TiffTag(fax, 262), 0);
    Image f;
    ASSERT_TRUE(Decode(DecodeTiff, fax, f.get()));
    EXPECT_EQ(f->bitsPerPixel, 8);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(IndexAt(f.image, i % 4, i / 4), kGreys[i] >= 128 ? 255 : 0) << i;

    Bytes palette = Convert("colours.ppm", "-type Palette", "palette.tif");
    ASSERT_EQ(TiffTag(palette, 262), 3);
    Image p;
    ASSERT_TRUE(Decode(DecodeTiff, palette, p.get()));
    EXPECT_EQ(p->bitsPerPixel, 8);
    // convert's quantiser may merge 010203 into black.
    for (int i = 0; i < 12; ++i) EXPECT_TRUE(Near(Rgb(p.image, i % 4, i / 4), kColours[i], 3)) << i;

    Bytes rgba = Convert("alpha.pam", "-alpha on", "rgba.tif");
    ASSERT_EQ(TiffTag(rgba, 277), 4);  // four samples
    Image a;
    ASSERT_TRUE(Decode(DecodeTiff, rgba, a.get()));
    EXPECT_EQ(a->bitsPerPixel, 32);
    EXPECT_TRUE(a->hasAlpha);
    for (int k = 0; k < 12; ++k) {
        EXPECT_EQ(AlphaAt(a.image, k % 4, k / 4), kAlphas[k]) << k;
        // Straight alpha again after libtiff's premultiplication: exact enough where alpha is not tiny.
        if (kAlphas[k] >= 64) {
            EXPECT_TRUE(Near(Rgb(a.image, k % 4, k / 4), kColours[k], 2)) << k;
        }
    }
}

TEST_F(LibraryImages, TiffRefusesDamageAndHugeSizes) {
    Bytes tiff = Convert("colours.ppm", "-compress None", "cut.tif");
    ASSERT_EQ(TiffTag(tiff, 256), 4);
    const long stripOffset = TiffTag(tiff, 273);
    ASSERT_GT(stripOffset, 0);
    // Cut inside the pixels, or anywhere before them: refused.
    for (std::size_t n = 0; n < static_cast<std::size_t>(stripOffset) + 36; ++n)
        if (n < 8 || n > static_cast<std::size_t>(stripOffset)) {
            EXPECT_FALSE(Accepts(DecodeTiff, tiff, n)) << n;
        }
    // Any other cut: whatever the library makes of it, cleanly.
    for (std::size_t n = 0; n < tiff.size(); ++n) {
        Image image;
        if (Decode(DecodeTiff, tiff, image.get(), n)) ExpectWellFormed(image.image);
    }
    Bytes wide = tiff;
    TiffTag(wide, 256, 40000);
    EXPECT_FALSE(Accepts(DecodeTiff, wide));
    Bytes huge = tiff;
    TiffTag(huge, 256, 30000);
    TiffTag(huge, 257, 30000);
    EXPECT_FALSE(Accepts(DecodeTiff, huge));
    Bytes tall = tiff;
    TiffTag(tall, 257, 3000);  // more rows than the strips hold
    EXPECT_FALSE(Accepts(DecodeTiff, tall));
    Damage(DecodeTiff, tiff, 1500, 10);
    Damage(DecodeTiff, Convert("colours.ppm", "-compress LZW", "damage.tif"), 1500, 11);
}

TEST_F(LibraryImages, DecodeImageDispatchesByContent) {
    struct Case {
        const char* source;
        const char* options;
        const char* target;
        ImageFormat format;
    };
    const Case cases[] = {
        {"colours.ppm", "", "PNG24:d.png", ImageFormat::Png},
        {"quadrants.ppm", "-quality 95", "d.jpg", ImageFormat::Jpeg},
        {"colours.ppm", "-compress None", "d.tif", ImageFormat::Tiff},
        {"colours.ppm", "", "d.bmp", ImageFormat::Bmp},
    };
    for (const Case& c : cases) {
        const Bytes bytes = Convert(c.source, c.options, c.target);
        EXPECT_EQ(DetectImageFormat(bytes.data(), bytes.size()), c.format) << c.target;
        Image image;
        ASSERT_TRUE(Decode(DecodeImage, bytes, image.get())) << c.target;
        ExpectWellFormed(image.image);
        if (c.format == ImageFormat::Jpeg)
            ExpectQuadrants(image.image, 8);
        else
            ExpectColours(image.image);
    }
    // A PNG memory image whose size the caller does not know.
    const Bytes png = Convert("alpha.pam", "", "PNG32:unknown.png");
    Image image;
    EXPECT_TRUE(Decode(DecodeImage, png, image.get(), png.size(), 10000000));
}

// A PNG whose text chunk claims 1.6 GB: libpng must not be allowed to ask for
// that much (found by the fuzzer); the image is refused.
TEST(PngLimits, AChunkClaimingGigabytesIsRefusedWithoutAllocatingThem) {
    static const unsigned char png[] = {
        0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00,
        0x00, 0x08, 0x00, 0x00, 0x00, 0x08, 0x08, 0x00, 0x00, 0x00, 0x00, 0xe1, 0x64, 0xe1, 0x57, 0x00, 0x00, 0x00,
        0x04, 0x67, 0x41, 0x4d, 0x41, 0x00, 0xf6, 0x00, 0x8f, 0x0b, 0xfc, 0x61, 0x05, 0x00, 0x00, 0x00, 0x02, 0x62,
        0x4b, 0x47, 0x44, 0x00, 0xff, 0x87, 0x8f, 0xcc, 0xbf, 0x00, 0x00, 0x00, 0x07, 0x74, 0x49, 0x4d, 0x45, 0x07,
        0xea, 0x0c, 0x08, 0x02, 0x30, 0x74, 0x45, 0x58, 0x74, 0x64, 0x61, 0x00, 0x00, 0x25, 0x74, 0x45, 0x58, 0x74,
        0x64, 0x61, 0x74, 0x65, 0x3a, 0x6d, 0x6f, 0x64, 0x69, 0x66, 0x79, 0x00, 0x32, 0x30, 0x32, 0x36, 0x2d, 0x31,
        0x32, 0x2d, 0x30, 0x38, 0x54, 0x30, 0x32, 0x3a, 0x34, 0x30, 0x3a, 0x33, 0x30, 0x2b, 0x30, 0x30, 0x3a, 0x30,
        0x30, 0x20, 0x2d, 0xa7, 0xe8, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
    std::vector<unsigned char> exact(png, png + sizeof png);
    korrin::DecodedImage image;
    EXPECT_FALSE(korrin::DecodeImage(exact.data(), exact.size(), &image));
}
