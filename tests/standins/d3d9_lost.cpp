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

#include <cstring>

namespace {

enum class Loss { None, Lost, NotReset };

Loss loss = Loss::None;
DWORD lostSince;     // tick count when the loss began
LONG lostFor;        // milliseconds, or < 0 for good
int failResets;      // Reset calls still to fail
int resetCalls;      // Reset calls seen

// IDirect3DDevice9's method table: IUnknown's 3 and the device's 116.
constexpr int kDeviceMethods = 119;
constexpr int kTestCooperativeLevel = 3;
constexpr int kReset = 16;
void* patchedTable[kDeviceMethods];
void* realTable[kDeviceMethods];

using TestCooperativeLevelProc = HRESULT(WINAPI*)(IDirect3DDevice9*);
using ResetProc = HRESULT(WINAPI*)(IDirect3DDevice9*, D3DPRESENT_PARAMETERS*);

HRESULT WINAPI TestCooperativeLevel(IDirect3DDevice9* self) {
    if (loss == Loss::Lost) {
        if (lostFor < 0 || GetTickCount() - lostSince < static_cast<DWORD>(lostFor)) return D3DERR_DEVICELOST;
        loss = Loss::NotReset;
    }
    if (loss == Loss::NotReset) return D3DERR_DEVICENOTRESET;
    return reinterpret_cast<TestCooperativeLevelProc>(realTable[kTestCooperativeLevel])(self);
}

HRESULT WINAPI Reset(IDirect3DDevice9* self, D3DPRESENT_PARAMETERS* parameters) {
    ++resetCalls;
    if (failResets > 0) {
        --failResets;
        return D3DERR_DEVICELOST;
    }
    const HRESULT result = reinterpret_cast<ResetProc>(realTable[kReset])(self, parameters);
    if (SUCCEEDED(result) && loss == Loss::NotReset) loss = Loss::None;
    return result;
}

// Points the device at the patched table (made from the first device's).
void Patch(IDirect3DDevice9* device) {
    void*** object = reinterpret_cast<void***>(device);
    if (!patchedTable[0]) {
        std::memcpy(realTable, *object, sizeof realTable);
        std::memcpy(patchedTable, *object, sizeof patchedTable);
        patchedTable[kTestCooperativeLevel] = reinterpret_cast<void*>(TestCooperativeLevel);
        patchedTable[kReset] = reinterpret_cast<void*>(Reset);
    }
    *object = patchedTable;
}

class StandInDirect3D : public IDirect3D9 {
public:
    explicit StandInDirect3D(IDirect3D9* real) : real_(real) {}

    HRESULT WINAPI QueryInterface(REFIID riid, void** out) override {
        if (riid == __uuidof(IUnknown) || riid == __uuidof(IDirect3D9)) {
            AddRef();
            *out = this;
            return S_OK;
        }
        return real_->QueryInterface(riid, out);
    }
    ULONG WINAPI AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG WINAPI Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0) {
            real_->Release();
            delete this;
        }
        return static_cast<ULONG>(left);
    }
    HRESULT WINAPI RegisterSoftwareDevice(void* f) override { return real_->RegisterSoftwareDevice(f); }
    UINT WINAPI GetAdapterCount() override { return real_->GetAdapterCount(); }
    HRESULT WINAPI GetAdapterIdentifier(UINT a, DWORD f, D3DADAPTER_IDENTIFIER9* id) override {
        return real_->GetAdapterIdentifier(a, f, id);
    }
    UINT WINAPI GetAdapterModeCount(UINT a, D3DFORMAT f) override { return real_->GetAdapterModeCount(a, f); }
    HRESULT WINAPI EnumAdapterModes(UINT a, D3DFORMAT f, UINT i, D3DDISPLAYMODE* m) override {
        return real_->EnumAdapterModes(a, f, i, m);
    }
    HRESULT WINAPI GetAdapterDisplayMode(UINT a, D3DDISPLAYMODE* m) override { return real_->GetAdapterDisplayMode(a, m); }
    HRESULT WINAPI CheckDeviceType(UINT a, D3DDEVTYPE t, D3DFORMAT f, D3DFORMAT b, BOOL w) override {
        return real_->CheckDeviceType(a, t, f, b, w);
    }
    HRESULT WINAPI CheckDeviceFormat(UINT a, D3DDEVTYPE t, D3DFORMAT f, DWORD u, D3DRESOURCETYPE r, D3DFORMAT c) override {
        return real_->CheckDeviceFormat(a, t, f, u, r, c);
    }
    HRESULT WINAPI CheckDeviceMultiSampleType(UINT a, D3DDEVTYPE t, D3DFORMAT f, BOOL w, D3DMULTISAMPLE_TYPE m, DWORD* q) override {
        return real_->CheckDeviceMultiSampleType(a, t, f, w, m, q);
    }
    HRESULT WINAPI CheckDepthStencilMatch(UINT a, D3DDEVTYPE t, D3DFORMAT f, D3DFORMAT r, D3DFORMAT d) override {
        return real_->CheckDepthStencilMatch(a, t, f, r, d);
    }
    HRESULT WINAPI CheckDeviceFormatConversion(UINT a, D3DDEVTYPE t, D3DFORMAT s, D3DFORMAT d) override {
        return real_->CheckDeviceFormatConversion(a, t, s, d);
    }
    HRESULT WINAPI GetDeviceCaps(UINT a, D3DDEVTYPE t, D3DCAPS9* c) override { return real_->GetDeviceCaps(a, t, c); }
    HMONITOR WINAPI GetAdapterMonitor(UINT a) override { return real_->GetAdapterMonitor(a); }
    HRESULT WINAPI CreateDevice(UINT a, D3DDEVTYPE t, HWND w, DWORD f, D3DPRESENT_PARAMETERS* p, IDirect3DDevice9** d) override {
        const HRESULT result = real_->CreateDevice(a, t, w, f, p, d);
        if (SUCCEEDED(result) && d && *d) Patch(*d);
        return result;
    }

private:
    IDirect3D9* real_;
    LONG refs_ = 1;
};

}  // namespace

extern "C" IDirect3D9* WINAPI Direct3DCreate9(UINT sdkVersion) {
    char path[MAX_PATH];
    GetSystemDirectoryA(path, MAX_PATH);
    strcat(path, "\\d3d9.dll");
    HMODULE real = LoadLibraryA(path);
    if (!real) return nullptr;
    auto realCreate = reinterpret_cast<IDirect3D9*(WINAPI*)(UINT)>(
        reinterpret_cast<void*>(GetProcAddress(real, "Direct3DCreate9")));
    IDirect3D9* object = realCreate ? realCreate(sdkVersion) : nullptr;
    return object ? new StandInDirect3D(object) : nullptr;
}

extern "C" void WINAPI StandInLoseDevice(LONG milliseconds) {
    loss = Loss::Lost;
    lostSince = GetTickCount();
    lostFor = milliseconds;
}

extern "C" void WINAPI StandInFailResets(int count) { failResets = count; }

extern "C" int WINAPI StandInResetCalls() { return resetCalls; }
