/* Method positions from the C declarations of the Direct3D 9 method tables. */
#define COBJMACROS
#include <windows.h>
#include <d3d9.h>

#include <stddef.h>

#include "method_slots.h"

#define SLOT(table, method) ((int)(offsetof(table, method) / sizeof(void*)))

const struct DeviceMethodSlots deviceMethodSlots = {
    (int)(sizeof(IDirect3DDevice9Vtbl) / sizeof(void*)),
    SLOT(IDirect3DDevice9Vtbl, TestCooperativeLevel),
    SLOT(IDirect3DDevice9Vtbl, Reset),
    SLOT(IDirect3DDevice9Vtbl, CreateTexture),
    SLOT(IDirect3DDevice9Vtbl, CreateRenderTarget),
    SLOT(IDirect3DDevice9Vtbl, CreateOffscreenPlainSurface),
    SLOT(IDirect3DDevice9Vtbl, SetRenderState),
    SLOT(IDirect3DDevice9Vtbl, SetFVF),
    SLOT(IDirect3DDevice9Vtbl, SetGammaRamp),
    SLOT(IDirect3DDevice9Vtbl, Present),
};

const struct TextureMethodSlots textureMethodSlots = {
    (int)(sizeof(IDirect3DTexture9Vtbl) / sizeof(void*)),
    SLOT(IDirect3DTexture9Vtbl, GetSurfaceLevel),
};
