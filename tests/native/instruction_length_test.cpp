// Tests for the x86 instruction length decoder used by the fatal-error
// report's "continue" action.
//
// Hand-picked encodings pin down every special case; the oracle tests then
// compare against binutils' objdump on (a) the i686 MinGW runtime libraries,
// (b) a generated sweep over every opcode of every map with many ModRM and
// prefix shapes, and (c) a file of hand-written tricky instructions assembled
// with `as --32`. Oracle tests skip when the tools or the corpus are absent.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "frame/instruction_length.h"

namespace {

using Bytes = std::vector<unsigned char>;

std::string Hex(const unsigned char* data, std::size_t size) {
    std::string out;
    char buf[4];
    for (std::size_t i = 0; i < size; ++i) {
        std::snprintf(buf, sizeof buf, i ? " %02x" : "%02x", data[i]);
        out += buf;
    }
    return out;
}

std::string Hex(const Bytes& bytes) {
    return Hex(bytes.data(), bytes.size());
}

// Decodes from a heap block of exactly `size` bytes so that AddressSanitizer
// reports any read past the end.
int LengthOfExact(const Bytes& bytes, std::size_t size, std::size_t available) {
    std::unique_ptr<unsigned char[]> block(new unsigned char[size ? size : 1]);
    if (size) std::memcpy(block.get(), bytes.data(), size);
    return korrin::InstructionLength(block.get(), available);
}

int LengthOf(const Bytes& bytes) {
    return LengthOfExact(bytes, bytes.size(), bytes.size());
}

// Checks the decoded length of a complete instruction, and that the decoder
// gives up (instead of reading on) when any tail of it is missing, and that
// trailing bytes do not change the answer.
void ExpectLength(const Bytes& bytes, int expected) {
    SCOPED_TRACE("bytes: " + Hex(bytes));
    ASSERT_EQ(static_cast<std::size_t>(expected), bytes.size()) << "test case is malformed";
    EXPECT_EQ(LengthOf(bytes), expected);
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        EXPECT_EQ(LengthOfExact(bytes, cut, cut), 0) << "truncated to " << cut << " bytes";
    }
    Bytes padded = bytes;
    padded.insert(padded.end(), 16, 0x90);
    EXPECT_EQ(LengthOf(padded), expected) << "with trailing bytes";
}

