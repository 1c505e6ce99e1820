// The BMP reader, on images written byte by byte: row orders and padding,
// palette images, 16- and 32-bit masks, run-length data, and malformed files
// of every kind refused without a sanitizer report.
#include "image_decoder_helpers.h"

using namespace korrin;
using namespace decoder_test;

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

    Bmp four(3, 1, 4);
    four.palette.assign(16, 0);
    four.bits = StoreRows({{0xF1, 0x70}}, false);
    Image image4;
    ASSERT_TRUE(Decode(DecodeBmp, Write(four), image4.get()));
    EXPECT_EQ(image4->paletteSize, 16);
    EXPECT_EQ(IndexAt(image4.image, 0, 0), 15);
    EXPECT_EQ(IndexAt(image4.image, 1, 0), 1);
    EXPECT_EQ(IndexAt(image4.image, 2, 0), 7);

    Bmp one(10, -1, 1);
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
    Bmp rgb555(3, 1, 16);
    rgb555.bits = StoreRows({{0xFF, 0x7F, 0x1F, 0x00, 0x10, 0x00}}, false);  // white, blue, blue 16/31
    Image a;
    ASSERT_TRUE(Decode(DecodeBmp, Write(rgb555), a.get()));
    EXPECT_EQ(a->bitsPerPixel, 24);
    EXPECT_EQ(RowRgb(a.image, 0, 3), (Colours{0xFFFFFFu, 0x0000FFu, 0x000084u}));

    Bmp rgb565 = rgb555;
    rgb565.compression = 3;
    rgb565.masks = {0xF800, 0x07E0, 0x001F};
    rgb565.bits = StoreRows({{0x00, 0xF8, 0xE0, 0x07, 0x00, 0x04}}, false);  // red, green, green 32/63
    Image b;
    ASSERT_TRUE(Decode(DecodeBmp, Write(rgb565), b.get()));
    EXPECT_EQ(RowRgb(b.image, 0, 3), (Colours{0xFF0000u, 0x00FF00u, 0x008200u}));
}

TEST(BmpReader, ThirtyTwoBitImagesHaveAlphaOnlyWhenItIsThere) {
    Bmp bmp(2, 1, 32);
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
    Bmp v5(1, -2, 32, 3);
    v5.headerSize = 124;
    v5.masks = {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000};
    v5.bits = {0xFF, 0x00, 0x00, 0x80, 0x00, 0x00, 0xFF, 0xFF};
    Image image5;
    ASSERT_TRUE(Decode(DecodeBmp, Write(v5), image5.get()));
    EXPECT_EQ(image5->bitsPerPixel, 32);
    EXPECT_EQ(Rgb(image5.image, 0, 0), 0xFF0000u);
    EXPECT_EQ(AlphaAt(image5.image, 0, 0), 0x80);
    EXPECT_EQ(Rgb(image5.image, 0, 1), 0x0000FFu);

    // A V4 header with an alpha mask over 16-bit pixels (A1R5G5B5).
    Bmp v4(2, 1, 16, 3);
    v4.headerSize = 108;
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

    Bmp rle4(4, 2, 4, 2);
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

    Bmp masks(1, 1, 16, 3);
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

// --- the file check before the platform loader --------------------------------------

namespace {

// The facts of the last CheckBmpFile call made through a Decoder adapter.
BmpFileCheck& lastCheck() {
    static BmpFileCheck check;
    return check;
}

}  // namespace

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
