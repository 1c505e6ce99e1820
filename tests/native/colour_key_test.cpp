// Colour-key table: its invariant after creation and after key switches.
#include "sprites/ColourKey.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace korrin;

namespace {

// Every entry is v | 0x8000, except key and key | 0x8000, which hold the key.
void ExpectInvariant(std::uint16_t key) {
    ASSERT_NE(colourKeyTable, nullptr);
    for (std::uint32_t v = 0; v < 65536; ++v) {
        const std::uint16_t expected = (v & 0x7FFFu) == key ? key : static_cast<std::uint16_t>(v | 0x8000u);
        ASSERT_EQ(colourKeyTable[v], expected) << "entry " << v << " key " << key;
    }
}

struct ColourKeyTable : ::testing::Test {
    void SetUp() override { ASSERT_NE(CreateColourKeyTable(), nullptr); }
    void TearDown() override { FreeColourKeyTable(); }
};

}  // namespace

TEST_F(ColourKeyTable, StartsWithBlackAsTheKeyAndIsReused) {
    EXPECT_EQ(currentKey, 0);
    ExpectInvariant(0);
    std::uint16_t* table = colourKeyTable;
    SelectColourKey(0x0000FF);
    EXPECT_EQ(CreateColourKeyTable(), table);  // existing table kept, key too
    EXPECT_EQ(currentKey, KeyOfHostColour(0x0000FF));
}

TEST_F(ColourKeyTable, OnlyTheTopFiveBitsOfEachChannelCount) {
    EXPECT_EQ(KeyOfHostColour(0x070000), KeyOfHostColour(0x000000));  // blue 7 is still black
    EXPECT_NE(KeyOfHostColour(0x080000), KeyOfHostColour(0x000000));
    EXPECT_EQ(KeyOfHostColour(0x0000FF), 0x7C00);  // red
    EXPECT_EQ(KeyOfHostColour(0x00FF00), 0x03E0);  // green
    EXPECT_EQ(KeyOfHostColour(0xFF0000), 0x001F);  // blue
    EXPECT_EQ(KeyOfHostColour(0xFFFFFFFF), 0x7FFF);  // bits above 23 ignored
}

TEST_F(ColourKeyTable, SwitchingAToBAndBackRestoresTheTable) {
    SelectColourKey(0x123456);
    std::vector<std::uint16_t> before(colourKeyTable, colourKeyTable + 65536);
    SelectColourKey(0xFEDCBA);
    ExpectInvariant(KeyOfHostColour(0xFEDCBA));
    SelectColourKey(0x123456);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), colourKeyTable));
    ExpectInvariant(KeyOfHostColour(0x123456));
}

TEST_F(ColourKeyTable, ConvertsPixelsKeepingColourBits) {
    const std::uint16_t source[] = {0x0000, 0x8000, 0x0001, 0x7FFF, 0xFFFF, 0x7C00};
    std::uint16_t out[6] = {};
    ConvertRow(source, out, 6);
    EXPECT_EQ(out[0], 0x0000);
    EXPECT_EQ(out[1], 0x0000);
    EXPECT_EQ(out[2], 0x8001);
    EXPECT_EQ(out[3], 0xFFFF);
    EXPECT_EQ(out[4], 0xFFFF);
    EXPECT_EQ(out[5], 0xFC00);
    SelectColourKey(0x0000FF);  // red becomes the key, black opaque
    ConvertRow(source, out, 6);
    EXPECT_EQ(out[0], 0x8000);
    EXPECT_EQ(out[5], 0x7C00);
}

// The SSE2 conversion gives exactly what the table gives: every 16-bit value,
// under every key the other tests use and a spread of others, at every start
// offset within a vector and every length from 0 to 64, never writing past
// the row.
TEST_F(ColourKeyTable, VectorConversionIsBitIdenticalToTheTable) {
    if (!ProcessorHasSse2()) GTEST_SKIP() << "no SSE2";
    std::vector<std::uint32_t> colours = {0x000000, 0x070000, 0x080000, 0x0000FF, 0x00FF00, 0xFF0000,
                                          0xFFFFFF, 0x123456, 0xFEDCBA, 0x604020, 0xFF00FF};
    for (std::uint32_t c = 0x010203; colours.size() < 64; c = c * 2654435761u + 0x9E3779B9u) colours.push_back(c);
    std::vector<std::uint16_t> all(65536 + 64);
    for (std::size_t v = 0; v < all.size(); ++v) all[v] = static_cast<std::uint16_t>(v * 40503u);  // every value
    std::vector<std::uint16_t> expected(all.size()), actual(all.size() + 16);
    for (std::uint32_t colour : colours) {
        SelectColourKey(colour);
        SCOPED_TRACE(currentKey);
        ConvertRowTable(all.data(), expected.data(), static_cast<int>(all.size()));
        for (int start = 0; start < 8; ++start) {
            const int n = 65536;
            std::fill(actual.begin(), actual.end(), 0x5A5A);
            ConvertRowSse2(all.data() + start, actual.data() + 8 - start, n);
            ASSERT_TRUE(std::equal(expected.begin() + start, expected.begin() + start + n, actual.begin() + 8 - start))
                << "start " << start;
            ASSERT_EQ(actual[8 - start + n], 0x5A5A) << "written past the row";
            ASSERT_EQ(actual[7 - start], 0x5A5A) << "written before the row";
        }
        for (int length = 0; length <= 64; ++length)
            for (int start = 0; start < 8; ++start) {
                for (int at = start; at < 65536; at += 4099) {
                    std::uint16_t out[80];
                    std::fill(out, out + 80, 0x5A5A);
                    ConvertRowSse2(all.data() + at, out + 1 + start, length);
                    ASSERT_TRUE(std::equal(expected.begin() + at, expected.begin() + at + length, out + 1 + start))
                        << "length " << length << " at " << at;
                    ASSERT_EQ(out[start], 0x5A5A);
                    ASSERT_EQ(out[1 + start + length], 0x5A5A) << "length " << length;
                    // ConvertRow, whichever form it picks, agrees too.
                    std::uint16_t viaRow[64];
                    ConvertRow(all.data() + at, viaRow, length);
                    ASSERT_TRUE(std::equal(viaRow, viaRow + length, out + 1 + start));
                }
            }
    }
}