void ExpectUndefined(const Bytes& bytes) {
    Bytes padded = bytes;
    padded.insert(padded.end(), 16, 0x00);
    EXPECT_EQ(LengthOf(padded), 0) << "bytes: " << Hex(bytes);
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

// ---------------------------------------------------------------------------
// Hand-picked encodings

TEST(InstructionLength, RejectsEmptyAndNullInput) {
    EXPECT_EQ(korrin::InstructionLength(nullptr, 0), 0);
    EXPECT_EQ(korrin::InstructionLength(nullptr, 16), 0);
    const unsigned char nop = 0x90;
    EXPECT_EQ(korrin::InstructionLength(&nop, 0), 0);
    EXPECT_EQ(korrin::InstructionLength(&nop, 1), 1);
}

TEST(InstructionLength, EachLegacyPrefixAddsOneByte) {
    // mov eax, [ebx+disp8] is 3 bytes; no legacy prefix except 66 and 67
    // changes the size of what follows.
    for (unsigned char prefix : {0x26, 0x2E, 0x36, 0x3E, 0x64, 0x65, 0xF0, 0xF2, 0xF3}) {
        ExpectLength({prefix, 0x8B, 0x43, 0x10}, 4);
    }
    ExpectLength({0x64, 0xA1, 0x18, 0x00, 0x00, 0x00}, 6);        // mov eax, fs:[0x18]
    ExpectLength({0xF3, 0xA5}, 2);                                // rep movsd
    ExpectLength({0xF0, 0x0F, 0xB1, 0x0A}, 4);                    // lock cmpxchg [edx], ecx
    ExpectLength({0xF2, 0x0F, 0x58, 0xC1}, 4);                    // addsd xmm0, xmm1
    ExpectLength({0x2E, 0x3E, 0x26, 0x36, 0x64, 0x65, 0x90}, 7);  // stacked segment overrides
}

TEST(InstructionLength, OperandSizePrefixShrinksOperandSizedImmediates) {
    ExpectLength({0x05, 0x78, 0x56, 0x34, 0x12}, 5);        // add eax, imm32
    ExpectLength({0x66, 0x05, 0x34, 0x12}, 4);              // add ax, imm16
    ExpectLength({0x66, 0xB8, 0x34, 0x12}, 4);              // mov ax, imm16
    ExpectLength({0x66, 0x68, 0x34, 0x12}, 4);              // push imm16
    ExpectLength({0x66, 0x69, 0xC8, 0x34, 0x12}, 5);        // imul cx, ax, imm16
    ExpectLength({0x66, 0x81, 0x00, 0x34, 0x12}, 5);        // add word [eax], imm16
    ExpectLength({0x66, 0xC7, 0x43, 0x04, 0x34, 0x12}, 6);  // mov word [ebx+4], imm16
    ExpectLength({0x66, 0xA9, 0x34, 0x12}, 4);              // test ax, imm16
    ExpectLength({0x66, 0xF7, 0x01, 0x34, 0x12}, 5);        // test word [ecx], imm16
    ExpectLength({0x66, 0xE8, 0x34, 0x12}, 4);              // call rel16
    ExpectLength({0x66, 0xE9, 0x34, 0x12}, 4);              // jmp rel16
    ExpectLength({0x66, 0x0F, 0x85, 0x34, 0x12}, 5);        // jne rel16
    ExpectLength({0x66, 0x9A, 0x34, 0x12, 0x08, 0x00}, 6);  // call far ptr16:16
    ExpectLength({0x66, 0xEA, 0x34, 0x12, 0x08, 0x00}, 6);  // jmp far ptr16:16
    // Fixed-size immediates ignore 66.
    ExpectLength({0x66, 0x83, 0xC0, 0x01}, 4);        // add ax, imm8
    ExpectLength({0x66, 0xC2, 0x08, 0x00}, 4);        // ret imm16
    ExpectLength({0x66, 0x6A, 0x01}, 3);              // push imm8
    ExpectLength({0x66, 0x0F, 0xBA, 0xE0, 0x03}, 5);  // bt ax, 3
    // 66 does not shrink a memory offset; that is 67's job.
    ExpectLength({0x66, 0xA1, 0x78, 0x56, 0x34, 0x12}, 6);  // mov ax, [moffs32]
}

TEST(InstructionLength, AddressSizePrefixShrinksMemoryOffsets) {
    ExpectLength({0xA0, 0x78, 0x56, 0x34, 0x12}, 5);  // mov al, [moffs32]
    ExpectLength({0xA3, 0x78, 0x56, 0x34, 0x12}, 5);  // mov [moffs32], eax
    ExpectLength({0x67, 0xA1, 0x34, 0x12}, 4);        // mov eax, [moffs16]
    ExpectLength({0x67, 0xA2, 0x34, 0x12}, 4);        // mov [moffs16], al
    ExpectLength({0x66, 0x67, 0xA1, 0x34, 0x12}, 5);  // mov ax, [moffs16]
    // 67 leaves immediates alone.
    ExpectLength({0x67, 0x05, 0x78, 0x56, 0x34, 0x12}, 6);
    ExpectLength({0x67, 0xE3, 0x10}, 3);  // jcxz
}

TEST(InstructionLength, RepeatedPrefixesAndTheFifteenByteLimit) {
    ExpectLength({0x66, 0x66, 0x66, 0x90}, 4);
    ExpectLength({0xF3, 0xF3, 0xF2, 0xA4}, 4);
    ExpectLength({0x67, 0x67, 0xA1, 0x34, 0x12}, 5);

    // 14 prefixes + 1-byte opcode is exactly 15 bytes and still legal.
    Bytes fourteen(14, 0x66);
    fourteen.push_back(0x90);
    ExpectLength(fourteen, 15);

    // 15 or 16 prefixes make the instruction longer than 15 bytes.
    for (std::size_t count : {15u, 16u}) {
        Bytes too_many(count, 0x3E);
        too_many.push_back(0x90);
        EXPECT_EQ(LengthOf(too_many), 0) << count << " prefixes";
    }
    // A short prefix run that pushes an operand past byte 15.
    const Bytes long_imm = Cat({Bytes(10, 0x2E), {0x81, 0x05, 1, 2, 3, 4, 5, 6, 7, 8}});  // 20 bytes
    EXPECT_EQ(LengthOf(long_imm), 0);
    // Prefixes alone are not an instruction.
    EXPECT_EQ(LengthOf({0xF0, 0x66}), 0);
}

TEST(InstructionLength, NeverReadsPastFifteenBytesEvenWhenMoreAreClaimed) {
    // The caller may pass a generous `available`; the decoder must stop at 15.
    // The blocks are exactly 15 bytes long, so ASan flags any read beyond.
    Bytes prefixes(15, 0x26);
    EXPECT_EQ(LengthOfExact(prefixes, 15, 4096), 0);
    Bytes needs_more(14, 0x3E);
    needs_more.push_back(0x0F);  // the opcode byte is #15; its second byte would be #16
    EXPECT_EQ(LengthOfExact(needs_more, 15, 4096), 0);
    Bytes fits(14, 0x3E);
    fits.push_back(0xC3);
    EXPECT_EQ(LengthOfExact(fits, 15, 4096), 15);
}

TEST(InstructionLength, ModRMAddressingForms32) {
    ExpectLength({0x8B, 0xC1}, 2);                                // mov eax, ecx
    ExpectLength({0x8B, 0x01}, 2);                                // mov eax, [ecx]
    ExpectLength({0x8B, 0x05, 0x78, 0x56, 0x34, 0x12}, 6);        // mov eax, [disp32]
    ExpectLength({0x8B, 0x41, 0x10}, 3);                          // [ecx+disp8]
    ExpectLength({0x8B, 0x81, 0x78, 0x56, 0x34, 0x12}, 6);        // [ecx+disp32]
    ExpectLength({0x8B, 0x45, 0x00}, 3);                          // [ebp+0] needs disp8
    ExpectLength({0x8B, 0x04, 0x24}, 3);                          // [esp] needs SIB
    ExpectLength({0x8B, 0x04, 0x88}, 3);                          // [eax+ecx*4]
    ExpectLength({0x8B, 0x44, 0x24, 0x04}, 4);                    // [esp+4]
    ExpectLength({0x8B, 0x84, 0x24, 0x00, 0x01, 0x00, 0x00}, 7);  // [esp+0x100]
    // SIB base 101 with mod 00: no base register, disp32 instead.
    ExpectLength({0x8B, 0x04, 0x85, 0x78, 0x56, 0x34, 0x12}, 7);  // [disp32+eax*4]
    ExpectLength({0x8B, 0x04, 0x25, 0x78, 0x56, 0x34, 0x12}, 7);  // [disp32], no index
    // ...but with mod 01/10 base 101 is EBP and the displacement follows mod.
    ExpectLength({0x8B, 0x44, 0x85, 0x08}, 4);  // [ebp+eax*4+8]
    ExpectLength({0x8B, 0x84, 0x85, 0x78, 0x56, 0x34, 0x12}, 7);
    // SIB + disp32 + imm32, and the same with 66 shrinking the immediate.
    ExpectLength({0x81, 0x84, 0x88, 1, 2, 3, 4, 5, 6, 7, 8}, 11);
    ExpectLength({0x66, 0x81, 0x84, 0x88, 1, 2, 3, 4, 5, 6}, 10);
}

TEST(InstructionLength, ModRMAddressingForms16With67) {
    ExpectLength({0x67, 0x8B, 0x00}, 3);              // [bx+si]
    ExpectLength({0x67, 0x8B, 0x06, 0x34, 0x12}, 5);  // [disp16]
    ExpectLength({0x67, 0x8B, 0x46, 0x10}, 4);        // [bp+disp8]
    ExpectLength({0x67, 0x8B, 0x86, 0x34, 0x12}, 5);  // [bp+disp16]
    ExpectLength({0x67, 0x8B, 0x80, 0x34, 0x12}, 5);  // [bx+si+disp16]
    ExpectLength({0x67, 0x8B, 0xC0}, 3);              // register form
    // rm 100 is [si]: no SIB byte in 16-bit addressing; rm 101 is [di], no disp.
    ExpectLength({0x67, 0x8B, 0x04}, 3);
    ExpectLength({0x67, 0x8B, 0x05}, 3);
    ExpectLength({0x67, 0x8B, 0x44, 0x10}, 4);
    // Immediate after a 16-bit displacement.
    ExpectLength({0x67, 0xC7, 0x06, 0x34, 0x12, 1, 2, 3, 4}, 9);  // mov dword [disp16], imm32
    ExpectLength({0x66, 0x67, 0xC7, 0x06, 0x34, 0x12, 1, 2}, 8);  // mov word [disp16], imm16
}

TEST(InstructionLength, OneByteMapImmediates) {
    ExpectLength({0x04, 0x01}, 2);                                                  // add al, imm8
    ExpectLength({0x3D, 1, 2, 3, 4}, 5);                                            // cmp eax, imm32
    ExpectLength({0x68, 1, 2, 3, 4}, 5);                                            // push imm32
    ExpectLength({0x6A, 0x01}, 2);                                                  // push imm8
    ExpectLength({0x69, 0xC8, 1, 2, 3, 4}, 6);                                      // imul ecx, eax, imm32
    ExpectLength({0x6B, 0x4D, 0x08, 0x05}, 4);                                      // imul ecx, [ebp+8], imm8
    ExpectLength({0x80, 0x38, 0x00}, 3);                                            // cmp byte [eax], 0
    ExpectLength({0x81, 0x7D, 0x08, 1, 2, 3, 4}, 7);                                // cmp dword [ebp+8], imm32
    ExpectLength({0x82, 0xC0, 0x01}, 3);                                            // 82 alias of 80
    ExpectLength({0x83, 0xEC, 0x10}, 3);                                            // sub esp, 16
    ExpectLength({0xC0, 0xE0, 0x03}, 3);                                            // shl al, 3
    ExpectLength({0xC1, 0x64, 0x24, 0x04, 0x03}, 5);                                // shl dword [esp+4], 3
    for (unsigned char op : {0xD0, 0xD1, 0xD2, 0xD3}) ExpectLength({op, 0xE0}, 2);  // by 1 / CL
    ExpectLength({0xC6, 0x00, 0x01}, 3);                                            // mov byte [eax], 1
    ExpectLength({0xC7, 0x45, 0xFC, 1, 2, 3, 4}, 7);                                // mov dword [ebp-4], imm32
    ExpectLength({0xC6, 0xF8, 0x01}, 3);                                            // xabort imm8
    ExpectLength({0xC7, 0xF8, 1, 2, 3, 4}, 6);                                      // xbegin rel32
    ExpectLength({0x66, 0xC7, 0xF8, 1, 2}, 5);                                      // xbegin rel16
    ExpectLength({0x8F, 0x45, 0x08}, 3);                                            // pop dword [ebp+8]
    ExpectLength({0x8F, 0xC0}, 2);                                                  // pop eax (long form)
    ExpectLength({0xC8, 0x10, 0x00, 0x01}, 4);                                      // enter 16, 1
    ExpectLength({0xC2, 0x08, 0x00}, 3);                                            // ret 8
    ExpectLength({0xCA, 0x08, 0x00}, 3);                                            // retf 8
    ExpectLength({0x9A, 1, 2, 3, 4, 0x08, 0x00}, 7);                                // call far ptr16:32
    ExpectLength({0xEA, 1, 2, 3, 4, 0x08, 0x00}, 7);                                // jmp far ptr16:32
    ExpectLength({0xE8, 1, 2, 3, 4}, 5);                                            // call rel32
    ExpectLength({0xEB, 0xFE}, 2);                                                  // jmp rel8
    ExpectLength({0x74, 0x05}, 2);                                                  // je rel8
    ExpectLength({0xE2, 0xFE}, 2);                                                  // loop
    ExpectLength({0xCD, 0x2E}, 2);                                                  // int 0x2e
    ExpectLength({0xD4, 0x0A}, 2);                                                  // aam
    ExpectLength({0xE6, 0x80}, 2);                                                  // out 0x80, al
    ExpectLength({0xA8, 0x01}, 2);                                                  // test al, 1
    for (unsigned char op : {0x90, 0xC3, 0xCC, 0xF4, 0x60, 0x9C, 0xA4, 0xD7, 0xF1, 0x27, 0xCE}) {
        ExpectLength({op}, 1);
    }
}

TEST(InstructionLength, Group3OnlyTestHasAnImmediate) {
    // F6/F7 /0 and its alias /1 are TEST r/m, imm; /2../7 (NOT NEG MUL IMUL DIV IDIV) have none.
    ExpectLength({0xF6, 0xC1, 0x01}, 3);              // test cl, 1
    ExpectLength({0xF6, 0xC9, 0x01}, 3);              // /1 alias
    ExpectLength({0xF7, 0x45, 0x08, 1, 2, 3, 4}, 7);  // test dword [ebp+8], imm32
    ExpectLength({0xF7, 0x4D, 0x08, 1, 2, 3, 4}, 7);
    for (unsigned reg = 2; reg < 8; ++reg) {
        const unsigned char modrm = static_cast<unsigned char>(0x45 | (reg << 3));
        ExpectLength({0xF6, modrm, 0x08}, 3);
        ExpectLength({0xF7, modrm, 0x08}, 3);
    }
}

TEST(InstructionLength, X87EscapesTakeModRMOnly) {
    ExpectLength({0xD9, 0xC9}, 2);                    // fxch st1
    ExpectLength({0xDD, 0x44, 0x24, 0x08}, 4);        // fld qword [esp+8]
    ExpectLength({0xDF, 0x2D, 1, 2, 3, 4}, 6);        // fild qword [disp32]
    ExpectLength({0xDF, 0xE0}, 2);                    // fnstsw ax
    ExpectLength({0xD8, 0x0C, 0x85, 1, 2, 3, 4}, 7);  // fmul dword [disp32+eax*4]
    // FINIT is FWAIT followed by FNINIT: two instructions as far as the CPU is concerned.
    ExpectLength({0x9B}, 1);
    ExpectLength({0xDB, 0xE3}, 2);
    ExpectLength({0x67, 0xDB, 0x2E, 0x34, 0x12}, 5);  // fld tbyte [disp16]
}

TEST(InstructionLength, TwoByteMap) {
    ExpectLength({0x0F, 0x84, 1, 2, 3, 4}, 6);                    // je rel32
    ExpectLength({0x0F, 0x94, 0xC0}, 3);                          // sete al
    ExpectLength({0x0F, 0x44, 0x45, 0x08}, 4);                    // cmove eax, [ebp+8]
    ExpectLength({0x0F, 0xB6, 0x04, 0x24}, 4);                    // movzx eax, byte [esp]
    ExpectLength({0x0F, 0xBF, 0xC1}, 3);                          // movsx eax, cx
    ExpectLength({0x0F, 0xA3, 0xC8}, 3);                          // bt eax, ecx
    ExpectLength({0x0F, 0xBA, 0x20, 0x05}, 4);                    // bt dword [eax], 5
    ExpectLength({0x0F, 0xA4, 0xC8, 0x04}, 4);                    // shld eax, ecx, 4
    ExpectLength({0x0F, 0xAC, 0x45, 0x08, 0x04}, 5);              // shrd [ebp+8], eax, 4
    ExpectLength({0x0F, 0xA5, 0xC8}, 3);                          // shld eax, ecx, cl
    ExpectLength({0x0F, 0xAF, 0xC1}, 3);                          // imul eax, ecx
    ExpectLength({0x0F, 0xC8}, 2);                                // bswap eax
    ExpectLength({0x0F, 0xC7, 0x0E}, 3);                          // cmpxchg8b [esi]
    ExpectLength({0x0F, 0xAE, 0xE8}, 3);                          // lfence
    ExpectLength({0x0F, 0x1F, 0x44, 0x00, 0x00}, 5);              // nop dword [eax+eax]
    ExpectLength({0x66, 0x0F, 0x1F, 0x84, 0x00, 0, 0, 0, 0}, 9);  // 9-byte nop
    ExpectLength({0xF3, 0x0F, 0x1E, 0xFB}, 4);                    // endbr32
    ExpectLength({0x0F, 0x01, 0xD0}, 3);                          // xgetbv
    ExpectLength({0x0F, 0x01, 0x15, 1, 2, 3, 4}, 7);              // lgdt [disp32]
    ExpectLength({0xF3, 0x0F, 0xB8, 0xC1}, 4);                    // popcnt eax, ecx
    for (unsigned char op : {0x05, 0x06, 0x07, 0x08, 0x09, 0x0B, 0x0E, 0x30, 0x31, 0x32, 0x33,
                             0x34, 0x35, 0x37, 0x77, 0xA0, 0xA1, 0xA2, 0xA8, 0xA9, 0xAA}) {
        ExpectLength({0x0F, op}, 2);  // SYSENTER, UD2, CPUID, ...
    }
}

TEST(InstructionLength, ControlRegisterMovesIgnoreMod) {
    // The processor treats mod as 11 for MOV CR/DR: no displacement ever.
    for (unsigned char op : {0x20, 0x21, 0x22, 0x23}) {
        ExpectLength({0x0F, op, 0xC0}, 3);
        ExpectLength({0x0F, op, 0x05}, 3);
        ExpectLength({0x0F, op, 0x84}, 3);
    }
}

TEST(InstructionLength, SimdImmediates) {
    ExpectLength({0x66, 0x0F, 0x70, 0xC1, 0x1B}, 5);        // pshufd xmm0, xmm1, 0x1b
    ExpectLength({0x0F, 0x70, 0x04, 0x24, 0x1B}, 5);        // pshufw mm0, [esp], 0x1b
    ExpectLength({0x66, 0x0F, 0x71, 0xD0, 0x03}, 5);        // psrlw xmm0, 3
    ExpectLength({0x0F, 0x72, 0xE0, 0x03}, 4);              // psrad mm0, 3
    ExpectLength({0x66, 0x0F, 0x73, 0xF8, 0x04}, 5);        // pslldq xmm0, 4
    ExpectLength({0x0F, 0xC2, 0xC1, 0x02}, 4);              // cmpleps xmm0, xmm1
    ExpectLength({0xF2, 0x0F, 0xC2, 0x45, 0x08, 0x02}, 6);  // cmplesd xmm0, [ebp+8]
    ExpectLength({0x66, 0x0F, 0xC4, 0x00, 0x02}, 5);        // pinsrw xmm0, [eax], 2
    ExpectLength({0x66, 0x0F, 0xC5, 0xC0, 0x01}, 5);        // pextrw eax, xmm0, 1
    ExpectLength({0x0F, 0xC6, 0xC1, 0x44}, 4);              // shufps
    ExpectLength({0x0F, 0x58, 0xC1}, 3);                    // addps (no immediate)
    ExpectLength({0x66, 0x0F, 0x6F, 0x05, 1, 2, 3, 4}, 8);  // movdqa xmm0, [disp32]
    ExpectLength({0xF2, 0x0F, 0x7C, 0xC1}, 4);              // haddps
    ExpectLength({0x0F, 0x0F, 0xC1, 0xB4}, 4);              // 3DNow! pfmul mm0, mm1
    ExpectLength({0x0F, 0x0F, 0x44, 0x24, 0x08, 0x9E}, 6);  // pfadd mm0, [esp+8]
    ExpectLength({0x0F, 0x78, 0xC8}, 3);                    // vmread eax, ecx
    ExpectLength({0x66, 0x0F, 0x78, 0xC0, 0x04, 0x08}, 6);  // extrq xmm0, 4, 8
    ExpectLength({0xF2, 0x0F, 0x78, 0xC1, 0x04, 0x08}, 6);  // insertq xmm0, xmm1, 4, 8
    ExpectLength({0xF2, 0x0F, 0x79, 0xC1}, 4);              // insertq xmm0, xmm1
}

TEST(InstructionLength, ThreeByteMaps) {
    // 0F 38: ModRM, never an immediate.
    ExpectLength({0x66, 0x0F, 0x38, 0x00, 0xC1}, 5);              // pshufb xmm0, xmm1
    ExpectLength({0x0F, 0x38, 0x00, 0xC1}, 4);                    // pshufb mm0, mm1
    ExpectLength({0x66, 0x0F, 0x38, 0x17, 0x04, 0x24}, 6);        // ptest xmm0, [esp]
    ExpectLength({0x66, 0x0F, 0x38, 0x30, 0x05, 1, 2, 3, 4}, 9);  // pmovzxbw xmm0, [disp32]
    ExpectLength({0xF2, 0x0F, 0x38, 0xF1, 0xC1}, 5);              // crc32 eax, ecx
    ExpectLength({0x0F, 0x38, 0xF0, 0x01}, 4);                    // movbe eax, [ecx]
    ExpectLength({0x66, 0x0F, 0x38, 0xDC, 0xC1}, 5);              // aesenc
    ExpectLength({0x66, 0x0F, 0x38, 0xDB, 0x00}, 5);              // aesimc
    // 0F 3A: ModRM and imm8.
    ExpectLength({0x66, 0x0F, 0x3A, 0x0F, 0xC1, 0x08}, 6);                    // palignr xmm0, xmm1, 8
    ExpectLength({0x66, 0x0F, 0x3A, 0x22, 0xC0, 0x01}, 6);                    // pinsrd xmm0, eax, 1
    ExpectLength({0x66, 0x0F, 0x3A, 0x16, 0x44, 0x24, 0x04, 0x01}, 8);        // pextrd [esp+4], xmm0, 1
    ExpectLength({0x66, 0x0F, 0x3A, 0x63, 0x06, 0x18}, 6);                    // pcmpistri xmm0, [esi], 0x18
    ExpectLength({0x66, 0x0F, 0x3A, 0x0B, 0x05, 1, 2, 3, 4, 0x04}, 10);       // roundsd xmm0, [disp32], 4
    ExpectLength({0x66, 0x0F, 0x3A, 0x44, 0xC1, 0x11}, 6);                    // pclmulqdq
    ExpectLength({0x66, 0x67, 0x0F, 0x3A, 0x20, 0x06, 0x34, 0x12, 0x01}, 9);  // pinsrb xmm0, [disp16], 1
}

TEST(InstructionLength, VexVersusLesLds) {
    // In 32-bit mode C4/C5 are LES/LDS unless the next byte has mod == 11.
    ExpectLength({0xC4, 0x06}, 2);              // les eax, [esi]
    ExpectLength({0xC5, 0x45, 0x08}, 3);        // lds eax, [ebp+8]
    ExpectLength({0xC4, 0x05, 1, 2, 3, 4}, 6);  // les eax, [disp32]
    ExpectLength({0xC5, 0xB5, 1, 2, 3, 4}, 6);  // lds esi, [ebp+disp32]

    ExpectLength({0xC5, 0xF8, 0x77}, 3);                          // vzeroupper: no ModRM
    ExpectLength({0xC5, 0xFC, 0x77}, 3);                          // vzeroall
    ExpectLength({0xC5, 0xF4, 0x58, 0xC2}, 4);                    // vaddps ymm0, ymm1, ymm2
    ExpectLength({0xC5, 0xFE, 0x6F, 0x00}, 4);                    // vmovdqu ymm0, [eax]
    ExpectLength({0xC5, 0xF9, 0x70, 0xC1, 0x1B}, 5);              // vpshufd: map 1 imm8
    ExpectLength({0xC5, 0xF0, 0xC2, 0x45, 0x08, 0x01}, 6);        // vcmpltps
    ExpectLength({0xC4, 0xE1, 0x7C, 0x58, 0xC1}, 5);              // vaddps, three-byte VEX
    ExpectLength({0xC4, 0xE2, 0x79, 0x00, 0xC1}, 5);              // vpshufb: map 2
    ExpectLength({0xC4, 0xE2, 0x71, 0x98, 0x04, 0x24}, 6);        // vfmadd132ps xmm0, xmm1, [esp]
    ExpectLength({0xC4, 0xE3, 0xFD, 0x00, 0xC1, 0x1B}, 6);        // vpermq: map 3 imm8
    ExpectLength({0xC4, 0xE3, 0x71, 0x4A, 0xC2, 0x30}, 6);        // vblendvps (is4 register)
    ExpectLength({0xC4, 0xE3, 0x7B, 0xF0, 0xC1, 0x05}, 6);        // rorx eax, ecx, 5
    ExpectLength({0xC4, 0xE2, 0x79, 0x90, 0x04, 0x88}, 6);        // vpgatherdd (VSIB)
    ExpectLength({0x67, 0xC5, 0xF8, 0x10, 0x06, 0x34, 0x12}, 7);  // vmovups xmm0, [disp16]
    ExpectLength({0x3E, 0xC5, 0xF8, 0x10, 0x00}, 5);              // segment prefix is fine

    ExpectUndefined({0x66, 0xC5, 0xF8, 0x58, 0xC1});  // 66/F2/F3/F0 before VEX
    ExpectUndefined({0xF3, 0xC4, 0xE1, 0x78, 0x58, 0xC1});
    ExpectUndefined({0xF0, 0xC5, 0xF8, 0x58, 0xC1});
    ExpectUndefined({0xC4, 0xE0, 0x78, 0x58, 0xC1});  // map 0
    ExpectUndefined({0xC4, 0xE4, 0x78, 0x58, 0xC1});  // map 4
}

TEST(InstructionLength, EvexVersusBound) {
    ExpectLength({0x62, 0x06}, 2);                                       // bound eax, [esi]
    ExpectLength({0x62, 0x45, 0x08}, 3);                                 // bound eax, [ebp+8]
    ExpectLength({0x62, 0xF1, 0x74, 0x48, 0x58, 0xC2}, 6);               // vaddps zmm0, zmm1, zmm2
    ExpectLength({0x62, 0xF1, 0x74, 0x48, 0x58, 0x40, 0x01}, 7);         // disp8*N is one byte
    ExpectLength({0x62, 0xF1, 0x74, 0x48, 0x58, 0x80, 1, 2, 3, 4}, 10);  // disp32
    ExpectLength({0x62, 0xF3, 0x75, 0x48, 0x25, 0xC2, 0x55}, 7);         // vpternlogd: map 3 imm8
    ExpectLength({0x62, 0xF1, 0x7D, 0x48, 0x70, 0xC1, 0x01}, 7);         // vpshufd: map 1 imm8
    ExpectLength({0x62, 0xF2, 0x75, 0x48, 0x98, 0xC2}, 6);               // vfmadd132ps: map 2
    ExpectLength({0x62, 0xF5, 0x74, 0x48, 0x58, 0xC2}, 6);               // vaddph: map 5
    ExpectLength({0x62, 0xF6, 0x75, 0x48, 0x98, 0xC2}, 6);               // vfmadd132ph: map 6
    ExpectUndefined({0x62, 0xF0, 0x74, 0x48, 0x58, 0xC2});               // map 0
    ExpectUndefined({0x62, 0xF4, 0x74, 0x48, 0x58, 0xC2});               // map 4
    ExpectUndefined({0x62, 0xF1, 0x70, 0x48, 0x58, 0xC2});               // fixed bit of P1 clear
    ExpectUndefined({0x66, 0x62, 0xF1, 0x74, 0x48, 0x58, 0xC2});
}

TEST(InstructionLength, XopVersusPop) {
    ExpectLength({0x8F, 0xE8, 0x78, 0xA6, 0xC1, 0x30}, 6);        // vpmadcsswd: map 8, imm8
    ExpectLength({0x8F, 0xE9, 0x78, 0x80, 0xC1}, 5);              // vfrczps: map 9
    ExpectLength({0x8F, 0xEA, 0x78, 0x10, 0xC1, 1, 2, 3, 4}, 9);  // bextr imm32: map 0A
    ExpectUndefined({0x8F, 0xEB, 0x78, 0x10, 0xC1});              // map 0B
    ExpectUndefined({0x8F, 0x20});                                // 8F /4: neither
}

TEST(InstructionLength, UndefinedOpcodesReturnZero) {
    for (unsigned char op : {0x04, 0x0A, 0x0C, 0x24, 0x25, 0x26, 0x27, 0x36, 0x39, 0x3B, 0x3C, 0x3F, 0x7A, 0x7B}) {
        ExpectUndefined({0x0F, op});
    }
    // 0F A6/A7 exist only as VIA PadLock's fixed register forms.
    ExpectLength({0xF3, 0x0F, 0xA7, 0xC8}, 4);  // rep xcrypt-ecb
    ExpectLength({0xF3, 0x0F, 0xA6, 0xD0}, 4);  // rep xsha256
    ExpectUndefined({0x0F, 0xA6, 0x00});
    ExpectUndefined({0x0F, 0xA7, 0xC1});
    ExpectUndefined({0x0F, 0xB8, 0xC1});  // JMPE without F3
    ExpectUndefined({0xF3, 0x0F, 0x78, 0xC1});
    ExpectUndefined({0x66, 0x0F, 0x38, 0x50, 0xC1});  // holes in 0F 38
    ExpectUndefined({0x0F, 0x38, 0xFF, 0xC1});
    ExpectUndefined({0x66, 0x0F, 0x3A, 0x00, 0xC1, 0x00});  // holes in 0F 3A
    ExpectUndefined({0x66, 0x0F, 0x3A, 0xFF, 0xC1, 0x00});
    for (unsigned reg = 2; reg < 8; ++reg) ExpectUndefined({0xFE, static_cast<unsigned char>(reg << 3)});
    ExpectUndefined({0xFF, 0x38});  // FF /7
    for (unsigned reg = 1; reg < 7; ++reg) {
        ExpectUndefined({0xC6, static_cast<unsigned char>(reg << 3), 0x00});
        ExpectUndefined({0xC7, static_cast<unsigned char>(reg << 3), 0x00});
    }
    ExpectUndefined({0xC6, 0xF9, 0x00});  // C6 /7 other than F8
    // Groups 4/5 /0../6 are fine.
    ExpectLength({0xFE, 0xC0}, 2);
    ExpectLength({0xFF, 0x15, 1, 2, 3, 4}, 6);  // call [disp32]
    ExpectLength({0xFF, 0xE0}, 2);              // jmp eax
    ExpectLength({0xFF, 0x74, 0x24, 0x04}, 4);  // push dword [esp+4]
}

// ---------------------------------------------------------------------------
// Oracle: binutils objdump

struct Instruction {
    std::size_t offset;  // within its run
    std::size_t length;
    std::string text;
};

// A run of contiguous instructions; `bytes` is rebuilt from the listing.
struct CodeRun {
    std::uint64_t start = 0;
    Bytes bytes;
    std::vector<Instruction> instructions;
};

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    const auto last = s.find_last_not_of(" \t\r\n");
    return s.substr(first, last - first + 1);
}

