// 3D sprite internals: the registry, creation and release, and drawing with
// the device states it needs.
#include "sprite3d/Sprite3D.h"

#include "frame/ErrorPosition.h"
#include "frame/LastError.h"
#include "frame/globals.h"
#include "render/DeviceState.h"
#include "sprites/Sprite.h"
#include "sprites/SpriteBatch.h"
#include "sprites/TextureManager.h"

namespace korrin {

namespace {

constexpr std::int32_t kSprite3DGrowth = 128;

// A 3D sprite shares its source sprite's texture object without owning it.
// The record's spare field keeps the source sprite's number (or handle; both
// are 32-bit on the target), and a draw goes ahead only while that sprite is
// alive and still holds the very texture object the 3D sprite was made from.
// Freeing the sprite, closing the screen (which frees every sprite) or a
// texture replaced by Optimize therefore all stop the 3D sprite from drawing,
// without any bookkeeping on the sprite side.
ObjectNumber SourceOf(const Sprite3D* sprite) { return static_cast<ObjectNumber>(sprite->reserved); }

TextureObject* LiveTexture(const Sprite3D* sprite) {
    const Sprite* source = FindSprite(SourceOf(sprite));
    if (source == nullptr || source->texture != sprite->texture) return nullptr;
    return sprite->texture;
}

void SetFilters(int quality) {
    FlushSpriteBatch();
    const DWORD filter = quality == 0 ? D3DTEXF_POINT : D3DTEXF_LINEAR;
    SetTextureFilter(filter);
}

}  // namespace

// The records own nothing, so destroying the old registry frees all there is.
bool MakeSprite3DRegistry() {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    ObjectRegistry* made = CreateRegistry(sizeof(Sprite3D), kSprite3DGrowth, nullptr);
    if (made == nullptr) return false;
    if (sprite3DRegistry) DestroyRegistry(sprite3DRegistry);
    sprite3DRegistry = made;
    sprite3DSrcBlend = D3DBLEND_SRCALPHA;
    sprite3DDestBlend = D3DBLEND_INVSRCALPHA;
    return true;
}

Sprite3D* FindSprite3D(ObjectNumber number) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    if (sprite3DRegistry == nullptr) return nullptr;
    return static_cast<Sprite3D*>(GetObject(sprite3DRegistry, number));
}

ObjectNumber MakeSprite3D(ObjectNumber number, ObjectNumber spriteNumber) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    if (sprite3DRegistry == nullptr) return NoteFailure("no 3D sprites before InitSprite3D");
    const Sprite* source = FindSprite(spriteNumber);
    if (source == nullptr || source->texture == nullptr)
        return NoteFailure("no sprite %ld", static_cast<long>(spriteNumber));
    TextureObject* texture = source->texture;
    auto* sprite = static_cast<Sprite3D*>(AllocateObject(sprite3DRegistry, number));
    if (sprite == nullptr)
        return NoteFailure("%ld is not a number to create a 3D sprite under", static_cast<long>(number));
    SetUpSprite3D(sprite, texture, GetWidth(texture), GetHeight(texture));
    sprite->reserved = static_cast<std::int32_t>(spriteNumber);
    return CreationResult(number, sprite, texture);
}

int ReleaseSprite3D(ObjectNumber number) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    if (FindSprite3D(number) == nullptr) return 0;
    return FreeObject(sprite3DRegistry, number);
}

int BeginSprite3DStates() {
    RECORD_POSITION(MODULE_D3D9_INC);
    if (device == nullptr || !screenActive) return NoteFailure("no usable screen");
    if (!EnsureScene()) return NoteFailure("the device cannot begin a scene");
    if (!ForceAlphaBlend(TRUE) || !ForceVertexFormat(static_cast<int>(kSprite3DVertexFormat)) ||
        !ForceSourceBlend(sprite3DSrcBlend) || !ForceDestBlend(sprite3DDestBlend))
        return NoteFailure("the device refused the 3D blending states");
    FlushSpriteBatch();
    device->SetSoftwareVertexProcessing(TRUE);
    SetStageState(D3DTSS_COLORARG1, D3DTA_TEXTURE);
    SetStageState(D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    SetStageState(D3DTSS_COLOROP, D3DTOP_MODULATE);
    SetStageState(D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    SetFilters(sprite3DQuality);
    return 1;
}

int EndSprite3DStates() {
    RECORD_POSITION(MODULE_D3D9_INC);
    if (!screenActive || device == nullptr) return 0;
    FlushSpriteBatch();
    SetStageState(D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    SetStageState(D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetSoftwareVertexProcessing(FALSE);
    return 1;
}

// Queues the record's drawn corners; consecutive 3D sprites of one texture
// share a draw call. A 3D sprite whose source sprite is gone, or holds
// another texture now, draws nothing.
int DrawSprite3D(ObjectNumber number, int x, int y, int alpha) {
    RECORD_POSITION(MODULE_D3D9_INC);
    if (!screenActive || device == nullptr) return Fail("DisplaySprite3D2: no usable screen");
    CheckDrawTarget();
    Sprite3D* sprite = FindSprite3D(number);
    if (sprite == nullptr) return Fail("DisplaySprite3D2: no 3D sprite %ld", static_cast<long>(number));
    TextureObject* texture = LiveTexture(sprite);
    if (texture == nullptr)
        return Fail("DisplaySprite3D2: the sprite that 3D sprite %ld was made from is gone", static_cast<long>(number));
    IDirect3DTexture9* drawTexture = GetDrawTexture(texture);
    if (drawTexture == nullptr) return Fail("DisplaySprite3D2: the texture cannot be brought up to date");
    ApplyColourKey(texture);
    const Sprite3DVertex* vertices = BuildSprite3DVertices(sprite, x, y, alpha);
    if (!JoinsBatch(BatchMode::kSprite3D, drawTexture)) {
        FlushSpriteBatch();
        device->SetTexture(0, drawTexture);
    }
    return static_cast<int>(QueueQuad(BatchMode::kSprite3D, drawTexture, vertices, sizeof(Sprite3DVertex)));
}

int SetSprite3DBlending(int source, int dest) {
    RECORD_POSITION(MODULE_D3D9_INC);
    if (device == nullptr) return NoteFailure("no screen is open");
    // The factors stand for later Start3D calls even when the device refuses them.
    sprite3DSrcBlend = source;
    sprite3DDestBlend = dest;
    if (ForceSourceBlend(source) && ForceDestBlend(dest)) return 1;
    return NoteFailure("the device refused %d, %d", source, dest);
}

int SetSprite3DQuality(int quality) {
    RECORD_POSITION(MODULE_D3D9_INC);
    if (!screenActive || device == nullptr) return 0;
    if (quality == sprite3DQuality) return 1;
    sprite3DQuality = quality;
    SetFilters(quality);
    return 1;
}

}  // namespace korrin
