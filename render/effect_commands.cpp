// Screen effects: an added colour over a rectangle of the target, the
// display's gamma ramp, and the special-effect bracket (which needs nothing).
#include <cstdint>

#include "frame/ErrorPosition.h"
#include "frame/LastError.h"
#include "frame/globals.h"
#include "korrin.h"
#include "render/DeviceState.h"
#include "render/SpriteQuad.h"
#include "sprites/SpriteBatch.h"

extern "C" {

// Adds the colour to every pixel of the rectangle, saturating. The quad has
// no texture: stage 0 is made to pass the vertex colour on while it draws,
// whatever operations the commands before left in force, and goes back to
// the texture's colour and alpha afterwards. An empty rectangle sets nothing.
int __stdcall DisplayRGBFilter(int x, int y, int width, int height, int red, int green, int blue) noexcept {
    using namespace korrin;
    RECORD_POSITION(MODULE_MAIN);
    if (!EnsureScene()) return SceneRefused("DisplayRGBFilter");
    UnbindColourKeyShader();
    PixelRect visible;
    if (!ClipToTarget(x, y, width, height, targetWidth, targetHeight, &visible)) return 0;
    SetBlendStates(TRUE, D3DBLEND_ONE, D3DBLEND_ONE, static_cast<int>(kColourVertexFormat));
    const DWORD colour =
        static_cast<DWORD>(blue) + static_cast<DWORD>(green) * 256u + static_cast<DWORD>(red) * 65536u;
    ColourVertex vertices[4];
    FillColourVertices(visible, colour, vertices);
    FlushSpriteBatch();
    device->SetTexture(0, nullptr);
    SetStageState(D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    SetStageState(D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    // The alpha comes from the vertices too (0): what an unbound texture
    // reads as differs between devices, and one reading alpha 1 would make
    // a target with alpha opaque under the filter.
    SetStageState(D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    SetStageState(D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    const HRESULT result = device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, vertices, sizeof(ColourVertex));
    SetStageState(D3DTSS_COLORARG1, D3DTA_TEXTURE);
    SetStageState(D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    return static_cast<int>(result);
}

// Each channel's ramp rises by 256 per entry up to 256 times its level;
// full-screen screens only. Levels are not clamped: the running value is
// kept to 16 bits as it is stored.
int __stdcall ChangeGamma(int red, int green, int blue, int flags) noexcept {
    using namespace korrin;
    RECORD_POSITION(MODULE_MAIN);
    if (!screenActive || !device) return Fail("ChangeGamma: no usable screen");
    if (flags == 1) return 0;
    if (screenIsWindowed) return Fail("ChangeGamma: a windowed screen keeps the desktop's gamma");
    D3DGAMMARAMP ramp = {};
    WORD* channels[3] = {ramp.red, ramp.green, ramp.blue};
    const int levels[3] = {red, green, blue};
    for (int c = 0; c < 3; ++c) {
        const std::int64_t limit = static_cast<std::int64_t>(levels[c]) * 256;
        std::int64_t running = 0;
        for (int i = 0; i < 256; ++i) {
            if (running < limit) running += 256;
            channels[c][i] = static_cast<WORD>(running);
        }
    }
    FlushSpriteBatch();
    device->SetGammaRamp(0, D3DSGR_CALIBRATE, &ramp);
    return 0;
}

int __stdcall StartSpecialFX() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return 1;
}

int __stdcall StopSpecialFX() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return 1;
}

}  // extern "C"