// Parses objdump -d/-D output ("  addr:\tbytes\tmnemonic") into runs.
class ListingParser {
public:
    void Line(const std::string& line) {
        std::size_t i = line.find_first_not_of(' ');
        std::size_t colon = line.find(":\t");
        if (i == std::string::npos || colon == std::string::npos || colon <= i) {
            Break();  // headers, labels, "...", blank lines
            return;
        }
        std::uint64_t address = 0;
        for (std::size_t k = i; k < colon; ++k) {
            const int digit = HexDigit(line[k]);
            if (digit < 0) {
                Break();
                return;
            }
            address = address * 16 + static_cast<unsigned>(digit);
        }
        const std::size_t bytes_begin = colon + 2;
        std::size_t bytes_end = line.find('\t', bytes_begin);
        const std::string text = bytes_end == std::string::npos ? "" : Trim(line.substr(bytes_end + 1));
        if (bytes_end == std::string::npos) bytes_end = line.size();
        Bytes bytes;
        for (std::size_t k = bytes_begin; k < bytes_end;) {
            if (line[k] == ' ') {
                ++k;
                continue;
            }
            const int hi = HexDigit(line[k]);
            const int lo = k + 1 < bytes_end ? HexDigit(line[k + 1]) : -1;
            if (hi < 0 || lo < 0) break;
            bytes.push_back(static_cast<unsigned char>(hi * 16 + lo));
            k += 2;
        }
        if (bytes.empty()) {
            Break();
            return;
        }
        if (text.empty()) {
            // A continuation line of a long instruction (should not happen with
            // --insn-width=16); glue the bytes to the previous instruction.
            if (!current_.instructions.empty() && address == current_.start + current_.bytes.size()) {
                current_.instructions.back().length += bytes.size();
                current_.bytes.insert(current_.bytes.end(), bytes.begin(), bytes.end());
            }
            return;
        }
        if (current_.instructions.empty() || address != current_.start + current_.bytes.size()) {
            Break();
            current_.start = address;
        }
        current_.instructions.push_back({current_.bytes.size(), bytes.size(), text});
        current_.bytes.insert(current_.bytes.end(), bytes.begin(), bytes.end());
    }

