// Sample data readers of the sound device: RIFF WAVE images, read by walking
// their chunks up to the samples, and Ogg Vorbis streams decoded into 16-bit PCM through
// libvorbisfile over the bytes in memory. Portable: no platform headers; the
// Windows side (DS8.cpp) only makes a DirectSound buffer of the format and
// size found here and lets these readers fill it.
//
// Every input is treated as hostile: a block whose size is known is never read
// past, and a stream whose decoded size would not fit a sound buffer is
// refused before anything is allocated.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korrin {

// The fields of a WAVEFORMATEX before cbSize, as the buffer is made with them.
struct PcmFormat {
    std::uint16_t formatTag;       // 1 = PCM
    std::uint16_t channels;
    std::uint32_t samplesPerSec;
    std::uint32_t avgBytesPerSec;
    std::uint16_t blockAlign;
    std::uint16_t bitsPerSample;
};

// Bytes before the sample frames of a canonical WAVE image, the smallest
// image there is: a 16-byte fmt chunk and the data chunk's header.
constexpr std::size_t kWaveHeaderBytes = 44;

// The largest sound buffer DirectSound makes (DSBSIZE_MAX).
constexpr std::uint32_t kMaxSoundBufferBytes = 0x0FFFFFFF;

// Consecutive failed reads after which a damaged Ogg stream counts as ended.
constexpr int kMaxConsecutiveOggErrors = 32;

// Format tags the reader knows by name.
constexpr std::uint16_t kWaveFormatPcm = 1;
constexpr std::uint16_t kWaveFormatExtensible = 0xFFFE;

// What a WAVE_FORMAT_EXTENSIBLE fmt chunk adds to the plain fields, kept when
// no plain format says the same. The sub-format is always PCM.
struct WaveExtension {
    bool present;                     // false: the plain fields say it all
    std::uint16_t validBitsPerSample;
    std::uint32_t channelMask;        // speaker positions of the channels
};

// A WAVE image found in a block.
struct WaveImage {
    PcmFormat format;             // the fmt chunk's fields, as they stand, or PCM for an exact extensible one
    WaveExtension extension;      // the extensible fields the buffer needs beyond `format`
    const std::uint8_t* samples;  // the data chunk's first byte, inside the block
    std::uint32_t bytes;          // the data chunk's size
    char reason[64];              // why the block was refused: short, lowercase; empty when read
};

// Walks the chunks after "RIFF" <size> "WAVE": one "fmt " chunk of 16, 18
// (cbSize 0) or 40 bytes (WAVE_FORMAT_EXTENSIBLE, PCM sub-format) before the
// "data" chunk; other chunks are skipped with their pad byte. `size` is the
// block's byte count, or 0 when the caller cannot say: the RIFF size then
// bounds the walk and the data size is trusted. With a known size nothing
// past it is read, and a chunk reaching past it is refused. On refusal
// `image->reason` says why.
bool ReadWaveImage(const void* data, std::size_t size, WaveImage* image);

// An open Ogg Vorbis stream over a block in memory.
struct OggDecoder;

// Opens the block as an Ogg Vorbis stream and tells the 16-bit PCM format and
// the buffer bytes its whole length needs (frames x 2 x channels). Null when
// the block is not a stream, or its length is unknown, zero or too large for
// one sound buffer. The block must stay alive until CloseOggDecoder.
OggDecoder* OpenOggDecoder(const void* data, std::size_t size, PcmFormat* format, std::uint32_t* bytes);

// Decodes the stream into `out` until `bytes` are written or the stream ends;
// the rest of `out` is set to silence. Returns the bytes decoded.
std::size_t DecodeOgg(OggDecoder* decoder, void* out, std::size_t bytes);

// Closes the stream; null is fine.
void CloseOggDecoder(OggDecoder* decoder);

}  // namespace korrin
