// Plain and transparent sprite display: one pre-transformed quad per sprite,
// clipped to the drawing target, drawn 1:1.
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

// Quad steps shared by the display commands: clip, then queue the quad with
// the texture. `states` sets the cached render states once the quad is known
// to be visible, unless the quad joins a batch drawn under them already.
template <class SetStates>
int DrawSpriteQuad(const Sprite* sprite, TextureObject* texture, int x, int y, BatchMode mode, SetStates states) {
    const SpriteQuadSource source = {sprite->width,  sprite->height, sprite->imageWidth, sprite->imageHeight,
                                     sprite->corners, sprite->scaleU, sprite->scaleV};
    SpriteQuad quad;
    if (!ComputeSpriteQuad(source, x, y, targetWidth, targetHeight, &quad)) return 0;
    IDirect3DTexture9* drawTexture = GetDrawTexture(texture);
    if (!JoinsBatch(mode, drawTexture)) {
        FlushSpriteBatch();
        states();
        device->SetTexture(0, drawTexture);
    }
    PlainVertex vertices[4];
    FillPlainVertices(quad, vertices);
    return static_cast<int>(QueueQuad(mode, drawTexture, vertices, sizeof(PlainVertex)));
}

}  // namespace

}  // namespace korrin

extern "C" {

// An opaque copy: every pixel of the displayed part, the transparent colour included.
int __stdcall DisplaySprite(int number, int x, int y) noexcept {
    using namespace korrin;
    RECORD_POSITION(MODULE_MAIN);
    if (!EnsureScene()) return SceneRefused("DisplaySprite");
    UnbindColourKeyShader();
    const Sprite* sprite = FindSprite(number);
    if (!sprite) return Fail("DisplaySprite: no sprite %d", number);
    return DrawSpriteQuad(sprite, sprite->texture, x, y, BatchMode::kPlain, [] {
        SetBlendStates(TRUE, D3DBLEND_ONE, D3DBLEND_ZERO, kPlainVertexFormat);
    });
}

// Pixels of the sprite's transparent colour are left out: by the texture's
// alpha bit, or by the colour-key shader for render-target textures.
int __stdcall DisplayTransparentSprite(int number, int x, int y) noexcept {
    using namespace korrin;
    RECORD_POSITION(MODULE_MAIN);
    if (!EnsureScene()) return SceneRefused("DisplayTransparentSprite");
    const Sprite* sprite = FindSprite(number);
    if (!sprite) return Fail("DisplayTransparentSprite: no sprite %d", number);
    ApplyColourKey(sprite->texture);
    return DrawSpriteQuad(sprite, sprite->texture, x, y, BatchMode::kTransparent, [] {
        SetBlendStates(TRUE, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, kPlainVertexFormat);
    });
}

}  // extern "C"
