// libFuzzer target: the TGA reader on arbitrary bytes.
#include "fuzz_exercise.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return ExerciseDecoder(korrin::DecodeTga, data, size);
}
