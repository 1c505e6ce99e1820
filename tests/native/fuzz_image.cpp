// libFuzzer target: the whole loader (BMP, JPEG, PNG, TGA, TIFF) on arbitrary bytes.
#include "fuzz_exercise.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return ExerciseDecoder(korrin::DecodeImage, data, size);
}
