// libFuzzer target: the BMP reader on arbitrary bytes, and the check that
// decides which BMP files the platform's loader may be given. For every file
// the check sends on, the headers are read again here, independently, and
// everything the platform will read (headers, masks, colour table, rows) must
// lie inside the data: a file that gets through otherwise stops the run.
#include "fuzz_exercise.h"

namespace {

std::uint64_t U16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }
std::uint64_t U32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint64_t>(p[3]) << 24);
}

bool PlatformSafe(const std::uint8_t* d, std::size_t size, const korrin::BmpFileCheck& check) {
    if (size < 26) return false;
    const std::uint64_t bitsOffset = U32(d + 10), headerSize = U32(d + 14);
    std::int64_t width, height;
    std::uint64_t bits, compression = 0, colours = 0, masks = 0;
    if (headerSize == 12) {
        width = static_cast<std::int64_t>(U16(d + 18));
        height = static_cast<std::int64_t>(U16(d + 20));
        bits = U16(d + 24);
    } else {
        if (size < 54 || (headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 108 &&
                          headerSize != 124))
            return false;
        width = static_cast<std::int32_t>(U32(d + 18));
        height = static_cast<std::int32_t>(U32(d + 22));
        bits = U16(d + 28);
        compression = U32(d + 30);
        colours = U32(d + 46);
        if (compression == 3 && headerSize == 40) masks = 12;
    }
    if (height < 0) height = -height;
    if (width != check.width || height != check.height || bits != static_cast<std::uint64_t>(check.bitsPerPixel))
        return false;
    if (bits != 16 && bits != 24 && bits != 32) return false;
    if (compression != 0 && compression != 3) return false;
    if (14 + headerSize + masks + 4 * colours > bitsOffset) return false;
    const std::uint64_t rowBytes = (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
    return bitsOffset <= size && rowBytes * static_cast<std::uint64_t>(height) <= size - bitsOffset;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ExerciseDecoder(korrin::DecodeBmp, data, size);
    korrin::DecodedImage image;
    korrin::BmpFileCheck check;
    if (korrin::CheckBmpFile(data, size, &image, &check)) {
        if (check.platformLoads && !PlatformSafe(data, size, check)) __builtin_trap();
        korrin::FreeDecodedImage(&image);
    }
    return 0;
}
