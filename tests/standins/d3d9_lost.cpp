// Stand-in Direct3D 9 whose devices can be lost on request: wraps the
// system's d3d9.dll, and gives every device it creates a copy of the real
// device's method table in which TestCooperativeLevel and Reset are its own.
// A test drives it through the exports below, found with GetProcAddress:
//   StandInLoseDevice(ms)  the device reports D3DERR_DEVICELOST for ms
//                          milliseconds (for good when ms < 0), then
//                          D3DERR_DEVICENOTRESET until a Reset succeeds;
//   StandInFailResets(n)   the next n Reset calls fail without resetting;
//   StandInResetCalls()    Reset calls so far.
// Every other call goes to the real objects.
#include <windows.h>
#include <d3d9.h>

#include "forwarding_direct3d.h"
#include "method_slots.h"

#include <cstring>

namespace {

enum class Loss { None, Lost, NotReset };

Loss loss = Loss::None;
DWORD lostSince;     // tick count when the loss began
LONG lostFor;        // milliseconds, or < 0 for good
int failResets;      // Reset calls still to fail
int resetCalls;      // Reset calls seen

void** patchedTable;  // the devices' method table, with the two methods below
void** realTable;     // the first device's own table

using TestCooperativeLevelProc = HRESULT(WINAPI*)(IDirect3DDevice9*);
using ResetProc = HRESULT(WINAPI*)(IDirect3DDevice9*, D3DPRESENT_PARAMETERS*);

HRESULT WINAPI TestCooperativeLevel(IDirect3DDevice9* self) {
    if (loss == Loss::Lost) {
        if (lostFor < 0 || GetTickCount() - lostSince < static_cast<DWORD>(lostFor)) return D3DERR_DEVICELOST;
        loss = Loss::NotReset;
    }
    if (loss == Loss::NotReset) return D3DERR_DEVICENOTRESET;
    return reinterpret_cast<TestCooperativeLevelProc>(realTable[deviceMethodSlots.testCooperativeLevel])(self);
}

HRESULT WINAPI Reset(IDirect3DDevice9* self, D3DPRESENT_PARAMETERS* parameters) {
    ++resetCalls;
    if (failResets > 0) {
        --failResets;
        return D3DERR_DEVICELOST;
    }
    const HRESULT result = reinterpret_cast<ResetProc>(realTable[deviceMethodSlots.reset])(self, parameters);
    if (SUCCEEDED(result) && loss == Loss::NotReset) loss = Loss::None;
    return result;
}

// Points the device at the patched table (made from the first device's).
void Patch(IDirect3DDevice9* device) {
    void*** object = reinterpret_cast<void***>(device);
    if (!patchedTable) {
        realTable = *object;
        patchedTable = new void*[deviceMethodSlots.count];
        std::memcpy(patchedTable, realTable, deviceMethodSlots.count * sizeof(void*));
        patchedTable[deviceMethodSlots.testCooperativeLevel] = reinterpret_cast<void*>(TestCooperativeLevel);
        patchedTable[deviceMethodSlots.reset] = reinterpret_cast<void*>(Reset);
    }
    *object = patchedTable;
}

// Devices it creates get the patched method table.
class StandInDirect3D : public ForwardingDirect3D {
public:
    using ForwardingDirect3D::ForwardingDirect3D;
    HRESULT WINAPI CreateDevice(UINT a, D3DDEVTYPE t, HWND w, DWORD f, D3DPRESENT_PARAMETERS* p,
                                IDirect3DDevice9** d) override {
        const HRESULT result = real_->CreateDevice(a, t, w, f, p, d);
        if (SUCCEEDED(result) && d && *d) Patch(*d);
        return result;
    }
};

}  // namespace

extern "C" IDirect3D9* WINAPI Direct3DCreate9(UINT sdkVersion) {
    IDirect3D9* object = CreateSystemDirect3D(sdkVersion);
    return object ? new StandInDirect3D(object) : nullptr;
}

extern "C" void WINAPI StandInLoseDevice(LONG milliseconds) {
    loss = Loss::Lost;
    lostSince = GetTickCount();
    lostFor = milliseconds;
}

extern "C" void WINAPI StandInFailResets(int count) { failResets = count; }

extern "C" int WINAPI StandInResetCalls() { return resetCalls; }
