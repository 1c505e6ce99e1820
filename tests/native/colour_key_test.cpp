// Colour-key table: its invariant after creation and after key switches.
#include "sprites/ColourKey.h"

#include <gtest/gtest.h>

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
