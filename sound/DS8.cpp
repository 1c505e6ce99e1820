// The DirectSound 8 device and its sample buffers (see DS8.h).
#include "sound/DS8.h"

#include <mmreg.h>

#include <cstring>

#include "frame/ErrorPosition.h"
#include "frame/LastError.h"
#include "frame/platform.h"
#include "sound/SoundData.h"

namespace korrin {

namespace {

static_assert(sizeof(DSBUFFERDESC) == 36, "the buffer description carries the 3D algorithm");

using DirectSoundCreate8Proc = HRESULT(WINAPI*)(LPCGUID, IDirectSound8**, IUnknown*);

// Everything the sound device holds, in one place.
struct SoundState {
    HMODULE soundLibrary;               // "dsound.dll"; OpenSoundDevice, unloaded by ShutdownSound
    IDirectSound8* directSound;         // OpenSoundDevice; released by ShutdownSound
    IDirectSoundBuffer* primaryBuffer;  // AttachSound; the sound is attached while it exists
    IDirectSoundBuffer** bufferList;    // every buffer made and not released; null slots are free
    int bufferSlots;                    // slots in bufferList, 0 when there is no list
    std::uint32_t generation;           // DetachSound and ShutdownSound count up
};
SoundState sound;

// Capabilities of every sample buffer: frequency, pan and volume control.
constexpr DWORD kSampleBufferFlags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
static_assert(kSampleBufferFlags == 0xE0, "sample buffers have exactly the three controls");

IDirectSoundBuffer** AllocateList(int slots) {
    return static_cast<IDirectSoundBuffer**>(GlobalAlloc(GPTR, sizeof(IDirectSoundBuffer*) * slots));
}

void ReleaseListedBuffers() {
    for (int i = 0; i < sound.bufferSlots; ++i) ReleaseObject(sound.bufferList[i]);
}

// KSDATAFORMAT_SUBTYPE_PCM, the one sub-format the WAVE reader lets through.
constexpr GUID kPcmSubFormat = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

// A sample buffer of `bytes` bytes in `format`, described as a
// WAVEFORMATEXTENSIBLE when `extension` is given and present; null when
// DirectSound refuses.
IDirectSoundBuffer* CreateSampleBuffer(IDirectSound8* directSound, const PcmFormat& format, std::uint32_t bytes,
                                       const WaveExtension* extension = nullptr) {
    WAVEFORMATEXTENSIBLE described = {};
    WAVEFORMATEX& waveFormat = described.Format;
    waveFormat.wFormatTag = format.formatTag;
    waveFormat.nChannels = format.channels;
    waveFormat.nSamplesPerSec = format.samplesPerSec;
    waveFormat.nAvgBytesPerSec = format.avgBytesPerSec;
    waveFormat.nBlockAlign = format.blockAlign;
    waveFormat.wBitsPerSample = format.bitsPerSample;
    waveFormat.cbSize = 0;
    if (extension && extension->present) {
        waveFormat.cbSize = sizeof described - sizeof waveFormat;
        described.Samples.wValidBitsPerSample = extension->validBitsPerSample;
        described.dwChannelMask = extension->channelMask;
        described.SubFormat = kPcmSubFormat;
    }
    DSBUFFERDESC description = {};
    description.dwSize = sizeof description;
    description.dwFlags = kSampleBufferFlags;
    description.dwBufferBytes = bytes;
    description.lpwfxFormat = &waveFormat;
    IDirectSoundBuffer* buffer = nullptr;
    const HRESULT result = directSound->CreateSoundBuffer(&description, &buffer, nullptr);
    if (FAILED(result)) {
        NoteFailure("DirectSound refused %lu bytes of %u-bit, %u-channel sound at %lu Hz (0x%08lX)",
                    static_cast<unsigned long>(bytes), format.bitsPerSample, format.channels,
                    static_cast<unsigned long>(format.samplesPerSec), result);
        return nullptr;
    }
    return buffer;
}

// Whether a block of `size` bytes (0: unknown) starts with the four bytes of `tag`.
bool HasSignature(const void* data, int size, const char* tag) {
    return data && (size <= 0 || size >= 4) && std::memcmp(data, tag, 4) == 0;
}

// The whole buffer, locked for writing for the life of the scope.
class BufferLock {
public:
    explicit BufferLock(IDirectSoundBuffer* buffer)
        : buffer_(buffer),
          locked_(SUCCEEDED(buffer->Lock(0, 0, &bytes_, &size_, &wrapped_, &wrappedSize_, DSBLOCK_ENTIREBUFFER))) {}
    ~BufferLock() {
        if (locked_) buffer_->Unlock(bytes_, size_, wrapped_, wrappedSize_);
    }
    BufferLock(const BufferLock&) = delete;
    BufferLock& operator=(const BufferLock&) = delete;

