// Stand-in Direct3D 9: wraps the system's d3d9.dll and makes adapter 0 report
// the display modes given in KORRIN_STANDIN_MODES, e.g.
//   X1R5G5B5:640x480@60,800x600@0/R5G6B5:320x240@70/X8R8G8B8:1024x768@85
// A format not named has no modes. KORRIN_STANDIN_CREATE=null makes
// Direct3DCreate9 return null. Every other call goes to the real object.
#include <windows.h>
#include <d3d9.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Mode {
    D3DFORMAT format;
    UINT width, height, refresh;
};
Mode modes[64];
int modeTotal;

D3DFORMAT FormatNamed(const char* name, size_t length) {
    struct Named { const char* name; D3DFORMAT format; };
    static const Named names[] = {{"X1R5G5B5", D3DFMT_X1R5G5B5}, {"R5G6B5", D3DFMT_R5G6B5},
                                  {"X8R8G8B8", D3DFMT_X8R8G8B8}, {"A8R8G8B8", D3DFMT_A8R8G8B8}};
    for (const Named& n : names)
        if (strlen(n.name) == length && strncmp(n.name, name, length) == 0) return n.format;
    return D3DFMT_UNKNOWN;
}

void ParseModes(const char* text) {
    while (text && *text && modeTotal < 64) {
        const char* colon = strchr(text, ':');
        if (!colon) return;
        const D3DFORMAT format = FormatNamed(text, static_cast<size_t>(colon - text));
        const char* at = colon + 1;
        while (*at && *at != '/' && modeTotal < 64) {
            Mode m = {format, 0, 0, 0};
            int used = 0;
            if (sscanf(at, "%ux%u@%u%n", &m.width, &m.height, &m.refresh, &used) != 3) return;
            modes[modeTotal++] = m;
            at += used;
            if (*at == ',') ++at;
        }
        text = *at == '/' ? at + 1 : at;
    }
}

UINT CountOf(D3DFORMAT format) {
    UINT count = 0;
    for (int i = 0; i < modeTotal; ++i) count += modes[i].format == format;
    return count;
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
    UINT WINAPI GetAdapterModeCount(UINT adapter, D3DFORMAT format) override {
        return adapter == 0 ? CountOf(format) : 0;
    }
    HRESULT WINAPI EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT index, D3DDISPLAYMODE* mode) override {
        if (adapter != 0 || !mode) return D3DERR_INVALIDCALL;
        for (int i = 0; i < modeTotal; ++i) {
            if (modes[i].format != format) continue;
            if (index-- == 0) {
                mode->Width = modes[i].width;
                mode->Height = modes[i].height;
                mode->RefreshRate = modes[i].refresh;
                mode->Format = format;
                return D3D_OK;
            }
        }
        return D3DERR_INVALIDCALL;
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
        return real_->CreateDevice(a, t, w, f, p, d);
    }

private:
    IDirect3D9* real_;
    LONG refs_ = 1;
};

}  // namespace

extern "C" IDirect3D9* WINAPI Direct3DCreate9(UINT sdkVersion) {
    const char* create = getenv("KORRIN_STANDIN_CREATE");
    if (create && strcmp(create, "null") == 0) return nullptr;
    char path[MAX_PATH];
    GetSystemDirectoryA(path, MAX_PATH);
    strcat(path, "\\d3d9.dll");
    HMODULE real = LoadLibraryA(path);
    if (!real) return nullptr;
    auto realCreate = reinterpret_cast<IDirect3D9*(WINAPI*)(UINT)>(GetProcAddress(real, "Direct3DCreate9"));
    IDirect3D9* object = realCreate ? realCreate(sdkVersion) : nullptr;
    if (!object) return nullptr;
    modeTotal = 0;
    ParseModes(getenv("KORRIN_STANDIN_MODES"));
    return new StandInDirect3D(object);
}
