// The sound data readers and level conversions: WAVE images by their chunks,
// hand-written layouts against their samples, Ogg Vorbis streams decoded against what oggdec makes of the same
// fixtures, refusals of damaged and absurd streams, and the volume and pan
// tables.
#include "sound/SoundData.h"
#include "sound/SoundLevels.h"

#include <gtest/gtest.h>
#include <ogg/ogg.h>
#include <vorbis/codec.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using korrin::PcmFormat;

void Put16(Bytes& b, unsigned v) {
    b.push_back(v & 255);
    b.push_back((v >> 8) & 255);
}
void Put32(Bytes& b, std::uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
void PutTag(Bytes& b, const char* tag) { b.insert(b.end(), tag, tag + std::strlen(tag)); }

// A WAVE image: the format chunk (16 bytes, or `formatBytes` with zero
// padding), an optional chunk between it and the data, then `dataBytes`
// pattern bytes; `claimed` is the size written into the data chunk.
Bytes Wave(unsigned channels, unsigned rate, unsigned bits, std::uint32_t dataBytes, std::uint32_t claimed,
           std::uint32_t formatBytes = 16, bool listChunk = false) {
    Bytes b;
    PutTag(b, "RIFF");
    Put32(b, 0);
    PutTag(b, "WAVEfmt ");
    Put32(b, formatBytes);
    Put16(b, 1);
    Put16(b, channels);
    Put32(b, rate);
    Put32(b, rate * channels * bits / 8);
    Put16(b, channels * bits / 8);
    Put16(b, bits);
    for (std::uint32_t i = 16; i < formatBytes; ++i) b.push_back(0);
    if (listChunk) {
        PutTag(b, "LIST");
        Put32(b, 4);
        PutTag(b, "INFO");
    }
    PutTag(b, "data");
    Put32(b, claimed);
    for (std::uint32_t i = 0; i < dataBytes; ++i) b.push_back(static_cast<std::uint8_t>(i * 7 + 1));
    return b;
}

// A chunk of a hand-written RIFF image; odd bodies get their pad byte.
struct Chunk {
    const char* tag;
    Bytes body;
    std::uint32_t claimed = 0xFFFFFFFF;  // the size written, when not the body's
};

Bytes Riff(const std::vector<Chunk>& chunks, bool padOddChunks = true) {
    Bytes b;
    PutTag(b, "RIFF");
    Put32(b, 0);
    PutTag(b, "WAVE");
    for (const Chunk& chunk : chunks) {
        PutTag(b, chunk.tag);
        Put32(b, chunk.claimed != 0xFFFFFFFF ? chunk.claimed : static_cast<std::uint32_t>(chunk.body.size()));
        b.insert(b.end(), chunk.body.begin(), chunk.body.end());
        if (padOddChunks && chunk.body.size() % 2 == 1) b.push_back(0xEE);
    }
    const std::uint32_t riff = static_cast<std::uint32_t>(b.size() - 8);
    for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<std::uint8_t>(riff >> (8 * i));
    return b;
}

// A fmt chunk body: the plain fields, then `extra` (cbSize and what follows).
Bytes Fmt(unsigned tag, unsigned channels, unsigned rate, unsigned bits, const Bytes& extra = {}) {
    Bytes b;
    Put16(b, tag);
    Put16(b, channels);
    Put32(b, rate);
    Put32(b, rate * channels * bits / 8);
    Put16(b, channels * bits / 8);
    Put16(b, bits);
    b.insert(b.end(), extra.begin(), extra.end());
    return b;
}

const Bytes kPcmGuid = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
const Bytes kFloatGuid = {0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// A 40-byte WAVE_FORMAT_EXTENSIBLE fmt chunk body.
Bytes Extensible(unsigned channels, unsigned rate, unsigned bits, unsigned validBits, std::uint32_t mask,
                 const Bytes& subFormat = kPcmGuid) {
    Bytes extra;
    Put16(extra, 22);
    Put16(extra, validBits);
    Put32(extra, mask);
    extra.insert(extra.end(), subFormat.begin(), subFormat.end());
    return Fmt(0xFFFE, channels, rate, bits, extra);
}

Bytes Samples(std::size_t count, std::uint8_t seed) {
    Bytes b(count);
    for (std::size_t i = 0; i < count; ++i) b[i] = static_cast<std::uint8_t>(i * 13 + seed);
    return b;
}

Bytes ReadFixture(const char* name) {
    const std::string path = std::string(KORRIN_SOUND_FIXTURES) + name;
    Bytes bytes;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        std::uint8_t chunk[65536];
        std::size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
        std::fclose(file);
    }
    EXPECT_FALSE(bytes.empty()) << "fixture " << path;
    return bytes;
}

// Opens, checks the format and decodes the whole stream; empty on refusal.
Bytes DecodeAll(const Bytes& stream, PcmFormat* format = nullptr, std::size_t* decoded = nullptr) {
    PcmFormat f{};
    std::uint32_t bytes = 0;
    korrin::OggDecoder* decoder = korrin::OpenOggDecoder(stream.data(), stream.size(), &f, &bytes);
    if (!decoder) return {};
    Bytes pcm(bytes, 0xAA);
    const std::size_t got = korrin::DecodeOgg(decoder, pcm.data(), pcm.size());
    korrin::CloseOggDecoder(decoder);
    if (format) *format = f;
    if (decoded) *decoded = got;
    return pcm;
}

// Largest difference between two 16-bit little-endian sample blocks.
int LargestDifference(const Bytes& a, const Bytes& b) {
    int largest = 0;
    for (std::size_t i = 0; i + 1 < a.size() && i + 1 < b.size(); i += 2) {
        const int x = static_cast<std::int16_t>(a[i] | a[i + 1] << 8);
        const int y = static_cast<std::int16_t>(b[i] | b[i + 1] << 8);
        largest = std::max(largest, std::abs(x - y));
    }
    return largest;
}

// Counts the short and long audio packets of the stream's first link.
void CountBlocks(const Bytes& stream, int* shortBlocks, int* longBlocks) {
    ogg_sync_state sync;
    ogg_stream_state logical;
    ogg_page page;
    ogg_packet packet;
    vorbis_info info;
    vorbis_comment comment;
    ogg_sync_init(&sync);
    vorbis_info_init(&info);
    vorbis_comment_init(&comment);
    char* buffer = ogg_sync_buffer(&sync, static_cast<long>(stream.size()));
    std::memcpy(buffer, stream.data(), stream.size());
    ogg_sync_wrote(&sync, static_cast<long>(stream.size()));
    bool started = false;
    int packets = 0;
    *shortBlocks = *longBlocks = 0;
    while (ogg_sync_pageout(&sync, &page) == 1) {
        if (!started) ogg_stream_init(&logical, ogg_page_serialno(&page));
        started = true;
        ogg_stream_pagein(&logical, &page);
        while (ogg_stream_packetout(&logical, &packet) == 1) {
            if (packets++ < 3) {
                vorbis_synthesis_headerin(&info, &comment, &packet);
                continue;
            }
            const long size = vorbis_packet_blocksize(&info, &packet);
            if (size == vorbis_info_blocksize(&info, 0)) ++*shortBlocks;
            if (size == vorbis_info_blocksize(&info, 1)) ++*longBlocks;
        }
    }
    if (started) ogg_stream_clear(&logical);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    ogg_sync_clear(&sync);
}

// Sets the granule position of the stream's last page (its claimed length)
// and mends the page's checksum, so that the claim reads as genuine. The
// stream needs more than one audio page for the claim to count.
void ClaimLength(Bytes& stream, std::int64_t granule) {
    std::size_t last = std::string::npos;
    for (std::size_t i = 0; i + 27 <= stream.size(); ++i)
        if (std::memcmp(&stream[i], "OggS", 4) == 0) last = i;
    ASSERT_NE(last, std::string::npos);
    for (int i = 0; i < 8; ++i) stream[last + 6 + i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(granule) >> (8 * i));
    const std::size_t segments = stream[last + 26];
    std::size_t body = 0;
    for (std::size_t i = 0; i < segments; ++i) body += stream[last + 27 + i];
    ogg_page page;
    page.header = &stream[last];
    page.header_len = static_cast<long>(27 + segments);
    page.body = &stream[last + 27 + segments];
    page.body_len = static_cast<long>(body);
    ogg_page_checksum_set(&page);
}

}  // namespace

