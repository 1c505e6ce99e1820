// The colour-key pixel shader. The program, as assembly:
//
//   ps_1_4
//   def c1, -1, -1, -1, 0           ; negates the key
//   def c2, -0.004, -0.004, -0.004, 0
//   def c3, 0, 0, 0, 0
//   def c4, 1, 1, 1, 0
//   def c5, 0.9, 0.9, 0.9, 0.9      ; below 1: "not all three channels match"
//   def c6, 1/3, 1/3, 1/3, 0        ; averages the three match flags
//   texld r0, t0                    ; texel
//   mad r1, c0, c1, r0              ; texel - key
//   cmp r1, r1, r1, -r1             ; |texel - key|
//   add r1, r1, c2                  ; < 0 where a channel matches
//   cmp r2, r1, c3, c4              ; 1 where a channel matches, else 0
//   dp3 r2, r2, c6                  ; share of matching channels, 0..1
//   add r2, c5, -r2                 ; < 0 only when all three match
//   phase
//   texld r0, t0                    ; texel again (alpha does not cross the phase)
//   texkill r2                      ; discard when all three match
//   mul r0, r0, v0                  ; texel times vertex colour
//
// Literal constants of this shader model are clamped to [-1, 1], hence the
// share of matching channels rather than their count.
//
// Three 5-bit channel values read n/31 and lie within 0.0027 of the key
// widened from 5 bits; neighbouring values are 1/31 apart, so exactly the
// pixels whose 5-bit colour equals the key are discarded.
#include "render/ColourKeyShaderCode.h"

#include <cstring>
#include <initializer_list>

