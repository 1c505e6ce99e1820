// The 16-bit colour-key table, and the conversion of pixel rows through it.
//
// A conversion is a pure function of the pixel and the key, so rows are
// converted eight pixels at a time with SSE2 where the processor has it; the
// table look-up stays for other processors and for the last pixels of a row.
// The library is built for processors without SSE2, so only the vector
// function is compiled for SSE2 (a target attribute), and it runs only after
// the processor has been asked (CPUID).
#include "sprites/ColourKey.h"

#include <cstdlib>

#if defined(__i386__) || defined(__x86_64__)
#define KORRIN_COLOUR_KEY_SSE2 1
#include <emmintrin.h>
#include <cpuid.h>
#define KORRIN_SSE2_FUNCTION __attribute__((target("sse2")))
#endif

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

void ConvertRowTable(const std::uint16_t* source, std::uint16_t* destination, int count) {
    const std::uint16_t* table = colourKeyTable;
    for (int i = 0; i < count; ++i) destination[i] = table[source[i]];
}

#ifdef KORRIN_COLOUR_KEY_SSE2

namespace {
int sse2State;  // 0 not asked yet, 1 absent, 2 present; ProcessorHasSse2
}  // namespace

bool ProcessorHasSse2() {
    if (sse2State == 0) {
        unsigned a = 0, b = 0, c = 0, d = 0;
        const bool present = __get_cpuid(1, &a, &b, &c, &d) && (d & bit_SSE2) != 0;
        sse2State = present ? 2 : 1;
    }
    return sse2State == 2;
}

// Per pixel p: q = p & 0x7FFF; q == key ? q : p | 0x8000, that is p | 0x8000
// with bit 15 cleared again where q is the key.
KORRIN_SSE2_FUNCTION inline __m128i KeyPixels(__m128i p, __m128i colourBits, __m128i alphaBit, __m128i key) {
    const __m128i keyed = _mm_and_si128(_mm_cmpeq_epi16(_mm_and_si128(p, colourBits), key), alphaBit);
    return _mm_andnot_si128(keyed, _mm_or_si128(p, alphaBit));
}

// Stores go to 16-byte boundaries of the destination: the first eight pixels
// are converted with an unaligned store, then the loop starts at the first
// boundary, and the last eight pixels are converted again, ending at the
// row's end. Converting a pixel twice gives the same result (the conversion
// of a converted pixel is the pixel itself), so the overlaps are harmless,
// even when the source is the destination.
KORRIN_SSE2_FUNCTION void ConvertRowSse2(const std::uint16_t* source, std::uint16_t* destination, int count) {
    if (count < 8) {
        ConvertRowTable(source, destination, count);
        return;
    }
    const __m128i colourBits = _mm_set1_epi16(0x7FFF);
    const __m128i alphaBit = _mm_set1_epi16(static_cast<short>(0x8000));
    const __m128i key = _mm_set1_epi16(static_cast<short>(currentKey));
    auto* in = reinterpret_cast<const __m128i*>(source);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination), KeyPixels(_mm_loadu_si128(in), colourBits, alphaBit, key));
    const auto address = reinterpret_cast<std::uintptr_t>(destination);
    int i = 8;
    if ((address & 1) == 0) {
        const int toBoundary = static_cast<int>(((16 - (address & 15)) & 15) / 2);
        if (toBoundary > 0) i = toBoundary;
        for (; i + 32 <= count; i += 32) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i + 8));
            const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i + 16));
            const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i + 24));
            _mm_store_si128(reinterpret_cast<__m128i*>(destination + i), KeyPixels(a, colourBits, alphaBit, key));
            _mm_store_si128(reinterpret_cast<__m128i*>(destination + i + 8), KeyPixels(b, colourBits, alphaBit, key));
            _mm_store_si128(reinterpret_cast<__m128i*>(destination + i + 16), KeyPixels(c, colourBits, alphaBit, key));
            _mm_store_si128(reinterpret_cast<__m128i*>(destination + i + 24), KeyPixels(d, colourBits, alphaBit, key));
        }
    }
    for (; i + 8 <= count; i += 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i), KeyPixels(a, colourBits, alphaBit, key));
    }
    if (i < count) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + count - 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + count - 8), KeyPixels(a, colourBits, alphaBit, key));
    }
}

void ConvertRow(const std::uint16_t* source, std::uint16_t* destination, int count) {
    if (count >= 8 && ProcessorHasSse2())
        ConvertRowSse2(source, destination, count);
    else
        ConvertRowTable(source, destination, count);
}

#else

bool ProcessorHasSse2() { return false; }

void ConvertRowSse2(const std::uint16_t* source, std::uint16_t* destination, int count) {
    ConvertRowTable(source, destination, count);
}

void ConvertRow(const std::uint16_t* source, std::uint16_t* destination, int count) {
    ConvertRowTable(source, destination, count);
}

#endif

}  // namespace korrin
