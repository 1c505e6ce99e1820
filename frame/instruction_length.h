// Length decoder for 32-bit (protected-mode) x86 instructions.
//
// The fatal-error report uses it to offer "continue": it needs to know how
// many bytes the faulting instruction occupies so that EIP can be moved past
// it. Only the length is decoded, not the meaning; the code is plain C++ with
// no platform headers so it is unit-tested natively.
#pragma once

#include <cstddef>

namespace korrin {

// Longest encoding the processor accepts; anything longer raises #GP.
constexpr int kMaxInstructionLength = 15;

// Returns the length in bytes (1..15) of the protected-mode 32-bit x86
// instruction at code[0..available), or 0 when it cannot be decoded: an
// invalid or undefined opcode, an instruction that runs past `available`, or
// one longer than 15 bytes. Never reads code[available] or beyond, nor more
// than 15 bytes.
int InstructionLength(const unsigned char* code, std::size_t available) noexcept;

}  // namespace korrin
