// The collision arithmetic against a brute-force model: random masks, clip
// windows and positions, the same image at two positions, and positions and
// sizes at the ends of the int range.
#include "render/Collision.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>
#include <vector>

using korrin::CollisionImage;
using korrin::CollisionRect;
using korrin::OverlapRect;
using korrin::PixelsCollide;

namespace {

// A 16-bit image whose rows are padded beyond its width, as a locked surface's are.
struct Image {
    int imageWidth, imageHeight, pitchWords;
    std::vector<std::uint16_t> words;
    CollisionImage view;  // display size and clip window chosen by the test
};

Image MakeImage(std::mt19937& random, int width, int height, std::uint16_t key, int solidPercent) {
    Image image{width, height, width + 3, {}, {}};
    image.words.assign(static_cast<std::size_t>(image.pitchWords) * height, 0xBEEF);  // padding never read
    std::uniform_int_distribution<int> percent(0, 99);
    std::uniform_int_distribution<int> word(0, 0xFFFF);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint16_t w = key;
            if (percent(random) < solidPercent) {
                do w = static_cast<std::uint16_t>(word(random)); while (w == key);
            }
            image.words[static_cast<std::size_t>(y) * image.pitchWords + x] = w;
        }
    image.view.pixels = reinterpret_cast<const std::uint8_t*>(image.words.data());
    image.view.pitch = image.pitchWords * 2;
    image.view.width = width;
    image.view.height = height;
    image.view.key = key;
    return image;
}

void Clip(Image& image, int x, int y, int width, int height) {
    image.view.clipX = x;
    image.view.clipY = y;
    image.view.width = width;
    image.view.height = height;
}

bool Solid(const Image& image, std::int64_t column, std::int64_t row) {
    return image.words[static_cast<std::size_t>(row * image.pitchWords + column)] != image.view.key;
}

// Every target position covered by both placed clip windows, checked one by one.
bool ModelCollides(const Image& a, std::int64_t x1, std::int64_t y1, const Image& b, std::int64_t x2,
                   std::int64_t y2) {
    for (std::int64_t y = std::min(y1, y2); y < std::max(y1 + a.view.height, y2 + b.view.height); ++y)
        for (std::int64_t x = std::min(x1, x2); x < std::max(x1 + a.view.width, x2 + b.view.width); ++x) {
            const bool inA = x >= x1 && x < x1 + a.view.width && y >= y1 && y < y1 + a.view.height;
            const bool inB = x >= x2 && x < x2 + b.view.width && y >= y2 && y < y2 + b.view.height;
            if (inA && inB && Solid(a, x - x1 + a.view.clipX, y - y1 + a.view.clipY) &&
                Solid(b, x - x2 + b.view.clipX, y - y2 + b.view.clipY))
                return true;
        }
    return false;
}

bool Collides(const Image& a, int x1, int y1, const Image& b, int x2, int y2) {
    CollisionRect overlap;
    if (!OverlapRect(x1, y1, a.view.width, a.view.height, x2, y2, b.view.width, b.view.height, &overlap))
        return false;
    return PixelsCollide(a.view, x1, y1, b.view, x2, y2, overlap);
}

}  // namespace

TEST(OverlapRect, EdgesAreExclusiveAndEmptySizesNeverOverlap) {
    CollisionRect r;
    EXPECT_FALSE(OverlapRect(0, 0, 32, 32, 32, 0, 32, 32, &r)) << "shared edge";
    EXPECT_FALSE(OverlapRect(0, 0, 32, 32, 0, 32, 32, 32, &r));
    ASSERT_TRUE(OverlapRect(0, 0, 32, 32, 31, 31, 32, 32, &r));
    EXPECT_EQ(r.left, 31);
    EXPECT_EQ(r.top, 31);
    EXPECT_EQ(r.right, 32);
    EXPECT_EQ(r.bottom, 32);
    EXPECT_FALSE(OverlapRect(0, 0, 0, 32, 0, 0, 32, 32, &r));
    EXPECT_FALSE(OverlapRect(0, 0, 32, -5, 0, 0, 32, 32, &r));
    EXPECT_FALSE(OverlapRect(0, 0, 32, 32, 0, 0, 32, 32, nullptr));
}

