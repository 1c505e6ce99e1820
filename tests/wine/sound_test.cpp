// Sounds on Wine's DirectSound 8, loaded as a host loads them and read back
// through the IDirectSoundBuffer that a numbered sound's loading returns: the
// buffer's format, size and samples against the WAVE header and against what
// oggdec decodes from the same Ogg streams (fixtures made at build time into
// KORRIN_SOUND_FIXTURES), the volume and pan tables, frequency clamps,
// playback, and the release of buffers by FreeSound, by reloading a number and
// by closing the screen.
#include <windows.h>
#include <mmsystem.h>
#include <dsound.h>
#include <mmreg.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host.h"

using host::Call;

namespace {

using Bytes = std::vector<BYTE>;

// Calls a command that returns an int with int arguments.
template <class... A>
int Command(const char* name, A... args) {
    return Call<int>(name, args...);
}

Bytes ReadFixture(const std::string& name) {
    Bytes bytes;
    const std::string path = std::string(KORRIN_SOUND_FIXTURES) + name;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        BYTE chunk[65536];
        size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
        std::fclose(file);
    }
    EXPECT_FALSE(bytes.empty()) << "fixture " << path;
    return bytes;
}

std::string FixturePath(const std::string& name) { return std::string(KORRIN_SOUND_FIXTURES) + name; }

// Writes `bytes` to a file in the temporary folder and returns its path.
std::string TemporaryFile(const char* name, const Bytes& bytes) {
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    const std::string path = std::string(folder) + name;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    return path;
}

std::uint32_t Read32(const Bytes& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

IDirectSoundBuffer* Buffer(int result) { return reinterpret_cast<IDirectSoundBuffer*>(static_cast<INT_PTR>(result)); }

int LoadSound(int number, const std::string& path) { return Call<int>("LoadSound", number, path.c_str()); }
int CatchSound2(int number, const Bytes& data) {
    return Call<int>("CatchSound2", number, static_cast<const void*>(data.data()), static_cast<int>(data.size()));
}
int CatchSound(int number, const Bytes& data) {
    return Call<int>("CatchSound", number, static_cast<const void*>(data.data()));
}

DWORD Status(IDirectSoundBuffer* buffer) {
    DWORD status = 0;
    EXPECT_EQ(buffer->GetStatus(&status), DS_OK);
    return status;
}

DWORD PlayCursor(IDirectSoundBuffer* buffer) {
    DWORD play = 0, write = 0;
    EXPECT_EQ(buffer->GetCurrentPosition(&play, &write), DS_OK);
    return play;
}

// Polls `done` every few milliseconds for up to a minute (emulated processors
// are slow); true once it held.
template <class Condition>
bool WaitFor(Condition done) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < 60000;) {
        if (done()) return true;
        Sleep(5);
    }
    return done();
}

// The buffer's whole content.
Bytes Content(IDirectSoundBuffer* buffer) {
    void* first = nullptr;
    void* second = nullptr;
    DWORD firstBytes = 0, secondBytes = 0;
    Bytes content;
    if (buffer->Lock(0, 0, &first, &firstBytes, &second, &secondBytes, DSBLOCK_ENTIREBUFFER) != DS_OK) {
        ADD_FAILURE() << "Lock failed";
        return content;
    }
    content.assign(static_cast<BYTE*>(first), static_cast<BYTE*>(first) + firstBytes);
    buffer->Unlock(first, firstBytes, second, secondBytes);
    return content;
}

