// Scene opening, the render-state cache and the colour-key shader binding.
#include "render/RenderState.h"

#include "frame/ErrorPosition.h"
#include "frame/globals.h"

namespace korrin {

int colourKeyShaderBound;
DWORD colourKeyShaderKey;

bool EnsureScene() {
    if (!screenActive || !device) return false;
    if (!inScene) {
        if (FAILED(device->BeginScene())) return false;
        inScene = 1;
    }
    return true;
}

void SetAlphaBlend(int enable) {
    if (alphaBlendCache == enable) return;
    alphaBlendCache = enable;
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, static_cast<DWORD>(enable));
}

void SetSourceBlend(int blend) {
    if (srcBlendCache == blend) return;
    srcBlendCache = blend;
    device->SetRenderState(D3DRS_SRCBLEND, static_cast<DWORD>(blend));
}

void SetDestBlend(int blend) {
    if (destBlendCache == blend) return;
    destBlendCache = blend;
    device->SetRenderState(D3DRS_DESTBLEND, static_cast<DWORD>(blend));
}

void SetVertexFormat(int format) {
    if (fvfCache == format) return;
    fvfCache = format;
    device->SetFVF(static_cast<DWORD>(format));
}

void UnbindColourKeyShader() {
    if (colourKeyShaderAvailable && colourKeyShaderBound) {
        device->SetPixelShader(nullptr);
        colourKeyShaderBound = 0;
    }
}

void ApplyColourKey(TextureObject* texture) {
    RECORD_POSITION(MODULE_D3D9_INC);
    if (!IsRenderTargetTexture(texture)) {
        UnbindColourKeyShader();
        return;
    }
    if (!colourKeyShaderAvailable) return;  // drawn without transparency
    if (!colourKeyShaderBound) {
        device->SetPixelShader(colourKeyShader);
        colourKeyShaderBound = 1;
    }
    const DWORD key = GetTransparentColor(texture);
    if (key != colourKeyShaderKey) {
        colourKeyShaderKey = key;
        // Each channel as it reads after storage in 5 bits, widened back.
        auto widen = [](DWORD n) { return static_cast<float>(((n >> 3) << 3) + (n >> 5)) / 255.0f; };
        const float constant[4] = {widen(key & 0xFF), widen((key >> 8) & 0xFF), widen((key >> 16) & 0xFF), 0.0f};
        device->SetPixelShaderConstantF(0, constant, 1);
    }
}

}  // namespace korrin
