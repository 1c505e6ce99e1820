// Colour-key conversion benchmark: re-keying a 1024 x 1024 16-bit image (2 MiB)
// row by row, as the texture manager does on every upload, against a plain
// memcpy of the same bytes. Prints microseconds per image for memcpy, the
// table look-up and the form ConvertRow chooses (SSE2 where the processor has
// it), and each conversion's speed as a fraction of memcpy's; the goal for
// ConvertRow is at least 0.85. Each figure is the fastest of many repetitions,
// so that other work on the machine does not count.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "sprites/ColourKey.h"

namespace {

constexpr int kWidth = 1024, kHeight = 1024, kRepetitions = 300;

template <class F>
double FastestMicroseconds(F run) {
    double best = 1e30;
    for (int i = 0; i < kRepetitions; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

}  // namespace

int main() {
    if (!korrin::CreateColourKeyTable()) return 1;
    korrin::SelectColourKey(0xFF00FF);
    std::vector<std::uint16_t> source(kWidth * kHeight), destination(kWidth * kHeight);
    std::uint32_t seed = 12345;
    for (auto& pixel : source) {
        seed = seed * 1664525u + 1013904223u;
        pixel = static_cast<std::uint16_t>(seed >> 16);
    }
    for (int i = 0; i < kWidth * kHeight; i += 7) source[i] = korrin::currentKey;  // some keyed pixels

    volatile std::uint16_t sink = 0;
    const double copy = FastestMicroseconds([&] {
        for (int y = 0; y < kHeight; ++y)
            std::memcpy(destination.data() + y * kWidth, source.data() + y * kWidth, kWidth * 2);
        sink = sink + destination[kWidth * kHeight - 1];
    });
    const double table = FastestMicroseconds([&] {
        for (int y = 0; y < kHeight; ++y)
            korrin::ConvertRowTable(source.data() + y * kWidth, destination.data() + y * kWidth, kWidth);
        sink = sink + destination[kWidth * kHeight - 1];
    });
    const double row = FastestMicroseconds([&] {
        for (int y = 0; y < kHeight; ++y)
            korrin::ConvertRow(source.data() + y * kWidth, destination.data() + y * kWidth, kWidth);
        sink = sink + destination[kWidth * kHeight - 1];
    });
    std::printf("colour-key conversion of a %dx%d 16-bit image (2 MiB), fastest of %d:\n", kWidth, kHeight,
                kRepetitions);
    std::printf("  memcpy                 %7.1f us\n", copy);
    std::printf("  table look-up          %7.1f us  %.2fx memcpy speed\n", table, copy / table);
    std::printf("  ConvertRow (%-5s)   %7.1f us  %.2fx memcpy speed\n", korrin::ProcessorHasSse2() ? "SSE2" : "table",
                row, copy / row);
    std::printf("goal: ConvertRow >= 0.85x memcpy speed\n");
    korrin::FreeColourKeyTable();
    return 0;
}
