// WAVE reader and Ogg Vorbis decoding for sound buffers (see SoundData.h).
#include "sound/SoundData.h"

#include <cstdarg>
#include <cstdio>
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

// The GUID of KSDATAFORMAT_SUBTYPE_PCM as it is stored in a file.
constexpr std::uint8_t kPcmSubFormat[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                            0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// Speaker masks a plain one- or two-channel format stands for.
constexpr std::uint32_t kMonoMask = 0x4;    // front centre
constexpr std::uint32_t kStereoMask = 0x3;  // front left, front right

// Whether a chunk's tag can be shown as text in a reason.
bool Printable(const std::uint8_t* chunk) {
    for (int i = 0; i < 4; ++i)
        if (chunk[i] < 0x20 || chunk[i] > 0x7E) return false;
    return true;
}

bool Refuse(WaveImage* image, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(image->reason, sizeof image->reason, format, arguments);
    va_end(arguments);
    return false;
}

// Reads a fmt chunk of `length` bytes into the image's format. An extensible
// format that a plain one describes exactly (PCM of 8 or 16 bits, one or two
// channels on their usual speakers, every bit valid) becomes that plain
// format, which every DirectSound takes; the others keep their extension.
bool ReadFormat(const std::uint8_t* chunk, std::uint32_t length, WaveImage* image) {
    if (length != 16 && length != 18 && length != 40)
        return Refuse(image, "fmt chunk of %lu bytes", static_cast<unsigned long>(length));
    PcmFormat& format = image->format;
    format.formatTag = Read16(chunk);
    format.channels = Read16(chunk + 2);
    format.samplesPerSec = Read32(chunk + 4);
    format.avgBytesPerSec = Read32(chunk + 8);
    format.blockAlign = Read16(chunk + 12);
    format.bitsPerSample = Read16(chunk + 14);
    image->extension = WaveExtension{};
    const unsigned extra = length > 16 ? Read16(chunk + 16) : 0;
    if (format.formatTag != kWaveFormatExtensible) {
        if (length == 40) return Refuse(image, "fmt chunk of 40 bytes for format tag %u", format.formatTag);
        if (extra != 0) return Refuse(image, "fmt chunk of 18 bytes with cbSize %u", extra);
        return true;
    }
    if (length != 40)
        return Refuse(image, "extensible format in a fmt chunk of %lu bytes", static_cast<unsigned long>(length));
    if (extra < 22) return Refuse(image, "extensible format with cbSize %u", extra);
    if (std::memcmp(chunk + 24, kPcmSubFormat, sizeof kPcmSubFormat) != 0)
        return Refuse(image, "extensible format of another kind than pcm");
    const std::uint16_t validBits = Read16(chunk + 18);
    const std::uint32_t mask = Read32(chunk + 20);
    const bool plain = (format.bitsPerSample == 8 || format.bitsPerSample == 16) && validBits == format.bitsPerSample &&
                       ((format.channels == 1 && mask == kMonoMask) || (format.channels == 2 && mask == kStereoMask));
    if (plain) {
        format.formatTag = kWaveFormatPcm;
    } else {
        image->extension = {true, validBits, mask};
    }
    return true;
}

}  // namespace

struct OggDecoder {
    MemorySource source;
    OggVorbis_File file;
};

bool ReadWaveImage(const void* data, std::size_t size, WaveImage* image) {
    if (!image) return false;
    image->reason[0] = 0;
    if (!data) return Refuse(image, "no data");
    if (size != 0 && size < kWaveHeaderBytes) return Refuse(image, "shorter than a wave header");
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (!TagAt(bytes, "RIFF", 4) || !TagAt(bytes + 8, "WAVE", 4)) return Refuse(image, "not a riff wave image");
    // Positions are 64-bit so that no chunk size can wrap them. Without a
    // block size the image is as long as its RIFF size says, and at least as
    // long as the canonical header, which was always read as it stands.
    const std::uint64_t riffEnd = std::uint64_t{8} + Read32(bytes + 4);
    const std::uint64_t end = size != 0 ? size : riffEnd > kWaveHeaderBytes ? riffEnd : kWaveHeaderBytes;
    bool haveFormat = false;
    for (std::uint64_t at = 12;;) {
        if (at >= end || end - at < 8) return Refuse(image, haveFormat ? "no data chunk" : "no fmt chunk");
        const std::uint8_t* chunk = bytes + static_cast<std::size_t>(at);
        const std::uint32_t length = Read32(chunk + 4);
        const std::uint64_t left = end - at - 8;
        if (TagAt(chunk, "data", 4)) {
            if (!haveFormat) return Refuse(image, "no fmt chunk before data");
            if (size != 0 && length > left) return Refuse(image, "data chunk larger than the file");
            image->samples = chunk + 8;
            image->bytes = length;
            return true;
        }
        if (length > left) {
            char name[5] = "a";
            if (Printable(chunk)) std::memcpy(name, chunk, 4);
            for (int i = 3; i > 0 && name[i] == ' '; --i) name[i] = 0;
            return Refuse(image, "%s chunk larger than the file", name);
        }
        if (TagAt(chunk, "fmt ", 4)) {
            if (haveFormat) return Refuse(image, "second fmt chunk");
            if (!ReadFormat(chunk + 8, length, image)) return false;
            haveFormat = true;
        }
        at += std::uint64_t{8} + length + (length & 1);
    }
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
