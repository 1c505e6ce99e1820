// The scene, the drawing target's check, the render-state cache and the
// colour-key shader binding.
#include "render/DeviceState.h"

#include "frame/ErrorPosition.h"
#include "frame/LastError.h"
#include "frame/globals.h"
#include "render/SpriteQuad.h"
#include "sprites/Sprite.h"
#include "sprites/SpriteBatch.h"

namespace korrin {

namespace {

// A cache entry no state value matches: the next cached set makes its call.
constexpr int kUnknown = -1;

void (*backBufferHolder)();  // gives up the back buffer (SetBackBufferHolder), or null

// Records `value` in the cache entry when the device took it, else forgets the entry.
bool Recorded(HRESULT result, int& entry, int value) {
    entry = SUCCEEDED(result) ? value : kUnknown;
    return SUCCEEDED(result);
}

// The surface GetRenderTarget handed out, as the texture object still holds it.
IDirect3DSurface9* HeldRenderSurface(const TextureObject* texture) {
    if (!texture) return nullptr;
    return texture->kind == kTextureRenderTarget ? texture->textureSurface : texture->targetSurface;
}

// Stage 0 and the filter as the device holds them are not known: the next
// set of each makes its call (D3DTA_DIFFUSE is 0, so 0 cannot mean unknown).
void ForgetStageStates() {
    colourOpCache = colourArg1Cache = colourArg2Cache = alphaOpCache = alphaArg1Cache = kUnknown;
    textureFilterCache = kUnknown;
}

}  // namespace

// --- the drawing target ----------------------------------------------------------

void ReviewDrawTarget() {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    const Sprite* sprite = FindSprite(currentBuffer);
    if (sprite && targetSurface && HeldRenderSurface(sprite->texture) == targetSurface) return;
    ResetDrawTarget();
}

HRESULT ResetDrawTarget() {
    FlushSpriteBatch();  // what was queued is drawn into the target it was meant for
    currentBuffer = -1;
    targetSurface = nullptr;
    targetWidth = screenWidth;
    targetHeight = screenHeight;
    if (!device) return E_FAIL;
    SetTargetAlphaBlend(0);
    return device->SetRenderTarget(0, backBuffer);
}

// --- the scene ---------------------------------------------------------------

void SetBackBufferHolder(void (*giveUp)()) { backBufferHolder = giveUp; }

void ReclaimBackBuffer() {
    if (backBufferHolder) backBufferHolder();
}

bool EnsureScene() {
    if (!screenActive || !device) return false;
    ReclaimBackBuffer();
    CheckDrawTarget();
    if (!inScene) {
        if (FAILED(device->BeginScene())) return false;
        inScene = 1;
    }
    return true;
}

int SceneRefused(const char* command) {
    if (!screenActive || !device) return Fail("%s: no usable screen", command);
    return Fail("%s: the device cannot begin a scene", command);
}

void EndSceneIfOpen() {
    ReclaimBackBuffer();
    FlushSpriteBatch();
    if (!inScene) return;
    inScene = 0;
    if (device) device->EndScene();
}

// --- the render-state cache ----------------------------------------------------

void SetAlphaBlend(int enable) {
    if (alphaBlendCache == enable) return;
    FlushSpriteBatch();
    alphaBlendCache = enable;
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, static_cast<DWORD>(enable));
}

void SetSourceBlend(int blend) {
    if (srcBlendCache == blend) return;
    FlushSpriteBatch();
    srcBlendCache = blend;
    device->SetRenderState(D3DRS_SRCBLEND, static_cast<DWORD>(blend));
}

void SetDestBlend(int blend) {
    if (destBlendCache == blend) return;
    FlushSpriteBatch();
    destBlendCache = blend;
    device->SetRenderState(D3DRS_DESTBLEND, static_cast<DWORD>(blend));
}

void SetVertexFormat(int format) {
    if (fvfCache == format) return;
    FlushSpriteBatch();
    fvfCache = format;
    device->SetFVF(static_cast<DWORD>(format));
}

