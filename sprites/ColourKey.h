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

// destination[i] = table[source[i]] for `count` pixels, by the fastest of the
// two forms below that the processor runs.
void ConvertRow(const std::uint16_t* source, std::uint16_t* destination, int count);

// The conversion by table look-up, one pixel at a time.
void ConvertRowTable(const std::uint16_t* source, std::uint16_t* destination, int count);

// The same conversion computed eight pixels at a time with SSE2, giving what
// the table gives for its current key (the alpha bit masked off, and set again
// unless the 15-bit colour is the key), for any start and length. Only for
// processors that have SSE2 (ProcessorHasSse2).
void ConvertRowSse2(const std::uint16_t* source, std::uint16_t* destination, int count);
bool ProcessorHasSse2();

}  // namespace korrin
