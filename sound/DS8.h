// The sound device: "dsound.dll" loaded by name, the DirectSound 8 object, its
// attachment to a window (cooperative level and primary buffer), and one
// secondary buffer per sample, filled once from WAVE or Ogg Vorbis data. Every
// buffer made here stays listed until it is released, so that detaching and
// shutting down release whatever is still alive.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <dsound.h>

#include <cstdint>

namespace korrin {

// Shuts down what an earlier call made, loads DirectSound and makes the
// device object; the object or null.
IDirectSound8* OpenSoundDevice();

// Sets the cooperative level on `window` (the foreground window when it is
// not a window) and makes the primary buffer; the primary buffer or null.
// Detaches first.
IDirectSoundBuffer* AttachSound(HWND window);

// Releases every listed buffer and the primary buffer; the list stays. 0.
int DetachSound();

// Releases every buffer, frees the list, releases the device and unloads
// "dsound.dll". 0.
int ShutdownSound();

// A new, listed and filled buffer from WAVE or Ogg Vorbis data of `size`
// bytes (0 when unknown: WAVE only); attaches to the foreground window first
// when nothing is attached. Null on failure.
IDirectSoundBuffer* MakeSoundBuffer(const void* data, int size);

// A new listed buffer from the file's content, or null.
IDirectSoundBuffer* LoadSoundFile(const char* fileName);

// Takes a listed buffer out of the list and releases it; a buffer that is
// not listed is left alone. 0.
int ReleaseSoundBuffer(IDirectSoundBuffer* buffer);

// Stops every listed buffer: 1, or 0 when there is no list (no InitSound).
int StopAllSoundBuffers();

// Counts detachments: a buffer made while this had another value has been
// released since.
std::uint32_t SoundGeneration();

}  // namespace korrin
