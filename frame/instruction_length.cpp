// Length decoder for 32-bit (protected-mode) x86 instructions.
//
// Layout of an instruction, in order:
//   legacy prefixes | opcode (1-3 bytes, or VEX/EVEX/XOP + opcode) |
//   ModRM | SIB | displacement | immediate
// Per-opcode flag tables below say which of the trailing parts an opcode
// has; the few opcodes whose shape depends on the ModRM byte or on a prefix
// are marked "special" and handled in code.
#include "frame/instruction_length.h"

#include <array>
#include <cstdint>

namespace korrin {
namespace {

using Flags = std::uint16_t;

constexpr Flags kNone = 0;
constexpr Flags kModRM = 1u << 0;    // ModRM byte (+ SIB and displacement)
constexpr Flags kImm8 = 1u << 1;     // 8-bit immediate or rel8
constexpr Flags kImm16 = 1u << 2;    // 16-bit immediate, whatever the operand size
constexpr Flags kImmZ = 1u << 3;     // imm/rel of operand size: 4 bytes, 2 with 66
constexpr Flags kMoffs = 1u << 4;    // memory offset of address size: 4, 2 with 67
constexpr Flags kFarPtr = 1u << 5;   // ptr16:32, ptr16:16 with 66
constexpr Flags kInvalid = 1u << 6;  // undefined in 32-bit mode
constexpr Flags kSpecial = 1u << 7;  // decoded by hand in the code below
constexpr Flags kPrefix = 1u << 8;   // legacy prefix byte

// Short names so that each table row fits on one line.
constexpr Flags _ = kNone;
constexpr Flags M = kModRM;
constexpr Flags B = kImm8;
constexpr Flags W = kImm16;
constexpr Flags Z = kImmZ;
constexpr Flags O = kMoffs;
constexpr Flags P = kFarPtr;
constexpr Flags X = kInvalid;
constexpr Flags S = kSpecial;
constexpr Flags F = kPrefix;
constexpr Flags MB = kModRM | kImm8;
constexpr Flags MZ = kModRM | kImmZ;

// clang-format off
// One-byte opcode map.
constexpr std::array<Flags, 256> kOneByteMap = {
    // 00-0F: ADD, OR (r/m forms, AL/eAX immediates), PUSH/POP ES, PUSH CS, 0F escape
    M, M, M, M, B, Z, _, _, M, M, M, M, B, Z, _, S,
    // 10-1F: ADC, SBB, PUSH/POP SS and DS
    M, M, M, M, B, Z, _, _, M, M, M, M, B, Z, _, _,
    // 20-2F: AND, SUB, ES and CS overrides, DAA, DAS
    M, M, M, M, B, Z, F, _, M, M, M, M, B, Z, F, _,
    // 30-3F: XOR, CMP, SS and DS overrides, AAA, AAS
    M, M, M, M, B, Z, F, _, M, M, M, M, B, Z, F, _,
    // 40-4F: INC/DEC r32 (no REX in 32-bit mode)
    _, _, _, _, _, _, _, _, _, _, _, _, _, _, _, _,
    // 50-5F: PUSH/POP r32
    _, _, _, _, _, _, _, _, _, _, _, _, _, _, _, _,
    // 60-6F: PUSHA, POPA, BOUND/EVEX, ARPL, FS/GS/66/67 prefixes, PUSH/IMUL imm, INS/OUTS
    _, _, S, M, F, F, F, F, Z, MZ, B, MB, _, _, _, _,
    // 70-7F: Jcc rel8
    B, B, B, B, B, B, B, B, B, B, B, B, B, B, B, B,
    // 80-8F: group 1 immediates, TEST, XCHG, MOV, MOV Sreg, LEA, POP r/m (or XOP)
    MB, MZ, MB, MB, M, M, M, M, M, M, M, M, M, M, M, S,
    // 90-9F: XCHG eAX, CBW/CWD, CALL far ptr, FWAIT, PUSHF/POPF, SAHF/LAHF
    _, _, _, _, _, _, _, _, _, _, P, _, _, _, _, _,
    // A0-AF: MOV AL/eAX <-> moffs, string ops, TEST AL/eAX imm
    O, O, O, O, _, _, _, _, B, Z, _, _, _, _, _, _,
    // B0-BF: MOV r8, imm8 and MOV r32, imm32
    B, B, B, B, B, B, B, B, Z, Z, Z, Z, Z, Z, Z, Z,
    // C0-CF: shifts imm8, RET imm16, LES/LDS or VEX, MOV r/m imm, ENTER, LEAVE, RETF, INT
    MB, MB, W, _, S, S, S, S, W | B, _, W, _, _, B, _, _,
    // D0-DF: shifts by 1/CL, AAM/AAD imm8, SALC, XLAT, x87 escapes
    M, M, M, M, B, B, _, _, M, M, M, M, M, M, M, M,
    // E0-EF: LOOPcc/JECXZ rel8, IN/OUT imm8, CALL/JMP rel, JMP far ptr, JMP rel8, IN/OUT DX
    B, B, B, B, B, B, B, B, Z, Z, P, B, _, _, _, _,
    // F0-FF: LOCK, INT1, REPNE/REP, HLT, CMC, group 3, flag ops, groups 4 and 5
    F, _, F, F, _, _, S, S, _, _, _, _, _, _, S, S,
};

// Two-byte opcode map (after 0F).
constexpr std::array<Flags, 256> kTwoByteMap = {
    // 00-0F: system groups, LAR, LSL, SYSCALL, CLTS, SYSRET, INVD, WBINVD, UD2, PREFETCH, FEMMS, 3DNow!
    M, M, M, M, X, _, _, _, _, _, X, _, X, M, _, S,
    // 10-1F: SSE moves, prefetch hints, hint NOPs and MPX
    M, M, M, M, M, M, M, M, M, M, M, M, M, M, M, M,
    // 20-2F: MOV to/from CR/DR (register forms only), SSE moves, conversions, compares
    S, S, S, S, X, X, X, X, M, M, M, M, M, M, M, M,
    // 30-3F: WRMSR, RDTSC, RDMSR, RDPMC, SYSENTER, SYSEXIT, GETSEC, three-byte escapes
    _, _, _, _, _, _, X, _, S, X, S, X, X, X, X, X,
    // 40-4F: CMOVcc
    M, M, M, M, M, M, M, M, M, M, M, M, M, M, M, M,
    // 50-5F: SSE arithmetic and logic
    M, M, M, M, M, M, M, M, M, M, M, M, M, M, M, M,
    // 60-6F: MMX/SSE2 unpack, pack, compare, MOVD/MOVQ
    M, M, M, M, M, M, M, M, M, M, M, M, M, M, M, M,
    // 70-7F: PSHUF* imm8, shift groups imm8, PCMPEQ, EMMS, VMREAD/VMWRITE or SSE4a, HADD/HSUB, MOVD/MOVQ
    MB, MB, MB, MB, M, M, M, _, S, M, X, X, M, M, M, M,
    // 80-8F: Jcc rel32 (rel16 with 66)
    Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z,
    // 90-9F: SETcc
    M, M, M, M, M, M, M, M, M, M, M, M, M, M, M, M,
    // A0-AF: PUSH/POP FS, CPUID, BT, SHLD, PadLock, PUSH/POP GS, RSM, BTS, SHRD, group 15, IMUL
    _, _, _, M, MB, M, S, S, _, _, _, M, MB, M, M, M,
    // B0-BF: CMPXCHG, LSS, BTR, LFS, LGS, MOVZX, POPCNT, UD1, group 8 imm8, BTC, BSF, BSR, MOVSX
    M, M, M, M, M, M, M, M, S, M, MB, M, M, M, M, M,
    // C0-CF: XADD, CMPPS imm8, MOVNTI, PINSRW/PEXTRW/SHUFPS imm8, group 9, BSWAP
    M, M, MB, M, MB, MB, MB, M, _, _, _, _, _, _, _, _,
    // D0-DF: SSE/MMX arithmetic
    M, M, M, M, M, M, M, M, M, M, M, M, M, M, M, M,
    // E0-EF: SSE/MMX arithmetic
    M, M, M, M, M, M, M, M, M, M, M, M, M, M, M, M,
    // F0-FF: SSE/MMX arithmetic, MASKMOVQ, UD0
    M, M, M, M, M, M, M, M, M, M, M, M, M, M, M, M,
};

// clang-format on

// Opcode ranges of a three-byte map that are defined without VEX/EVEX.
struct Range {
    std::uint8_t first;
    std::uint8_t last;
};

template <std::size_t N>
constexpr std::array<bool, 256> MakeOpcodeSet(const Range (&ranges)[N]) {
    std::array<bool, 256> set{};
    for (const Range& range : ranges) {
        for (int op = range.first; op <= range.last; ++op) set[op] = true;
    }
    return set;
}

// 0F 38 xx: ModRM, no immediate.
constexpr Range k0F38Ranges[] = {
    {0x00, 0x0B},  // SSSE3: PSHUFB .. PMULHRSW
    {0x10, 0x10},  // PBLENDVB
    {0x14, 0x15},  // BLENDVPS, BLENDVPD
    {0x17, 0x17},  // PTEST
    {0x1C, 0x1E},  // PABSB/W/D
    {0x20, 0x25},  // PMOVSX*
    {0x28, 0x2B},  // PMULDQ, PCMPEQQ, MOVNTDQA, PACKUSDW
    {0x30, 0x35},  // PMOVZX*
    {0x37, 0x41},  // PCMPGTQ, PMIN*/PMAX*, PMULLD, PHMINPOSUW
    {0x80, 0x82},  // INVEPT, INVVPID, INVPCID
    {0xC8, 0xCD},  // SHA
    {0xCF, 0xCF},  // GF2P8MULB
    {0xD8, 0xD8},  // AES Key Locker (wide)
    {0xDB, 0xDF},  // AESIMC, AESENC/AESDEC and Key Locker
    {0xF0, 0xF1},  // MOVBE, CRC32
    {0xF5, 0xF6},  // WRUSS, ADCX/ADOX/WRSS
    {0xF8, 0xFC},  // MOVDIR64B/ENQCMD, MOVDIRI, ENCODEKEY, AADD/AAND/AOR/AXOR
};

// 0F 3A xx: ModRM and imm8.
constexpr Range k0F3ARanges[] = {
    {0x08, 0x0F},  // ROUND*, BLEND*, PALIGNR
    {0x14, 0x17},  // PEXTRB/W/D, EXTRACTPS
    {0x20, 0x22},  // PINSRB, INSERTPS, PINSRD
    {0x40, 0x42},  // DPPS, DPPD, MPSADBW
    {0x44, 0x44},  // PCLMULQDQ
    {0x60, 0x63},  // PCMPESTRM/ESTRI/ISTRM/ISTRI
    {0xCC, 0xCC},  // SHA1RNDS4
    {0xCE, 0xCF},  // GF2P8AFFINEQB, GF2P8AFFINEINVQB
    {0xDF, 0xDF},  // AESKEYGENASSIST
};

constexpr std::array<bool, 256> k0F38Defined = MakeOpcodeSet(k0F38Ranges);
constexpr std::array<bool, 256> k0F3ADefined = MakeOpcodeSet(k0F3ARanges);

// Walks the bytes of one instruction, never past min(available, 15).
class Decoder {
public:
    Decoder(const unsigned char* code, std::size_t available)
        : code_(code), limit_(available < kMaxInstructionLength ? available : kMaxInstructionLength) {}

