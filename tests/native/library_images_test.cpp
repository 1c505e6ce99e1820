// PNG, JPEG and TIFF through the libraries, on images that ImageMagick's
// convert makes at test time from exact sources; truncated, damaged and
// oversized images refused without a sanitizer report.
#include "image_decoder_helpers.h"

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>

using namespace korrin;
using namespace decoder_test;

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
    // An image made by convert, the header field that shows it is the kind
    // wanted (none: null), and what it decodes to.
    struct DecodeCase {
        const char* source;
        const char* options;
        const char* target;
        int (*header)(const Bytes&);
        int headerValue;
        int bitsPerPixel;
        bool hasAlpha;
        void (*check)(const DecodedImage&);
    };
    static void DecodeEach(Decoder decoder, std::initializer_list<DecodeCase> cases) {
        for (const DecodeCase& c : cases) {
            SCOPED_TRACE(c.target);
            const Bytes file = Convert(c.source, c.options, c.target);
            if (c.header) {
                ASSERT_EQ(c.header(file), c.headerValue);
            }
            Image image;
            ASSERT_TRUE(Decode(decoder, file, image.get()));
            ExpectWellFormed(image.image);
            EXPECT_EQ(image->bitsPerPixel, c.bitsPerPixel);
            EXPECT_EQ(image->hasAlpha, c.hasAlpha);
            c.check(image.image);
        }
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
int PngInterlace(const Bytes& png) { return png.size() > 28 ? png[28] : -1; }

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

// The marker of the first start-of-frame segment (0: none), and the number of
// components it declares (-1: no frame).
int JpegFrameMarker(const Bytes& jpeg) {
    int marker = 0;
    JpegFrame(jpeg, &marker);
    return marker;
}
int JpegComponents(const Bytes& jpeg) {
    const std::size_t frame = JpegFrame(jpeg);
    return frame ? jpeg[frame + 9] : -1;
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
    DecodeEach(DecodePng, {
        {"greys.pgm", "-define png:color-type=0 -define png:bit-depth=8", "grey.png", PngColourType, 0, 8, false,
         [](const DecodedImage& g) { ExpectGreys(g); }},
        {"bilevel.pgm", "-define png:color-type=0 -define png:bit-depth=1", "bilevel.png", PngBitDepth, 1, 8, false,
         [](const DecodedImage& b) {
             for (int i = 0; i < 12; ++i) EXPECT_EQ(IndexAt(b, i % 4, i / 4), kGreys[i] >= 128 ? 255 : 0) << i;
         }},
        {"colours.ppm", "", "PNG8:palette.png", PngColourType, 3, 8, false,
         [](const DecodedImage& p) {
             EXPECT_GE(p.paletteSize, 12);
             ExpectColours(p);
         }},
        {"binary.pam", "", "PNG8:transparent.png", PngColourType, 3, 8, true,
         [](const DecodedImage& t) {
             for (int i = 0; i < 12; ++i) EXPECT_EQ(AlphaAt(t, i % 4, i / 4), kAlphas[i] >= 128 ? 255 : 0) << i;
             EXPECT_EQ(Rgb(t, 0, 0), 0xFF0000u);
         }},
    });
}

TEST_F(LibraryImages, PngTrueColourBecomesBgrOrBgra) {
    DecodeEach(DecodePng, {
        {"colours.ppm", "", "PNG24:rgb.png", PngColourType, 2, 24, false, ExpectColours},
        {"colours.ppm", "-depth 16", "PNG48:deep.png", PngBitDepth, 16, 24, false, ExpectColours},
        {"colours.ppm", "-interlace PNG", "PNG24:interlaced.png", PngInterlace, 1, 24, false, ExpectColours},
        {"alpha.pam", "", "PNG32:rgba.png", PngColourType, 6, 32, true,
         [](const DecodedImage& a) {
             for (int k = 0; k < 12; ++k) {
                 EXPECT_EQ(AlphaAt(a, k % 4, k / 4), kAlphas[k]) << k;
                 if (kAlphas[k]) {
                     EXPECT_EQ(Rgb(a, k % 4, k / 4), kColours[k]) << k;  // straight, not premultiplied
                 }
             }
         }},
        {"alpha.pam", "-colorspace Gray -define png:color-type=4", "greyalpha.png", PngColourType, 4, 32, true,
         [](const DecodedImage& ga) {
             EXPECT_EQ(AlphaAt(ga, 2, 0), 128);
             const std::uint32_t px = Rgb(ga, 3, 0);
             EXPECT_EQ(px & 0xFF, (px >> 8) & 0xFF);  // grey: equal channels
         }},
    });
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
    DecodeEach(DecodeJpeg, {
        {"quadrants.ppm", "-quality 95 -sampling-factor 1x1", "colour.jpg", nullptr, 0, 24, false,
         [](const DecodedImage& c) { ExpectQuadrants(c, 8); }},
        {"quadrants.ppm", "-quality 95 -interlace JPEG", "progressive.jpg", JpegFrameMarker, 0xC2, 24, false,
         [](const DecodedImage& p) { ExpectQuadrants(p, 12); }},
        {"quadrants.pgm", "-quality 95", "grey.jpg", JpegComponents, 1, 8, false,
         [](const DecodedImage& g) {
             EXPECT_EQ(g.paletteSize, 256);
             for (int q = 0; q < 4; ++q)
                 EXPECT_NEAR(IndexAt(g, (q % 2) * 8 + 3, (q / 2) * 8 + 3), kGreyQuadrants[q], 4) << q;
         }},
        {"quadrants.ppm", "-colorspace CMYK -quality 95", "cmyk.jpg", JpegComponents, 4, 24, false,
         [](const DecodedImage& k) { ExpectQuadrants(k, 12); }},
    });
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
