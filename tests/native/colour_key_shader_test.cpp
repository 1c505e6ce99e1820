// The colour-key shader's tokens: the version, its constant table and the
// encoding of a few instructions against their known token values.
#include "render/ColourKeyShaderCode.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using korrin::ColourKeyShaderCode;

namespace {

struct Constant {
    std::string name;
    int registerSet, index, count;
};

// Reads the names and registers out of the "CTAB" comment.
std::vector<Constant> ConstantTable(const std::uint32_t* code, std::size_t count) {
    std::vector<Constant> constants;
    EXPECT_GT(count, 2u);
    EXPECT_EQ(code[1] & 0xFFFFu, 0xFFFEu) << "a comment follows the version";
    const std::size_t length = code[1] >> 16;
    EXPECT_LE(2 + length, count);
    EXPECT_EQ(code[2], 0x42415443u) << "CTAB";
    const auto* table = reinterpret_cast<const unsigned char*>(code + 3);
    const std::size_t size = (length - 1) * 4;
    auto u32 = [&](std::size_t at) { std::uint32_t v; std::memcpy(&v, table + at, 4); return v; };
    auto u16 = [&](std::size_t at) { std::uint16_t v; std::memcpy(&v, table + at, 2); return v; };
    EXPECT_EQ(u32(0), 28u);
    EXPECT_EQ(u32(8), 0xFFFF0104u);
    const std::uint32_t n = u32(12), infos = u32(16);
    EXPECT_STREQ(reinterpret_cast<const char*>(table + u32(24)), "ps_1_4");
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::size_t at = infos + 20 * i;
        EXPECT_LT(at + 20, size);
        constants.push_back({reinterpret_cast<const char*>(table + u32(at)), u16(at + 4), u16(at + 6), u16(at + 8)});
    }
    return constants;
}

}  // namespace

TEST(ColourKeyShader, IsShaderModel14WithAnEndToken) {
    std::size_t count = 0;
    const std::uint32_t* code = ColourKeyShaderCode(&count);
    ASSERT_NE(code, nullptr);
    EXPECT_EQ(code[0], 0xFFFF0104u);
    EXPECT_EQ(code[count - 1], 0x0000FFFFu);
    EXPECT_EQ(ColourKeyShaderCode(nullptr), code) << "one program for the whole process";
}

TEST(ColourKeyShader, ConstantTableNamesSamplerAndTrans) {
    std::size_t count = 0;
    const std::uint32_t* code = ColourKeyShaderCode(&count);
    const std::vector<Constant> constants = ConstantTable(code, count);
    ASSERT_EQ(constants.size(), 2u);
    EXPECT_EQ(constants[0].name, "Sampler");
    EXPECT_EQ(constants[0].registerSet, 3);  // sampler s0
    EXPECT_EQ(constants[0].index, 0);
    EXPECT_EQ(constants[1].name, "Trans");
    EXPECT_EQ(constants[1].registerSet, 2);  // float4 c0
    EXPECT_EQ(constants[1].index, 0);
    EXPECT_EQ(constants[1].count, 1);
}

TEST(ColourKeyShader, EncodesTexldAndTexkillAndThePhase) {
    std::size_t count = 0;
    const std::uint32_t* code = ColourKeyShaderCode(&count);
    std::vector<std::uint32_t> tokens(code, code + count);
    // texld r0, t0 as an assembler writes it.
    const std::vector<std::uint32_t> texld = {0x00000042u, 0x800F0000u, 0xB0E40000u};
    auto find = [&](const std::vector<std::uint32_t>& needle, std::size_t from) {
        for (std::size_t i = from; i + needle.size() <= tokens.size(); ++i)
            if (std::equal(needle.begin(), needle.end(), tokens.begin() + static_cast<long>(i))) return i;
        return tokens.size();
    };
    const std::size_t first = find(texld, 0);
    ASSERT_LT(first, tokens.size());
    const std::size_t phase = find({0x0000FFFDu}, first);
    ASSERT_LT(phase, tokens.size());
    EXPECT_LT(find(texld, phase), tokens.size()) << "sampled again after the phase";
    EXPECT_LT(find({0x00000041u, 0x800F0002u}, phase), tokens.size()) << "texkill r2 in the second phase";
    // def c2, -0.004, ... : the match threshold.
    float threshold = 0;
    const std::size_t def = find({0x00000051u, 0xA00F0002u}, 0);
    ASSERT_LT(def, tokens.size());
    std::memcpy(&threshold, &tokens[def + 2], 4);
    EXPECT_FLOAT_EQ(threshold, -0.004f);
}