namespace korrin {

namespace {

// Register types and opcodes of the shader token format.
enum RegisterType : std::uint32_t { Temp = 0, Input = 1, Const = 2, Texture = 3 };
enum Opcode : std::uint32_t {
    Mov = 1, Add = 2, Sub = 3, Mad = 4, Mul = 5, Dp3 = 8,
    TexKill = 65, TexLd = 66, Def = 81, Cmp = 88, Phase = 0xFFFD, End = 0xFFFF,
};
constexpr std::uint32_t kNoSwizzle = 0xE4;  // .xyzw
constexpr std::uint32_t kNegate = 1;         // source modifier
constexpr std::uint32_t kAll = 0xF;          // write mask .xyzw

constexpr std::uint32_t Register(RegisterType type, std::uint32_t number) {
    return 0x80000000u | ((type & 7u) << 28) | (((type >> 3) & 3u) << 11) | number;
}
constexpr std::uint32_t Dst(RegisterType type, std::uint32_t number, std::uint32_t mask = kAll) {
    return Register(type, number) | (mask << 16);
}
constexpr std::uint32_t Src(RegisterType type, std::uint32_t number, std::uint32_t modifier = 0) {
    return Register(type, number) | (kNoSwizzle << 16) | (modifier << 24);
}

std::uint32_t FloatBits(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// Appends tokens to a fixed buffer; large enough for the program above.
struct Writer {
    std::uint32_t tokens[256];
    std::size_t count = 0;
    void Put(std::uint32_t token) { tokens[count++] = token; }
    void Op(Opcode op, std::initializer_list<std::uint32_t> operands) {
        Put(op);
        for (std::uint32_t t : operands) Put(t);
    }
    void DefConst(std::uint32_t reg, float x, float y, float z, float w) {
        Op(Def, {Dst(Const, reg), FloatBits(x), FloatBits(y), FloatBits(z), FloatBits(w)});
    }
};

// The constant table comment: "CTAB" followed by the table, its two
// constants, their types, default value and strings; offsets count from the
// table's start.
void PutConstantTable(Writer& w) {
    unsigned char table[256] = {};
    std::size_t size = 0;
    auto put16 = [&](std::size_t at, std::uint16_t v) { std::memcpy(table + at, &v, 2); };
    auto put32 = [&](std::size_t at, std::uint32_t v) { std::memcpy(table + at, &v, 4); };
    auto putString = [&](const char* s) {
        const std::size_t at = size;
        std::memcpy(table + at, s, std::strlen(s) + 1);
        size += (std::strlen(s) + 1 + 3) & ~std::size_t{3};
        return static_cast<std::uint32_t>(at);
    };
    // Header (28 bytes), two constant infos (20 each), two type infos (16
    // each), the default value of Trans (16), then strings.
    const std::size_t header = 0, infos = 28, samplerType = 68, transType = 84, transDefault = 100;
    size = 116;
    const std::uint32_t creator = putString("korrin");
    const std::uint32_t target = putString("ps_1_4");
    const std::uint32_t samplerName = putString("Sampler");
    const std::uint32_t transName = putString("Trans");
    put32(header + 0, 28);           // Size of the header
    put32(header + 4, creator);
    put32(header + 8, 0xFFFF0104u);  // version
    put32(header + 12, 2);           // constants
    put32(header + 16, infos);
    put32(header + 20, 0);           // flags
    put32(header + 24, target);
    // Sampler: sampler register set, s0.
    put32(infos + 0, samplerName);
    put16(infos + 4, 3);  // D3DXRS_SAMPLER
    put16(infos + 6, 0);
    put16(infos + 8, 1);
    put32(infos + 12, samplerType);
    put32(infos + 16, 0);
    // Trans: float4 register set, c0, default (0, 0, 0, 0).
    put32(infos + 20, transName);
    put16(infos + 24, 2);  // D3DXRS_FLOAT4
    put16(infos + 26, 0);
    put16(infos + 28, 1);
    put32(infos + 32, transType);
    put32(infos + 36, transDefault);
    // Types: object sampler2D; vector float 1x4.
    put16(samplerType + 0, 4);   // D3DXPC_OBJECT
    put16(samplerType + 2, 12);  // D3DXPT_SAMPLER2D
    put16(samplerType + 4, 1);
    put16(samplerType + 6, 1);
    put16(samplerType + 8, 1);
    put16(transType + 0, 1);  // D3DXPC_VECTOR
    put16(transType + 2, 3);  // D3DXPT_FLOAT
    put16(transType + 4, 1);
    put16(transType + 6, 4);
    put16(transType + 8, 1);

    const std::size_t dwords = 1 + size / 4;  // "CTAB" and the table
    w.Put(0xFFFEu | static_cast<std::uint32_t>(dwords << 16));
    w.Put(0x42415443u);  // "CTAB"
    for (std::size_t at = 0; at < size; at += 4) {
        std::uint32_t v;
        std::memcpy(&v, table + at, 4);
        w.Put(v);
    }
}

Writer Build() {
    Writer w;
    w.Put(0xFFFF0104u);  // ps_1_4
    PutConstantTable(w);
    w.DefConst(1, -1.0f, -1.0f, -1.0f, 0.0f);
    w.DefConst(2, -0.004f, -0.004f, -0.004f, 0.0f);
    w.DefConst(3, 0.0f, 0.0f, 0.0f, 0.0f);
    w.DefConst(4, 1.0f, 1.0f, 1.0f, 0.0f);
    w.DefConst(5, 0.9f, 0.9f, 0.9f, 0.9f);
    w.DefConst(6, 1.0f / 3, 1.0f / 3, 1.0f / 3, 0.0f);
    w.Op(TexLd, {Dst(Temp, 0), Src(Texture, 0)});
    w.Op(Mad, {Dst(Temp, 1), Src(Const, 0), Src(Const, 1), Src(Temp, 0)});
    w.Op(Cmp, {Dst(Temp, 1), Src(Temp, 1), Src(Temp, 1), Src(Temp, 1, kNegate)});
    w.Op(Add, {Dst(Temp, 1), Src(Temp, 1), Src(Const, 2)});
    w.Op(Cmp, {Dst(Temp, 2), Src(Temp, 1), Src(Const, 3), Src(Const, 4)});
    w.Op(Dp3, {Dst(Temp, 2), Src(Temp, 2), Src(Const, 6)});
    w.Op(Add, {Dst(Temp, 2), Src(Const, 5), Src(Temp, 2, kNegate)});
    w.Put(Phase);
    w.Op(TexLd, {Dst(Temp, 0), Src(Texture, 0)});
    w.Op(TexKill, {Dst(Temp, 2)});
    w.Op(Mul, {Dst(Temp, 0), Src(Temp, 0), Src(Input, 0)});
    w.Put(End);
    return w;
}

}  // namespace

const std::uint32_t* ColourKeyShaderCode(std::size_t* tokenCount) {
    static const Writer code = Build();
    if (tokenCount) *tokenCount = code.count;
    return code.tokens;
}

}  // namespace korrin