TEST(OverlapRect, FarEdgesDoNotOverflow) {
    CollisionRect r;
    // x + width past INT_MAX would wrap to a negative edge in 32 bits.
    ASSERT_TRUE(OverlapRect(INT_MAX - 2, 0, 10, 10, INT_MAX - 1, 5, 10, 10, &r));
    EXPECT_EQ(r.left, static_cast<std::int64_t>(INT_MAX) - 1);
    EXPECT_EQ(r.right, static_cast<std::int64_t>(INT_MAX) + 8);
    EXPECT_FALSE(OverlapRect(INT_MIN, INT_MIN, INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX, &r));
    EXPECT_TRUE(OverlapRect(INT_MIN, INT_MIN, INT_MAX, INT_MAX, -2, -2, 1, 1, &r));
    EXPECT_FALSE(OverlapRect(INT_MIN, 0, INT_MAX, 1, -1, 0, 1, 1, &r)) << "INT_MIN + INT_MAX = -1 is exclusive";
    EXPECT_FALSE(OverlapRect(INT_MAX, 0, INT_MAX, 1, INT_MIN, 0, INT_MAX, 1, &r));
}

// Random images, clip windows (on `clipEvery`-th rounds not) and positions:
// `collides` must agree with the model, and both answers must be common.
template <class Collides>
void AgreesWithTheModel(Collides collides, unsigned seed, int maxSize, int maxDensity, int maxOffset, int clipEvery,
                        int rounds, int atLeast) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> size(1, maxSize), density(0, maxDensity), offset(-maxOffset, maxOffset);
    int hits = 0, misses = 0;
    for (int round = 0; round < rounds; ++round) {
        Image a = MakeImage(random, size(random), size(random), 0x7C1F, density(random));
        Image b = MakeImage(random, size(random), size(random), static_cast<std::uint16_t>(round & 0x7FFF),
                            density(random));
        for (Image* image : {&a, &b}) {
            std::uniform_int_distribution<int> cx(0, image->imageWidth - 1), cy(0, image->imageHeight - 1);
            const int x = cx(random), y = cy(random);
            std::uniform_int_distribution<int> cw(1, image->imageWidth - x), ch(1, image->imageHeight - y);
            if (round % clipEvery) Clip(*image, x, y, cw(random), ch(random));
        }
        const int x1 = offset(random), y1 = offset(random), x2 = offset(random), y2 = offset(random);
        const bool expected = ModelCollides(a, x1, y1, b, x2, y2);
        ASSERT_EQ(collides(a, x1, y1, b, x2, y2), expected) << "round " << round;
        (expected ? hits : misses) += 1;
    }
    EXPECT_GT(hits, atLeast);
    EXPECT_GT(misses, atLeast);
}

TEST(PixelsCollide, MatchesTheModelOnRandomMasksClipsAndPositions) {
    AgreesWithTheModel(Collides, 20261208, 24, 60, 10, 3, 3000, 300);
}

TEST(PixelsCollide, OneImageAtTwoPositions) {
    std::mt19937 random(7);
    Image image = MakeImage(random, 16, 16, 0, 0);
    EXPECT_FALSE(Collides(image, 0, 0, image, 0, 0)) << "wholly transparent";
    image.words[5 * image.pitchWords + 9] = 0x8000;  // only the top bit: a different word, so solid
    EXPECT_TRUE(Collides(image, 0, 0, image, 0, 0));
    EXPECT_FALSE(Collides(image, 0, 0, image, 1, 0)) << "one solid pixel never meets itself elsewhere";
    for (int round = 0; round < 500; ++round) {
        Image other = MakeImage(random, 12, 9, 0x1234, 15);
        std::uniform_int_distribution<int> offset(-12, 12);
        const int x1 = offset(random), y1 = offset(random), x2 = offset(random), y2 = offset(random);
        ASSERT_EQ(Collides(other, x1, y1, other, x2, y2), ModelCollides(other, x1, y1, other, x2, y2));
    }
}

