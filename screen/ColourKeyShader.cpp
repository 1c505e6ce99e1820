// The colour-key pixel shader: a ps_1_4 program that discards the pixels of a
// render-target sprite texture matching its key colour. It is made with each
// screen on devices with pixel shader 1.4 or later.
#include "screen/screen.h"

#include "frame/ErrorPosition.h"
#include "frame/globals.h"
#include "frame/platform.h"
#include "render/ColourKeyShaderCode.h"

namespace korrin {

bool CreateColourKeyShader() {
    RECORD_POSITION(MODULE_D3D9_HELPERS);
    if (!device) return false;
    std::size_t tokens = 0;
    const std::uint32_t* code = ColourKeyShaderCode(&tokens);
    IDirect3DPixelShader9* shader = nullptr;
    if (FAILED(device->CreatePixelShader(reinterpret_cast<const DWORD*>(code), &shader)) || !shader) return false;
    ReleaseObject(colourKeyShader);
    colourKeyShader = shader;
    return true;
}

}  // namespace korrin