// The buffer's format and description against a WAVE header.
void ExpectWaveBuffer(IDirectSoundBuffer* buffer, const Bytes& wave) {
    ASSERT_NE(buffer, nullptr);
    WAVEFORMATEX format = {};
    DWORD written = 0;
    ASSERT_EQ(buffer->GetFormat(&format, sizeof format, &written), DS_OK);
    EXPECT_EQ(format.wFormatTag, wave[20] | wave[21] << 8);
    EXPECT_EQ(format.nChannels, wave[22] | wave[23] << 8);
    EXPECT_EQ(format.nSamplesPerSec, Read32(wave, 24));
    EXPECT_EQ(format.nAvgBytesPerSec, Read32(wave, 28));
    EXPECT_EQ(format.nBlockAlign, wave[32] | wave[33] << 8);
    EXPECT_EQ(format.wBitsPerSample, wave[34] | wave[35] << 8);
    DSBCAPS caps = {};
    caps.dwSize = sizeof caps;
    ASSERT_EQ(buffer->GetCaps(&caps), DS_OK);
    EXPECT_EQ(caps.dwBufferBytes, Read32(wave, 40));
    const DWORD controls = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
    EXPECT_EQ(caps.dwFlags & controls, controls);
    EXPECT_EQ(caps.dwFlags & (DSBCAPS_GLOBALFOCUS | DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRL3D), 0u);
    EXPECT_TRUE(Content(buffer) == Bytes(wave.begin() + 44, wave.begin() + 44 + Read32(wave, 40)));
}

// A WAVE image with a LIST chunk between "fmt " and "data".
Bytes WithListChunk(const Bytes& wave) {
    static const BYTE list[] = {'L', 'I', 'S', 'T', 4, 0, 0, 0, 'I', 'N', 'F', 'O'};
    Bytes b = wave;
    b.insert(b.begin() + 36, list, list + sizeof list);
    return b;
}

// The same image with an 18-byte format chunk (cbSize 0 after the fields).
Bytes WithFormat18(const Bytes& wave) {
    Bytes b = wave;
    b[16] = 18;
    b.insert(b.begin() + 36, 2, 0);
    return b;
}

// The same image with a 20-byte format chunk, which no PCM writer makes.
Bytes WithFormat20(const Bytes& wave) {
    Bytes b = WithFormat18(wave);
    b[16] = 20;
    b.insert(b.begin() + 36, 2, 0);
    return b;
}

// Largest difference between two blocks of 16-bit little-endian samples.
int LargestDifference(const Bytes& a, const Bytes& b) {
    int largest = 0;
    for (size_t i = 0; i + 1 < a.size() && i + 1 < b.size(); i += 2) {
        const int x = static_cast<short>(a[i] | a[i + 1] << 8);
        const int y = static_cast<short>(b[i] | b[i + 1] << 8);
        largest = std::max(largest, std::abs(x - y));
    }
    return largest;
}

// Each test starts with a new sound system and ends with the library's
// teardown; the suite keeps a visible window in the foreground.
class Sounds : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        window_ = CreateWindowExA(0, "STATIC", "korrin sound test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 240,
                                  nullptr, nullptr, nullptr, nullptr);
        SetForegroundWindow(window_);
    }
    static void TearDownTestSuite() { DestroyWindow(window_); }
    void SetUp() override { ASSERT_NE(Call<void*>("InitSound"), nullptr); }
    void TearDown() override { Command("Sprite_End"); }

    static inline HWND window_ = nullptr;
};

}  // namespace

// --- data formats ---------------------------------------------------------------

TEST_F(Sounds, WaveBuffersHaveTheHeadersFormatAndTheDataChunk) {
    const Bytes stereo = ReadFixture("stereo16.wav");
    ASSERT_EQ(stereo.size(), 44u + 2 * 44100 * 4);
    ASSERT_EQ(Read32(stereo, 24), 44100u);
    ExpectWaveBuffer(Buffer(LoadSound(0, FixturePath("stereo16.wav"))), stereo);
    ExpectWaveBuffer(Buffer(CatchSound2(1, stereo)), stereo);

    const Bytes mono = ReadFixture("mono8.wav");
    ASSERT_EQ(mono[34], 8);
    ExpectWaveBuffer(Buffer(LoadSound(2, FixturePath("mono8.wav"))), mono);
    ExpectWaveBuffer(Buffer(CatchSound(3, mono)), mono);
}

