// BMP and TGA files written byte by byte, for the tests that read images (the
// decoders' own tests, their fuzzers' seeds, sprite import) and for pictures a
// test saves. Portable: no windows.h.
#pragma once

#include <cstdint>
#include <vector>

#include "little_endian.h"

// --- BMP ---------------------------------------------------------------------------

// A BMP file as its fields; Write sets the offsets and sizes.
struct Bmp {
    Bmp() = default;
    Bmp(int width_, int height_, int bitCount_, std::uint32_t compression_ = 0)
        : width(width_), height(height_), bitCount(bitCount_), compression(compression_) {}
    int width = 0, height = 0;  // negative height: top-down
    int bitCount = 24;
    std::uint32_t compression = 0;
    std::uint32_t headerSize = 40;
    std::uint32_t coloursUsed = 0;
    std::vector<std::uint32_t> palette;  // 0x00RRGGBB
    std::vector<std::uint32_t> masks;    // after a 40-byte header, or inside a larger one
    Bytes bits;                          // as stored
};

inline Bytes Write(const Bmp& bmp) {
    Bytes b = {'B', 'M'};
    Put32(b, 0);  // file size, set below
    Put32(b, 0);
    Put32(b, 0);  // bits offset, set below
    Put32(b, bmp.headerSize);
    if (bmp.headerSize == 12) {
        Put16(b, bmp.width);
        Put16(b, bmp.height);
        Put16(b, 1);
        Put16(b, bmp.bitCount);
    } else {
        Put32(b, bmp.width);
        Put32(b, static_cast<std::uint32_t>(bmp.height));
        Put16(b, 1);
        Put16(b, bmp.bitCount);
        Put32(b, bmp.compression);
        Put32(b, static_cast<std::uint32_t>(bmp.bits.size()));
        Put32(b, 2835);
        Put32(b, 2835);
        Put32(b, bmp.coloursUsed);
        Put32(b, 0);
        for (std::uint32_t m : bmp.masks) Put32(b, m);
        if (bmp.headerSize > 40) b.resize(14 + bmp.headerSize, 0);  // the masks were inside the header
    }
    for (std::uint32_t c : bmp.palette) {
        b.push_back(c & 255);
        b.push_back((c >> 8) & 255);
        b.push_back((c >> 16) & 255);
        if (bmp.headerSize != 12) b.push_back(0);
    }
    Set32(b, 10, static_cast<std::uint32_t>(b.size()));
    b.insert(b.end(), bmp.bits.begin(), bmp.bits.end());
    Set32(b, 2, static_cast<std::uint32_t>(b.size()));
    return b;
}

// Rows given top first, each padded to 4 bytes, stored bottom-up unless topDown.
inline Bytes StoreRows(const std::vector<Bytes>& rows, bool topDown) {
    Bytes out;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        Bytes row = rows[topDown ? i : rows.size() - 1 - i];
        row.resize((row.size() + 3) / 4 * 4, 0);
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

// A bottom-up true-colour BMP of colour(x, y) (0x00RRGGBB; at 32 bits the
// top byte is stored as the fourth byte).
template <class Colour>
inline Bytes TrueColourBmp(int width, int height, int bitCount, Colour colour) {
    Bmp bmp(width, height, bitCount);
    std::vector<Bytes> rows(height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint32_t c = colour(x, y);
            for (int k = 0; k < bitCount / 8; ++k) rows[y].push_back((c >> (8 * k)) & 255);
        }
    bmp.bits = StoreRows(rows, false);
    return Write(bmp);
}

// An 8-bit BMP of one row of grey levels, over a palette of all 256 greys.
inline Bytes GreyBmp(const Bytes& levels) {
    Bmp bmp(static_cast<int>(levels.size()), 1, 8);
    bmp.coloursUsed = 256;
    for (std::uint32_t i = 0; i < 256; ++i) bmp.palette.push_back(i * 0x010101u);
    bmp.bits = StoreRows({levels}, false);
    return Write(bmp);
}

// --- TGA ---------------------------------------------------------------------------

struct Tga {
    Tga() = default;
    Tga(int type_, int width_, int height_, int depth_) : type(type_), width(width_), height(height_), depth(depth_) {}
    int type = 2;
    int width = 0, height = 0, depth = 24, descriptor = 0;
    Bytes id;
    int mapType = 0, mapFirst = 0, mapLength = 0, mapBits = 0;
    Bytes map;
    Bytes data;
};

inline Bytes Write(const Tga& tga) {
    Bytes b = {static_cast<std::uint8_t>(tga.id.size()), static_cast<std::uint8_t>(tga.mapType),
               static_cast<std::uint8_t>(tga.type)};
    Put16(b, tga.mapFirst);
    Put16(b, tga.mapLength);
    b.push_back(tga.mapBits);
    Put16(b, 0);
    Put16(b, 0);
    Put16(b, tga.width);
    Put16(b, tga.height);
    b.push_back(tga.depth);
    b.push_back(tga.descriptor);
    b.insert(b.end(), tga.id.begin(), tga.id.end());
    b.insert(b.end(), tga.map.begin(), tga.map.end());
    b.insert(b.end(), tga.data.begin(), tga.data.end());
    return b;
}
