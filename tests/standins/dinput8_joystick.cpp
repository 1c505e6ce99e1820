// Stand-in DirectInput 8: wraps the system's dinput8.dll, counts the
// DirectInput objects and devices it hands out, and adds one scripted game
// controller to the front of the game-controller enumeration. The controller
// has two axes (x, y) and 32 buttons and fills whatever data format it is
// given, object by object, as DirectInput does, so a wrong offset or type in
// a format shows in what the program reads. A test drives it through the
// exports below, found with GetProcAddress:
//   StandInSetJoystick(x, y, buttons)  the controller's axes and buttons
//                                      (bit n of `buttons` = button n + 1);
//   StandInLiveObjects()               DirectInput objects not yet released;
//   StandInLiveDevices()               devices not yet released, of any kind;
//   StandInWheelGranularity(n)         the mouse wheel's granularity as the
//                                      devices report it: n >= 0 reports n,
//                                      -1 fails the call, -2 (the start)
//                                      leaves it to the real device.
// Every other call goes to the real objects.
#define DIRECTINPUT_VERSION 0x0800
#include <windows.h>
#include <dinput.h>

#include <cstring>

#include "standin_object.h"

namespace {

LONG liveObjects;
LONG liveDevices;
LONG joystickX = 32767, joystickY = 32767;
DWORD joystickButtons;
int wheelGranularity = -2;

// {6B4E4E53-6B72-4B6F-9A5C-53637269707401}-like values of the stand-in's own.
const GUID kControllerInstance = {0x6B4E4E53, 0x6B72, 0x4B6F, {0x9A, 0x5C, 0x53, 0x63, 0x72, 0x69, 0x70, 0x01}};
const GUID kControllerProduct = {0x6B4E4E53, 0x6B72, 0x4B6F, {0x9A, 0x5C, 0x53, 0x63, 0x72, 0x69, 0x70, 0x02}};

// A device object that hands every call to the system's device.
class ForwardingDevice : public StandInObject<IDirectInputDevice8A> {
public:
    explicit ForwardingDevice(IDirectInputDevice8A* real) : StandInObject(real, IID_IDirectInputDevice8A, &liveDevices) {}

    HRESULT WINAPI GetCapabilities(LPDIDEVCAPS c) override { return real_->GetCapabilities(c); }
    HRESULT WINAPI EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKA cb, LPVOID r, DWORD f) override {
        return real_->EnumObjects(cb, r, f);
    }
    HRESULT WINAPI GetProperty(REFGUID property, LPDIPROPHEADER header) override {
        if (&property == &DIPROP_GRANULARITY && wheelGranularity != -2) {
            if (wheelGranularity == -1) return DIERR_UNSUPPORTED;
            reinterpret_cast<DIPROPDWORD*>(header)->dwData = static_cast<DWORD>(wheelGranularity);
            return DI_OK;
        }
        return real_->GetProperty(property, header);
    }
    HRESULT WINAPI SetProperty(REFGUID p, LPCDIPROPHEADER h) override { return real_->SetProperty(p, h); }
    HRESULT WINAPI Acquire() override { return real_->Acquire(); }
    HRESULT WINAPI Unacquire() override { return real_->Unacquire(); }
    HRESULT WINAPI GetDeviceState(DWORD n, LPVOID d) override { return real_->GetDeviceState(n, d); }
    HRESULT WINAPI GetDeviceData(DWORD n, LPDIDEVICEOBJECTDATA d, LPDWORD io, DWORD f) override {
        return real_->GetDeviceData(n, d, io, f);
    }
    HRESULT WINAPI SetDataFormat(LPCDIDATAFORMAT f) override { return real_->SetDataFormat(f); }
    HRESULT WINAPI SetEventNotification(HANDLE e) override { return real_->SetEventNotification(e); }
    HRESULT WINAPI SetCooperativeLevel(HWND w, DWORD f) override { return real_->SetCooperativeLevel(w, f); }
    HRESULT WINAPI GetObjectInfo(LPDIDEVICEOBJECTINSTANCEA o, DWORD n, DWORD h) override {
        return real_->GetObjectInfo(o, n, h);
    }
    HRESULT WINAPI GetDeviceInfo(LPDIDEVICEINSTANCEA i) override { return real_->GetDeviceInfo(i); }
    HRESULT WINAPI RunControlPanel(HWND w, DWORD f) override { return real_->RunControlPanel(w, f); }
    HRESULT WINAPI Initialize(HINSTANCE i, DWORD v, REFGUID g) override { return real_->Initialize(i, v, g); }
    HRESULT WINAPI CreateEffect(REFGUID g, LPCDIEFFECT e, LPDIRECTINPUTEFFECT* o, LPUNKNOWN u) override {
        return real_->CreateEffect(g, e, o, u);
    }
    HRESULT WINAPI EnumEffects(LPDIENUMEFFECTSCALLBACKA cb, LPVOID r, DWORD t) override {
        return real_->EnumEffects(cb, r, t);
    }
    HRESULT WINAPI GetEffectInfo(LPDIEFFECTINFOA i, REFGUID g) override { return real_->GetEffectInfo(i, g); }
    HRESULT WINAPI GetForceFeedbackState(LPDWORD s) override { return real_->GetForceFeedbackState(s); }
    HRESULT WINAPI SendForceFeedbackCommand(DWORD f) override { return real_->SendForceFeedbackCommand(f); }
    HRESULT WINAPI EnumCreatedEffectObjects(LPDIENUMCREATEDEFFECTOBJECTSCALLBACK cb, LPVOID r, DWORD f) override {
        return real_->EnumCreatedEffectObjects(cb, r, f);
    }
    HRESULT WINAPI Escape(LPDIEFFESCAPE e) override { return real_->Escape(e); }
    HRESULT WINAPI Poll() override { return real_->Poll(); }
    HRESULT WINAPI SendDeviceData(DWORD n, LPCDIDEVICEOBJECTDATA d, LPDWORD io, DWORD f) override {
        return real_->SendDeviceData(n, d, io, f);
    }
    HRESULT WINAPI EnumEffectsInFile(LPCSTR n, LPDIENUMEFFECTSINFILECALLBACK cb, LPVOID r, DWORD f) override {
        return real_->EnumEffectsInFile(n, cb, r, f);
    }
    HRESULT WINAPI WriteEffectToFile(LPCSTR n, DWORD c, LPDIFILEEFFECT e, DWORD f) override {
        return real_->WriteEffectToFile(n, c, e, f);
    }
    HRESULT WINAPI BuildActionMap(LPDIACTIONFORMATA a, LPCSTR u, DWORD f) override {
        return real_->BuildActionMap(a, u, f);
    }
    HRESULT WINAPI SetActionMap(LPDIACTIONFORMATA a, LPCSTR u, DWORD f) override {
        return real_->SetActionMap(a, u, f);
    }
    HRESULT WINAPI GetImageInfo(LPDIDEVICEIMAGEINFOHEADERA h) override { return real_->GetImageInfo(h); }
};

