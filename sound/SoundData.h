// Sample data readers of the sound device: a canonical RIFF WAVE image read by
// fixed offsets, and Ogg Vorbis streams decoded into 16-bit PCM through
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

// Bytes before the sample frames of a canonical WAVE image.
constexpr std::size_t kWaveHeaderBytes = 44;

// The largest sound buffer DirectSound makes (DSBSIZE_MAX).
constexpr std::uint32_t kMaxSoundBufferBytes = 0x0FFFFFFF;

// Consecutive failed reads after which a damaged Ogg stream counts as ended.
constexpr int kMaxConsecutiveOggErrors = 32;

// A canonical WAVE image found in a block.
struct WaveImage {
    PcmFormat format;             // offsets 20 to 35, as they stand
    const std::uint8_t* samples;  // offset 44 of the block
    std::uint32_t bytes;          // the data chunk's size
};

// Reads the fixed 44-byte layout: "RIFF", any size, "WAVEfmt ", a format chunk
// of exactly 16 bytes, then "data" and its size. `size` is the block's byte
// count, or 0 when the caller cannot say: the header and the data size are
// then trusted. With a known size, a block shorter than the header or a data
// size larger than the bytes after the header is refused.
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