// Files as sox writes them, and as editors leave them with a LIST chunk, read
// back against the raw PCM that sox reads from the same files. Up to 16 bits
// the buffer has the plain PCM format; above, the extensible one.
TEST_F(Sounds, SoxWaveFilesGiveTheirSamples) {
    struct Case {
        const char* name;
        WORD channels;
        DWORD rate;
        WORD bits;
        DWORD channelMask;  // 0: a plain format
    };
    const Case cases[] = {
        {"sox_mono8", 1, 11025, 8, 0},         {"sox_stereo16_list", 2, 22050, 16, 0},
        {"sox_mono24", 1, 22050, 24, 0x4},     {"sox_stereo24_list", 2, 44100, 24, 0x3},
        {"sox_stereo32", 2, 48000, 32, 0x3},
    };
    int number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes raw = ReadFixture(std::string(c.name) + ".raw");
        const Bytes file = ReadFixture(std::string(c.name) + ".wav");
        for (IDirectSoundBuffer* buffer : {Buffer(LoadSound(number++, FixturePath(std::string(c.name) + ".wav"))),
                                           Buffer(CatchSound2(number++, file)), Buffer(CatchSound(number++, file))}) {
            ASSERT_NE(buffer, nullptr);
            WAVEFORMATEXTENSIBLE format = {};
            DWORD written = 0;
            ASSERT_EQ(buffer->GetFormat(&format.Format, sizeof format, &written), DS_OK);
            EXPECT_EQ(format.Format.wFormatTag, c.channelMask ? WAVE_FORMAT_EXTENSIBLE : WAVE_FORMAT_PCM);
            EXPECT_EQ(format.Format.nChannels, c.channels);
            EXPECT_EQ(format.Format.nSamplesPerSec, c.rate);
            EXPECT_EQ(format.Format.wBitsPerSample, c.bits);
            EXPECT_EQ(format.Format.nBlockAlign, c.channels * c.bits / 8);
            if (c.channelMask) {
                EXPECT_EQ(format.Samples.wValidBitsPerSample, c.bits);
                EXPECT_EQ(format.dwChannelMask, c.channelMask);
            }
            EXPECT_TRUE(Content(buffer) == raw) << "the samples, and nothing of the other chunks";
        }
    }
}

TEST_F(Sounds, HandWrittenLayoutsGiveTheirDataChunk) {
    const Bytes mono = ReadFixture("mono8.wav");
    const Bytes samples(mono.begin() + 44, mono.end());
    for (const Bytes& layout : {WithListChunk(mono), WithFormat18(mono)}) {
        for (IDirectSoundBuffer* buffer :
             {Buffer(CatchSound2(0, layout)), Buffer(LoadSound(1, TemporaryFile("korrin-layout.wav", layout)))}) {
            ASSERT_NE(buffer, nullptr);
            EXPECT_TRUE(Content(buffer) == samples);
        }
    }
}

TEST_F(Sounds, OtherWaveLayoutsAreRefused) {
    const Bytes mono = ReadFixture("mono8.wav");
    const Bytes format20 = WithFormat20(mono);
    EXPECT_EQ(CatchSound2(0, format20), 0);
    EXPECT_EQ(LoadSound(0, TemporaryFile("korrin-format20.wav", format20)), 0);
    Bytes dataFirst = mono;  // the data chunk before the fmt chunk
    std::rotate(dataFirst.begin() + 12, dataFirst.begin() + 36, dataFirst.end());
    EXPECT_EQ(CatchSound2(0, dataFirst), 0);
    EXPECT_EQ(Command("IsSound", 0), 0);
    // Missing, empty and unnamed files, and no data.
    EXPECT_EQ(LoadSound(0, FixturePath("missing.wav")), 0);
    EXPECT_EQ(LoadSound(0, TemporaryFile("korrin-empty.wav", Bytes())), 0);
    EXPECT_EQ(Call<int>("LoadSound", 0, static_cast<const char*>(nullptr)), 0);
    EXPECT_EQ(Call<int>("CatchSound2", 0, static_cast<const void*>(nullptr), 100), 0);
    EXPECT_EQ(Call<int>("CatchSound", 0, static_cast<const void*>(nullptr)), 0);
}