// The scripted controller. Only what a program needs to read a controller
// is implemented; the rest answers DIERR_UNSUPPORTED.
class ScriptedController : public StandInObject<IDirectInputDevice8A> {
public:
    ScriptedController() : StandInObject(nullptr, IID_IDirectInputDevice8A, &liveDevices) {}

    HRESULT WINAPI SetCooperativeLevel(HWND window, DWORD flags) override {
        if (acquired_) return DIERR_ACQUIRED;
        if ((flags & DISCL_EXCLUSIVE) == 0 && (flags & DISCL_NONEXCLUSIVE) == 0) return DIERR_INVALIDPARAM;
        if ((flags & DISCL_FOREGROUND) == 0 && (flags & DISCL_BACKGROUND) == 0) return DIERR_INVALIDPARAM;
        if ((flags & (DISCL_EXCLUSIVE | DISCL_FOREGROUND)) && !IsWindow(window)) return E_HANDLE;
        return DI_OK;
    }

    // Maps each object of the format onto the controller's axes (x, then y)
    // and buttons in order; a required object the controller lacks refuses
    // the format, as does an object outside the data.
    HRESULT WINAPI SetDataFormat(LPCDIDATAFORMAT format) override {
        if (acquired_) return DIERR_ACQUIRED;
        if (!format || format->dwSize != sizeof(DIDATAFORMAT) || format->dwObjSize != sizeof(DIOBJECTDATAFORMAT) ||
            format->dwDataSize > sizeof data_ || format->dwNumObjs > kMaxObjects)
            return DIERR_INVALIDPARAM;
        int axes = 0, buttons = 0;
        objects_ = 0;
        for (DWORD i = 0; i < format->dwNumObjs; ++i) {
            const DIOBJECTDATAFORMAT& object = format->rgodf[i];
            const bool optional = (object.dwType & DIDFT_OPTIONAL) != 0;
            const DWORD instance = DIDFT_GETINSTANCE(object.dwType);
            Mapping mapping = {object.dwOfs, Kind::None, 0};
            if (object.dwType & DIDFT_AXIS) {
                const int axis = instance == 0xFFFF ? axes : static_cast<int>(instance);
                const GUID* wanted = axis == 0 ? &GUID_XAxis : &GUID_YAxis;
                if (axis < 2 && (!object.pguid || *object.pguid == *wanted)) {
                    mapping = {object.dwOfs, Kind::Axis, axis};
                    if (instance == 0xFFFF) ++axes;
                }
                if (mapping.kind != Kind::None && object.dwOfs + 4 > format->dwDataSize) return DIERR_INVALIDPARAM;
            } else if (object.dwType & DIDFT_BUTTON) {
                const int button = instance == 0xFFFF ? buttons : static_cast<int>(instance);
                if (button < 32 && (!object.pguid || *object.pguid == GUID_Button)) {
                    mapping = {object.dwOfs, Kind::Button, button};
                    if (instance == 0xFFFF) ++buttons;
                }
                if (mapping.kind != Kind::None && object.dwOfs >= format->dwDataSize) return DIERR_INVALIDPARAM;
            }
            if (mapping.kind == Kind::None && !optional) return DIERR_INVALIDPARAM;
            if (mapping.kind != Kind::None) mappings_[objects_++] = mapping;
        }
        dataSize_ = format->dwDataSize;
        formatted_ = true;
        return DI_OK;
    }
    HRESULT WINAPI Acquire() override {
        if (!formatted_) return DIERR_INVALIDPARAM;
        if (acquired_) return S_FALSE;
        acquired_ = true;
        return DI_OK;
    }
    HRESULT WINAPI Unacquire() override {
        if (!acquired_) return DI_NOEFFECT;
        acquired_ = false;
        return DI_OK;
    }
    HRESULT WINAPI Poll() override { return acquired_ ? DI_OK : DIERR_NOTACQUIRED; }
    HRESULT WINAPI GetDeviceState(DWORD size, LPVOID data) override {
        if (!acquired_) return DIERR_NOTACQUIRED;
        if (size != dataSize_ || !data) return DIERR_INVALIDPARAM;
        std::memset(data, 0, size);
        BYTE* bytes = static_cast<BYTE*>(data);
        for (int i = 0; i < objects_; ++i) {
            const Mapping& m = mappings_[i];
            if (m.kind == Kind::Axis) {
                const LONG value = m.index == 0 ? joystickX : joystickY;
                std::memcpy(bytes + m.offset, &value, sizeof value);
            } else {
                bytes[m.offset] = (joystickButtons >> m.index) & 1 ? 0x80 : 0;
            }
        }
        return DI_OK;
    }

