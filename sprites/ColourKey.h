// The 16-bit colour-key table: one entry per 16-bit pixel value, giving the
// pixel with its alpha bit (bit 15) set, except for the current key colour,
// whose alpha bit is cleared. Converting a pixel is one look-up, with no branch.
// Portable: no platform headers. One table serves every texture object.
#pragma once

#include <cstdint>

namespace korrin {

extern std::uint16_t* colourKeyTable;  // 65536 entries, or null; CreateColourKeyTable / FreeColourKeyTable
extern std::uint16_t currentKey;       // 15-bit X1R5G5B5 key the table is set up for

// Makes the table with black as the key; an existing table is returned as it is.
std::uint16_t* CreateColourKeyTable();
void FreeColourKeyTable();

// The 15-bit key of a host colour (red bits 0-7, green 8-15, blue 16-23).
std::uint16_t KeyOfHostColour(std::uint32_t hostColour);

// Reprograms the table for a host colour: four entry writes, none when unchanged.
void SelectColourKey(std::uint32_t hostColour);

// destination[i] = table[source[i]] for `count` pixels.
void ConvertRow(const std::uint16_t* source, std::uint16_t* destination, int count);

}  // namespace korrin