// A data chunk claiming more bytes than the block holds is never read past
// the block when its size is known.
TEST_F(Sounds, WaveDataBeyondTheBlockIsRefused) {
    const Bytes mono = ReadFixture("mono8.wav");
    const Bytes cut(mono.begin(), mono.end() - 1);
    EXPECT_EQ(CatchSound2(0, cut), 0);
    EXPECT_EQ(LoadSound(0, TemporaryFile("korrin-cut.wav", cut)), 0);
    Bytes claimed = mono;
    claimed[40] = claimed[41] = claimed[42] = 0xFF;
    claimed[43] = 0x0F;
    EXPECT_EQ(CatchSound2(0, claimed), 0);
    // Bytes after the data chunk are not part of the sound.
    Bytes trailing = mono;
    trailing.insert(trailing.end(), 100, 0x55);
    IDirectSoundBuffer* buffer = Buffer(CatchSound2(0, trailing));
    ASSERT_NE(buffer, nullptr);
    DSBCAPS caps = {};
    caps.dwSize = sizeof caps;
    ASSERT_EQ(buffer->GetCaps(&caps), DS_OK);
    EXPECT_EQ(caps.dwBufferBytes, mono.size() - 44);
}

TEST_F(Sounds, OggBuffersHoldFramesTimesTwoTimesChannels) {
    struct Case {
        const char* name;
        WORD channels;
        DWORD bytes;
    };
    for (const Case& c : {Case{"mono1000", 1, 2000}, Case{"stereo1000", 2, 4000}, Case{"mixed_mono", 1, 0},
                          Case{"mixed_stereo", 2, 0}}) {
        const Bytes stream = ReadFixture(std::string(c.name) + ".ogg");
        // What oggdec decodes: frames x 2 x channels bytes.
        const DWORD expected = static_cast<DWORD>(ReadFixture(std::string(c.name) + ".raw").size());
        if (c.bytes) {
            EXPECT_EQ(expected, c.bytes) << c.name;
        }
        IDirectSoundBuffer* buffer = Buffer(CatchSound2(0, stream));
        ASSERT_NE(buffer, nullptr) << c.name;
        WAVEFORMATEX format = {};
        ASSERT_EQ(buffer->GetFormat(&format, sizeof format, nullptr), DS_OK);
        EXPECT_EQ(format.wFormatTag, WAVE_FORMAT_PCM);
        EXPECT_EQ(format.nChannels, c.channels);
        EXPECT_EQ(format.nSamplesPerSec, 44100u);
        EXPECT_EQ(format.wBitsPerSample, 16);
        EXPECT_EQ(format.nBlockAlign, 2 * c.channels);
        EXPECT_EQ(format.nAvgBytesPerSec, 44100u * 2 * c.channels);
        DSBCAPS caps = {};
        caps.dwSize = sizeof caps;
        ASSERT_EQ(buffer->GetCaps(&caps), DS_OK);
        EXPECT_EQ(caps.dwBufferBytes, expected) << c.name;
        // Without a size only WAVE data can be read.
        EXPECT_EQ(CatchSound(1, stream), 0) << c.name;
    }
}

// The streams mix long and short blocks, so libvorbisfile hands out short
// reads all along: the whole buffer must still be decoded.
TEST_F(Sounds, OggSamplesMatchTheIndependentDecoderOverTheWholeLength) {
    for (const char* name : {"mixed_mono", "mixed_stereo"}) {
        const Bytes expected = ReadFixture(std::string(name) + ".raw");
        const Bytes fromMemory = Content(Buffer(CatchSound2(0, ReadFixture(std::string(name) + ".ogg"))));
        const Bytes fromFile = Content(Buffer(LoadSound(1, FixturePath(std::string(name) + ".ogg"))));
        ASSERT_EQ(fromMemory.size(), expected.size()) << name;
        ASSERT_EQ(fromFile.size(), expected.size()) << name;
        EXPECT_LE(LargestDifference(fromMemory, expected), 1) << name;
        EXPECT_LE(LargestDifference(fromFile, expected), 1) << name;
        // The last tenth too: not silence where the stream has sound.
        int loud = 0;
        for (size_t i = expected.size() * 9 / 10; i + 1 < expected.size(); i += 2)
            loud += std::abs(static_cast<short>(fromMemory[i] | fromMemory[i + 1] << 8)) > 1000;
        EXPECT_GT(loud, 0) << name;
    }
}