    bool ok() const { return locked_ && bytes_; }
    void* bytes() const { return bytes_; }
    DWORD size() const { return size_; }

private:
    IDirectSoundBuffer* buffer_;
    void* bytes_ = nullptr;
    DWORD size_ = 0;
    void* wrapped_ = nullptr;
    DWORD wrappedSize_ = 0;
    bool locked_;
};

// A sample buffer of `bytes` bytes in `format` (see CreateSampleBuffer for
// `extension`), handed to `fill` (address, bytes to write) under a lock of
// the whole buffer; null when it cannot be made or locked.
template <class Fill>
IDirectSoundBuffer* FilledBuffer(IDirectSound8* directSound, const PcmFormat& format, std::uint32_t bytes,
                                 const WaveExtension* extension, Fill fill) {
    IDirectSoundBuffer* buffer = CreateSampleBuffer(directSound, format, bytes, extension);
    if (!buffer) return nullptr;
    bool filled = false;
    {
        const BufferLock locked(buffer);
        if (locked.ok()) {
            fill(locked.bytes(), locked.size() < bytes ? locked.size() : bytes);
            filled = true;
        }
    }
    if (!filled) ReleaseObject(buffer);
    return buffer;
}

// A filled buffer from a RIFF WAVE image, or null. With a known size every
// chunk must lie inside the block; without one (size 0, CatchSound) the RIFF
// size bounds the walk and the data size has to be believed.
IDirectSoundBuffer* BufferFromWave(IDirectSound8* directSound, const void* data, int size) {
    RECORD_POSITION(MODULE_SOUND);
    if (!directSound || !data) return nullptr;
    WaveImage image;
    if (!ReadWaveImage(data, size > 0 ? static_cast<std::size_t>(size) : 0, &image)) {
        if (HasSignature(data, size, "RIFF")) NoteFailure("%s", image.reason);
        return nullptr;
    }
    return FilledBuffer(directSound, image.format, image.bytes, &image.extension,
                        [&](void* out, DWORD bytes) { std::memcpy(out, image.samples, bytes); });
}

// A filled buffer of 16-bit PCM decoded from an Ogg Vorbis stream, or null.
IDirectSoundBuffer* BufferFromDecoder(IDirectSound8* directSound, const void* data, int size) {
    RECORD_POSITION(MODULE_SOUND);
    if (!directSound || !data) return nullptr;
    if (size <= 0) {
        if (HasSignature(data, size, "OggS")) NoteFailure("an Ogg Vorbis stream needs its size (CatchSound2)");
        return nullptr;
    }
    PcmFormat format;
    std::uint32_t bytes = 0;
    OggDecoder* decoder = OpenOggDecoder(data, static_cast<std::size_t>(size), &format, &bytes);
    if (!decoder) {
        if (HasSignature(data, size, "OggS")) NoteFailure("an Ogg Vorbis stream it cannot decode, or of no length");
        return nullptr;
    }
    IDirectSoundBuffer* buffer = FilledBuffer(directSound, format, bytes, nullptr,
                                              [&](void* out, DWORD count) { DecodeOgg(decoder, out, count); });
    CloseOggDecoder(decoder);
    return buffer;
}

}  // namespace

IDirectSound8* OpenSoundDevice() {
    RECORD_POSITION(MODULE_SOUND);
    ShutdownSound();
    sound.bufferList = AllocateList(1);
    if (!sound.bufferList) {
        NoteFailure("out of memory");
        return nullptr;
    }
    sound.bufferSlots = 1;
    auto create = reinterpret_cast<DirectSoundCreate8Proc>(
        reinterpret_cast<void*>(LoadComponent(&sound.soundLibrary, "dsound.dll", "DirectSoundCreate8")));
    if (!create) {
        ShutdownSound();
        return nullptr;
    }
    IDirectSound8* created = nullptr;
    const HRESULT result = create(nullptr, &created, nullptr);
    if (FAILED(result) || !created) {
        ReleaseObject(created);
        ShutdownSound();
        NoteFailure("DirectSoundCreate8 made no device (0x%08lX)", result);
        return nullptr;
    }
    sound.directSound = created;
    return created;
}

IDirectSoundBuffer* AttachSound(HWND window) {
    RECORD_POSITION(MODULE_SOUND);
    DetachSound();
    if (!sound.directSound) return nullptr;
    if (!IsWindow(window)) window = GetForegroundWindow();
    if (FAILED(sound.directSound->SetCooperativeLevel(window, DSSCL_NORMAL))) return nullptr;
    DSBUFFERDESC description = {};
    description.dwSize = sizeof description;
    description.dwFlags = DSBCAPS_PRIMARYBUFFER;
    IDirectSoundBuffer* primary = nullptr;
    if (FAILED(sound.directSound->CreateSoundBuffer(&description, &primary, nullptr))) return nullptr;
    sound.primaryBuffer = primary;
    return primary;
}

int DetachSound() {
    RECORD_POSITION(MODULE_SOUND);
    ReleaseListedBuffers();
    ReleaseObject(sound.primaryBuffer);
    ++sound.generation;
    return 0;
}

int ShutdownSound() {
    RECORD_POSITION(MODULE_SOUND);
    ReleaseListedBuffers();
    if (sound.bufferList) GlobalFree(sound.bufferList);
    sound.bufferList = nullptr;
    sound.bufferSlots = 0;
    ReleaseObject(sound.primaryBuffer);
    ReleaseObject(sound.directSound);
    UnloadComponent(&sound.soundLibrary);
    ++sound.generation;
    return 0;
}

IDirectSoundBuffer* MakeSoundBuffer(const void* data, int size) {
    RECORD_POSITION(MODULE_SOUND);
    if ((!sound.primaryBuffer && !AttachSound(nullptr)) || !sound.bufferList || sound.bufferSlots < 1) {
        NoteFailure("no sound device (InitSound first)");
        return nullptr;
    }
    IDirectSoundBuffer* buffer = BufferFromWave(sound.directSound, data, size);
    if (!buffer) buffer = BufferFromDecoder(sound.directSound, data, size);
    if (!buffer) {
        // Each reader says why it refused a block that carries its signature.
        if (!data || (!HasSignature(data, size, "RIFF") && !HasSignature(data, size, "OggS")))
            NoteFailure("neither a RIFF WAVE image nor an Ogg Vorbis stream");
        return nullptr;
    }
    for (int i = 0; i < sound.bufferSlots; ++i) {
        if (!sound.bufferList[i]) {
            sound.bufferList[i] = buffer;
            return buffer;
        }
    }
    // No free slot: the list grows by exactly one.
    IDirectSoundBuffer** grown = AllocateList(sound.bufferSlots + 1);
    if (!grown) {
        ReleaseObject(buffer);
        NoteFailure("out of memory for the buffer list");
        return nullptr;
    }
    std::memcpy(grown, sound.bufferList, sizeof(IDirectSoundBuffer*) * sound.bufferSlots);
    grown[sound.bufferSlots] = buffer;
    GlobalFree(sound.bufferList);
    sound.bufferList = grown;
    ++sound.bufferSlots;
    return buffer;
}

IDirectSoundBuffer* LoadSoundFile(const char* fileName) {
    RECORD_POSITION(MODULE_SOUND);
    if (!fileName) return nullptr;
    HANDLE file = CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        NoteFailure("cannot open \"%s\"", fileName);
        return nullptr;
    }
    LARGE_INTEGER fileSize = {};
    if (!GetFileSizeEx(file, &fileSize) || fileSize.QuadPart <= 0 || fileSize.QuadPart >= 0x80000000ll) {
        CloseHandle(file);
        NoteFailure("\"%s\" is empty or over 2 GiB", fileName);
        return nullptr;
    }
    const DWORD size = static_cast<DWORD>(fileSize.QuadPart);
    void* block = GlobalAlloc(GPTR, size);
    if (!block) {
        CloseHandle(file);
        NoteFailure("out of memory for \"%s\"", fileName);
        return nullptr;
    }
    DWORD read = 0;
    const bool complete = ReadFile(file, block, size, &read, nullptr) && read == size;
    CloseHandle(file);
    if (!complete) NoteFailure("cannot read \"%s\"", fileName);
    IDirectSoundBuffer* buffer = complete ? MakeSoundBuffer(block, static_cast<int>(size)) : nullptr;
    GlobalFree(block);
    return buffer;
}

int ReleaseSoundBuffer(IDirectSoundBuffer* buffer) {
    RECORD_POSITION(MODULE_SOUND);
    if (!buffer) return 0;
    for (int i = 0; i < sound.bufferSlots; ++i) {
        if (sound.bufferList[i] == buffer) {
            ReleaseObject(sound.bufferList[i]);
            break;
        }
    }
    return 0;
}

int StopAllSoundBuffers() {
    RECORD_POSITION(MODULE_SOUND);
    if (!sound.bufferList) return 0;
    for (int i = 0; i < sound.bufferSlots; ++i)
        if (sound.bufferList[i]) sound.bufferList[i]->Stop();
    return 1;
}

std::uint32_t SoundGeneration() { return sound.generation; }

// The list as it stands, for the device module's own white-box test; the
// library does not call these.
int SoundBufferSlotCount() { return sound.bufferSlots; }

IDirectSoundBuffer* SoundBufferSlot(int slot) {
    return slot >= 0 && slot < sound.bufferSlots ? sound.bufferList[slot] : nullptr;
}

}  // namespace korrin