    std::vector<CodeRun> Finish() {
        Break();
        return std::move(runs_);
    }

private:
    static int HexDigit(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    void Break() {
        if (!current_.instructions.empty()) runs_.push_back(std::move(current_));
        current_ = CodeRun();
    }

    CodeRun current_;
    std::vector<CodeRun> runs_;
};

// objdump prints prefixes it cannot attach (e.g. beyond its own prefix
// limit) as a line of their own; those lines are not instructions.
bool IsPrefixOnly(const std::string& text) {
    static const std::set<std::string> kPrefixWords = {"lock",     "rep",      "repz",   "repe",   "repnz",  "repne",
                                                       "data16",   "data32",   "addr16", "addr32", "cs",     "ds",
                                                       "es",       "ss",       "fs",     "gs",     "bnd",    "notrack",
                                                       "xacquire", "xrelease", "rex",    "{vex}",  "{vex3}", "{evex}"};
    std::istringstream words(text);
    std::string word;
    bool any = false;
    while (words >> word) {
        if (!kPrefixWords.count(word)) return false;
        any = true;
    }
    return any;
}

bool ObjdumpCouldNotDecode(const std::string& text) {
    return text.find("(bad)") != std::string::npos || text.rfind(".byte", 0) == 0 || IsPrefixOnly(text);
}

struct Comparison {
    std::size_t compared = 0;
    std::size_t skipped = 0;  // objdump could not decode it
    std::size_t mismatches = 0;
    std::string report;  // the first few mismatches

