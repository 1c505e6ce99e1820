// libFuzzer target: Ogg Vorbis decoding on arbitrary bytes. Streams that open
// are decoded into a buffer of the size they claim, up to 16 MiB (larger
// claims only slow the search down), and every byte of it is read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "sound/SoundData.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    korrin::PcmFormat format;
    std::uint32_t bytes = 0;
    korrin::OggDecoder* decoder = korrin::OpenOggDecoder(data, size, &format, &bytes);
    if (!decoder) return 0;
    if (bytes <= (16u << 20)) {
        auto* pcm = static_cast<std::uint8_t*>(std::malloc(bytes));
        if (pcm) {
            korrin::DecodeOgg(decoder, pcm, bytes);
            volatile unsigned sum = 0;
            for (std::uint32_t i = 0; i < bytes; ++i) sum = sum + pcm[i];
            std::free(pcm);
        }
    }
    korrin::CloseOggDecoder(decoder);
    return 0;
}
