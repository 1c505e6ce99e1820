// The keyboard: a snapshot of every key per frame through DirectInput 8,
// named by scan code, and the characters the held keys make. Owns the
// keyboard's DirectInput object, its module load, its device and the three
// 256-byte snapshots (which exist only while the device is attached).
#include <cstring>

#include "frame/ErrorPosition.h"
#include "frame/LastError.h"
#include "frame/globals.h"
#include "frame/platform.h"
#include "input/DInput8.h"
#include "input/input.h"

namespace korrin {

namespace {

HMODULE keyboardLibrary;               // "DInput8.dll", loaded by InitKeyboard for the keyboard alone
IDirectInput8A* keyboardInput;         // the keyboard's own DirectInput object
GUID keyboardGuid;                     // instance of the first keyboard enumerated
IDirectInputDevice8A* keyboardDevice;  // the attached device; null while detached
HWND keyboardWindow;                   // the window the device is attached to
BYTE* keyState;                        // DirectInput key bytes of the last ExamineKeyboard (kHeldBit = down)
BYTE* previousKeyState;                // keyState as it was before the last ExamineKeyboard
BYTE* virtualKeyState;                 // GetKeyboardState of the last ExamineKeyboard
int layoutMapping;                     // 1 once KeyboardMode asked for the layout's scan codes
char inkeyText[5];                     // KeyboardInkey's result

constexpr DWORD kAttachLevel = DISCL_NONEXCLUSIVE | DISCL_FOREGROUND | DISCL_NOWINKEY;
constexpr DWORD kWindowsKeysLevel = DISCL_NONEXCLUSIVE | DISCL_FOREGROUND;

void FreeSnapshot(BYTE*& snapshot) {
    if (snapshot) GlobalFree(snapshot);
    snapshot = nullptr;
}

// The index of a key code into the snapshots, or -1 for no key.
int KeyIndex(int key) {
    if (key < 0 || key > 255) return -1;
    if (layoutMapping) {
        const UINT virtualKey = MapVirtualKeyExA(static_cast<UINT>(key), MAPVK_VSC_TO_VK, nullptr);
        const UINT scanCode = MapVirtualKeyExA(virtualKey, MAPVK_VK_TO_VSC, GetKeyboardLayout(0));
        return scanCode < 256 ? static_cast<int>(scanCode) : -1;
    }
    return key;
}

}  // namespace

void DetachKeyboard() {
    RECORD_POSITION(MODULE_KEYBOARD);
    FreeSnapshot(keyState);
    FreeSnapshot(previousKeyState);
    FreeSnapshot(virtualKeyState);
    ReleaseDevice(keyboardDevice);
}

void ShutdownKeyboard() {
    RECORD_POSITION(MODULE_KEYBOARD);
    DetachKeyboard();
    FreeDirectInput(keyboardInput, keyboardLibrary);
    layoutMapping = 0;
    keyboardReady = 0;
}

IDirectInputDevice8A* AttachKeyboard(HWND window) {
    RECORD_POSITION(MODULE_KEYBOARD);
    DetachKeyboard();
    if (!keyboardInput) return nullptr;
    keyboardWindow = InputWindow(window);
    keyboardDevice = OpenInputDevice(keyboardInput, keyboardGuid, keyboardWindow, kAttachLevel, keyboardFormat);
    if (!keyboardDevice) return nullptr;
    keyState = static_cast<BYTE*>(GlobalAlloc(GPTR, 256));
    previousKeyState = static_cast<BYTE*>(GlobalAlloc(GPTR, 256));
    virtualKeyState = static_cast<BYTE*>(GlobalAlloc(GPTR, 256));
    if (!keyState || !previousKeyState || !virtualKeyState) {
        DetachKeyboard();
        return nullptr;
    }
    layoutMapping = 0;
    return keyboardDevice;
}

int InitKeyboard() {
    RECORD_POSITION(MODULE_KEYBOARD);
    ShutdownKeyboard();
    if (!StartDirectInput(keyboardInput, keyboardLibrary, DI8DEVCLASS_KEYBOARD, &keyboardGuid))
        return FailIn("InitKeyboard");
    keyboardReady = 1;
    return 1;
}

// A read that fails (the window lost the foreground) leaves no key down: the
// keys held then would otherwise stay pushed in every later frame, since the
// platform call leaves the buffer as it was.
int ExamineKeyboard() {
    RECORD_POSITION(MODULE_KEYBOARD);
    if (!keyboardDevice && !AttachKeyboard(nullptr)) return Fail("ExamineKeyboard: no keyboard (InitKeyboard first)");
    std::memcpy(previousKeyState, keyState, 256);
    if (!GetKeyboardState(virtualKeyState)) return Fail("ExamineKeyboard: no keyboard state");
    keyboardDevice->Acquire();
    if (SUCCEEDED(keyboardDevice->GetDeviceState(256, keyState))) return 1;
    std::memset(keyState, 0, 256);
    std::memset(virtualKeyState, 0, 256);
    return Fail("ExamineKeyboard: the keyboard cannot be read (is the window in the foreground?)");
}

int KeyboardPushed(int key) {
    RECORD_POSITION(MODULE_KEYBOARD);
    if (!keyboardDevice) return 0;
    const int index = KeyIndex(key);
    return index >= 0 && (keyState[index] & kHeldBit) ? 1 : 0;
}

int KeyboardReleased(int key) {
    RECORD_POSITION(MODULE_KEYBOARD);
    if (!keyboardDevice) return 0;
    const int index = KeyIndex(key);
    return index >= 0 && keyState[index] == 0 && (previousKeyState[index] & kHeldBit) ? 1 : 0;
}

// DirectInput takes a new cooperative level only while the device is not
// acquired: the device is let go for the change and acquired again, so that
// it stays readable (a failed acquire is retried by the next ExamineKeyboard).
int KeyboardMode(int flags) {
    RECORD_POSITION(MODULE_KEYBOARD);
    if (!keyboardDevice) return Fail("KeyboardMode: no keyboard (InitKeyboard first)");
    layoutMapping = 1;
    keyboardDevice->Unacquire();
    const HRESULT result =
        keyboardDevice->SetCooperativeLevel(keyboardWindow, (flags & 2) ? kWindowsKeysLevel : kAttachLevel);
    keyboardDevice->Acquire();
    return SUCCEEDED(result) ? 1 : Fail("KeyboardMode: DirectInput refused flags %d (0x%08lX)", flags, result);
}

// The first held key, by ascending virtual-key code, that makes characters
// with the modifiers of the same snapshot.
const char* KeyboardInkey() {
    RECORD_POSITION(MODULE_KEYBOARD);
    inkeyText[0] = 0;
    if (!keyboardDevice) return inkeyText;
    for (UINT virtualKey = 0; virtualKey < 256; ++virtualKey) {
        if (!(virtualKeyState[virtualKey] & kHeldBit)) continue;
        char characters[4] = {};
        const int count = ToAscii(virtualKey, MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC), virtualKeyState,
                                  reinterpret_cast<LPWORD>(characters), 0);
        if (count > 0) {
            std::memcpy(inkeyText, characters, sizeof characters);
            inkeyText[4] = 0;
            return inkeyText;
        }
    }
    return inkeyText;
}

}  // namespace korrin