    void Mismatch(const std::string& what) {
        if (++mismatches <= 40) report += what + "\n";
    }
};

// Our length for the instruction objdump listed at `code`, or -1 when they
// differ. objdump folds FWAIT (9B) into a following x87 instruction (FINIT,
// FSTSW, ...), while the processor runs it as an instruction of its own; such
// a line must split into exactly our instructions.
bool SameLength(const unsigned char* code, std::size_t rest, std::size_t objdump_length, int* ours) {
    *ours = korrin::InstructionLength(code, rest);
    if (*ours == static_cast<int>(objdump_length)) return true;
    if (*ours <= 0 || static_cast<std::size_t>(*ours) >= objdump_length || code[*ours - 1] != 0x9B) return false;
    const int tail = korrin::InstructionLength(code + *ours, rest - static_cast<std::size_t>(*ours));
    return tail > 0 && static_cast<std::size_t>(*ours + tail) == objdump_length;
}

void CompareInstruction(const CodeRun& run, const Instruction& insn, Comparison& result) {
    if (ObjdumpCouldNotDecode(insn.text)) {
        ++result.skipped;
        return;
    }
    ++result.compared;
    const std::size_t rest = run.bytes.size() - insn.offset;
    int ours = 0;
    if (!SameLength(run.bytes.data() + insn.offset, rest, insn.length, &ours)) {
        std::ostringstream msg;
        msg << "  " << Hex(run.bytes.data() + insn.offset, std::min<std::size_t>(rest, insn.length + 4)) << "  objdump "
            << insn.length << " ours " << ours << "  (" << insn.text << ")";
        result.Mismatch(msg.str());
    }
}

Comparison CompareAll(const std::vector<CodeRun>& runs) {
    Comparison result;
    for (const CodeRun& run : runs) {
        for (const Instruction& insn : run.instructions) CompareInstruction(run, insn, result);
    }
    return result;
}

bool IsExecutable(const std::string& path) {
    return !path.empty() && access(path.c_str(), X_OK) == 0;
}

// Finds a tool: the environment override, then each name on PATH.
std::string FindTool(const char* env_name, std::initializer_list<const char*> names) {
    if (const char* forced = std::getenv(env_name)) {
        return IsExecutable(forced) ? forced : "";
    }
    const char* path_env = std::getenv("PATH");
    const std::string path = path_env ? path_env : "/usr/bin:/bin";
    for (const char* name : names) {
        std::istringstream dirs(path);
        std::string dir;
        while (std::getline(dirs, dir, ':')) {
            const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
            if (IsExecutable(candidate)) return candidate;
        }
    }
    return "";
}

std::string FindObjdump() {
    return FindTool("KORRIN_OBJDUMP", {"i686-w64-mingw32-objdump", "objdump"});
}

std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs a shell command and feeds each output line to `parser`; returns the
// exit status.
int RunListing(const std::string& command, ListingParser& parser) {
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe) return -1;
    std::string line;
    char buf[4096];
    while (std::fgets(buf, sizeof buf, pipe)) {
        line += buf;
        if (!line.empty() && line.back() == '\n') {
            line.pop_back();
            parser.Line(line);
            line.clear();
        }
    }
    if (!line.empty()) parser.Line(line);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunCommand(const std::string& command, std::string* output) {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return -1;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) output->append(buf, n);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/korrin_insn_XXXXXX";
        if (mkdtemp(pattern)) path_ = pattern;
    }
    ~TempDir() {
        if (!path_.empty()) std::system(("rm -rf " + Quote(path_)).c_str());
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

std::vector<std::string> Split(const std::string& s, char sep) {
    std::vector<std::string> out;
    std::istringstream in(s);
    std::string item;
    while (std::getline(in, item, sep)) {
        if (!item.empty()) out.push_back(item);
    }
    return out;
}

// Real compiler output: the i686 MinGW runtime libraries shipped by Debian.
// KORRIN_INSN_CORPUS may name other files (':'-separated) to disassemble.
TEST(InstructionLengthOracle, MatchesObjdumpOnRuntimeLibraries) {
    const std::string objdump = FindObjdump();
    if (objdump.empty()) GTEST_SKIP() << "no objdump found (set KORRIN_OBJDUMP)";

    std::vector<std::string> corpus;
    if (const char* forced = std::getenv("KORRIN_INSN_CORPUS")) {
        corpus = Split(forced, ':');
    } else {
        // The installed i686 compiler says where its runtime libraries are.
        const std::string compiler =
            FindTool("KORRIN_MINGW_GCC", {"i686-w64-mingw32-gcc-posix", "i686-w64-mingw32-gcc"});
        std::string lib;
        if (!compiler.empty() && RunCommand(Quote(compiler) + " -print-file-name=libstdc++.a", &lib) == 0) {
            while (!lib.empty() && (lib.back() == '\n' || lib.back() == '\r')) lib.pop_back();
            const std::size_t slash = lib.rfind('/');
            if (slash != std::string::npos && access(lib.c_str(), R_OK) == 0) {
                const std::string dir = lib.substr(0, slash);
                corpus = {lib, dir + "/libgcc.a", dir + "/libquadmath.a"};
            }
        }
    }
    std::vector<std::string> present;
    for (const std::string& file : corpus) {
        if (access(file.c_str(), R_OK) == 0) present.push_back(file);
    }
    if (present.empty()) GTEST_SKIP() << "no i686 corpus found (set KORRIN_INSN_CORPUS)";

    Comparison total;
    for (const std::string& file : present) {
        ListingParser parser;
        const int status = RunListing(Quote(objdump) + " -d -M i386 --insn-width=16 " + Quote(file), parser);
        ASSERT_EQ(status, 0) << objdump << " failed on " << file;
        const Comparison result = CompareAll(parser.Finish());
        std::printf("[ corpus   ] %s: %zu instructions compared, %zu undecodable skipped, %zu mismatches\n",
                    file.c_str(), result.compared, result.skipped, result.mismatches);
        total.compared += result.compared;
        total.skipped += result.skipped;
        total.mismatches += result.mismatches;
        total.report += result.report;
    }
    EXPECT_GE(total.compared, 10000u) << "corpus too small to mean much";
    EXPECT_EQ(total.mismatches, 0u) << total.report;
}

// Places each candidate at a multiple of kStride, padded with 66 bytes and a
// final 90. The candidate may take the padding as displacement or immediate;
// whatever is left decodes as one "66 66 ... 90" line from any start, so
// objdump is back in step at the next candidate after a line or two.
// Candidates are at most 8 bytes, so nothing decoded from them reaches past
// the final 90.
constexpr std::size_t kStride = 23;
constexpr std::size_t kMaxCandidate = 8;

// Encodings where objdump and the processor disagree; the decoder follows
// the processor and returns 0.
bool IsKnownDivergence(const Bytes& candidate) {
    std::size_t i = 0;
    bool simd_prefix = false;
    while (i < candidate.size() &&
           (candidate[i] == 0x66 || candidate[i] == 0x67 || candidate[i] == 0xF2 || candidate[i] == 0xF3)) {
        simd_prefix = simd_prefix || candidate[i] != 0x67;
        ++i;
    }
    const unsigned char* op = candidate.data() + i;
    const std::size_t left = candidate.size() - i;
    // 386/486 test-register moves, #UD on every later processor.
    if (left >= 2 && op[0] == 0x0F && (op[1] == 0x24 || op[1] == 0x26)) return true;
    // 66/F2/F3 in front of VEX/EVEX/XOP is #UD; objdump accepts some.
    if (simd_prefix && left >= 2 && (op[0] == 0xC4 || op[0] == 0xC5 || op[0] == 0x62) && (op[1] & 0xC0) == 0xC0) {
        return true;
    }
    return false;
}

Comparison SweepAgainstObjdump(const std::vector<Bytes>& candidates, std::size_t* unsynced) {
    Comparison result;
    *unsynced = 0;
    const std::string objdump = FindObjdump();
    TempDir dir;
    if (objdump.empty() || dir.path().empty()) return result;
    const std::string blob_path = dir.path() + "/sweep.bin";
    {
        Bytes blob(candidates.size() * kStride, 0x66);
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            if (candidates[i].size() > kMaxCandidate) {
                result.Mismatch("candidate too long: " + Hex(candidates[i]));
                return result;
            }
            std::copy(candidates[i].begin(), candidates[i].end(), blob.begin() + i * kStride);
            blob[i * kStride + kStride - 1] = 0x90;
        }
        std::ofstream out(blob_path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(blob.data()), static_cast<std::streamsize>(blob.size()));
    }
    ListingParser parser;
    const int status =
        RunListing(Quote(objdump) + " -D -z -b binary -m i386 --insn-width=16 " + Quote(blob_path), parser);
    if (status != 0) {
        result.Mismatch("objdump failed");
        return result;
    }
    const std::vector<CodeRun> runs = parser.Finish();
    std::size_t next = 0;
    for (const CodeRun& run : runs) {
        for (const Instruction& insn : run.instructions) {
            const std::uint64_t address = run.start + insn.offset;
            if (address % kStride != 0) continue;
            const std::size_t index = address / kStride;
            if (index >= candidates.size()) continue;
            if (index != next) *unsynced += index - next;
            next = index + 1;
            if (ObjdumpCouldNotDecode(insn.text)) {
                ++result.skipped;
                continue;
            }
            // Decode from the blob as objdump saw it, with the padding available.
            ++result.compared;
            int ours = 0;
            if (SameLength(run.bytes.data() + insn.offset, run.bytes.size() - insn.offset, insn.length, &ours))
                continue;
            if (ours == 0 && IsKnownDivergence(candidates[index])) continue;
            std::ostringstream msg;
            msg << "  " << Hex(candidates[index]) << "  objdump " << insn.length << " ours " << ours << "  ("
                << insn.text << ")";
            result.Mismatch(msg.str());
        }
    }
    *unsynced += candidates.size() - next;
    return result;
}