    // Reads the next byte; false when the instruction would run out of bytes.
    bool Next(std::uint8_t& byte) {
        if (pos_ >= limit_) return false;
        byte = code_[pos_++];
        return true;
    }

    bool Peek(std::uint8_t& byte) const {
        if (pos_ >= limit_) return false;
        byte = code_[pos_];
        return true;
    }

    // Skips a ModRM byte (already read by the caller) plus its SIB byte and
    // displacement.
    bool SkipAddressing(std::uint8_t modrm) {
        const unsigned mod = modrm >> 6;
        const unsigned rm = modrm & 7;
        if (mod == 3) return true;
        if (addr16) {
            // [BX+SI] .. [BX] forms; mod 00 rm 110 is a bare disp16.
            if (mod == 1) return Skip(1);
            if (mod == 2 || rm == 6) return Skip(2);
            return true;
        }
        if (rm == 4) {
            std::uint8_t sib;
            if (!Next(sib)) return false;
            if (mod == 0 && (sib & 7) == 5) return Skip(4);  // no base, disp32
        } else if (mod == 0 && rm == 5) {
            return Skip(4);  // disp32 alone
        }
        if (mod == 1) return Skip(1);
        if (mod == 2) return Skip(4);
        return true;
    }

    bool Skip(std::size_t count) {
        if (count > limit_ - pos_) return false;
        pos_ += count;
        return true;
    }

