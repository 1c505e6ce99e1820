// The drawing target's changes, sprite copies and grabs. A sprite becomes the
// target through its texture object's render-target surface; what is drawn
// into it reaches the sprite's pixel copy when the target changes
// (FinishRendering). The target's check and reset are the device state's.
// A 32-bit sprite is drawn into with its alpha: see SetTargetAlphaBlend.
#include "render/SpriteCopy.h"

#include <cstdint>

#include "frame/ErrorPosition.h"
#include "frame/LastError.h"
#include "render/DeviceState.h"
#include "sprites/Sprite.h"
#include "sprites/SpriteBatch.h"

namespace korrin {

namespace {

// Makes the sprite under `number` w x h of these flags, keeping a live one
// that already matches (`matches`); the sprite, or null. A handle that does
// not match is refused with its sprite left alone: a new sprite could not
// live under it.
template <class Matches>
Sprite* MatchingSprite(ObjectNumber number, int width, int height, int flags, Matches matches) {
    Sprite* sprite = FindSprite(number);
    if (sprite && matches(sprite)) return sprite;
    return CreateSpriteRecord(number, width, height, flags);
}

// The whole image of one texture object into another through their DCs; the
// destination is closed as modified even when the copy fails.
bool CopyImage(TextureObject* from, TextureObject* to, int width, int height) {
    const TextureDC fromDC(from, TextureDC::kReadOnly);
    const TextureDC toDC(fromDC ? to : nullptr, TextureDC::kModified);
    return toDC && BitBlt(toDC, 0, 0, width, height, fromDC, 0, 0, SRCCOPY);
}

}  // namespace

int UseBuffer(ObjectNumber number) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    if (!device) return Fail("UseBuffer: no screen is open");
    CheckDrawTarget();
    if (number == currentBuffer) return 1;
    FlushSpriteBatch();  // what was queued is drawn into the target it was meant for
    if (currentBuffer != -1) FinishRendering(FindSprite(currentBuffer)->texture);
    if (number == -1) return SUCCEEDED(ResetDrawTarget()) ? 1 : Fail("UseBuffer: the back buffer cannot be the target");

    Sprite* sprite = FindSprite(number);
    if (!sprite) return Fail("UseBuffer: no sprite %ld", static_cast<long>(number));
    if (TextureObject* replacement = Optimize(sprite->texture, colourKeyShaderAvailable)) sprite->texture = replacement;
    IDirect3DSurface9* surface = GetRenderTarget(sprite->texture);
    if (!surface || FAILED(device->SetRenderTarget(0, surface)))
        return Fail("UseBuffer: sprite %ld cannot be drawn into", static_cast<long>(number));
    SetTargetAlphaBlend(GetKind(sprite->texture) == kTextureAlpha32);
    currentBuffer = number;
    targetSurface = surface;
    targetWidth = sprite->imageWidth;
    targetHeight = sprite->imageHeight;
    return 1;
}

ObjectNumber CopySprite(ObjectNumber source, ObjectNumber destination, int flags) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    Sprite* from = FindSprite(source);
    if (!from) return Fail("CopySprite2: no sprite %ld", static_cast<long>(source));
    if (flags == kSpriteAlpha && from->flags != kSpriteAlpha)
        return Fail("CopySprite2: flags 2 copy alpha sprites, and sprite %ld is none", static_cast<long>(source));
    const int width = from->imageWidth, height = from->imageHeight;
    auto matches = [&](const Sprite* s) {
        return s->flags == flags && s->imageWidth == width && s->imageHeight == height;
    };
    // A sprite copied onto itself is already its copy; remaking it would free the source.
    if (FindSprite(destination) == from)
        return matches(from) ? CreationResult(destination, from, from->texture)
                             : Fail("CopySprite2: sprite %ld cannot be remade from itself", static_cast<long>(source));

    Sprite* to = FindSprite(destination);
    const bool made = !(to && matches(to));
    to = MatchingSprite(destination, width, height, flags, matches);
    if (!to) return FailIn("CopySprite2");
    from = FindSprite(source);  // making a sprite may have moved the records
    if (made && flags == kSpriteAlpha) to->alphaTexture = CreateTexture(device, width, height, kTextureAlpha32, 0);

    if (!CopyImage(from->texture, to->texture, width, height)) return Fail("CopySprite2: the pixels cannot be copied");
    if (from->alphaTexture && to->alphaTexture && !CopyImage(from->alphaTexture, to->alphaTexture, width, height))
        return Fail("CopySprite2: the alpha image cannot be copied");
    return CreationResult(destination, to, to->texture);
}

// The rectangle is checked in 64 bits, so no x + width overflows. A sprite
// target is brought up to date (FinishRendering) before it is read, so the
// grab shows what was drawn into it, as the ended scene does for the back buffer.
ObjectNumber GrabSprite(ObjectNumber number, int x, int y, int width, int height, int flags) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    if (!device) return Fail("GrabSprite2: no screen is open");
    CheckDrawTarget();
    if (flags == kSpriteAlpha) return Fail("GrabSprite2: flags 2 (an alpha sprite) need an image");
    if (width <= 0 || height <= 0 || x < 0 || y < 0 || static_cast<std::int64_t>(x) + width > targetWidth ||
        static_cast<std::int64_t>(y) + height > targetHeight)
        return Fail("GrabSprite2: %dx%d at (%d, %d) is not inside the %dx%d target", width, height, x, y, targetWidth,
                    targetHeight);

    const int depth = (flags & kSprite32Bit) ? 32 : 16;
    auto matches = [&](const Sprite* s) { return s->width == width && s->height == height && s->depth == depth; };
    const Sprite* existing = FindSprite(number);
    const bool kept = existing && matches(existing);
    Sprite* sprite = MatchingSprite(number, width, height, flags, matches);
    if (!sprite) return FailIn("GrabSprite2");
    if (kept) {
        if (TextureObject* replacement = Optimize(sprite->texture, colourKeyShaderAvailable))
            sprite->texture = replacement;
    }
    EndSceneIfOpen();  // GDI sees the finished drawing
    // Remaking the grabbed sprite may have freed the target sprite itself:
    // then there is nothing to grab from.
    const bool fromSprite = currentBuffer != -1;
    CheckDrawTarget();
    if (fromSprite && currentBuffer == -1) return Fail("GrabSprite2: remaking the sprite freed the target");

    // The source: the target sprite's pixel copy, or the back buffer.
    TextureObject* sourceTexture = nullptr;
    if (currentBuffer != -1) {
        sourceTexture = FindSprite(currentBuffer)->texture;
        FinishRendering(sourceTexture);
    }
    const TextureDC targetDC(sourceTexture, TextureDC::kReadOnly);
    const SurfaceDC backBufferDC(sourceTexture ? nullptr : backBuffer);
    const HDC sourceDC = sourceTexture ? static_cast<HDC>(targetDC) : static_cast<HDC>(backBufferDC);
    if (!sourceDC) return Fail("GrabSprite2: the target cannot be read");

    const TextureDC dc(sprite->texture, TextureDC::kModified);
    const bool copied = dc && BitBlt(dc, 0, 0, width, height, sourceDC, x, y, SRCCOPY);
    return copied ? CreationResult(number, sprite, sprite->texture) : Fail("GrabSprite2: the pixels cannot be copied");
}

}  // namespace korrin
