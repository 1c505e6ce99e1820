// Drawing outputs. A Direct3D surface cannot be locked and give a device
// context at the same time, so an output alternates: asking for the device
// context gives up the pixel pointer and the other way round. The screen's
// output also gives up both whenever the library itself uses the back buffer
// (ReclaimBackBuffer), and takes them again when next asked. A sprite whose
// texture object grants a long lock (its pixel copy is system memory that
// stays put) is opened in shared mode instead: pointer and device context
// both stay valid until the output is released.
#include "render/DrawingOutput.h"

#include "frame/ErrorPosition.h"
#include "frame/LastError.h"
#include "frame/globals.h"
#include "frame/platform.h"
#include "render/DeviceState.h"
#include "sprites/Sprite.h"
#include "sprites/SpriteBatch.h"

namespace korrin {

namespace {

DrawingOutput screenOutput;  // filled by OpenScreenOutput
DrawingOutput spriteOutput;  // filled by OpenSpriteOutput
Sprite* outputSprite;        // the sprite whose output is open, or 0

// Every procedure below is called by the host between commands; each draws
// the queued sprites first, so that the pixels it hands out show them.

// ---- screen: alternating mode ---------------------------------------------

HDC __stdcall ScreenGetDC() {
    FlushSpriteBatch();
    if (!backBuffer) return nullptr;
    if (screenOutput.buffer) {
        backBuffer->UnlockRect();
        screenOutput.buffer = nullptr;
    }
    if (!screenOutput.dc && FAILED(backBuffer->GetDC(&screenOutput.dc))) screenOutput.dc = nullptr;
    return screenOutput.dc;
}

void* __stdcall ScreenGetBuffer() {
    FlushSpriteBatch();
    if (!backBuffer) return nullptr;
    if (screenOutput.dc) {
        backBuffer->ReleaseDC(screenOutput.dc);
        screenOutput.dc = nullptr;
    }
    if (!screenOutput.buffer) {
        D3DLOCKED_RECT locked;
        screenOutput.buffer = SUCCEEDED(backBuffer->LockRect(&locked, nullptr, 0)) ? locked.pBits : nullptr;
    }
    return screenOutput.buffer;
}

int __stdcall ScreenRelease() {
    FlushSpriteBatch();
    if (backBuffer && screenOutput.dc) backBuffer->ReleaseDC(screenOutput.dc);
    else if (backBuffer && screenOutput.buffer) backBuffer->UnlockRect();
    screenOutput.dc = nullptr;
    screenOutput.buffer = nullptr;
    return 0;
}

// What the library calls before it uses the back buffer itself.
void GiveUpBackBuffer() { ScreenRelease(); }

// ---- sprite ------------------------------------------------------------------

TextureObject* OutputTexture() { return outputSprite ? outputSprite->texture : nullptr; }

HDC __stdcall SpriteSharedDC() {
    FlushSpriteBatch();
    return spriteOutput.dc;
}

// GetPixel makes GDI finish what it was drawing before the memory is used.
void* __stdcall SpriteSharedBuffer() {
    FlushSpriteBatch();
    if (spriteOutput.dc) GetPixel(spriteOutput.dc, 0, 0);
    return spriteOutput.buffer;
}

HDC __stdcall SpriteAlternateDC() {
    FlushSpriteBatch();
    TextureObject* texture = OutputTexture();
    if (!texture) return nullptr;
    if (spriteOutput.buffer) {
        UnlockPixels(texture, 0);
        spriteOutput.buffer = nullptr;
    }
    if (!spriteOutput.dc) spriteOutput.dc = OpenDC(texture);
    return spriteOutput.dc;
}

void* __stdcall SpriteAlternateBuffer() {
    FlushSpriteBatch();
    TextureObject* texture = OutputTexture();
    if (!texture) return nullptr;
    if (spriteOutput.dc) {
        CloseDC(texture, 0);
        spriteOutput.dc = nullptr;
    }
    if (!spriteOutput.buffer) {
        void* bits = nullptr;
        int pitch = 0;
        if (LockPixels(texture, 0, kLockNormal, &bits, &pitch)) {
            spriteOutput.buffer = bits;
            spriteOutput.pitch = pitch;
        }
    }
    return spriteOutput.buffer;
}

// Every close is a modifying one: the texture is rebuilt from the pixels.
int __stdcall SpriteRelease() {
    FlushSpriteBatch();
    TextureObject* texture = OutputTexture();
    if (texture) {
        const bool shared = spriteOutput.dc && spriteOutput.buffer;
        if (spriteOutput.dc) CloseDC(texture, 0);
        if (shared) LockPixels(texture, 0, kLockEnd, nullptr, nullptr);
        else if (spriteOutput.buffer) UnlockPixels(texture, 0);
    }
    outputSprite = nullptr;
    spriteOutput.dc = nullptr;
    spriteOutput.buffer = nullptr;
    return 0;
}

}  // namespace


DrawingOutput* OpenScreenOutput() {
    RECORD_POSITION(MODULE_D3D9_HELPERS);
    if (!screenActive || !device || !backBuffer) {
        Fail("ScreenOutput: no usable screen");
        return nullptr;
    }
    EndSceneIfOpen();
    ScreenRelease();  // an output left open is closed first
    D3DSURFACE_DESC desc;
    D3DLOCKED_RECT locked;
    if (FAILED(backBuffer->GetDesc(&desc)) || FAILED(backBuffer->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
        Fail("ScreenOutput: the back buffer cannot be locked");
        return nullptr;
    }
    const int pitch = locked.Pitch;
    backBuffer->UnlockRect();
    if (pitch == 0) {
        Fail("ScreenOutput: the back buffer has no pitch");
        return nullptr;
    }
    screenOutput.outputType = kDrawingOutputType;
    screenOutput.pitch = pitch;
    screenOutput.width = screenWidth;
    screenOutput.height = screenHeight;
    screenOutput.bitsPerPixel = FormatBitsPerPixel(desc.Format);
    screenOutput.pixelFormat = desc.Format == D3DFMT_R5G6B5     ? kPixelFormatR5G6B5
                               : desc.Format == D3DFMT_X1R5G5B5 ? kPixelFormatX1R5G5B5
                                                                : kPixelFormat8888;
    screenOutput.release = ScreenRelease;
    SetBackBufferHolder(GiveUpBackBuffer);
    screenOutput.getDC = ScreenGetDC;
    screenOutput.getBuffer = ScreenGetBuffer;
    if (!ScreenGetDC()) {
        Fail("ScreenOutput: the back buffer gives no device context");
        return nullptr;
    }
    return &screenOutput;
}

DrawingOutput* OpenSpriteOutput(std::intptr_t number) {
    RECORD_POSITION(MODULE_TEXTURE_MANAGER);
    if (!screenActive) {
        Fail("SpriteOutput: no usable screen");
        return nullptr;
    }
    Sprite* sprite = FindSprite(number);
    if (!sprite) {
        Fail("SpriteOutput: no sprite %ld", static_cast<long>(number));
        return nullptr;
    }
    if (outputSprite) SpriteRelease();  // an output left open is closed first
    if (TextureObject* replacement = Optimize(sprite->texture, colourKeyShaderAvailable))
        sprite->texture = replacement;
    TextureObject* texture = sprite->texture;
    outputSprite = sprite;
    spriteOutput.dc = nullptr;
    spriteOutput.buffer = nullptr;

    // Shared mode when the texture object grants a long lock next to a DC.
    void* bits = nullptr;
    int pitch = 0;
    bool shared = false;
    if (LockPixels(texture, 0, kLockLong, &bits, &pitch)) {
        spriteOutput.buffer = bits;
        spriteOutput.pitch = pitch;
        spriteOutput.dc = OpenDC(texture);
        shared = spriteOutput.dc != nullptr;
        if (!shared) {
            LockPixels(texture, 0, kLockEnd, nullptr, nullptr);
            spriteOutput.buffer = nullptr;
        }
    }
    if (!shared) {
        // Learn the pitch with a short lock, then start on the DC side.
        if (LockPixels(texture, 0, kLockNormal, &bits, &pitch)) {
            spriteOutput.pitch = pitch;
            UnlockPixels(texture, 1);
        }
        spriteOutput.dc = OpenDC(texture);
        if (!spriteOutput.dc) {
            outputSprite = nullptr;
            Fail("SpriteOutput: sprite %ld gives no device context", static_cast<long>(number));
            return nullptr;
        }
    }
    spriteOutput.outputType = kDrawingOutputType;
    spriteOutput.width = GetWidth(texture);
    spriteOutput.height = GetHeight(texture);
    spriteOutput.bitsPerPixel = GetBitsPerPixel(texture);
    spriteOutput.pixelFormat = GetKind(texture) == kTextureAlpha32 ? kPixelFormat8888 : kPixelFormatX1R5G5B5;
    spriteOutput.release = SpriteRelease;
    spriteOutput.getDC = shared ? SpriteSharedDC : SpriteAlternateDC;
    spriteOutput.getBuffer = shared ? SpriteSharedBuffer : SpriteAlternateBuffer;
    return &spriteOutput;
}

}  // namespace korrin