// --- volume, pan, frequency ---------------------------------------------------------

TEST_F(Sounds, VolumeAndPanTablesReadBack) {
    IDirectSoundBuffer* buffer = Buffer(LoadSound(0, FixturePath("stereo16.wav")));
    ASSERT_NE(buffer, nullptr);
    struct Row {
        int input, volume, pan;
    };
    const Row rows[] = {{0, -10000, 0},   {1, -4000, 9},    {10, -2000, 92}, {25, -1205, 250}, {50, -603, 603},
                        {75, -250, 1205}, {90, -92, 2000}, {99, -9, 4000},   {100, 0, 10000}};
    LONG value = 1;
    for (const Row& row : rows) {
        EXPECT_EQ(Command("SoundVolume", 0, row.input), 1);
        ASSERT_EQ(buffer->GetVolume(&value), DS_OK);
        EXPECT_EQ(value, row.volume) << "volume " << row.input;
        EXPECT_EQ(Command("SoundPan", 0, row.input), 1);
        ASSERT_EQ(buffer->GetPan(&value), DS_OK);
        EXPECT_EQ(value, row.pan) << "pan " << row.input;
        EXPECT_EQ(Command("SoundPan", 0, -row.input), 1);
        ASSERT_EQ(buffer->GetPan(&value), DS_OK);
        EXPECT_EQ(value, -row.pan) << "pan " << -row.input;
    }
    // Out of range is clamped, never refused; the third argument is unused.
    const struct {
        int input;
        LONG volume;
    } volumes[] = {{150, 0}, {-5, -10000}, {0, -10000}, {50, -603}};
    for (const auto& v : volumes) {
        EXPECT_EQ(Command("SoundVolume2", 0, v.input, 12345), 1);
        ASSERT_EQ(buffer->GetVolume(&value), DS_OK);
        EXPECT_EQ(value, v.volume) << v.input;
    }
    for (int pan : {100, 250}) {
        EXPECT_EQ(Command("SoundPan", 0, pan), 1);
        ASSERT_EQ(buffer->GetPan(&value), DS_OK);
        EXPECT_EQ(value, 10000) << pan;
    }
    EXPECT_EQ(Command("SoundPan", 0, -100), 1);
    ASSERT_EQ(buffer->GetPan(&value), DS_OK);
    EXPECT_EQ(value, -10000);
    EXPECT_EQ(Command("SoundVolume", 7, 50), 0) << "no such sound";
    EXPECT_EQ(Command("SoundPan", 7, 50), 0);
}

TEST_F(Sounds, FrequencyIsClampedTo1000To100000) {
    IDirectSoundBuffer* buffer = Buffer(LoadSound(0, FixturePath("stereo16.wav")));
    ASSERT_NE(buffer, nullptr);
    DWORD frequency = 0;
    ASSERT_EQ(buffer->GetFrequency(&frequency), DS_OK);
    EXPECT_EQ(frequency, 44100u) << "a new buffer plays at its data's rate";
    const struct {
        int input;
        DWORD rate;
    } cases[] = {{500, 1000}, {200000, 100000}, {22050, 22050}, {1000, 1000}, {100000, 100000}, {-7, 1000}};
    for (const auto& c : cases) {
        EXPECT_EQ(Command("SoundFrequency", 0, c.input), 1);
        ASSERT_EQ(buffer->GetFrequency(&frequency), DS_OK);
        EXPECT_EQ(frequency, c.rate) << c.input;
    }
    EXPECT_EQ(Command("SoundFrequency", 7, 22050), 0);
}

// --- playback ---------------------------------------------------------------------

