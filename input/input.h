// The input devices as the screen and the teardown drive them: each device is
// attached to a screen's window when the screen opens, detached when it
// closes, and shut down by Sprite_End. Each device's state is private to its
// own source (DIK8.cpp, DIM8.cpp, DIJ8.cpp).
#pragma once

#include <windows.h>

struct IDirectInputDevice8A;

namespace korrin {

// Makes, configures and acquires the device for `window` (the foreground
// window when it is not a window); the device, or null with it detached.
IDirectInputDevice8A* AttachKeyboard(HWND window);
IDirectInputDevice8A* AttachMouse(HWND window);
IDirectInputDevice8A* AttachJoystick(HWND window);

// Unacquires and releases the device; the DirectInput object stays. Nothing
// happens for a device that was never started.
void DetachKeyboard();
void DetachMouse();
void DetachJoystick();

// Detaches, then releases the device's DirectInput object and unloads its
// "DInput8.dll".
void ShutdownKeyboard();
void ShutdownMouse();
void ShutdownJoystick();

}  // namespace korrin
