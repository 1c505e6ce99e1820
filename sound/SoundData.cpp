// WAVE reader and Ogg Vorbis decoding for sound buffers (see SoundData.h).
#include "sound/SoundData.h"

#include <cstdlib>
#include <cstring>

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

namespace korrin {

namespace {

std::uint16_t Read16(const std::uint8_t* at) { return static_cast<std::uint16_t>(at[0] | (at[1] << 8)); }

std::uint32_t Read32(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
           static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

// The tags contain no zero byte, so a byte-wise comparison refuses a zero
// inside a tag just as a comparison of zero-terminated text would.
bool TagAt(const std::uint8_t* at, const char* tag, std::size_t length) { return std::memcmp(at, tag, length) == 0; }

// The block libvorbisfile reads from, and the read position in it.
struct MemorySource {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t position;
};

std::size_t ReadMemory(void* out, std::size_t itemSize, std::size_t items, void* source) {
    auto* memory = static_cast<MemorySource*>(source);
    if (itemSize == 0 || items == 0) return 0;
    const std::size_t left = memory->size - memory->position;
    std::size_t count = left / itemSize;
    if (count > items) count = items;
    std::memcpy(out, memory->data + memory->position, count * itemSize);
    memory->position += count * itemSize;
    return count;
}

int SeekMemory(void* source, ogg_int64_t offset, int whence) {
    auto* memory = static_cast<MemorySource*>(source);
    ogg_int64_t base;
    switch (whence) {
        case SEEK_SET: base = 0; break;
        case SEEK_CUR: base = static_cast<ogg_int64_t>(memory->position); break;
        case SEEK_END: base = static_cast<ogg_int64_t>(memory->size); break;
        default: return -1;
    }
    // Both values are far from the 64-bit limits: a block is smaller than the
    // address space, and libvorbisfile seeks by file offsets of it.
    if (offset < -base || offset > static_cast<ogg_int64_t>(memory->size) - base) return -1;
    memory->position = static_cast<std::size_t>(base + offset);
    return 0;
}

long TellMemory(void* source) { return static_cast<long>(static_cast<MemorySource*>(source)->position); }

// Closing only rewinds: the block belongs to the caller.
int CloseMemory(void* source) {
    static_cast<MemorySource*>(source)->position = 0;
    return 0;
}

}  // namespace

struct OggDecoder {
    MemorySource source;
    OggVorbis_File file;
};

bool ReadWaveImage(const void* data, std::size_t size, WaveImage* image) {
    if (!data || !image) return false;
    if (size != 0 && size < kWaveHeaderBytes) return false;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (!TagAt(bytes, "RIFF", 4) || !TagAt(bytes + 8, "WAVEfmt ", 8) || Read32(bytes + 16) != 16 ||
        !TagAt(bytes + 36, "data", 4))
        return false;
    const std::uint32_t dataBytes = Read32(bytes + 40);
    if (size != 0 && dataBytes > size - kWaveHeaderBytes) return false;
    image->format.formatTag = Read16(bytes + 20);
    image->format.channels = Read16(bytes + 22);
    image->format.samplesPerSec = Read32(bytes + 24);
    image->format.avgBytesPerSec = Read32(bytes + 28);
    image->format.blockAlign = Read16(bytes + 32);
    image->format.bitsPerSample = Read16(bytes + 34);
    image->samples = bytes + kWaveHeaderBytes;
    image->bytes = dataBytes;
    return true;
}

OggDecoder* OpenOggDecoder(const void* data, std::size_t size, PcmFormat* format, std::uint32_t* bytes) {
    if (!data || size == 0 || !format || !bytes) return nullptr;
    auto* decoder = static_cast<OggDecoder*>(std::calloc(1, sizeof(OggDecoder)));
    if (!decoder) return nullptr;
    decoder->source = {static_cast<const std::uint8_t*>(data), size, 0};
    const ov_callbacks callbacks = {ReadMemory, SeekMemory, CloseMemory, TellMemory};
    if (ov_open_callbacks(&decoder->source, &decoder->file, nullptr, 0, callbacks) != 0) {
        std::free(decoder);  // a failed open has cleared the file itself
        return nullptr;
    }
    const vorbis_info* info = ov_info(&decoder->file, -1);
    const ogg_int64_t frames = ov_pcm_total(&decoder->file, -1);
    // The decoded size is checked before anything depends on it: a damaged
    // last granule position can claim almost any length. Frames are bounded
    // first, so that the products below stay far inside 64 bits.
    const long long channels = info ? info->channels : 0;
    const long long rate = info ? info->rate : 0;
    const bool sane = frames > 0 && frames <= static_cast<ogg_int64_t>(kMaxSoundBufferBytes) && channels > 0 &&
                      channels <= 255 && rate > 0 && rate <= 0xFFFFFFFFll / (2 * channels) &&
                      frames * 2 * channels <= static_cast<long long>(kMaxSoundBufferBytes);
    if (!sane) {
        CloseOggDecoder(decoder);
        return nullptr;
    }
    const long long total = frames * 2 * channels;
    format->formatTag = 1;
    format->channels = static_cast<std::uint16_t>(channels);
    format->samplesPerSec = static_cast<std::uint32_t>(rate);
    format->blockAlign = static_cast<std::uint16_t>(2 * channels);
    format->avgBytesPerSec = static_cast<std::uint32_t>(rate * 2 * channels);
    format->bitsPerSample = 16;
    *bytes = static_cast<std::uint32_t>(total);
    return decoder;
}

// libvorbisfile may hand out fewer bytes than asked at any point (a packet
// boundary, the last page), so reading goes on until the buffer is full or the
// stream ends; a stream that keeps failing counts as ended.
std::size_t DecodeOgg(OggDecoder* decoder, void* out, std::size_t bytes) {
    if (!decoder || !out) return 0;
    auto* at = static_cast<char*>(out);
    std::size_t written = 0;
    int errors = 0;
    int section = 0;
    while (written < bytes && errors < kMaxConsecutiveOggErrors) {
        const std::size_t left = bytes - written;
        const int request = left < 4096 ? static_cast<int>(left) : 4096;
        const long got = ov_read(&decoder->file, at + written, request, 0, 2, 1, &section);
        if (got == 0) break;
        if (got < 0) {
            ++errors;
            continue;
        }
        errors = 0;
        written += static_cast<std::size_t>(got) < left ? static_cast<std::size_t>(got) : left;
    }
    std::memset(at + written, 0, bytes - written);
    return written;
}

void CloseOggDecoder(OggDecoder* decoder) {
    if (!decoder) return;
    ov_clear(&decoder->file);
    std::free(decoder);
}

}  // namespace korrin