TEST_F(Sounds, PlaysOnceToTheEndOrLoopsUntilStopped) {
    IDirectSoundBuffer* once = Buffer(LoadSound(0, FixturePath("short.wav")));
    ASSERT_NE(once, nullptr);
    ASSERT_EQ(Command("PlaySound", 0), 1);
    const DWORD status = Status(once);
    if (status & DSBSTATUS_PLAYING) {
        EXPECT_EQ(status & DSBSTATUS_LOOPING, 0u);
    }
    EXPECT_TRUE(WaitFor([&] { return (Status(once) & DSBSTATUS_PLAYING) == 0; })) << "a tenth of a second ends";

    ASSERT_EQ(Command("PlaySound2", 0, 5), 1);
    EXPECT_EQ(Status(once) & (DSBSTATUS_PLAYING | DSBSTATUS_LOOPING), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
    // Past the end the cursor comes round again and the sound plays on.
    DWORD last = PlayCursor(once);
    bool wrapped = WaitFor([&] {
        const DWORD now = PlayCursor(once);
        const bool back = now < last;
        last = now;
        return back;
    });
    EXPECT_TRUE(wrapped);
    EXPECT_NE(Status(once) & DSBSTATUS_PLAYING, 0u);
    EXPECT_EQ(Command("StopSound", 0), 1);
    EXPECT_EQ(Status(once) & DSBSTATUS_PLAYING, 0u);
    EXPECT_EQ(Command("PlaySound", 9), 0) << "no such sound";
    EXPECT_EQ(Command("StopSound", 9), 0);
}

TEST_F(Sounds, PlayingAgainStartsFromTheFirstSample) {
    IDirectSoundBuffer* buffer = Buffer(LoadSound(0, FixturePath("stereo16.wav")));
    ASSERT_NE(buffer, nullptr);
    ASSERT_EQ(Command("PlaySound", 0), 1);
    // Half a second in (of two), then stopped: the position stays.
    ASSERT_TRUE(WaitFor([&] { return PlayCursor(buffer) >= 44100 * 4 / 2; }));
    ASSERT_EQ(Command("StopSound", 0), 1);
    const DWORD stopped = PlayCursor(buffer);
    EXPECT_GE(stopped, 44100u * 4 / 2);
    ASSERT_EQ(Command("PlaySound", 0), 1);
    ASSERT_EQ(Command("StopSound", 0), 1);
    EXPECT_LT(PlayCursor(buffer), stopped);
    // Also while it plays.
    ASSERT_EQ(Command("PlaySound", 0), 1);
    ASSERT_TRUE(WaitFor([&] { return PlayCursor(buffer) >= 44100 * 4 / 2; }));
    ASSERT_EQ(Command("PlaySound", 0), 1);
    EXPECT_LT(PlayCursor(buffer), 44100u * 4 / 2);
    EXPECT_NE(Status(buffer) & DSBSTATUS_PLAYING, 0u);
}

TEST_F(Sounds, StopAllStopsEverySound) {
    IDirectSoundBuffer* first = Buffer(LoadSound(0, FixturePath("stereo16.wav")));
    IDirectSoundBuffer* second = Buffer(CatchSound2(1, ReadFixture("mono1000.ogg")));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(Command("PlaySound2", 0, 1), 1);
    ASSERT_EQ(Command("PlaySound2", 1, 1), 1);
    EXPECT_EQ(Command("StopSound", -1), 1);
    EXPECT_EQ(Status(first) & DSBSTATUS_PLAYING, 0u);
    EXPECT_EQ(Status(second) & DSBSTATUS_PLAYING, 0u);
    EXPECT_EQ(Command("StopSound", -1), 1) << "also when nothing plays";
}

// --- lifetimes --------------------------------------------------------------------

TEST_F(Sounds, FreeSoundReleasesThePlayingBuffer) {
    IDirectSoundBuffer* buffer = Buffer(LoadSound(0, FixturePath("stereo16.wav")));
    ASSERT_NE(buffer, nullptr);
    ASSERT_EQ(Command("PlaySound2", 0, 1), 1);
    buffer->AddRef();
    EXPECT_EQ(Command("FreeSound", 0), 0);
    EXPECT_EQ(buffer->Release(), 0u) << "the library still held the buffer";
    EXPECT_EQ(Command("IsSound", 0), 0);
    EXPECT_EQ(Command("PlaySound", 0), 0);
    EXPECT_EQ(Command("FreeSound", 0), 0);
    EXPECT_EQ(Command("FreeSound", 12345), 0);
    EXPECT_EQ(Command("StopSound", -1), 1);
}

TEST_F(Sounds, DynamicHandlesWorkWithEveryCommand) {
    const int handle = LoadSound(-1, FixturePath("stereo16.wav"));
    const int other = CatchSound2(-1, ReadFixture("mono1000.ogg"));
    ASSERT_NE(handle, 0);
    ASSERT_NE(other, 0);
    EXPECT_NE(handle, other);
    EXPECT_EQ(Command("IsSound", handle), handle);
    EXPECT_EQ(Command("IsSound", other), other);
    EXPECT_EQ(Command("PlaySound2", handle, 1), 1);
    EXPECT_EQ(Command("SoundVolume", handle, 50), 1);
    EXPECT_EQ(Command("SoundPan", handle, -50), 1);
    EXPECT_EQ(Command("SoundFrequency", handle, 22050), 1);
    EXPECT_EQ(Command("StopSound", handle), 1);
    EXPECT_EQ(Command("PlaySound", other), 1);
    EXPECT_EQ(Command("FreeSound", handle), 0);
    EXPECT_EQ(Command("IsSound", handle), 0);
    EXPECT_EQ(Command("PlaySound", handle), 0);
    EXPECT_EQ(Command("IsSound", other), other);
    EXPECT_EQ(Command("IsSound", handle + 4), 0) << "not a record boundary";
}

// Loading under the number of a live sound releases the old buffer: it would
// otherwise stay alive, and loop on, out of reach of its number.
TEST_F(Sounds, ReloadingANumberReleasesTheOldBuffer) {
    IDirectSoundBuffer* old = Buffer(LoadSound(3, FixturePath("stereo16.wav")));
    ASSERT_NE(old, nullptr);
    ASSERT_EQ(Command("PlaySound2", 3, 1), 1);
    old->AddRef();
    IDirectSoundBuffer* replacement = Buffer(CatchSound2(3, ReadFixture("mono8.wav")));
    ASSERT_NE(replacement, nullptr);
    EXPECT_EQ(old->Release(), 0u) << "the old buffer is still held";
    EXPECT_EQ(Command("PlaySound2", 3, 1), 1);
    EXPECT_NE(Status(replacement) & DSBSTATUS_PLAYING, 0u);
    // A failed reload leaves the sound as it was.
    EXPECT_EQ(CatchSound2(3, WithFormat20(ReadFixture("mono8.wav"))), 0);
    EXPECT_NE(Command("IsSound", 3), 0);
    EXPECT_EQ(Command("StopSound", 3), 1);
}

TEST_F(Sounds, LoadingBeforeAnyScreenAttachesByItself) {
    SetForegroundWindow(window_);
    const int result = CatchSound2(0, ReadFixture("stereo1000.ogg"));
    ASSERT_NE(result, 0);
    EXPECT_EQ(Command("PlaySound2", 0, 1), 1);
    EXPECT_NE(Status(Buffer(result)) & DSBSTATUS_PLAYING, 0u);
    EXPECT_EQ(Command("StopSound", 0), 1);
}

// (Releasing the device destroys its buffers, whoever holds them: no
// reference to one may be kept across InitSound.)
TEST_F(Sounds, InitSoundAgainStartsOver) {
    ASSERT_NE(LoadSound(0, FixturePath("mono8.wav")), 0);
    const int handle = LoadSound(-1, FixturePath("mono8.wav"));
    ASSERT_NE(handle, 0);
    ASSERT_NE(Call<void*>("InitSound"), nullptr);
    EXPECT_EQ(Command("IsSound", 0), 0);
    EXPECT_EQ(Command("IsSound", handle), 0);
    EXPECT_EQ(Command("PlaySound", 0), 0);
    EXPECT_NE(LoadSound(0, FixturePath("mono8.wav")), 0);
    EXPECT_EQ(Command("PlaySound", 0), 1);
}

TEST_F(Sounds, NothingWorksAfterTheTeardown) {
    ASSERT_NE(LoadSound(0, FixturePath("mono8.wav")), 0);
    EXPECT_EQ(Command("Sprite_End"), 0);
    EXPECT_EQ(Command("IsSound", 0), 0);
    EXPECT_EQ(Command("PlaySound", 0), 0);
    EXPECT_EQ(Command("StopSound", -1), 0) << "no sound system";
    EXPECT_EQ(LoadSound(0, FixturePath("mono8.wav")), 0);
    EXPECT_EQ(CatchSound2(0, ReadFixture("mono8.wav")), 0);
    EXPECT_EQ(Command("FreeSound", 0), 0);
}

// --- with a screen ------------------------------------------------------------------

class SoundScreen : public Sounds {
protected:
    void SetUp() override {
        ASSERT_NE(Call<void*>("InitSprite"), nullptr);
        Sounds::SetUp();
        ASSERT_NE(OpenScreen(), nullptr);
    }
    void* OpenScreen() {
        return Call<void*>("OpenWindowedScreen", static_cast<void*>(window_), 0, 0, 256, 192, 0, 0, 0);
    }
};

// Closing the screen releases every buffer; the sounds it leaves behind
// answer 0 to every command and touch nothing.
TEST_F(SoundScreen, ClosingTheScreenReleasesEveryBuffer) {
    IDirectSoundBuffer* numbered = Buffer(LoadSound(0, FixturePath("stereo16.wav")));
    const int handle = CatchSound2(-1, ReadFixture("mono1000.ogg"));
    ASSERT_NE(numbered, nullptr);
    ASSERT_NE(handle, 0);
    ASSERT_EQ(Command("PlaySound2", 0, 1), 1);
    numbered->AddRef();
    EXPECT_EQ(Command("CloseScreen"), 0);
    EXPECT_EQ(numbered->Release(), 0u) << "the buffer outlived the screen";
    for (int stale : {0, handle}) {
        EXPECT_EQ(Command("IsSound", stale), 0);
        EXPECT_EQ(Command("PlaySound", stale), 0);
        EXPECT_EQ(Command("PlaySound2", stale, 1), 0);
        EXPECT_EQ(Command("StopSound", stale), 0);
        EXPECT_EQ(Command("SoundVolume", stale, 50), 0);
        EXPECT_EQ(Command("SoundVolume2", stale, 50, 0), 0);
        EXPECT_EQ(Command("SoundPan", stale, 50), 0);
        EXPECT_EQ(Command("SoundFrequency", stale, 22050), 0);
    }
    EXPECT_EQ(Command("StopSound", -1), 1);
    EXPECT_EQ(Command("FreeSound", handle), 0);

    // Loaded again, with and without a screen, the sounds work.
    EXPECT_NE(LoadSound(1, FixturePath("mono8.wav")), 0);
    EXPECT_EQ(Command("PlaySound", 1), 1);
    ASSERT_NE(OpenScreen(), nullptr);
    EXPECT_EQ(Command("IsSound", 1), 0) << "opening closes the screen first";
    IDirectSoundBuffer* again = Buffer(LoadSound(0, FixturePath("stereo16.wav")));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(Command("PlaySound", 0), 1);
    EXPECT_NE(Status(again) & DSBSTATUS_PLAYING, 0u);
    EXPECT_EQ(Command("FreeSound", 0), 0);
}

// --- without DirectSound ("dsound.dll" disabled) ----------------------------------------

TEST(NoDirectSound, OnlyInitSoundFails) {
    ASSERT_NE(Call<void*>("InitSprite"), nullptr);
    EXPECT_EQ(Call<void*>("InitSound"), nullptr);
    HWND window = CreateWindowExA(0, "STATIC", "korrin sound test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 240,
                                  nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(Call<void*>("OpenWindowedScreen", static_cast<void*>(window), 0, 0, 256, 192, 0, 0, 0), nullptr);
    EXPECT_EQ(LoadSound(0, FixturePath("mono8.wav")), 0);
    EXPECT_EQ(CatchSound2(0, ReadFixture("mono8.wav")), 0);
    EXPECT_EQ(Command("PlaySound", 0), 0);
    EXPECT_EQ(Command("StopSound", -1), 0);
    EXPECT_EQ(Command("IsScreenActive"), 1);
    EXPECT_EQ(Command("Sprite_End"), 0);
    DestroyWindow(window);
}