    HRESULT WINAPI GetCapabilities(LPDIDEVCAPS) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKA, LPVOID, DWORD) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI GetProperty(REFGUID, LPDIPROPHEADER) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI SetProperty(REFGUID, LPCDIPROPHEADER) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI GetDeviceData(DWORD, LPDIDEVICEOBJECTDATA, LPDWORD, DWORD) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI SetEventNotification(HANDLE) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI GetObjectInfo(LPDIDEVICEOBJECTINSTANCEA, DWORD, DWORD) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI GetDeviceInfo(LPDIDEVICEINSTANCEA) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI RunControlPanel(HWND, DWORD) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI Initialize(HINSTANCE, DWORD, REFGUID) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI CreateEffect(REFGUID, LPCDIEFFECT, LPDIRECTINPUTEFFECT*, LPUNKNOWN) override {
        return DIERR_UNSUPPORTED;
    }
    HRESULT WINAPI EnumEffects(LPDIENUMEFFECTSCALLBACKA, LPVOID, DWORD) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI GetEffectInfo(LPDIEFFECTINFOA, REFGUID) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI GetForceFeedbackState(LPDWORD) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI SendForceFeedbackCommand(DWORD) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI EnumCreatedEffectObjects(LPDIENUMCREATEDEFFECTOBJECTSCALLBACK, LPVOID, DWORD) override {
        return DIERR_UNSUPPORTED;
    }
    HRESULT WINAPI Escape(LPDIEFFESCAPE) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI SendDeviceData(DWORD, LPCDIDEVICEOBJECTDATA, LPDWORD, DWORD) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI EnumEffectsInFile(LPCSTR, LPDIENUMEFFECTSINFILECALLBACK, LPVOID, DWORD) override {
        return DIERR_UNSUPPORTED;
    }
    HRESULT WINAPI WriteEffectToFile(LPCSTR, DWORD, LPDIFILEEFFECT, DWORD) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI BuildActionMap(LPDIACTIONFORMATA, LPCSTR, DWORD) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI SetActionMap(LPDIACTIONFORMATA, LPCSTR, DWORD) override { return DIERR_UNSUPPORTED; }
    HRESULT WINAPI GetImageInfo(LPDIDEVICEIMAGEINFOHEADERA) override { return DIERR_UNSUPPORTED; }

private:
    enum class Kind { None, Axis, Button };
    struct Mapping {
        DWORD offset;
        Kind kind;
        int index;
    };
    static constexpr DWORD kMaxObjects = 256;

    bool formatted_ = false;
    bool acquired_ = false;
    DWORD dataSize_ = 0;
    BYTE data_[1024] = {};
    Mapping mappings_[kMaxObjects] = {};
    int objects_ = 0;
};

