// Positions of Direct3D 9 methods in their objects' method tables, for the
// stand-ins and tests that give an object a patched copy of its table. They
// are taken from the C declaration of each table (method_slots.c), so no
// position or table size is written down by hand.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

struct DeviceMethodSlots {
    int count;  // entries in IDirect3DDevice9's table
    int testCooperativeLevel, reset, createTexture, createRenderTarget, createOffscreenPlainSurface;
    int setRenderState, setFVF;
    int setGammaRamp;
    int present;
};
extern const struct DeviceMethodSlots deviceMethodSlots;

struct TextureMethodSlots {
    int count;  // entries in IDirect3DTexture9's table
    int getSurfaceLevel;
};
extern const struct TextureMethodSlots textureMethodSlots;

#ifdef __cplusplus
}
#endif
