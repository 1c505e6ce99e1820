// The sound device's buffer list, white-box on the device module itself: the
// list grows by one slot only when no slot is free, a released buffer's slot
// is the next one used, detaching empties every slot and the next buffer
// attaches again, shutting down frees the list.
#include <windows.h>
#include <mmsystem.h>
#include <dsound.h>

#include <cstdio>
#include <vector>

#include <gtest/gtest.h>

#include "sound/DS8.h"

namespace korrin {
// The list as it stands (DS8.cpp): slots, null when free.
int SoundBufferSlotCount();
IDirectSoundBuffer* SoundBufferSlot(int slot);
}  // namespace korrin

namespace {

std::vector<BYTE> MonoWave() {
    std::vector<BYTE> bytes;
    if (FILE* file = std::fopen(KORRIN_SOUND_FIXTURES "mono8.wav", "rb")) {
        BYTE chunk[4096];
        size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
        std::fclose(file);
    }
    return bytes;
}

}  // namespace

TEST(SoundBufferList, SlotsAreReusedBeforeTheListGrows) {
    using namespace korrin;
    const std::vector<BYTE> wave = MonoWave();
    ASSERT_FALSE(wave.empty());
    const int size = static_cast<int>(wave.size());
    ASSERT_NE(OpenSoundDevice(), nullptr);
    EXPECT_EQ(SoundBufferSlotCount(), 1);

    IDirectSoundBuffer* made[4] = {};
    for (int i = 0; i < 3; ++i) {
        made[i] = MakeSoundBuffer(wave.data(), size);
        ASSERT_NE(made[i], nullptr);
        EXPECT_EQ(SoundBufferSlotCount(), i + 1) << "grows by one slot when none is free";
    }
    for (int i = 0; i < 3; ++i) EXPECT_EQ(SoundBufferSlot(i), made[i]);

    made[1]->AddRef();
    EXPECT_EQ(ReleaseSoundBuffer(made[1]), 0);
    EXPECT_EQ(made[1]->Release(), 0u) << "released";
    EXPECT_EQ(SoundBufferSlot(1), nullptr);
    made[3] = MakeSoundBuffer(wave.data(), size);
    ASSERT_NE(made[3], nullptr);
    EXPECT_EQ(SoundBufferSlot(1), made[3]) << "the fourth takes the second's slot";
    EXPECT_EQ(SoundBufferSlotCount(), 3) << "the list did not grow";

    // A buffer that is not listed is left alone.
    EXPECT_EQ(ReleaseSoundBuffer(nullptr), 0);
    EXPECT_EQ(ReleaseSoundBuffer(reinterpret_cast<IDirectSoundBuffer*>(made)), 0);
    EXPECT_EQ(SoundBufferSlot(0), made[0]);

    // Detaching empties every slot and keeps the list; the next buffer
    // attaches again and takes the first slot.
    made[0]->AddRef();
    const std::uint32_t generation = SoundGeneration();
    EXPECT_EQ(DetachSound(), 0);
    EXPECT_NE(SoundGeneration(), generation);
    EXPECT_EQ(made[0]->Release(), 0u);
    EXPECT_EQ(SoundBufferSlotCount(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(SoundBufferSlot(i), nullptr);
    IDirectSoundBuffer* again = MakeSoundBuffer(wave.data(), size);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(SoundBufferSlot(0), again);

    // (The device takes its buffers with it: no reference may be kept here.)
    EXPECT_EQ(ShutdownSound(), 0);
    EXPECT_EQ(SoundBufferSlotCount(), 0);
    EXPECT_EQ(MakeSoundBuffer(wave.data(), size), nullptr) << "no device";
    EXPECT_EQ(StopAllSoundBuffers(), 0);
}

TEST(SoundBufferList, BuffersHaveExactlyTheThreeControls) {
    using namespace korrin;
    const std::vector<BYTE> wave = MonoWave();
    ASSERT_NE(OpenSoundDevice(), nullptr);
    IDirectSoundBuffer* buffer = MakeSoundBuffer(wave.data(), static_cast<int>(wave.size()));
    ASSERT_NE(buffer, nullptr);
    DSBCAPS caps = {};
    caps.dwSize = sizeof caps;
    ASSERT_EQ(buffer->GetCaps(&caps), DS_OK);
    // DirectSound adds where the buffer lives (software or hardware).
    EXPECT_EQ(caps.dwFlags & ~(DSBCAPS_LOCSOFTWARE | DSBCAPS_LOCHARDWARE | DSBCAPS_STATIC), 0xE0u);
    EXPECT_EQ(ShutdownSound(), 0);
}
