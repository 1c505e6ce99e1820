// DirectInput 8 as the three input devices share it: the data formats they
// hand to their devices, the GUIDs they name, and the steps each of them takes
// to load "DInput8.dll", make its own DirectInput object, attach and release a
// device.
// Each device keeps its own DirectInput object and its own module load, so
// that one device can be shut down and started again without the others.
#pragma once

#ifndef DIRECTINPUT_VERSION
#define DIRECTINPUT_VERSION 0x0800
#endif
#include <windows.h>
#include <dinput.h>

namespace korrin {

// The GUIDs the devices use, spelled out here because the library links no
// DirectInput library.
extern const GUID iidDirectInput8A;  // IDirectInput8A
extern const GUID guidKey;           // object type of a keyboard key
extern const GUID guidSysMouse;      // the system mouse device

// The formats handed to SetDataFormat: 256 key bytes; three relative axes and
// eight buttons (20 bytes); eight absolute axes, four POV hats and 32 buttons
// (80 bytes). Constant data, so that no device ever writes into them.
extern const DIDATAFORMAT keyboardFormat;
extern const DIDATAFORMAT mouseFormat;
extern const DIDATAFORMAT joystickFormat;

// The bit DirectInput (and GetKeyboardState) sets in a key's or button's
// byte while it is held down.
constexpr BYTE kHeldBit = 0x80;

// An Init command's steps: loads "DInput8.dll" into `library` (when not loaded
// yet), makes the device's own DirectInput object into `input`, and, when
// `first` is given, stores the first attached device of `deviceClass` there
// (all zero for none). False when the object cannot be made (then nothing
// stays loaded) or the enumeration fails (the object stays, for the device's
// shutdown to free); the reason is noted for the Init command.
bool StartDirectInput(IDirectInput8A*& input, HMODULE& library, DWORD deviceClass, GUID* first);

// The window a device binds to: `window` when it is a window, else the
// foreground window.
HWND InputWindow(HWND window);

// An attach's steps: makes the device `guid` of `input`, sets its cooperative
// level on `window` and its data format, and acquires it; the device, or null
// with nothing left when a step fails.
IDirectInputDevice8A* OpenInputDevice(IDirectInput8A* input, REFGUID guid, HWND window, DWORD level,
                                      const DIDATAFORMAT& format);

// Unacquires and releases a device and nulls the pointer; nothing when null.
void ReleaseDevice(IDirectInputDevice8A*& device);

// Releases a DirectInput object and unloads its module, nulling both.
void FreeDirectInput(IDirectInput8A*& input, HMODULE& library);

}  // namespace korrin
