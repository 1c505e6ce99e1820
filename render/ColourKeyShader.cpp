// The colour-key pixel shader on the device: a ps_1_4 program (encoded in
// ColourKeyShaderCode) that discards the pixels of a render-target sprite
// texture matching its key colour. It is made with each screen on devices
// with pixel shader 1.4 or later, and goes with the device that made it:
// keeping it would leak it with the device and leave a shader of a dead
// device for the next screen to bind.
#include "frame/ErrorPosition.h"
#include "frame/globals.h"
#include "frame/platform.h"
#include "render/ColourKeyShaderCode.h"
#include "render/DeviceState.h"

namespace korrin {

bool CreateColourKeyShader() {
    RECORD_POSITION(MODULE_D3D9_HELPERS);
    if (!device || LOWORD(deviceCaps.PixelShaderVersion) < 0x0104) return false;
    std::size_t tokens = 0;
    const std::uint32_t* code = ColourKeyShaderCode(&tokens);
    IDirect3DPixelShader9* shader = nullptr;
    if (FAILED(device->CreatePixelShader(reinterpret_cast<const DWORD*>(code), &shader)) || !shader) return false;
    ReleaseObject(colourKeyShader);
    colourKeyShader = shader;
    colourKeyShaderAvailable = 1;
    return true;
}

void ReleaseColourKeyShader() {
    RECORD_POSITION(MODULE_D3D9_HELPERS);
    ReleaseObject(colourKeyShader);
    colourKeyShaderAvailable = 0;
}

}  // namespace korrin
