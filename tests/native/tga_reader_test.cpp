// The TGA reader, on images written byte by byte: origins, alpha, 16-bit
// pixels, run-length packets, grey and colour-mapped images, and malformed
// files refused without a sanitizer report.
#include "image_decoder_helpers.h"

using namespace korrin;
using namespace decoder_test;

// --- TGA -------------------------------------------------------------------------------

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
    Tga tga(2, 2, 1, 32);
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
    Tga tga(2, 3, 1, 16);
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
    Tga grey(3, 2, 2, 8);
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

    Tga mapped(1, 3, 1, 8);
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
    Tga mapped(1, 2, 2, 8);
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
