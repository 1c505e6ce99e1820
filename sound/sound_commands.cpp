// Sound commands: numbered sounds, each one DirectSound buffer made by the
// sound device (DS8.cpp), played once or looped, stopped, and set in volume,
// pan and playback rate on the library's linear scales.
//
// Closing a screen releases every buffer, but the sound records stay. A record
// therefore remembers the device generation its buffer was made in, and a
// record of an older generation counts as no sound at all: commands on it
// return 0 and never touch the released buffer. (Asking whether the buffer is
// still listed would not do: a new buffer can be made at the address of a
// released one.)
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "frame/ErrorPosition.h"
#include "frame/LastError.h"
#include "frame/globals.h"
#include "korrin.h"
#include "sound/DS8.h"
#include "sound/SoundLevels.h"

namespace korrin {
namespace {

// One record of soundRegistry.
struct Sound {
    IDirectSoundBuffer* soundBuffer;  // never null in a live record; listed by the sound device
    std::uint32_t generation;         // SoundGeneration() when the buffer was made
    unsigned char reserved[76];
};
static_assert(sizeof(Sound) == 84, "sound records are 84 bytes");
static_assert(offsetof(Sound, soundBuffer) == 0, "the buffer marks the record as used");

constexpr int kSoundGrowth = 128;

// The live sound of `number` whose buffer still exists, or null.
Sound* FindSound(ObjectNumber number) {
    if (!soundRegistry) return nullptr;
    auto* sound = static_cast<Sound*>(GetObject(soundRegistry, number));
    return sound && sound->generation == SoundGeneration() ? sound : nullptr;
}

// Enters a buffer just made under `number`: the command's result, or 0 (the
// buffer is then released). A live sound of the same number gives up its
// buffer, so that reloading neither leaks buffers nor leaves an old looping
// sound that can no longer be stopped.
// A record for `buffer` under `number`; 0 (buffer released), with the reason
// noted, when there is no record to give.
int AddSound(ObjectNumber number, IDirectSoundBuffer* buffer) {
    if (!buffer) return 0;
    Sound* old = number == -1 ? nullptr : FindSound(number);
    IDirectSoundBuffer* oldBuffer = old ? old->soundBuffer : nullptr;
    auto* sound = soundRegistry ? static_cast<Sound*>(AllocateObject(soundRegistry, number)) : nullptr;
    if (!sound) {
        ReleaseSoundBuffer(buffer);
        return NoteFailure("%ld is not a number to load a sound under", static_cast<long>(number));
    }
    // A dynamic handle passed as a number names another record than the one
    // made: its sound stays as it is.
    if (oldBuffer && sound == old) ReleaseSoundBuffer(oldBuffer);
    sound->soundBuffer = buffer;
    sound->generation = SoundGeneration();
    const ObjectNumber result =
        number == -1 ? reinterpret_cast<ObjectNumber>(sound) : reinterpret_cast<ObjectNumber>(buffer);
    return static_cast<int>(result);
}

// The live sound under `number`, or null with the reason recorded for `command`.
Sound* SoundFor(const char* command, ObjectNumber number) {
    Sound* sound = FindSound(number);
    if (!sound) Fail("%s: no sound %ld", command, static_cast<long>(number));
    return sound;
}

// 1 when DirectSound took a sound's setting, else 0 with the reason for `command`.
int Applied(const char* command, HRESULT result) {
    return SUCCEEDED(result) ? 1 : Fail("%s: DirectSound refused it (0x%08lX)", command, result);
}

// Loads a sound from what `make` gives; the command's result, or 0 with the reason.
template <class Make>
int LoadSoundWith(const char* command, ObjectNumber number, Make make) {
    if (!soundRegistry) return Fail("%s: no sound device (InitSound first)", command);
    IDirectSoundBuffer* buffer = make();
    if (!buffer) return FailIn(command);
    const int added = AddSound(number, buffer);
    return added ? added : FailIn(command);
}

}  // namespace
}  // namespace korrin