TEST(PixelsCollide, CornerPixelsDecideADiagonalTouch) {
    std::mt19937 random(1);
    Image a = MakeImage(random, 32, 32, 0, 0), b = MakeImage(random, 32, 32, 0, 0);
    a.words[31 * a.pitchWords + 31] = 0x7FFF;
    EXPECT_FALSE(Collides(a, 0, 0, b, 31, 31));
    b.words[0] = 0x0001;
    EXPECT_TRUE(Collides(a, 0, 0, b, 31, 31));
    EXPECT_FALSE(Collides(a, 0, 0, b, 32, 31));
}

TEST(PixelsCollide, PositionsAtTheEndsOfTheIntRange) {
    std::mt19937 random(3);
    Image a = MakeImage(random, 8, 8, 0, 100), b = MakeImage(random, 8, 8, 0, 100);
    EXPECT_TRUE(Collides(a, INT_MAX - 3, INT_MAX - 3, b, INT_MAX - 1, INT_MAX - 1));
    EXPECT_TRUE(Collides(a, INT_MIN, INT_MIN, b, INT_MIN + 7, INT_MIN + 7));
    EXPECT_FALSE(Collides(a, INT_MAX, 0, b, INT_MIN, 0));
    EXPECT_FALSE(Collides(a, INT_MIN, 0, b, INT_MAX - 7, 0));
}

namespace {

// Collides through the images' solid masks.
bool MaskCollides(const Image& a, int x1, int y1, const Image& b, int x2, int y2) {
    CollisionRect overlap;
    if (!OverlapRect(x1, y1, a.view.width, a.view.height, x2, y2, b.view.width, b.view.height, &overlap))
        return false;
    std::vector<std::uint32_t> bitsA(korrin::SolidMaskWords(a.imageWidth, a.imageHeight), 0xFFFFFFFF);
    std::vector<std::uint32_t> bitsB(korrin::SolidMaskWords(b.imageWidth, b.imageHeight), 0xFFFFFFFF);
    korrin::SolidMask maskA = {0, 0, 0, bitsA.data()}, maskB = {0, 0, 0, bitsB.data()};
    korrin::BuildSolidMask(a.view.pixels, a.view.pitch, a.imageWidth, a.imageHeight, a.view.key, &maskA);
    korrin::BuildSolidMask(b.view.pixels, b.view.pitch, b.imageWidth, b.imageHeight, b.view.key, &maskB);
    const korrin::MaskPlacement placeA = {&maskA, a.view.width, a.view.height, a.view.clipX, a.view.clipY};
    const korrin::MaskPlacement placeB = {&maskB, b.view.width, b.view.height, b.view.clipX, b.view.clipY};
    return korrin::MasksCollide(placeA, x1, y1, placeB, x2, y2, overlap);
}

}  // namespace

// Images wider than a mask word, clipped anywhere and placed at any offset,
// so that the 32-pixel reads straddle words and end inside one.
TEST(MasksCollide, AgreeWithTheModelOnImagesWiderThanAWord) {
    AgreesWithTheModel(MaskCollides, 44, 90, 12, 30, 2, 2000, 200);
    std::mt19937 random(45);
    Image a = MakeImage(random, 40, 8, 0, 100), b = MakeImage(random, 40, 8, 0, 100);
    EXPECT_TRUE(MaskCollides(a, INT_MAX - 3, INT_MAX - 3, b, INT_MAX - 1, INT_MAX - 1));
    EXPECT_TRUE(MaskCollides(a, INT_MIN, INT_MIN, b, INT_MIN + 39, INT_MIN + 7));
    EXPECT_FALSE(MaskCollides(a, INT_MIN, INT_MIN, b, INT_MIN + 40, INT_MIN));
}
