// Little-endian writers for the files the tests write byte by byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

inline void Put16(Bytes& b, unsigned v) {
    b.push_back(v & 255);
    b.push_back((v >> 8) & 255);
}
inline void Put32(Bytes& b, std::uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
// Overwrites four bytes at `at`; nothing past the end.
inline void Set32(Bytes& b, std::size_t at, std::uint32_t v) {
    if (at + 4 > b.size()) return;
    for (int i = 0; i < 4; ++i) b[at + i] = (v >> (8 * i)) & 255;
}