using korrin::Applied;
using korrin::Fail;
using korrin::FindSound;
using korrin::SoundFor;
using korrin::Sound;

extern "C" {

// Each call starts over: the old sounds go with the old device.
void* __stdcall InitSound() noexcept {
    using namespace korrin;
    RECORD_POSITION(MODULE_MAIN);
    ObjectRegistry* made = CreateRegistry(sizeof(Sound), kSoundGrowth, nullptr);
    if (!made) {
        Fail("InitSound: out of memory for the registry");
        return nullptr;
    }
    if (soundRegistry) DestroyRegistry(soundRegistry);
    soundRegistry = made;
    IDirectSound8* directSound = OpenSoundDevice();
    if (directSound) soundReady = 1;
    else FailIn("InitSound");
    return directSound;
}

int __stdcall LoadSound(int number, const char* fileName) noexcept {
    using namespace korrin;
    RECORD_POSITION(MODULE_MAIN);
    if (!fileName) return Fail("LoadSound: no file name");
    return LoadSoundWith("LoadSound", number, [&] { return LoadSoundFile(fileName); });
}

int __stdcall CatchSound2(int number, const void* address, int size) noexcept {
    using namespace korrin;
    RECORD_POSITION(MODULE_MAIN);
    if (!address) return Fail("CatchSound2: no sound address");
    return LoadSoundWith("CatchSound2", number, [&] { return MakeSoundBuffer(address, size); });
}

int __stdcall CatchSound(int number, const void* address) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return CatchSound2(number, address, 0);
}

// A sound whose buffer went with a closed screen only loses its record.
int __stdcall FreeSound(int number) noexcept {
    using namespace korrin;
    RECORD_POSITION(MODULE_MAIN);
    if (!soundRegistry) return Fail("FreeSound: no sound device (InitSound first)");
    if (Sound* sound = FindSound(number)) ReleaseSoundBuffer(sound->soundBuffer);
    FreeObject(soundRegistry, number);
    return 0;
}

int __stdcall IsSound(int number) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return static_cast<int>(reinterpret_cast<korrin::ObjectNumber>(FindSound(number)));
}

// Playing always starts at the first sample: a sound that is playing restarts.
int __stdcall PlaySound2(int number, int flags) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    Sound* sound = SoundFor("PlaySound2", number);
    if (!sound) return 0;
    sound->soundBuffer->SetCurrentPosition(0);
    const HRESULT played = sound->soundBuffer->Play(0, 0, flags ? DSBPLAY_LOOPING : 0);
    return SUCCEEDED(played) ? 1 : Fail("PlaySound2: DirectSound refused to play (0x%08lX)", played);
}

int __stdcall PlaySound(int number) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return PlaySound2(number, 0);
}

int __stdcall StopSound(int number) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    if (number == -1) return korrin::StopAllSoundBuffers();
    Sound* sound = SoundFor("StopSound", number);
    return sound ? Applied("StopSound", sound->soundBuffer->Stop()) : 0;
}

int __stdcall SoundVolume2(int number, int volume, int) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    Sound* sound = SoundFor("SoundVolume2", number);
    return sound ? Applied("SoundVolume2", sound->soundBuffer->SetVolume(korrin::VolumeToDirectSound(volume))) : 0;
}

int __stdcall SoundVolume(int number, int volume) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return SoundVolume2(number, volume, 0);
}

int __stdcall SoundPan(int number, int pan) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    Sound* sound = SoundFor("SoundPan", number);
    return sound ? Applied("SoundPan", sound->soundBuffer->SetPan(korrin::PanToDirectSound(pan))) : 0;
}

int __stdcall SoundFrequency(int number, int frequency) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    Sound* sound = SoundFor("SoundFrequency", number);
    if (!sound) return 0;
    return Applied("SoundFrequency",
                   sound->soundBuffer->SetFrequency(static_cast<DWORD>(korrin::ClampFrequency(frequency))));
}

}  // extern "C"