// Without separate alpha blending the alpha follows the colour factors: a
// draw of opaque pixels still leaves 255, keyed-out pixels still leave the
// target alone.
void SetTargetAlphaBlend(int enable) {
    if (targetAlphaCache == enable) return;
    FlushSpriteBatch();
    targetAlphaCache = enable;
    if (!(deviceCaps.PrimitiveMiscCaps & D3DPMISCCAPS_SEPARATEALPHABLEND)) return;
    device->SetRenderState(D3DRS_SEPARATEALPHABLENDENABLE, static_cast<DWORD>(enable));
    if (!enable) return;
    device->SetRenderState(D3DRS_SRCBLENDALPHA, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_DESTBLENDALPHA, D3DBLEND_INVSRCALPHA);
}

// The cache entry of a cached stage-0 state, or null.
int* StageStateEntry(D3DTEXTURESTAGESTATETYPE type) {
    switch (type) {
        case D3DTSS_COLOROP:
            return &colourOpCache;
        case D3DTSS_COLORARG1:
            return &colourArg1Cache;
        case D3DTSS_COLORARG2:
            return &colourArg2Cache;
        case D3DTSS_ALPHAOP:
            return &alphaOpCache;
        case D3DTSS_ALPHAARG1:
            return &alphaArg1Cache;
        default:
            return nullptr;
    }
}

void SetStageState(D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    int* entry = StageStateEntry(type);
    if (entry) {
        if (*entry == static_cast<int>(value)) return;
        *entry = static_cast<int>(value);
    }
    FlushSpriteBatch();
    device->SetTextureStageState(0, type, value);
}

void SetTextureFilter(DWORD filter) {
    if (textureFilterCache == static_cast<int>(filter)) return;
    FlushSpriteBatch();
    textureFilterCache = static_cast<int>(filter);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, filter);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, filter);
}

bool ForceAlphaBlend(int enable) {
    FlushSpriteBatch();
    return Recorded(device->SetRenderState(D3DRS_ALPHABLENDENABLE, static_cast<DWORD>(enable)), alphaBlendCache,
                    enable);
}

bool ForceSourceBlend(int blend) {
    FlushSpriteBatch();
    return Recorded(device->SetRenderState(D3DRS_SRCBLEND, static_cast<DWORD>(blend)), srcBlendCache, blend);
}

bool ForceDestBlend(int blend) {
    FlushSpriteBatch();
    return Recorded(device->SetRenderState(D3DRS_DESTBLEND, static_cast<DWORD>(blend)), destBlendCache, blend);
}

bool ForceVertexFormat(int format) {
    FlushSpriteBatch();
    return Recorded(device->SetFVF(static_cast<DWORD>(format)), fvfCache, format);
}

// The caches go back to 0, a value no drawing state has except a disabled
// alpha blend (the default too), so the first drawing sets what it needs.
void InvalidateDeviceState() {
    ForgetSpriteBatch();
    inScene = 0;
    alphaBlendCache = srcBlendCache = destBlendCache = fvfCache = 0;
    targetAlphaCache = 0;
    ForgetStageStates();
    colourKeyShaderBound = 0;
    colourKeyShaderKey = 0;
}

void RestoreDeviceState() {
    RECORD_POSITION(MODULE_D3D9_INC);
    ForceAlphaBlend(TRUE);
    ForceSourceBlend(D3DBLEND_SRCALPHA);
    ForceDestBlend(D3DBLEND_INVSRCALPHA);
    ForceVertexFormat(static_cast<int>(kColouredVertexFormat));
    targetAlphaCache = 0;  // the reset put the back buffer in place, with the default blending of alpha
    ForgetStageStates();
    // The constants are back to zero, which is the black key the cache then names.
    colourKeyShaderBound = 0;
    colourKeyShaderKey = 0;
}

// --- the colour-key shader binding ------------------------------------------------

void UnbindColourKeyShader() {
    if (colourKeyShaderAvailable && colourKeyShaderBound) {
        FlushSpriteBatch();
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
        FlushSpriteBatch();
        device->SetPixelShader(colourKeyShader);
        colourKeyShaderBound = 1;
    }
    const DWORD key = GetTransparentColor(texture);
    if (key != colourKeyShaderKey) {
        FlushSpriteBatch();
        colourKeyShaderKey = key;
        // Each channel as it reads after storage in 5 bits, widened back.
        auto widen = [](DWORD n) { return static_cast<float>(((n >> 3) << 3) + (n >> 5)) / 255.0f; };
        const float constant[4] = {widen(key & 0xFF), widen((key >> 8) & 0xFF), widen((key >> 16) & 0xFF), 0.0f};
        device->SetPixelShaderConstantF(0, constant, 1);
    }
}

}  // namespace korrin