// ModRM (+SIB) shapes: every reg field with memory and register forms, every
// displacement size, SIB with and without base, and the 16-bit forms.
const std::vector<Bytes>& ModRMShapes() {
    static const std::vector<Bytes> shapes = {
        {0x05}, {0x0C, 0x24}, {0x54, 0x24}, {0x9C, 0x24}, {0x24, 0x85}, {0x60}, {0xA8}, {0x36}, {0x7E},
        {0x00}, {0xC1},       {0xC8},       {0xD1},       {0xD8},       {0xE1}, {0xE8}, {0xF1}, {0xF8},
    };
    return shapes;
}

void ExpectSweepMatches(const std::vector<Bytes>& candidates, std::size_t min_compared, const char* what) {
    std::size_t unsynced = 0;
    const Comparison result = SweepAgainstObjdump(candidates, &unsynced);
    std::printf("[ sweep    ] %s: %zu candidates, %zu compared, %zu undecodable skipped, %zu mismatches\n", what,
                candidates.size(), result.compared, result.skipped, result.mismatches);
    EXPECT_EQ(unsynced, 0u) << "objdump listing lost sync with the candidates";
    EXPECT_GE(result.compared, min_compared);
    EXPECT_EQ(result.mismatches, 0u) << result.report;
}

TEST(InstructionLengthOracle, MatchesObjdumpOnEveryLegacyOpcode) {
    if (FindObjdump().empty()) GTEST_SKIP() << "no objdump found (set KORRIN_OBJDUMP)";
    // Prefix sets: none, each mandatory-prefix candidate, 16-bit addressing.
    const std::vector<Bytes> prefix_sets = {{}, {0x66}, {0xF2}, {0xF3}, {0x67}, {0x66, 0x67}};
    const std::vector<Bytes> maps = {{}, {0x0F}, {0x0F, 0x38}, {0x0F, 0x3A}};
    std::vector<Bytes> candidates;
    for (const Bytes& map : maps) {
        for (int op = 0; op < 256; ++op) {
            const unsigned char opcode = static_cast<unsigned char>(op);
            // Prefix bytes and escapes are exercised through the other entries.
            if (map.empty() && (opcode == 0x0F || opcode == 0x26 || opcode == 0x2E || opcode == 0x36 ||
                                opcode == 0x3E || opcode == 0x64 || opcode == 0x65 || opcode == 0x66 ||
                                opcode == 0x67 || opcode == 0xF0 || opcode == 0xF2 || opcode == 0xF3)) {
                continue;
            }
            for (const Bytes& prefixes : prefix_sets) {
                for (const Bytes& modrm : ModRMShapes()) {
                    candidates.push_back(Cat({prefixes, map, {opcode}, modrm}));
                }
            }
        }
    }
    ExpectSweepMatches(candidates, 40000, "legacy maps");
}

