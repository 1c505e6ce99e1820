// The 16-bit colour-key table.
#include "sprites/ColourKey.h"

#include <cstdlib>

namespace korrin {

std::uint16_t* colourKeyTable = nullptr;
std::uint16_t currentKey = 0;

std::uint16_t* CreateColourKeyTable() {
    if (colourKeyTable) return colourKeyTable;
    auto* table = static_cast<std::uint16_t*>(std::calloc(65536, sizeof(std::uint16_t)));
    if (!table) return nullptr;
    for (std::uint32_t v = 0; v < 65536; ++v) table[v] = static_cast<std::uint16_t>(v | 0x8000u);
    table[0] = 0;
    table[0x8000] = 0;
    currentKey = 0;
    colourKeyTable = table;
    return table;
}

void FreeColourKeyTable() {
    std::free(colourKeyTable);
    colourKeyTable = nullptr;
    currentKey = 0;
}

std::uint16_t KeyOfHostColour(std::uint32_t hostColour) {
    const std::uint32_t red = hostColour & 0xFFu;
    const std::uint32_t green = (hostColour >> 8) & 0xFFu;
    const std::uint32_t blue = (hostColour >> 16) & 0xFFu;
    return static_cast<std::uint16_t>((blue >> 3) + ((green >> 3) << 5) + ((red >> 3) << 10));
}

void SelectColourKey(std::uint32_t hostColour) {
    const std::uint16_t key = KeyOfHostColour(hostColour);
    if (!colourKeyTable || key == currentKey) return;
    colourKeyTable[currentKey] = static_cast<std::uint16_t>(currentKey | 0x8000u);
    colourKeyTable[currentKey | 0x8000u] = static_cast<std::uint16_t>(currentKey | 0x8000u);
    colourKeyTable[key] = key;
    colourKeyTable[key | 0x8000u] = key;
    currentKey = key;
}

void ConvertRow(const std::uint16_t* source, std::uint16_t* destination, int count) {
    const std::uint16_t* table = colourKeyTable;
    for (int i = 0; i < count; ++i) destination[i] = table[source[i]];
}

}  // namespace korrin