// --- WAVE ----------------------------------------------------------------------

TEST(WaveImage, CanonicalHeaderGivesItsFormatAndData) {
    const Bytes stereo = Wave(2, 44100, 16, 4000, 4000);
    korrin::WaveImage image{};
    ASSERT_TRUE(korrin::ReadWaveImage(stereo.data(), stereo.size(), &image));
    EXPECT_EQ(image.format.formatTag, 1);
    EXPECT_EQ(image.format.channels, 2);
    EXPECT_EQ(image.format.samplesPerSec, 44100u);
    EXPECT_EQ(image.format.avgBytesPerSec, 176400u);
    EXPECT_EQ(image.format.blockAlign, 4);
    EXPECT_EQ(image.format.bitsPerSample, 16);
    EXPECT_EQ(image.samples, stereo.data() + 44);
    EXPECT_EQ(image.bytes, 4000u);

    const Bytes mono = Wave(1, 11025, 8, 1237, 1237);
    ASSERT_TRUE(korrin::ReadWaveImage(mono.data(), mono.size(), &image));
    EXPECT_EQ(image.format.channels, 1);
    EXPECT_EQ(image.format.bitsPerSample, 8);
    EXPECT_EQ(image.bytes, 1237u);
}

// Layouts that writers other than the canonical one produce: chunks before
// and after fmt, odd chunks with their pad byte, the longer fmt chunks. Each
// gives its format and exactly its samples.
TEST(WaveImage, ChunksAreWalkedToTheSamples) {
    const Bytes pcm = Samples(600, 3);
    const Bytes odd = Samples(301, 9);
    struct Case {
        const char* name;
        Bytes image;
        const Bytes& samples;
        korrin::PcmFormat format;
        korrin::WaveExtension extension;
    };
    const korrin::PcmFormat stereo16 = {1, 2, 44100, 176400, 4, 16};
    const korrin::WaveExtension none = {false, 0, 0};
    const Case cases[] = {
        {"canonical", Riff({{"fmt ", Fmt(1, 2, 44100, 16)}, {"data", pcm}}), pcm, stereo16, none},
        {"list before data", Riff({{"fmt ", Fmt(1, 2, 44100, 16)}, {"LIST", Samples(26, 1)}, {"data", pcm}}), pcm,
         stereo16, none},
        {"odd chunks padded", Riff({{"JUNK", Samples(7, 2)}, {"fmt ", Fmt(1, 1, 11025, 8)}, {"fact", Samples(3, 0)},
                                    {"data", odd}, {"LIST", Samples(5, 1)}}),
         odd, {1, 1, 11025, 11025, 1, 8}, none},
        {"fmt of 18 bytes", Riff({{"fmt ", Fmt(1, 2, 44100, 16, {0, 0})}, {"fact", Samples(4, 0)}, {"data", pcm}}),
         pcm, stereo16, none},
        {"extensible that plain pcm says exactly",
         Riff({{"fmt ", Extensible(2, 44100, 16, 16, 0x3)}, {"data", pcm}}), pcm, stereo16, none},
        {"extensible 8-bit mono", Riff({{"fmt ", Extensible(1, 8000, 8, 8, 0x4)}, {"data", odd}}), odd,
         {1, 1, 8000, 8000, 1, 8}, none},
        {"extensible 24-bit", Riff({{"fmt ", Extensible(2, 48000, 24, 24, 0x3)}, {"LIST", Samples(9, 4)}, {"data", pcm}}),
         pcm, {0xFFFE, 2, 48000, 288000, 6, 24}, {true, 24, 0x3}},
        {"extensible 32-bit with 24 valid bits", Riff({{"fmt ", Extensible(1, 22050, 32, 24, 0x4)}, {"data", pcm}}), pcm,
         {0xFFFE, 1, 22050, 88200, 4, 32}, {true, 24, 0x4}},
        {"extensible six channels", Riff({{"fmt ", Extensible(6, 48000, 16, 16, 0x3F)}, {"data", pcm}}), pcm,
         {0xFFFE, 6, 48000, 576000, 12, 16}, {true, 16, 0x3F}},
        {"extensible stereo on no speakers", Riff({{"fmt ", Extensible(2, 44100, 16, 16, 0)}, {"data", pcm}}), pcm,
         {0xFFFE, 2, 44100, 176400, 4, 16}, {true, 16, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes exact(c.image);  // no spare capacity: a read past the end is a sanitizer error
        for (std::size_t size : {exact.size(), std::size_t{0}}) {
            korrin::WaveImage image{};
            ASSERT_TRUE(korrin::ReadWaveImage(exact.data(), size, &image)) << image.reason;
            EXPECT_STREQ(image.reason, "");
            EXPECT_EQ(std::memcmp(&image.format, &c.format, sizeof c.format), 0)
                << image.format.formatTag << " " << image.format.channels << " " << image.format.bitsPerSample;
            EXPECT_EQ(image.extension.present, c.extension.present);
            EXPECT_EQ(image.extension.validBitsPerSample, c.extension.validBitsPerSample);
            EXPECT_EQ(image.extension.channelMask, c.extension.channelMask);
            ASSERT_EQ(image.bytes, c.samples.size());
            EXPECT_TRUE(std::equal(c.samples.begin(), c.samples.end(), image.samples));
        }
    }
}

TEST(WaveImage, RefusalsSayWhy) {
    const Bytes pcm = Samples(64, 5);
    const Bytes fmt = Fmt(1, 1, 8000, 8);
    struct Case {
        Bytes image;
        const char* reason;
    };
    const Case cases[] = {
        {Riff({{"fmt ", Fmt(1, 1, 8000, 8, {2, 0, 0, 0})}, {"data", pcm}}), "fmt chunk of 20 bytes"},
        {Riff({{"fmt ", Bytes(14, 0)}, {"data", pcm}}), "fmt chunk of 14 bytes"},
        {Riff({{"data", pcm}, {"fmt ", fmt}}), "no fmt chunk before data"},
        {Riff({{"fmt ", fmt}, {"data", pcm, 65}}), "data chunk larger than the file"},
        {Riff({{"fmt ", fmt}, {"LIST", Samples(8, 0), 0x7FFFFFF0}, {"data", pcm}}), "LIST chunk larger than the file"},
        {Riff({{"fmt ", fmt, 0xFFFFFFF0}, {"data", pcm}}), "fmt chunk larger than the file"},
        {Riff({{"fmt ", fmt}, {"LIST", Samples(8, 0)}}), "no data chunk"},
        {Riff({{"LIST", Samples(28, 0)}, {"JUNK", Samples(8, 0)}}), "no fmt chunk"},
        {Riff({{"fmt ", fmt}, {"fmt ", fmt}, {"data", pcm}}), "second fmt chunk"},
        {Riff({{"fmt ", Fmt(1, 1, 8000, 8, {2, 0})}, {"data", pcm}}), "fmt chunk of 18 bytes with cbSize 2"},
        {Riff({{"fmt ", Fmt(0xFFFE, 1, 8000, 8, {0, 0})}, {"data", pcm}}), "extensible format in a fmt chunk of 18 bytes"},
        {Riff({{"fmt ", Fmt(0xFFFE, 1, 8000, 8)}, {"data", pcm}}), "extensible format in a fmt chunk of 16 bytes"},
        {Riff({{"fmt ", Fmt(1, 1, 8000, 8, Bytes(24, 0))}, {"data", pcm}}), "fmt chunk of 40 bytes for format tag 1"},
        {Riff({{"fmt ", Extensible(1, 8000, 32, 32, 4, kFloatGuid)}, {"data", pcm}}),
         "extensible format of another kind than pcm"},
        {[&] {
             Bytes b = Riff({{"fmt ", Extensible(1, 8000, 16, 16, 4)}, {"data", pcm}});
             b[36] = 20;  // cbSize
             return b;
         }(),
         "extensible format with cbSize 20"},
        {[&] {
             Bytes b = Riff({{"fmt ", fmt}, {"data", pcm}});
             b[9] = 'X';
             return b;
         }(),
         "not a riff wave image"},
    };
    for (const Case& c : cases) {
        const Bytes exact(c.image);
        korrin::WaveImage image{};
        EXPECT_FALSE(korrin::ReadWaveImage(exact.data(), exact.size(), &image)) << c.reason;
        EXPECT_STREQ(image.reason, c.reason);
    }
    korrin::WaveImage image{};
    const Bytes canonical = Wave(1, 8000, 8, 0, 0);
    EXPECT_FALSE(korrin::ReadWaveImage(canonical.data(), 43, &image));
    EXPECT_STREQ(image.reason, "shorter than a wave header");
}

// Without a block size only the RIFF size bounds the walk; the canonical
// header is read whatever that size says, as it always was.
TEST(WaveImage, WithoutABlockSizeTheRiffSizeBoundsTheWalk) {
    const Bytes pcm = Samples(64, 5);
    Bytes list = Riff({{"fmt ", Fmt(1, 1, 8000, 8)}, {"LIST", Samples(8, 0)}, {"data", pcm}});
    korrin::WaveImage image{};
    ASSERT_TRUE(korrin::ReadWaveImage(list.data(), 0, &image)) << image.reason;
    EXPECT_EQ(image.bytes, 64u);
    for (int i = 4; i < 8; ++i) list[i] = 0;
    EXPECT_FALSE(korrin::ReadWaveImage(list.data(), 0, &image));
    EXPECT_STREQ(image.reason, "LIST chunk larger than the file");
    Bytes canonical = Wave(1, 8000, 8, 16, 16);
    for (int i = 4; i < 8; ++i) canonical[i] = 0;
    ASSERT_TRUE(korrin::ReadWaveImage(canonical.data(), 0, &image)) << image.reason;
    EXPECT_EQ(image.bytes, 16u);
}

TEST(WaveImage, DamagedTagsAreRefused) {
    korrin::WaveImage image{};
    // Every tag, and a zero byte inside one.
    const Bytes good = Wave(1, 8000, 8, 16, 16);
    for (std::size_t at : {0u, 3u, 8u, 12u, 15u, 36u, 38u}) {
        for (std::uint8_t value : {std::uint8_t{0}, std::uint8_t{'x'}}) {
            Bytes bad = good;
            bad[at] = value;
            EXPECT_FALSE(korrin::ReadWaveImage(bad.data(), bad.size(), &image)) << at << " " << int(value);
        }
    }
    EXPECT_FALSE(korrin::ReadWaveImage(nullptr, 100, &image));
}

// The block's size, when known, bounds the data chunk: never read past it.
TEST(WaveImage, DataBeyondAKnownBlockIsRefused) {
    korrin::WaveImage image{};
    const Bytes overlong = Wave(1, 8000, 8, 100, 101);
    EXPECT_FALSE(korrin::ReadWaveImage(overlong.data(), overlong.size(), &image));
    const Bytes huge = Wave(1, 8000, 8, 100, 0xFFFFFFFFu);
    EXPECT_FALSE(korrin::ReadWaveImage(huge.data(), huge.size(), &image));
    // A header cut short.
    const Bytes full = Wave(1, 8000, 8, 0, 0);
    EXPECT_FALSE(korrin::ReadWaveImage(full.data(), 43, &image));
    EXPECT_TRUE(korrin::ReadWaveImage(full.data(), 44, &image));
    EXPECT_EQ(image.bytes, 0u);
    // Bytes after the data chunk are left alone.
    const Bytes trailing = Wave(1, 8000, 8, 100, 60);
    ASSERT_TRUE(korrin::ReadWaveImage(trailing.data(), trailing.size(), &image));
    EXPECT_EQ(image.bytes, 60u);
    // Without a size the header is believed.
    ASSERT_TRUE(korrin::ReadWaveImage(overlong.data(), 0, &image));
    EXPECT_EQ(image.bytes, 101u);
}

// --- Ogg Vorbis ------------------------------------------------------------------

TEST(OggStream, BufferBytesAreFramesTimesTwoTimesChannels) {
    PcmFormat format{};
    const Bytes mono = DecodeAll(ReadFixture("mono1000.ogg"), &format);
    EXPECT_EQ(mono.size(), 2000u);
    EXPECT_EQ(format.formatTag, 1);
    EXPECT_EQ(format.channels, 1);
    EXPECT_EQ(format.samplesPerSec, 44100u);
    EXPECT_EQ(format.blockAlign, 2);
    EXPECT_EQ(format.avgBytesPerSec, 88200u);
    EXPECT_EQ(format.bitsPerSample, 16);
    const Bytes stereo = DecodeAll(ReadFixture("stereo1000.ogg"), &format);
    EXPECT_EQ(stereo.size(), 4000u);
    EXPECT_EQ(format.channels, 2);
    EXPECT_EQ(format.blockAlign, 4);
    EXPECT_EQ(format.avgBytesPerSec, 176400u);
}

// Streams mixing long and short blocks hand out short reads all along; the
// whole length must still be decoded, as the independent decoder does.
TEST(OggStream, DecodesTheWholeStreamLikeOggdec) {
    for (const char* name : {"mixed_mono", "mixed_stereo", "mono1000", "stereo1000"}) {
        const Bytes stream = ReadFixture((std::string(name) + ".ogg").c_str());
        const Bytes expected = ReadFixture((std::string(name) + ".raw").c_str());
        int shortBlocks = 0, longBlocks = 0;
        CountBlocks(stream, &shortBlocks, &longBlocks);
        if (std::strncmp(name, "mixed", 5) == 0) {
            EXPECT_GT(shortBlocks, 10) << name;
            EXPECT_GT(longBlocks, 10) << name;
        }
        std::size_t decoded = 0;
        const Bytes pcm = DecodeAll(stream, nullptr, &decoded);
        ASSERT_EQ(pcm.size(), expected.size()) << name;
        EXPECT_EQ(decoded, expected.size()) << name;
        EXPECT_LE(LargestDifference(pcm, expected), 1) << name;
    }
}

TEST(OggStream, NotAStreamIsRefused) {
    PcmFormat format{};
    std::uint32_t bytes = 0;
    const Bytes wave = Wave(1, 8000, 8, 100, 100);
    EXPECT_EQ(korrin::OpenOggDecoder(wave.data(), wave.size(), &format, &bytes), nullptr);
    const Bytes stream = ReadFixture("mono1000.ogg");
    EXPECT_EQ(korrin::OpenOggDecoder(stream.data(), 0, &format, &bytes), nullptr);
    EXPECT_EQ(korrin::OpenOggDecoder(nullptr, stream.size(), &format, &bytes), nullptr);
    // Only the identification header.
    EXPECT_EQ(korrin::OpenOggDecoder(stream.data(), 58, &format, &bytes), nullptr);
}

// A claimed length whose buffer would be absurd is refused on opening.
TEST(OggStream, AbsurdClaimedLengthsAreRefused) {
    PcmFormat format{};
    std::uint32_t bytes = 0;
    for (std::int64_t granule : {std::int64_t{0x04000000}, std::int64_t{1} << 40, std::int64_t{1} << 62,
                                 std::int64_t{0x7FFFFFFFFFFFFFFF}}) {
        Bytes stream = ReadFixture("mixed_stereo.ogg");
        ClaimLength(stream, granule);
        EXPECT_EQ(korrin::OpenOggDecoder(stream.data(), stream.size(), &format, &bytes), nullptr) << granule;
    }
    // Just below the limit still opens (0x03FFFFFF stereo frames, 4 bytes each).
    Bytes stream = ReadFixture("mixed_stereo.ogg");
    ClaimLength(stream, 0x03FFFFFF);
    korrin::OggDecoder* decoder = korrin::OpenOggDecoder(stream.data(), stream.size(), &format, &bytes);
    EXPECT_NE(decoder, nullptr);
    EXPECT_EQ(bytes, 0x0FFFFFFCu);
    korrin::CloseOggDecoder(decoder);
}

// A cut or damaged stream decodes what it can, and the rest of the buffer is
// silence rather than whatever it held before.
TEST(OggStream, DamagedStreamsEndInSilence) {
    const Bytes whole = ReadFixture("mixed_stereo.ogg");
    std::vector<Bytes> damaged = {Bytes(whole.begin(), whole.begin() + whole.size() / 2)};
    for (int tenth = 1; tenth < 10; ++tenth) {
        Bytes bad = whole;
        for (std::size_t i = bad.size() * tenth / 10, end = i + 200; i < end; ++i) bad[i] ^= 0x5A;
        damaged.push_back(bad);
    }
    int opened = 0;
    for (const Bytes& stream : damaged) {
        std::size_t decoded = 0;
        const Bytes pcm = DecodeAll(stream, nullptr, &decoded);
        if (pcm.empty()) continue;
        ++opened;
        ASSERT_LE(decoded, pcm.size());
        for (std::size_t i = decoded; i < pcm.size(); ++i) ASSERT_EQ(pcm[i], 0) << i << " of " << pcm.size();
    }
    EXPECT_GT(opened, 2);
}

// The second link of this chain has twice the channels of the first, so the
// last two bytes of the buffer hold no whole frame: every further read fails,
// and decoding must still end.
TEST(OggStream, ReadsThatKeepFailingEnd) {
    PcmFormat format{};
    std::size_t decoded = 0;
    const Bytes pcm = DecodeAll(ReadFixture("chained.ogg"), &format, &decoded);
    EXPECT_EQ(format.channels, 1);
    ASSERT_EQ(pcm.size(), 40001u * 2);
    EXPECT_EQ(decoded, pcm.size() - 2);
    EXPECT_EQ(pcm[pcm.size() - 2], 0);
    EXPECT_EQ(pcm[pcm.size() - 1], 0);
}

// --- levels ----------------------------------------------------------------------

TEST(SoundLevels, VolumeAndPanTables) {
    struct Row {
        int input, volume, pan;
    };
    const Row rows[] = {{0, -10000, 0},   {1, -4000, 9},    {10, -2000, 92},  {25, -1205, 250},   {50, -603, 603},
                        {75, -250, 1205}, {90, -92, 2000}, {99, -9, 4000},    {100, 0, 10000}};
    for (const Row& row : rows) {
        EXPECT_EQ(korrin::VolumeToDirectSound(row.input), row.volume) << row.input;
        EXPECT_EQ(korrin::PanToDirectSound(row.input), row.pan) << row.input;
        EXPECT_EQ(korrin::PanToDirectSound(-row.input), -row.pan) << row.input;
    }
    EXPECT_EQ(korrin::VolumeToDirectSound(150), 0);
    EXPECT_EQ(korrin::VolumeToDirectSound(-5), -10000);
    EXPECT_EQ(korrin::VolumeToDirectSound(-2147483647 - 1), -10000);
    EXPECT_EQ(korrin::PanToDirectSound(250), 10000);
    EXPECT_EQ(korrin::PanToDirectSound(-250), -10000);
    EXPECT_EQ(korrin::PanToDirectSound(2147483647), 10000);
    EXPECT_EQ(korrin::PanToDirectSound(-2147483647 - 1), -10000);
    // Attenuation grows with distance from full volume and from the centre.
    for (int v = 1; v < 100; ++v) {
        EXPECT_LE(korrin::VolumeToDirectSound(v), korrin::VolumeToDirectSound(v + 1)) << v;
        EXPECT_LE(korrin::PanToDirectSound(v - 1), korrin::PanToDirectSound(v)) << v;
    }
}

TEST(SoundLevels, FrequencyIsClamped) {
    EXPECT_EQ(korrin::ClampFrequency(500), 1000);
    EXPECT_EQ(korrin::ClampFrequency(-1), 1000);
    EXPECT_EQ(korrin::ClampFrequency(1000), 1000);
    EXPECT_EQ(korrin::ClampFrequency(22050), 22050);
    EXPECT_EQ(korrin::ClampFrequency(100000), 100000);
    EXPECT_EQ(korrin::ClampFrequency(200000), 100000);
}