    // Reads the ModRM byte and skips everything it implies.
    bool ModRM(std::uint8_t& modrm) { return Next(modrm) && SkipAddressing(modrm); }
    bool ModRM() {
        std::uint8_t modrm;
        return ModRM(modrm);
    }

    // Skips the immediates and operands that `flags` describe.
    bool Operands(Flags flags) {
        std::size_t size = 0;
        if (flags & kImm8) size += 1;
        if (flags & kImm16) size += 2;
        if (flags & kImmZ) size += op16 ? 2 : 4;
        if (flags & kMoffs) size += addr16 ? 2 : 4;
        if (flags & kFarPtr) size += op16 ? 4 : 6;
        return Skip(size);
    }

    int Length() const { return static_cast<int>(pos_); }

    bool op16 = false;          // 66 seen
    bool addr16 = false;        // 67 seen
    bool lock = false;          // F0 seen
    std::uint8_t last_rep = 0;  // last of F2/F3, 0 if neither
    bool simd_prefix = false;   // any of 66/F2/F3 seen

private:
    const unsigned char* code_;
    std::size_t limit_;
    std::size_t pos_ = 0;
};

// Returns the total length, or 0 on failure.
int Done(const Decoder& d, bool ok) {
    return ok ? d.Length() : 0;
}

// Ops with imm8 in VEX/EVEX map 1 (the rest of map 1 has none).
bool Map1HasImm8(std::uint8_t op) {
    return (op >= 0x70 && op <= 0x73) || op == 0xC2 || (op >= 0xC4 && op <= 0xC6);
}

// VEX (C4/C5), EVEX (62) and XOP (8F); `escape` has been read already.
int DecodeVectorEscape(Decoder& d, std::uint8_t escape) {
    // 66/F2/F3/LOCK in front of these encodings is #UD.
    if (d.simd_prefix || d.lock) return 0;
    std::uint8_t b1 = 0, b2 = 0, b3 = 0;
    unsigned map = 1;
    switch (escape) {
        case 0xC5:  // R vvvv L pp; map 0F
            if (!d.Next(b1)) return 0;
            break;
        case 0xC4:  // R X B mmmmm | W vvvv L pp
            if (!d.Next(b1) || !d.Next(b2)) return 0;
            map = b1 & 0x1F;
            if (map < 1 || map > 3) return 0;
            break;
        case 0x62:  // EVEX: R X B R' 0 mmm | W vvvv 1 pp | z L'L b V' aaa
            if (!d.Next(b1) || !d.Next(b2) || !d.Next(b3)) return 0;
            map = b1 & 0x07;
            if ((b1 & 0x08) || !(b2 & 0x04)) return 0;
            if (map == 0 || map == 4 || map == 7) return 0;
            break;
        case 0x8F:  // XOP: R X B mmmmm | W vvvv L pp, with pp always 00
            if (!d.Next(b1) || !d.Next(b2)) return 0;
            map = b1 & 0x1F;
            if (b2 & 0x03) return 0;
            break;
        default:
            return 0;
    }
    std::uint8_t op;
    if (!d.Next(op)) return 0;

    if (escape == 0x8F) {
        // XOP map 8 takes imm8, map 9 nothing, map 0A imm32.
        if (map < 8 || map > 10) return 0;
        const std::size_t imm = map == 8 ? 1 : map == 9 ? 0 : 4;
        return Done(d, d.ModRM() && d.Skip(imm));
    }
    if (map == 1 && op == 0x77 && escape != 0x62) return d.Length();  // VZEROUPPER/VZEROALL
    const bool imm8 = map == 3 || (map == 1 && Map1HasImm8(op));
    return Done(d, d.ModRM() && d.Skip(imm8 ? 1 : 0));
}

int DecodeTwoByte(Decoder& d) {
    std::uint8_t op;
    if (!d.Next(op)) return 0;
    const Flags flags = kTwoByteMap[op];
    if (flags & kInvalid) return 0;
    if (!(flags & kSpecial)) return Done(d, (!(flags & kModRM) || d.ModRM()) && d.Operands(flags));

    switch (op) {
        case 0x0F:  // 3DNow!: the operation is chosen by a trailing imm8
            return Done(d, d.ModRM() && d.Skip(1));
        case 0x20:  // MOV r32, CRn / DRn and back: mod is ignored, always a register form
        case 0x21:
        case 0x22:
        case 0x23:
            return Done(d, d.Skip(1));
        case 0x38: {
            std::uint8_t op3;
            if (!d.Next(op3) || !k0F38Defined[op3]) return 0;
            return Done(d, d.ModRM());
        }
        case 0x3A: {
            std::uint8_t op3;
            if (!d.Next(op3) || !k0F3ADefined[op3]) return 0;
            return Done(d, d.ModRM() && d.Skip(1));
        }
        case 0x78:
            // F2: INSERTQ xmm, xmm, imm8, imm8; 66: EXTRQ xmm, imm8, imm8; none: VMREAD.
            if (d.last_rep == 0xF3) return 0;
            return Done(d, d.ModRM() && d.Skip(d.last_rep == 0xF2 || d.op16 ? 2 : 0));
        case 0xA6:    // VIA PadLock: MONTMUL, XSHA1, XSHA256
        case 0xA7: {  // XSTORE, XCRYPT-ECB/CBC/CTR/CFB/OFB
            std::uint8_t modrm;
            if (!d.Next(modrm)) return 0;
            const bool defined = op == 0xA6 ? modrm == 0xC0 || modrm == 0xC8 || modrm == 0xD0
                                            : modrm >= 0xC0 && modrm <= 0xE8 && (modrm & 7) == 0;
            return defined ? d.Length() : 0;
        }
        case 0xB8:  // POPCNT needs F3; bare 0F B8 is JMPE, absent from IA-32 processors
            if (d.last_rep != 0xF3) return 0;
            return Done(d, d.ModRM());
        default:
            return 0;
    }
}

}  // namespace

int InstructionLength(const unsigned char* code, std::size_t available) noexcept {
    if (code == nullptr) return 0;
    Decoder d(code, available);

    std::uint8_t op;
    for (;;) {
        if (!d.Next(op)) return 0;  // out of bytes, or 15 bytes of prefixes
        if (!(kOneByteMap[op] & kPrefix)) break;
        switch (op) {
            case 0x66:
                d.op16 = true;
                d.simd_prefix = true;
                break;
            case 0x67:
                d.addr16 = true;
                break;
            case 0xF0:
                d.lock = true;
                break;
            case 0xF2:
            case 0xF3:
                d.last_rep = op;
                d.simd_prefix = true;
                break;
            default:
                break;  // segment overrides do not change the length
        }
    }

    const Flags flags = kOneByteMap[op];
    if (flags & kInvalid) return 0;
    if (!(flags & kSpecial)) return Done(d, (!(flags & kModRM) || d.ModRM()) && d.Operands(flags));

    std::uint8_t next = 0;
    switch (op) {
        case 0x0F:
            return DecodeTwoByte(d);

        case 0x62:  // BOUND needs a memory operand; mod == 11 means EVEX
        case 0xC4:  // LES
        case 0xC5:  // LDS, likewise VEX
            if (!d.Peek(next)) return 0;
            if ((next & 0xC0) == 0xC0) return DecodeVectorEscape(d, op);
            return Done(d, d.ModRM());

        case 0x8F:  // POP r/m is /0; otherwise XOP
            if (!d.Peek(next)) return 0;
            if (((next >> 3) & 7) == 0) return Done(d, d.ModRM());
            return DecodeVectorEscape(d, op);

        case 0xF6:  // group 3: TEST (/0 and its alias /1) has an immediate
        case 0xF7: {
            std::uint8_t modrm;
            if (!d.ModRM(modrm)) return 0;
            const bool test = ((modrm >> 3) & 7) < 2;
            return Done(d, !test || d.Operands(op == 0xF6 ? kImm8 : kImmZ));
        }

        case 0xC6:  // MOV r/m, imm (/0); XABORT imm8 / XBEGIN rel (C6 F8 / C7 F8)
        case 0xC7: {
            if (!d.Peek(next)) return 0;
            if (((next >> 3) & 7) != 0 && next != 0xF8) return 0;
            return Done(d, d.ModRM() && d.Operands(op == 0xC6 ? kImm8 : kImmZ));
        }

        case 0xFE:    // group 4: only INC/DEC r/m8
        case 0xFF: {  // group 5: /7 is undefined
            if (!d.Peek(next)) return 0;
            const unsigned reg = (next >> 3) & 7;
            if (op == 0xFE ? reg > 1 : reg == 7) return 0;
            return Done(d, d.ModRM());
        }

        default:
            return 0;
    }
}

}  // namespace korrin
