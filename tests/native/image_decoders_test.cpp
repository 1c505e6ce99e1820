// Image detection and dispatch: which reader an image goes to, how far a
// memory image of unknown size is read, and what null arguments give. The
// readers themselves are tested in bmp_reader_test, tga_reader_test and
// library_images_test (one program).
#include "image_decoder_helpers.h"

using namespace korrin;
using namespace decoder_test;

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
