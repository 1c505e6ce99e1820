// libFuzzer target: the WAVE reader on arbitrary bytes, as a block of known
// size (size 0 means "unknown" to the reader, so the empty input is skipped);
// every sample byte it accepts is read, so a data chunk reaching past the
// block shows up as a sanitizer error.
#include <cstddef>
#include <cstdint>

#include "sound/SoundData.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    korrin::WaveImage image;
    if (!korrin::ReadWaveImage(data, size, &image)) return 0;
    volatile unsigned sum = 0;
    for (std::uint32_t i = 0; i < image.bytes; ++i) sum = sum + image.samples[i];
    return 0;
}