TEST(InstructionLengthOracle, MatchesObjdumpOnEveryVexEvexAndXopOpcode) {
    if (FindObjdump().empty()) GTEST_SKIP() << "no objdump found (set KORRIN_OBJDUMP)";
    const std::vector<Bytes> shapes = {{0x05}, {0x54, 0x24}, {0x24, 0x85}, {0xA8}, {0xC1}, {0xE9}};
    std::vector<Bytes> escapes;
    for (unsigned char b : {0xF8, 0xF9, 0xFA, 0xFB, 0xFD}) escapes.push_back({0xC5, b});
    for (unsigned char map : {0xE1, 0xE2, 0xE3}) {
        for (unsigned char b : {0x78, 0x79, 0x7A, 0x7B, 0xFD}) escapes.push_back({0xC4, map, b});
    }
    for (unsigned char map : {0xF1, 0xF2, 0xF3, 0xF5, 0xF6}) {
        for (unsigned char b : {0x7C, 0x7D, 0x7E, 0x7F, 0xFD}) escapes.push_back({0x62, map, b, 0x48});
    }
    for (unsigned char map : {0xE8, 0xE9, 0xEA}) escapes.push_back({0x8F, map, 0x78});
    std::vector<Bytes> candidates;
    for (const Bytes& escape : escapes) {
        for (const Bytes& prefixes : std::vector<Bytes>{{}, {0x67}}) {
            for (int op = 0; op < 256; ++op) {
                for (const Bytes& modrm : shapes) {
                    candidates.push_back(Cat({prefixes, escape, {static_cast<unsigned char>(op)}, modrm}));
                }
            }
        }
    }
    ExpectSweepMatches(candidates, 15000, "VEX/EVEX/XOP maps");
}

// Hand-written instructions that compilers rarely emit, assembled at test time.
constexpr const char kTrickySource[] = R"asm(
  .text
  .code32
  # Operand-size immediates and 66
  addw $0x1234, %ax
  addw $0x1234, (%eax)
  addw $1, (%eax)
  pushw $0x1234
  push $0x12345678
  push $5
  imulw $0x1234, %bx, %cx
  imul $500, 8(%ebp), %ecx
  imul $5, %eax, %ebx
  movw $0x1234, 4(%ebx)
  movb $1, (%eax)
  movl $0x12345678, 0x10(%ebx,%esi,4)
  testw $0x1234, %ax
  testw $0x1234, (%ecx)
  testb $1, (%ecx)
  testl $0x12345678, 0x10(%ebx,%esi,4)
  notl (%eax)
  negl 0x12345678
  mull %ecx
  idivl 8(%ebp)
  shll $3, (%eax)
  roll (%eax)
  sarl %cl, %edx
  adcb $1, %al
  sbbl $0x12345, %eax
  cmpl $0x12345, 0x10(%ebp)
  cmpb $1, 0x12345678(,%eax,8)
  # ENTER, RET imm16, far transfers, moffs
  enter $0x1000, $2
  leave
  ret $8
  lret $8
  lret
  lcall $0x10, $0x12345678
  ljmp $0x10, $0x12345678
  lcallw $0x10, $0x1234
  ljmpw $0x10, $0x1234
  lcall *(%eax)
  ljmp *0x12345678
  movl 0x12345678, %eax
  movb %al, 0x12345678
  movw 0x12345678, %ax
  addr16 movl 0x1234, %eax
  addr16 movb %al, 0x12
  # Segment overrides, LOCK, REP, and friends
  movl %fs:0x18, %eax
  movl %gs:(%eax), %ebx
  movl %es:4(%esi), %ecx
  movl %cs:(%ebx,%ecx,2), %edx
  movl %ss:0x10(%esp), %eax
  movl %ds:0x12345678, %eax
  lock addl $1, (%eax)
  lock cmpxchgl %ecx, 4(%edx)
  lock xaddl %eax, (%ebx)
  xacquire lock incl (%eax)
  rep movsb
  repne scasb
  rep stosl
  notrack jmp *%eax
  bnd jmp 1f
