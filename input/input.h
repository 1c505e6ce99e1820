// The input devices: the operations behind the input commands, and the
// steps the screen and the teardown drive (each device is attached to a
// screen's window when the screen opens, detached when it closes, and shut
// down by Sprite_End). Each device's state is private to its own source
// (DIK8.cpp, DIM8.cpp, DIJ8.cpp).
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

// --- the commands' operations (input_commands.cpp) ---------------------------

// Keyboard (DIK8.cpp): scan codes 0 to 255.
int InitKeyboard();
int ExamineKeyboard();
int KeyboardPushed(int key);
int KeyboardReleased(int key);
int KeyboardMode(int flags);
const char* KeyboardInkey();

// Mouse (DIM8.cpp): buttons 1 to 8.
int InitMouse();
int ExamineMouse();
int MouseButton(int button);
int MouseX();
int MouseY();
int MouseDeltaX();
int MouseDeltaY();
int MouseWheel();
int MouseLocate(int x, int y);
int ReleaseMouse(int state);

// Joystick (DIJ8.cpp): buttons 1 to 32, axes -1, 0 or 1.
int InitJoystick();
int ExamineJoystick();
int JoystickButton(int button);
int JoystickAxisX();
int JoystickAxisY();

}  // namespace korrin
