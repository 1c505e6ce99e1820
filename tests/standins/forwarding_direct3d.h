// An IDirect3D9 that hands every call to the system's Direct3D object; the
// stand-ins derive from it and override only what their tests change.
#pragma once

#include <windows.h>
#include <d3d9.h>

#include <cstring>

#include "standin_object.h"

class ForwardingDirect3D : public StandInObject<IDirect3D9> {
public:
    explicit ForwardingDirect3D(IDirect3D9* real) : StandInObject(real, __uuidof(IDirect3D9)) {}

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
    HRESULT WINAPI CheckDeviceMultiSampleType(UINT a, D3DDEVTYPE t, D3DFORMAT f, BOOL w, D3DMULTISAMPLE_TYPE m,
                                              DWORD* q) override {
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
    HRESULT WINAPI CreateDevice(UINT a, D3DDEVTYPE t, HWND w, DWORD f, D3DPRESENT_PARAMETERS* p,
                                IDirect3DDevice9** d) override {
        return real_->CreateDevice(a, t, w, f, p, d);
    }
};

// The system's Direct3D object, loaded from the system folder by full path
// (the stand-in itself is the "d3d9.dll" the program found first).
inline IDirect3D9* CreateSystemDirect3D(UINT sdkVersion) {
    char path[MAX_PATH];
    GetSystemDirectoryA(path, MAX_PATH);
    std::strcat(path, "\\d3d9.dll");
    HMODULE real = LoadLibraryA(path);
    if (!real) return nullptr;
    auto create = reinterpret_cast<IDirect3D9*(WINAPI*)(UINT)>(
        reinterpret_cast<void*>(GetProcAddress(real, "Direct3DCreate9")));
    return create ? create(sdkVersion) : nullptr;
}
