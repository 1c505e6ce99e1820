// Stand-in Direct3D 9: wraps the system's d3d9.dll and makes adapter 0 report
// the display modes given in KORRIN_STANDIN_MODES, e.g.
//   X1R5G5B5:640x480@60,800x600@0/R5G6B5:320x240@70/X8R8G8B8:1024x768@85
// A format not named has no modes. KORRIN_STANDIN_CREATE=null makes
// Direct3DCreate9 return null. Every other call goes to the real object.
#include <windows.h>
#include <d3d9.h>

#include "forwarding_direct3d.h"

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

// Adapter 0 reports the chosen modes.
class StandInDirect3D : public ForwardingDirect3D {
public:
    using ForwardingDirect3D::ForwardingDirect3D;
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
};

}  // namespace

extern "C" IDirect3D9* WINAPI Direct3DCreate9(UINT sdkVersion) {
    const char* create = getenv("KORRIN_STANDIN_CREATE");
    if (create && strcmp(create, "null") == 0) return nullptr;
    IDirect3D9* object = CreateSystemDirect3D(sdkVersion);
    if (!object) return nullptr;
    modeTotal = 0;
    ParseModes(getenv("KORRIN_STANDIN_MODES"));
    return new StandInDirect3D(object);
}