// The DirectInput object: counted, with the scripted controller in front of
// the real game controllers.
class StandInInput : public StandInObject<IDirectInput8A> {
public:
    explicit StandInInput(IDirectInput8A* real) : StandInObject(real, IID_IDirectInput8A, &liveObjects) {}

    HRESULT WINAPI CreateDevice(REFGUID guid, LPDIRECTINPUTDEVICE8A* device, LPUNKNOWN outer) override {
        if (!device) return E_POINTER;
        if (guid == kControllerInstance) {
            *device = new ScriptedController();
            return DI_OK;
        }
        IDirectInputDevice8A* real = nullptr;
        const HRESULT result = real_->CreateDevice(guid, &real, outer);
        *device = SUCCEEDED(result) && real ? new ForwardingDevice(real) : nullptr;
        return result;
    }
    HRESULT WINAPI EnumDevices(DWORD type, LPDIENUMDEVICESCALLBACKA callback, LPVOID context, DWORD flags) override {
        if (callback && (type == DI8DEVCLASS_GAMECTRL || type == DI8DEVCLASS_ALL)) {
            DIDEVICEINSTANCEA instance = {};
            instance.dwSize = sizeof instance;
            instance.guidInstance = kControllerInstance;
            instance.guidProduct = kControllerProduct;
            instance.dwDevType = DI8DEVTYPE_GAMEPAD | (DI8DEVTYPEGAMEPAD_STANDARD << 8);
            std::strcpy(instance.tszInstanceName, "Scripted pad");
            std::strcpy(instance.tszProductName, "Scripted pad");
            if (callback(&instance, context) == DIENUM_STOP) return DI_OK;
        }
        return real_->EnumDevices(type, callback, context, flags);
    }
    HRESULT WINAPI GetDeviceStatus(REFGUID g) override {
        return g == kControllerInstance ? DI_OK : real_->GetDeviceStatus(g);
    }
    HRESULT WINAPI RunControlPanel(HWND w, DWORD f) override { return real_->RunControlPanel(w, f); }
    HRESULT WINAPI Initialize(HINSTANCE i, DWORD v) override { return real_->Initialize(i, v); }
    HRESULT WINAPI FindDevice(REFGUID g, LPCSTR n, LPGUID i) override { return real_->FindDevice(g, n, i); }
    HRESULT WINAPI EnumDevicesBySemantics(LPCSTR u, LPDIACTIONFORMATA a, LPDIENUMDEVICESBYSEMANTICSCBA cb, LPVOID r,
                                          DWORD f) override {
        return real_->EnumDevicesBySemantics(u, a, cb, r, f);
    }
    HRESULT WINAPI ConfigureDevices(LPDICONFIGUREDEVICESCALLBACK cb, LPDICONFIGUREDEVICESPARAMSA p, DWORD f,
                                    LPVOID r) override {
        return real_->ConfigureDevices(cb, p, f, r);
    }
};

using CreateProc = HRESULT(WINAPI*)(HINSTANCE, DWORD, REFIID, LPVOID*, LPUNKNOWN);

// The system's DirectInput8Create, from the system folder by full path (the
// stand-in itself is the "dinput8.dll" the program found first).
CreateProc SystemCreate() {
    static CreateProc create;
    if (!create) {
        char path[MAX_PATH];
        GetSystemDirectoryA(path, MAX_PATH);
        std::strcat(path, "\\dinput8.dll");
        if (HMODULE real = LoadLibraryA(path))
            create = reinterpret_cast<CreateProc>(
                reinterpret_cast<void*>(GetProcAddress(real, "DirectInput8Create")));
    }
    return create;
}

}  // namespace

extern "C" HRESULT WINAPI DirectInput8Create(HINSTANCE instance, DWORD version, REFIID riid, LPVOID* out,
                                             LPUNKNOWN outer) {
    CreateProc create = SystemCreate();
    if (!create) return DIERR_GENERIC;
    const HRESULT result = create(instance, version, riid, out, outer);
    if (SUCCEEDED(result) && out && *out && riid == IID_IDirectInput8A)
        *out = static_cast<IDirectInput8A*>(new StandInInput(static_cast<IDirectInput8A*>(*out)));
    return result;
}

extern "C" void WINAPI StandInSetJoystick(LONG x, LONG y, DWORD buttons) {
    joystickX = x;
    joystickY = y;
    joystickButtons = buttons;
}

extern "C" LONG WINAPI StandInLiveObjects() { return liveObjects; }
extern "C" LONG WINAPI StandInLiveDevices() { return liveDevices; }
extern "C" void WINAPI StandInWheelGranularity(int granularity) { wheelGranularity = granularity; }