1:
  # SIB and displacement corner cases
  movl (%esp), %eax
  movl (,%eax,4), %eax
  movl 0x12345678(,%eax,4), %eax
  movl (%ebp), %eax
  movl (%ebp,%eax), %eax
  movl 0x12345678(%eax,%ebx,8), %eax
  movl 0x10(%esp), %eax
  leal 0x80(%esp,%esi,2), %edi
  # 16-bit addressing through 67
  movl 0x10(%bx,%si), %eax
  movl 0x1234(%bp), %eax
  movl (%bp), %eax
  movl (%si), %eax
  movl (%di), %eax
  movl 0x1234(%bx,%di), %eax
  addl $0x12345678, 0x1234(%bp,%si)
  leaw (%bx,%si), %ax
  fldl 0x10(%bp,%di)
  # x87
  fld %st(1)
  fldl 8(%esp)
  fistpll (%eax)
  fnstsw %ax
  fstp %st(0)
  fxch %st(3)
  fldcw 2(%esp)
  fnstenv (%eax)
  frstor 0x12345678
  fcomip %st(1), %st
  f2xm1
  fld1
  fldt 0x10(%eax)
  fbstp (%eax)
  fiaddl (%ebx,%ecx,4)
  fdivrp %st, %st(2)
  fwait
  # MMX / SSE / SSE2 / SSE3 / SSSE3 / SSE4 with immediates
  pinsrd $1, %eax, %xmm1
  pextrb $3, %xmm2, (%eax)
  pextrd $1, %xmm0, 4(%esp)
  pshufd $0x1b, (%eax,%ebx,8), %xmm3
  pshufw $1, %mm1, %mm0
  pshuflw $1, %xmm1, %xmm0
  pshufhw $1, 0x10(%eax), %xmm0
  cmpps $2, %xmm1, %xmm2
  cmpsd $2, 0x12345678, %xmm2
  roundsd $4, 0x10(%esp), %xmm0
  pcmpistri $0x18, (%esi), %xmm1
  pcmpestrm $0x18, 0x10(%esi), %xmm1
  ptest %xmm1, %xmm2
  pmovzxbw (%eax), %xmm0
  pmovsxdq 0x12345678, %xmm1
  pblendvb %xmm0, %xmm1, %xmm2
  insertps $0x10, %xmm1, %xmm2
  dpps $0xff, (%eax), %xmm3
  mpsadbw $1, %xmm1, %xmm2
  pclmulqdq $0x11, %xmm1, %xmm2
  aesenc (%eax), %xmm1
  aeskeygenassist $1, %xmm1, %xmm2
  sha1rnds4 $3, %xmm1, %xmm2
  sha256rnds2 %xmm0, %xmm1, %xmm2
  palignr $3, %mm1, %mm2
  palignr $3, (%ecx), %xmm2
  pshufb %xmm1, %xmm2
  psrlq $3, %xmm1
  psllw $2, %mm0
  pslldq $4, %xmm0
  psrad $1, %mm3
  shufps $0x44, %xmm1, %xmm2
  shufpd $1, 8(%ebp), %xmm2
  pinsrw $2, (%eax), %xmm0
  pinsrw $2, %eax, %mm0
  pextrw $1, %xmm0, %eax
  movntdqa (%eax), %xmm1
  lddqu (%eax), %xmm1
  haddps %xmm1, %xmm2
  movddup 0x10(%eax), %xmm1
  movq %xmm0, (%eax)
  movd %xmm0, %eax
  movdqa %xmm0, 0x12345678(%eax)
  cvttsd2si %xmm0, %eax
  maskmovq %mm1, %mm0
  crc32b (%eax), %eax
  crc32l %eax, %ebx
  crc32w 0x10(%esi), %edx
  popcnt %eax, %ebx
  popcntw (%eax), %bx
  lzcnt %eax, %ebx
  tzcnt 4(%eax), %ebx
  movbe (%eax), %ecx
  adcx %eax, %ebx
  # 3DNow! and SSE4a
  pfadd %mm1, %mm0
  pfmul 8(%eax), %mm1
  pswapd %mm1, %mm2
  femms
  extrq $1, $2, %xmm0
  insertq $1, $2, %xmm1, %xmm0
  extrq %xmm1, %xmm0
  insertq %xmm1, %xmm0
  # AVX, AVX2, FMA, BMI (VEX)
  vaddps %ymm1, %ymm2, %ymm3
  vmovdqu (%eax), %ymm0
  vmovups 0x12345678(,%eax,8), %xmm1
  vpermq $0x1b, %ymm1, %ymm2
  vpshufb %ymm1, %ymm2, %ymm3
  vblendvps %xmm1, %xmm2, %xmm3, %xmm4
  vzeroupper
  vzeroall
  vpsrldq $4, %ymm1, %ymm2
  vcmpps $1, %ymm1, %ymm2, %ymm3
  vpextrd $1, %xmm0, (%eax)
  vbroadcastss (%eax), %ymm0
  vfmadd231ps %ymm1, %ymm2, %ymm3
  vfmadd132sd 8(%esp), %xmm1, %xmm2
  vpinsrw $1, %eax, %xmm1, %xmm2
  vpextrw $1, %xmm1, %eax
  vshufps $1, %xmm1, %xmm2, %xmm3
  vperm2f128 $0x20, %ymm1, %ymm2, %ymm3
  vinsertf128 $1, (%eax), %ymm1, %ymm2
  vpgatherdd %xmm2, (%eax,%xmm1,4), %xmm0
  vgatherdps %ymm2, 0x10(,%ymm1,8), %ymm0
  vldmxcsr (%eax)
  vcvtph2ps %xmm1, %ymm0
  vmovd %xmm0, %eax
  vmovq (%eax), %xmm0
  vpsllq $3, %xmm1, %xmm2
  vmovups (%bx,%si), %xmm1
  andn %eax, %ebx, %ecx
  rorx $3, %eax, %ebx
  shlx %eax, %ebx, %ecx
  bextr %eax, (%ebx), %ecx
  pdep %eax, %ebx, %ecx
  kmovw %k1, %k2
  kandw %k1, %k2, %k3
  # AVX-512 (EVEX)
  vaddps %zmm1, %zmm2, %zmm3
  vaddps 0x40(%eax), %zmm1, %zmm2
  vaddps 0x44(%eax), %zmm1, %zmm2
  vaddps (%eax){1to16}, %zmm1, %zmm2{%k1}{z}
  vpternlogd $0x55, %zmm1, %zmm2, %zmm3
  vpshufd $1, %zmm1, %zmm2{%k1}{z}
  vcmpps $1, %zmm1, %zmm2, %k1
  vpsrlq $3, %zmm1, %zmm2
  vpsrlq $3, 0x80(%esp), %zmm2
  vextracti32x4 $1, %zmm1, (%eax)
  vpgatherdd 0x40(%eax,%zmm1,4), %zmm0{%k1}
  vaddph %zmm1, %zmm2, %zmm3
  vfmadd132ph %zmm1, %zmm2, %zmm3
  vrndscaleps $4, {sae}, %zmm1, %zmm2
  vmovdqu8 %xmm1, %xmm2
  # XOP
  vpmacsww %xmm1, %xmm2, %xmm3, %xmm4
  vfrczps %xmm1, %xmm2
  vprotd $3, %xmm1, %xmm2
  vpcomb $1, %xmm1, %xmm2, %xmm3
  bextr $0x1234, %eax, %ebx
  lwpins $0x12345678, %eax, %ebx
  # System and miscellany
  sysenter
  sysexit
  syscall
  cpuid
  rdtsc
  rdtscp
  rdmsr
  ud2
  ud1 (%eax), %eax
  ud0 8(%ecx), %edx
  mov %cr0, %eax
  mov %eax, %cr3
  mov %eax, %dr7
  mov %dr6, %ebx
  lgdt 0x1234
  sidt (%eax)
  lldt %ax
  str %eax
  verr (%eax)
  invlpg (%eax)
  clflush (%eax)
  lfence
  mfence
  sfence
  fxsave (%eax)
  xsave (%eax)
  xrstor 0x10(%esp)
  xgetbv
  prefetchnta (%eax)
  prefetchw 0x10(%eax)
  nopw 0x0(%eax,%eax,1)
  nopl 0x12345678(%eax,%eax,1)
  endbr32
  rdrand %eax
  rdseed %ecx
  cmpxchg8b (%esi)
  xbegin 2f
2:
  xabort $1
  xend
  xtest
  monitor
  mwait
  vmcall
  vmread %eax, (%ebx)
  vmwrite (%ebx), %eax
  invpcid (%eax), %ebx
  clts
  invd
  wbinvd
  rsm
  pause
  in $0x60, %al
  out %al, $0x80
  in (%dx), %eax
  outsb
  int $0x80
  int3
  into
  int1
  bound %eax, (%ebx)
  arpl %ax, (%ebx)
  aam $10
  aad
  aaa
  daa
  les (%eax), %ebx
  lds 0x10(%esi), %ecx
  lss (%eax), %esp
  lfs 4(%eax), %ebx
  lgs (%eax), %ebx
  iret
  hlt
  cli
  sti
  push %fs
  pop %gs
  push %es
  pop %ds
  pusha
  popfl
  xlat
  bswap %ecx
  btsl $5, (%eax)
  btrl %ecx, 4(%eax)
  shldl $4, %ecx, (%eax)
  shrdl %cl, %ecx, %eax
  cmovne 0x12345678, %eax
  setg (%eax)
  movzbl 0x10(%esp), %eax
  movswl %ax, %ecx
  xchg %eax, %ecx
  xchg %eax, (%ebx)
  cwtl
  cltd
  sahf
  # Branches of every width
  jmp 3f
  jmp 4f
  je 3f
  jne 4f
  jecxz 3f
  loop 3f
  call 4f
  call *%eax
  call *0x12345678
  jmp *(%eax,%ebx,4)
  .byte 0x66, 0x0f, 0x85, 0x00, 0x00        # jne rel16
  .byte 0x66, 0xe8, 0x00, 0x00              # call rel16
  .byte 0x66, 0xe9, 0x00, 0x00              # jmp rel16
  .byte 0x67, 0xe3, 0x00                    # jcxz
3:
  .fill 130, 1, 0x90
4:
  ret
)asm";

TEST(InstructionLengthOracle, MatchesObjdumpOnAssembledTrickyInstructions) {
    const std::string objdump = FindObjdump();
    const std::string as = FindTool("KORRIN_AS", {"i686-w64-mingw32-as", "as"});
    if (objdump.empty() || as.empty()) GTEST_SKIP() << "needs both as and objdump";
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::string source = dir.path() + "/tricky.s";
    const std::string object = dir.path() + "/tricky.o";
    {
        std::ofstream out(source);
        out << kTrickySource;
    }
    std::string messages;
    if (RunCommand(Quote(as) + " --32 -o " + Quote(object) + " " + Quote(source), &messages) != 0) {
        GTEST_SKIP() << "this assembler does not take the whole test file:\n" << messages;
    }
    ListingParser parser;
    ASSERT_EQ(RunListing(Quote(objdump) + " -d -M i386 --insn-width=16 " + Quote(object), parser), 0);
    const std::vector<CodeRun> runs = parser.Finish();
    const Comparison result = CompareAll(runs);
    std::printf("[ tricky   ] %zu instructions compared, %zu undecodable, %zu mismatches\n", result.compared,
                result.skipped, result.mismatches);
    EXPECT_EQ(result.skipped, 0u) << "objdump could not decode some of what as produced";
    EXPECT_GE(result.compared, 300u);
    EXPECT_EQ(result.mismatches, 0u) << result.report;
}

}  // namespace
