// The mouse: the system mouse through DirectInput 8 in exclusive foreground
// mode, and a virtual pointer of the library's own that follows the mouse's
// relative movement inside the screen. The Windows cursor is never read or
// set. Owns the mouse's DirectInput object, module load and device; the
// pointer position and the released flag outlive every device.
#include "frame/ErrorPosition.h"
#include "frame/LastError.h"
#include "frame/globals.h"
#include "frame/platform.h"
#include "input/DInput8.h"
#include "input/input.h"

namespace korrin {

namespace {

HMODULE mouseLibrary;               // "DInput8.dll", loaded by InitMouse for the mouse alone
IDirectInput8A* mouseInput;         // the mouse's own DirectInput object
IDirectInputDevice8A* mouseDevice;  // the system mouse; null while detached
DIMOUSESTATE2 mouseState;           // the last read: movement, wheel, eight buttons
int mouseX, mouseY;                 // the virtual pointer, in screen pixels
int mouseReleased;                  // 1 while ReleaseMouse has handed the mouse back to Windows

// The commands that read the mouse answer only while it is attached and taken.
bool Readable() { return mouseDevice && !mouseReleased; }

// Moves the pointer to (x, y) kept inside the screen, clamping the low edges
// first: before any screen (0 by 0) the pointer ends at (-1, -1).
void PlacePointer(long long x, long long y) {
    if (x < 0) x = 0;
    if (y < 0) y = 0;
    if (x > screenWidth - 1LL) x = screenWidth - 1LL;
    if (y > screenHeight - 1LL) y = screenHeight - 1LL;
    mouseX = static_cast<int>(x);
    mouseY = static_cast<int>(y);
}

}  // namespace

void DetachMouse() {
    RECORD_POSITION(MODULE_MOUSE);
    ReleaseDevice(mouseDevice);
}

void ShutdownMouse() {
    RECORD_POSITION(MODULE_MOUSE);
    DetachMouse();
    FreeDirectInput(mouseInput, mouseLibrary);
    mouseReady = 0;
}

IDirectInputDevice8A* AttachMouse(HWND window) {
    RECORD_POSITION(MODULE_MOUSE);
    DetachMouse();
    if (!mouseInput) return nullptr;
    mouseDevice = OpenInputDevice(mouseInput, guidSysMouse, InputWindow(window), DISCL_EXCLUSIVE | DISCL_FOREGROUND,
                                  mouseFormat);
    return mouseDevice;
}

// No device is enumerated: the mouse is always the system mouse.
int InitMouse() {
    RECORD_POSITION(MODULE_MOUSE);
    ShutdownMouse();
    if (!StartDirectInput(mouseInput, mouseLibrary, 0, nullptr)) return FailIn("InitMouse");
    mouseReady = 1;
    return 1;
}

// A failed read (the window lost the foreground) counts as a read of no
// movement and no button: the platform call leaves the last state in place,
// which would move the pointer by the last delta in every later frame.
int ExamineMouse() {
    RECORD_POSITION(MODULE_MOUSE);
    if (!mouseDevice) AttachMouse(nullptr);
    if (!Readable()) return Fail("ExamineMouse: no mouse (InitMouse first), or it is released");
    mouseDevice->Acquire();
    const bool read = SUCCEEDED(mouseDevice->GetDeviceState(sizeof mouseState, &mouseState));
    if (!read) mouseState = DIMOUSESTATE2{};
    PlacePointer(static_cast<long long>(mouseX) + mouseState.lX, static_cast<long long>(mouseY) + mouseState.lY);
    return read ? 1 : Fail("ExamineMouse: the mouse cannot be read (is the window in the foreground?)");
}

int MouseButton(int button) {
    RECORD_POSITION(MODULE_MOUSE);
    if (!Readable() || button < 1 || button > 8) return 0;
    return mouseState.rgbButtons[button - 1] & kHeldBit;
}

int MouseX() { return Readable() ? mouseX : 0; }
int MouseY() { return Readable() ? mouseY : 0; }
int MouseDeltaX() { return Readable() ? static_cast<int>(mouseState.lX) : 0; }
int MouseDeltaY() { return Readable() ? static_cast<int>(mouseState.lY) : 0; }

// Notches of the last read: the wheel's movement in the device's steps,
// truncated toward zero; 0 when the device gives no step.
int MouseWheel() {
    RECORD_POSITION(MODULE_MOUSE);
    if (!Readable()) return 0;
    DIPROPDWORD granularity = {};
    granularity.diph.dwSize = sizeof granularity;
    granularity.diph.dwHeaderSize = sizeof granularity.diph;
    granularity.diph.dwObj = 8;  // the wheel's offset in the data format
    granularity.diph.dwHow = DIPH_BYOFFSET;
    if (FAILED(mouseDevice->GetProperty(DIPROP_GRANULARITY, &granularity.diph)) || granularity.dwData == 0) return 0;
    return static_cast<int>(static_cast<long long>(mouseState.lZ) / static_cast<long long>(granularity.dwData));
}

int MouseLocate(int x, int y) {
    RECORD_POSITION(MODULE_MOUSE);
    if (!mouseDevice) return Fail("MouseLocate: no mouse (InitMouse first)");
    PlacePointer(x, y);
    return 1;
}

int ReleaseMouse(int state) {
    RECORD_POSITION(MODULE_MOUSE);
    if (!mouseDevice) return 0;
    if (state) {
        if (SUCCEEDED(mouseDevice->Unacquire())) mouseReleased = 1;
    } else {
        if (SUCCEEDED(mouseDevice->Acquire())) mouseReleased = 0;
    }
    return 0;
}

}  // namespace korrin
