// Blended sprite display: the sprite quad of the plain display, drawn with a
// vertex colour and stage-0 operations that combine it with the texture, and
// blend factors that mix the result with the target. Stage 0 goes back to
// the texture's colour (and alpha) after every draw.
#include "frame/ErrorPosition.h"
#include "frame/LastError.h"
#include "frame/globals.h"
#include "korrin.h"
#include "render/DeviceState.h"
#include "render/SpriteQuad.h"
#include "sprites/Sprite.h"
#include "sprites/SpriteBatch.h"

namespace korrin {

namespace {

// What differs between the blended modes.
struct BlendMode {
    BatchMode batch;   // the batch path, which restores stage 0 after drawing
    int source, dest;  // D3DRS_SRCBLEND, D3DRS_DESTBLEND
    DWORD alphaOp;     // stage-0 D3DTSS_ALPHAOP while drawing, or 0 to leave it alone
};

constexpr BlendMode kTranslucent = {BatchMode::kTranslucent, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA,
                                    D3DTOP_MODULATE};
constexpr BlendMode kAlpha = {BatchMode::kAlpha, D3DBLEND_SRCCOLOR, D3DBLEND_INVSRCALPHA, D3DTOP_SELECTARG1};
constexpr BlendMode kSolid = {BatchMode::kSolid, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, 0};
constexpr BlendMode kShadow = {BatchMode::kShadow, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DTOP_MODULATE};

// Stage 0 back to the texture's colour and alpha, or its colour alone (the
// solid mode leaves the alpha operation as it found it), after a draw.
void RestoreStage() {
    SetStageState(D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    SetStageState(D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
}
void RestoreColour() { SetStageState(D3DTSS_COLOROP, D3DTOP_SELECTARG1); }

// Clips, sets the states unless the quad joins a batch drawn under them,
// and queues the quad with `texture` (none for null) tinted by `diffuse`;
// stage 0 is restored after it is drawn. Nothing is set when the quad is not
// visible.
void DrawBlendedQuad(const Sprite* sprite, TextureObject* texture, int x, int y, const BlendMode& mode,
                     DWORD diffuse) {
    const SpriteQuadSource source = {sprite->width,  sprite->height, sprite->imageWidth, sprite->imageHeight,
                                     sprite->corners, sprite->scaleU, sprite->scaleV};
    SpriteQuad quad;
    if (!ComputeSpriteQuad(source, x, y, targetWidth, targetHeight, &quad)) return;
    IDirect3DTexture9* drawTexture = texture ? GetDrawTexture(texture) : nullptr;
    if (!JoinsBatch(mode.batch, drawTexture)) {
        FlushSpriteBatch();
        SetBlendStates(TRUE, mode.source, mode.dest, static_cast<int>(kColouredVertexFormat));
        SetStageState(D3DTSS_COLORARG1, D3DTA_TEXTURE);
        SetStageState(D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        SetStageState(D3DTSS_COLOROP, D3DTOP_MODULATE);
        if (mode.alphaOp) SetStageState(D3DTSS_ALPHAOP, mode.alphaOp);
        device->SetTexture(0, drawTexture);
    }
    ColouredVertex vertices[4];
    FillColouredVertices(quad, diffuse, vertices);
    QueueQuad(mode.batch, drawTexture, vertices, sizeof(ColouredVertex), mode.alphaOp ? RestoreStage : RestoreColour);
}

// The opening of the modes without a colour key: the shader is unbound
// before the sprite is looked up. Null, with the reason, when there is none.
const Sprite* UnkeyedSprite(const char* command, int number) {
    if (!EnsureScene()) {
        SceneRefused(command);
        return nullptr;
    }
    UnbindColourKeyShader();
    const Sprite* sprite = FindSprite(number);
    if (!sprite) Fail("%s: no sprite %d", command, number);
    return sprite;
}

}  // namespace

}  // namespace korrin

extern "C" {

// The whole sprite at an opacity of intensity / 255 (its low 8 bits); keyed
// like DisplayTransparentSprite.
int __stdcall DisplayTranslucentSprite(int number, int x, int y, int intensity) noexcept {
    using namespace korrin;
    RECORD_POSITION(MODULE_MAIN);
    if (!EnsureScene()) return SceneRefused("DisplayTranslucentSprite");
    const Sprite* sprite = FindSprite(number);
    if (!sprite) return Fail("DisplayTranslucentSprite: no sprite %d", number);
    ApplyColourKey(sprite->texture);
    const DWORD diffuse = (static_cast<DWORD>(intensity) << 24) + 0x00FFFFFFu;
    DrawBlendedQuad(sprite, sprite->texture, x, y, kTranslucent, diffuse);
    return 0;
}

// The sprite's alpha image, tinted by alphaIntensity.
int __stdcall DisplayAlphaSprite(int number, int x, int y) noexcept {
    using namespace korrin;
    RECORD_POSITION(MODULE_MAIN);
    const Sprite* sprite = UnkeyedSprite("DisplayAlphaSprite", number);
    if (!sprite) return 0;
    DrawBlendedQuad(sprite, sprite->alphaTexture, x, y, kAlpha, alphaIntensity + 0xFF000000u);
    return 0;
}

// The sprite tinted by a Direct3D colour (blue in the low byte).
int __stdcall DisplaySolidSprite(int number, int x, int y, int colour) noexcept {
    using namespace korrin;
    RECORD_POSITION(MODULE_MAIN);
    const Sprite* sprite = UnkeyedSprite("DisplaySolidSprite", number);
    if (!sprite) return 0;
    DrawBlendedQuad(sprite, sprite->texture, x, y, kSolid, static_cast<DWORD>(colour));
    return 0;
}

// Black at half the sprite's alpha: the target darkens where the sprite is opaque.
int __stdcall DisplayShadowSprite(int number, int x, int y) noexcept {
    using namespace korrin;
    RECORD_POSITION(MODULE_MAIN);
    const Sprite* sprite = UnkeyedSprite("DisplayShadowSprite", number);
    if (!sprite) return 0;
    DrawBlendedQuad(sprite, sprite->texture, x, y, kShadow, 0x80000000u);
    return 0;
}

// The tint of DisplayAlphaSprite; channels are not clamped (one above 255
// carries into the next). Needs no screen.
int __stdcall ChangeAlphaIntensity(int red, int green, int blue) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    korrin::alphaIntensity = static_cast<DWORD>(blue) + static_cast<DWORD>(green) * 256u +
                             static_cast<DWORD>(red) * 65536u;
    return 0;
}

}  // extern "C"
