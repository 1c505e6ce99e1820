// Direct3D bootstrap. Direct3D 9 is loaded by name at run time; only adapter 0
// and the HAL device are used. The mode list is a snapshot: 16-bit modes first
// (X1R5G5B5 when the adapter has any, else R5G6B5), then X8R8G8B8 modes, each
// in the adapter's own order.
#include "screen/D3D9HelperFunctions.h"

#include <cstdlib>

#include "frame/ErrorPosition.h"
#include "frame/LastError.h"
#include "frame/globals.h"
#include "frame/platform.h"
#include "sprites/ColourKey.h"
#include "sprites/Sprite.h"

namespace korrin {

namespace {

using Direct3DCreate9Proc = IDirect3D9*(WINAPI*)(UINT sdkVersion);

// Sprite records the registry adds whenever it is full.
constexpr std::int32_t kSpriteRegistryGrowth = 128;

// Appends the adapter's modes of one format; returns how many were stored.
int ListModes(IDirect3D9* direct3D, D3DFORMAT format, UINT count, DisplayMode* out) {
    int stored = 0;
    for (UINT i = 0; i < count; ++i) {
        D3DDISPLAYMODE mode = {};
        if (FAILED(direct3D->EnumAdapterModes(D3DADAPTER_DEFAULT, format, i, &mode))) continue;
        out[stored].width = static_cast<short>(mode.Width);
        out[stored].height = static_cast<short>(mode.Height);
        out[stored].depth = static_cast<short>(FormatBitsPerPixel(mode.Format));
        out[stored].refresh = static_cast<short>(mode.RefreshRate);
        ++stored;
    }
    return stored;
}

// Snapshot of the adapter's modes; false when there are none or no memory.
bool MakeModeList(IDirect3D9* direct3D) {
    const UINT countX1R5G5B5 = direct3D->GetAdapterModeCount(D3DADAPTER_DEFAULT, D3DFMT_X1R5G5B5);
    const UINT countR5G6B5 = direct3D->GetAdapterModeCount(D3DADAPTER_DEFAULT, D3DFMT_R5G6B5);
    const UINT countX8R8G8B8 = direct3D->GetAdapterModeCount(D3DADAPTER_DEFAULT, D3DFMT_X8R8G8B8);
    const D3DFORMAT format16 = countX1R5G5B5 > 0 ? D3DFMT_X1R5G5B5 : D3DFMT_R5G6B5;
    const UINT count16 = countX1R5G5B5 > 0 ? countX1R5G5B5 : countR5G6B5;
    const unsigned long long total = static_cast<unsigned long long>(count16) + countX8R8G8B8;
    if (total == 0 || total > 0x100000) return false;

    auto* list = static_cast<DisplayMode*>(std::calloc(static_cast<std::size_t>(total), sizeof(DisplayMode)));
    if (!list) return false;
    int stored = ListModes(direct3D, format16, count16, list);
    stored += ListModes(direct3D, D3DFMT_X8R8G8B8, countX8R8G8B8, list + stored);
    if (stored == 0) {
        std::free(list);
        return false;
    }
    std::free(modeList);
    modeList = list;
    modeCount = stored;
    return true;
}

}  // namespace

IDirect3D9* StartDirect3D() {
    RECORD_POSITION(MODULE_D3D9_HELPERS);
    alphaIntensity = 0x00FFFFFF;
    auto create = reinterpret_cast<Direct3DCreate9Proc>(
        reinterpret_cast<void*>(LoadComponent(&d3d9Library, "d3d9.dll", "Direct3DCreate9")));
    if (!create) return nullptr;
    IDirect3D9* direct3D = create(D3D_SDK_VERSION);
    if (!direct3D) {
        if (!d3d) UnloadComponent(&d3d9Library);
        NoteFailure("Direct3DCreate9 gave no Direct3D object");
        return nullptr;
    }

    // Everything below either succeeds or is undone before returning.
    const bool tableExisted = colourKeyTable != nullptr;
    ObjectRegistry* registry = nullptr;
    if (CreateColourKeyTable() && (registry = CreateRegistry(sizeof(Sprite), kSpriteRegistryGrowth, nullptr)) != nullptr && MakeModeList(direct3D)) {
        // A second InitSprite replaces the earlier objects; releasing them
        // here keeps them from leaking.
        if (spriteRegistry) {
            ForEachObject(spriteRegistry, ReleaseSpriteRecord);
            DestroyRegistry(spriteRegistry);
        }
        spriteRegistry = registry;
        ReleaseObject(d3d);
        d3d = direct3D;
        modeCursor = 0;
        frameRate = 60;
        return d3d;
    }
    NoteFailure(registry ? "the adapter lists no display mode of 16 or 32 bits" : "out of memory");
    if (registry) DestroyRegistry(registry);
    if (!tableExisted) FreeColourKeyTable();
    ReleaseObject(direct3D);
    // An earlier, still working Direct3D object keeps the library loaded.
    if (!d3d) UnloadComponent(&d3d9Library);
    return nullptr;
}

}  // namespace korrin
