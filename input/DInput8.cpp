// DirectInput 8 shared by the keyboard, mouse and joystick: the data formats,
// the GUIDs, and starting, attaching and releasing.
#include "input/DInput8.h"

#include <array>

#include "frame/ErrorPosition.h"
#include "frame/LastError.h"
#include "frame/platform.h"

namespace korrin {

const GUID iidDirectInput8A = {0xBF798030, 0x483A, 0x4DA2, {0xAA, 0x99, 0x5D, 0x64, 0xED, 0x36, 0x97, 0x00}};
const GUID guidKey = {0x55728220, 0xD33C, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID guidSysMouse = {0x6F1D2B60, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

namespace {

// Key i is an optional button of instance i, read into byte i.
constexpr std::array<DIOBJECTDATAFORMAT, 256> KeyboardObjects() {
    std::array<DIOBJECTDATAFORMAT, 256> objects{};
    for (DWORD key = 0; key < 256; ++key)
        objects[key] = {&guidKey, key, DIDFT_OPTIONAL | DIDFT_BUTTON | DIDFT_MAKEINSTANCE(key), 0};
    return objects;
}

constexpr DWORD kAnyAxis = DIDFT_ANYINSTANCE | DIDFT_AXIS;
constexpr DWORD kAnyButton = DIDFT_ANYINSTANCE | DIDFT_BUTTON;
constexpr DWORD kAnyPov = DIDFT_ANYINSTANCE | DIDFT_POV;

constexpr std::array<DIOBJECTDATAFORMAT, 256> keyboardObjects = KeyboardObjects();

// x, y and two buttons are required; the wheel and buttons 3 to 8 are optional.
constexpr DIOBJECTDATAFORMAT mouseObjects[11] = {
    {nullptr, 0, kAnyAxis, 0},
    {nullptr, 4, kAnyAxis, 0},
    {nullptr, 8, DIDFT_OPTIONAL | kAnyAxis, 0},
    {nullptr, 12, kAnyButton, 0},
    {nullptr, 13, kAnyButton, 0},
    {nullptr, 14, DIDFT_OPTIONAL | kAnyButton, 0},
    {nullptr, 15, DIDFT_OPTIONAL | kAnyButton, 0},
    {nullptr, 16, DIDFT_OPTIONAL | kAnyButton, 0},
    {nullptr, 17, DIDFT_OPTIONAL | kAnyButton, 0},
    {nullptr, 18, DIDFT_OPTIONAL | kAnyButton, 0},
    {nullptr, 19, DIDFT_OPTIONAL | kAnyButton, 0},
};

// Everything optional: eight axes reporting positions, four hats, 32 buttons.
constexpr std::array<DIOBJECTDATAFORMAT, 44> JoystickObjects() {
    std::array<DIOBJECTDATAFORMAT, 44> objects{};
    for (DWORD axis = 0; axis < 8; ++axis)
        objects[axis] = {nullptr, axis * 4, DIDFT_OPTIONAL | kAnyAxis, DIDOI_ASPECTPOSITION};
    for (DWORD pov = 0; pov < 4; ++pov) objects[8 + pov] = {nullptr, 32 + pov * 4, DIDFT_OPTIONAL | kAnyPov, 0};
    for (DWORD button = 0; button < 32; ++button)
        objects[12 + button] = {nullptr, 48 + button, DIDFT_OPTIONAL | kAnyButton, 0};
    return objects;
}

constexpr std::array<DIOBJECTDATAFORMAT, 44> joystickObjects = JoystickObjects();

// DIDATAFORMAT points at its objects without const; DirectInput only reads them.
// Everything here is constant data, set up by the compiler, not at load.
constexpr LPDIOBJECTDATAFORMAT Objects(const DIOBJECTDATAFORMAT* objects) {
    return const_cast<LPDIOBJECTDATAFORMAT>(objects);
}

using DirectInput8CreateProc = HRESULT(WINAPI*)(HINSTANCE, DWORD, REFIID, void**, IUnknown*);

// Loads the module and makes a DirectInput object for the host program; null
// when the module, its entry point or the object is missing. A missing entry
// point unloads the module; otherwise it stays loaded for the caller.
IDirectInput8A* CreateDirectInput(HMODULE* library) {
    auto create = reinterpret_cast<DirectInput8CreateProc>(
        reinterpret_cast<void*>(LoadComponent(library, "DInput8.dll", "DirectInput8Create")));
    if (!create) return nullptr;
    void* object = nullptr;
    const HRESULT result = create(GetModuleHandleA(nullptr), DIRECTINPUT_VERSION, iidDirectInput8A, &object, nullptr);
    if (FAILED(result)) {
        NoteFailure("DirectInput8Create failed (0x%08lX)", result);
        return nullptr;
    }
    return static_cast<IDirectInput8A*>(object);
}

BOOL CALLBACK FirstDevice(LPCDIDEVICEINSTANCEA instance, LPVOID first) {
    *static_cast<GUID*>(first) = instance->guidInstance;
    return DIENUM_STOP;
}

}  // namespace

constexpr DIDATAFORMAT keyboardFormat = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_RELAXIS, 256, 256,
                                         Objects(keyboardObjects.data())};
constexpr DIDATAFORMAT mouseFormat = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_RELAXIS, 20, 11,
                                      Objects(mouseObjects)};
constexpr DIDATAFORMAT joystickFormat = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_ABSAXIS, 80, 44,
                                         Objects(joystickObjects.data())};

static_assert(sizeof(DIDATAFORMAT) == 24 && sizeof(DIOBJECTDATAFORMAT) == 16, "DirectInput's 32-bit layouts");
static_assert(sizeof(DIMOUSESTATE2) == 20 && sizeof(DIJOYSTATE) == 80, "the states the formats describe");

bool StartDirectInput(IDirectInput8A*& input, HMODULE& library, DWORD deviceClass, GUID* first) {
    RECORD_POSITION(MODULE_DINPUT);
    input = CreateDirectInput(&library);
    if (!input) {
        FreeDirectInput(input, library);
        return false;
    }
    if (!first) return true;
    *first = GUID{};
    if (SUCCEEDED(input->EnumDevices(deviceClass, FirstDevice, first, DIEDFL_ALLDEVICES))) return true;
    NoteFailure("DirectInput cannot list %s", deviceClass == DI8DEVCLASS_KEYBOARD ? "keyboards" : "game controllers");
    return false;
}

HWND InputWindow(HWND window) {
    RECORD_POSITION(MODULE_DINPUT);
    return IsWindow(window) ? window : GetForegroundWindow();
}

IDirectInputDevice8A* OpenInputDevice(IDirectInput8A* input, REFGUID guid, HWND window, DWORD level,
                                      const DIDATAFORMAT& format) {
    RECORD_POSITION(MODULE_DINPUT);
    IDirectInputDevice8A* device = nullptr;
    if (FAILED(input->CreateDevice(guid, &device, nullptr))) device = nullptr;
    if (device && SUCCEEDED(device->SetCooperativeLevel(window, level)) && SUCCEEDED(device->SetDataFormat(&format)) &&
        SUCCEEDED(device->Acquire()))
        return device;
    ReleaseDevice(device);
    return nullptr;
}

void ReleaseDevice(IDirectInputDevice8A*& device) {
    RECORD_POSITION(MODULE_DINPUT);
    if (!device) return;
    device->Unacquire();
    ReleaseObject(device);
}

void FreeDirectInput(IDirectInput8A*& input, HMODULE& library) {
    RECORD_POSITION(MODULE_DINPUT);
    ReleaseObject(input);
    UnloadComponent(&library);
}

}  // namespace korrin
