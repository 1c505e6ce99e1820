// The data formats and GUIDs the input devices hand to DirectInput, compared
// field by field with the platform's own c_dfDIKeyboard, c_dfDIMouse2 and
// c_dfDIJoystick and GUIDs (from MinGW's DirectInput libraries, linked into
// this test only: the library itself links no DirectInput library).
#include "input/DInput8.h"

#include <gtest/gtest.h>

namespace {

void ExpectHeaderLike(const DIDATAFORMAT& ours, const DIDATAFORMAT& platform) {
    EXPECT_EQ(ours.dwSize, 24u);
    EXPECT_EQ(ours.dwObjSize, 16u);
    EXPECT_EQ(ours.dwSize, platform.dwSize);
    EXPECT_EQ(ours.dwObjSize, platform.dwObjSize);
    EXPECT_EQ(ours.dwFlags, platform.dwFlags);
    EXPECT_EQ(ours.dwDataSize, platform.dwDataSize);
    EXPECT_EQ(ours.dwNumObjs, platform.dwNumObjs);
}

// Offsets, types and flags as the platform's; the object's GUID as the
// platform's where `sameGuids`, else none (any object of the type).
void ExpectObjectsLike(const DIDATAFORMAT& ours, const DIDATAFORMAT& platform, bool sameGuids) {
    ASSERT_EQ(ours.dwNumObjs, platform.dwNumObjs);
    for (DWORD i = 0; i < ours.dwNumObjs; ++i) {
        const DIOBJECTDATAFORMAT& a = ours.rgodf[i];
        const DIOBJECTDATAFORMAT& b = platform.rgodf[i];
        EXPECT_EQ(a.dwOfs, b.dwOfs) << "object " << i;
        EXPECT_EQ(a.dwType, b.dwType) << "object " << i;
        EXPECT_EQ(a.dwFlags, b.dwFlags) << "object " << i;
        if (sameGuids) {
            ASSERT_NE(a.pguid, nullptr) << "object " << i;
            ASSERT_NE(b.pguid, nullptr) << "object " << i;
            EXPECT_TRUE(*a.pguid == *b.pguid) << "object " << i;
        } else {
            EXPECT_EQ(a.pguid, nullptr) << "object " << i;
        }
    }
}

TEST(DataFormats, KeyboardIsThePlatformsKeyboardFormat) {
    ExpectHeaderLike(korrin::keyboardFormat, c_dfDIKeyboard);
    EXPECT_EQ(korrin::keyboardFormat.dwFlags, static_cast<DWORD>(DIDF_RELAXIS));
    EXPECT_EQ(korrin::keyboardFormat.dwDataSize, 256u);
    ExpectObjectsLike(korrin::keyboardFormat, c_dfDIKeyboard, true);
    EXPECT_EQ(korrin::keyboardFormat.rgodf[0].dwType, 0x8000000Cu);
    EXPECT_EQ(korrin::keyboardFormat.rgodf[255].dwType, 0x8000FF0Cu);
    EXPECT_EQ(korrin::keyboardFormat.rgodf[255].dwOfs, 255u);
}

// The mouse's and joystick's objects name no GUID, so that the device's first
// axes fill the first axis slots whatever they are called; the platform's
// formats name their axes (x, y, z, the rotations and sliders) and hats, and
// neither names its buttons.
TEST(DataFormats, MouseIsThePlatformsMouse2FormatWithoutObjectGuids) {
    ExpectHeaderLike(korrin::mouseFormat, c_dfDIMouse2);
    EXPECT_EQ(korrin::mouseFormat.dwDataSize, sizeof(DIMOUSESTATE2));
    ExpectObjectsLike(korrin::mouseFormat, c_dfDIMouse2, false);
    EXPECT_EQ(korrin::mouseFormat.rgodf[2].dwType, 0x80FFFF03u) << "the wheel is optional";
    EXPECT_EQ(korrin::mouseFormat.rgodf[4].dwType, 0x00FFFF0Cu) << "two buttons are required";
    EXPECT_EQ(korrin::mouseFormat.rgodf[5].dwType, 0x80FFFF0Cu);
}

TEST(DataFormats, JoystickIsThePlatformsJoystickFormatWithoutObjectGuids) {
    ExpectHeaderLike(korrin::joystickFormat, c_dfDIJoystick);
    EXPECT_EQ(korrin::joystickFormat.dwFlags, static_cast<DWORD>(DIDF_ABSAXIS));
    EXPECT_EQ(korrin::joystickFormat.dwDataSize, sizeof(DIJOYSTATE));
    ExpectObjectsLike(korrin::joystickFormat, c_dfDIJoystick, false);
    EXPECT_EQ(korrin::joystickFormat.rgodf[43].dwOfs, 79u);
}

TEST(DataFormats, GuidsAreThePlatforms) {
    EXPECT_TRUE(korrin::iidDirectInput8A == IID_IDirectInput8A);
    EXPECT_TRUE(korrin::guidKey == GUID_Key);
    EXPECT_TRUE(korrin::guidSysMouse == GUID_SysMouse);
}

}  // namespace
