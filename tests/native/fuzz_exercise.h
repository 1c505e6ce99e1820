// Shared body of the decoder fuzz targets: decode arbitrary bytes and, for
// accepted images of up to a million pixels, read every byte and widen to true
// colour, so that a record that does not match its buffer shows up as a
// sanitizer error (bigger images would only slow the search down).
#pragma once

#include "image/ImageDecoders.h"

#include <cstddef>
#include <cstdint>

inline int ExerciseDecoder(bool (*decode)(const void*, std::size_t, korrin::DecodedImage*), const std::uint8_t* data,
                           std::size_t size) {
    korrin::DecodedImage image;
    if (!decode(data, size, &image)) return 0;
    if (static_cast<long long>(image.width) * image.height <= 1000000) {
        volatile unsigned sum = 0;
        for (int y = 0; y < image.height; ++y)
            for (int i = 0; i < image.pitch; ++i) sum = sum + image.pixels[static_cast<std::size_t>(y) * image.pitch + i];
        korrin::ExpandToTrueColour(&image);
    }
    korrin::FreeDecodedImage(&image);
    return 0;
}
