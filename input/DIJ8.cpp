// The joystick: the first game controller DirectInput 8 reports, read once
// per frame, with its two main axes given as a digital pad gives them (-1, 0,
// 1) and its 32 buttons. Owns the joystick's DirectInput object, module load
// and device; the last reading stays when the device goes.
#include "frame/ErrorPosition.h"
#include "frame/LastError.h"
#include "frame/globals.h"
#include "frame/platform.h"
#include "input/DInput8.h"
#include "input/input.h"

namespace korrin {

namespace {

HMODULE joystickLibrary;               // "DInput8.dll", loaded by InitJoystick for the joystick alone
IDirectInput8A* joystickInput;         // the joystick's own DirectInput object
GUID joystickGuid;                     // instance of the first controller enumerated; all zero for none
IDirectInputDevice8A* joystickDevice;  // the attached controller; null while detached
DIJOYSTATE joystickState;              // the last read

// The middle half of the default range 0 to 65535 is the dead zone: raw
// values up to 16383 read -1, from 49151 on 1. Compared without subtracting
// the centre, so that no value of a device's own range overflows.
int Direction(LONG raw) {
    if (!joystickDevice) return 0;
    if (raw > 32767 + 16383) return 1;
    if (raw < 32767 - 16383) return -1;
    return 0;
}

}  // namespace

void DetachJoystick() {
    RECORD_POSITION(MODULE_JOYSTICK);
    ReleaseDevice(joystickDevice);
}

void ShutdownJoystick() {
    RECORD_POSITION(MODULE_JOYSTICK);
    DetachJoystick();
    FreeDirectInput(joystickInput, joystickLibrary);
    joystickReady = 0;
}

// Without a controller there is nothing to create: every attach fails.
IDirectInputDevice8A* AttachJoystick(HWND window) {
    RECORD_POSITION(MODULE_JOYSTICK);
    DetachJoystick();
    if (!joystickInput || joystickGuid == GUID{}) return nullptr;
    joystickDevice = OpenInputDevice(joystickInput, joystickGuid, InputWindow(window),
                                     DISCL_EXCLUSIVE | DISCL_FOREGROUND, joystickFormat);
    return joystickDevice;
}

// Succeeds without a controller too: that shows only when attaching.
int InitJoystick() {
    RECORD_POSITION(MODULE_JOYSTICK);
    ShutdownJoystick();
    if (!StartDirectInput(joystickInput, joystickLibrary, DI8DEVCLASS_GAMECTRL, &joystickGuid))
        return FailIn("InitJoystick");
    joystickReady = 1;
    return 1;
}

int ExamineJoystick() {
    RECORD_POSITION(MODULE_JOYSTICK);
    if (!joystickDevice && !AttachJoystick(nullptr))
        return Fail("ExamineJoystick: no joystick (none attached, or InitJoystick not called)");
    joystickDevice->Acquire();
    joystickDevice->Poll();
    if (SUCCEEDED(joystickDevice->GetDeviceState(sizeof joystickState, &joystickState))) return 1;
    return Fail("ExamineJoystick: the joystick cannot be read");
}

int JoystickButton(int button) {
    RECORD_POSITION(MODULE_JOYSTICK);
    if (!joystickDevice || button < 1 || button > 32) return 0;
    return joystickState.rgbButtons[button - 1] & kHeldBit;
}

int JoystickAxisX() { return Direction(joystickState.lX); }
int JoystickAxisY() { return Direction(joystickState.lY); }

}  // namespace korrin
