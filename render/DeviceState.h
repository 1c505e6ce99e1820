// The device state that every drawing command shares, in one place: the
// lazily opened scene, the drawing target's check, the render-state cache
// (each cached state reaches the device only when it changes), and the
// colour-key shader with its binding.
// Screens, presentation, drawing outputs, the 2D display commands and the 3D
// sprites all go through these operations; none of them calls BeginScene,
// EndScene, SetPixelShader or a cached state on the device by itself.
// The state lives in frame/globals.h.
#pragma once

#include <windows.h>
#include <d3d9.h>

#include "frame/globals.h"
#include "sprites/TextureManager.h"

namespace korrin {

// --- the scene ---------------------------------------------------------------

// The common opening of every display command: false while the screen is
// inactive or when BeginScene fails; opens the scene once per frame. A
// drawing target whose sprite is gone gives way to the back buffer first.
bool EnsureScene();

// Records why EnsureScene refused, for `command`; returns 0.
int SceneRefused(const char* command);

// Ends the scene when one is open and clears inScene.
void EndSceneIfOpen();

// Whoever holds the back buffer locked or with a device context out (an open
// screen output) names how it gives it up; ReclaimBackBuffer calls that.
// Run before the library draws, clears, ends the scene or presents (EnsureScene
// and EndSceneIfOpen do): Direct3D may refuse all of these on a locked back
// buffer or one whose DC is out. The holder takes it again when next asked.
void SetBackBufferHolder(void (*giveUp)());
void ReclaimBackBuffer();

// --- the drawing target ----------------------------------------------------------

// A sprite target whose sprite was freed, or whose texture no longer holds
// the surface the device draws into, gives way to the back buffer: nothing
// is ever drawn into a surface its sprite has let go of.
void ReviewDrawTarget();
inline void CheckDrawTarget() {
    if (currentBuffer != -1) ReviewDrawTarget();
}

// The back buffer as the target, on the device when there is one; a device
// reset puts the device back on the back buffer, and so does the library.
HRESULT ResetDrawTarget();

// --- the render-state cache ----------------------------------------------------

// The four cached states: compare, store, call.
void SetAlphaBlend(int enable);
void SetSourceBlend(int blend);
void SetDestBlend(int blend);
void SetVertexFormat(int format);
inline void SetBlendStates(int enable, int source, int dest, int format) {
    SetAlphaBlend(enable);
    SetSourceBlend(source);
    SetDestBlend(dest);
    SetVertexFormat(format);
}

// Drawing into a target with alpha (a 32-bit sprite) blends the target's
// alpha as "over" whatever the colour factors: source alpha plus target alpha
// times one minus source alpha, where the device blends alpha separately.
// Cached like the states above; set when the drawing target changes.
void SetTargetAlphaBlend(int enable);

// Stage 0's colour operation, colour arguments, alpha operation and first
// alpha argument, and the sampler's filter (magnification and minification
// alike): compare, store, call, as above. Other stage states go to the
// device as they are.
void SetStageState(D3DTEXTURESTAGESTATETYPE type, DWORD value);
void SetTextureFilter(DWORD filter);

// The blend states and the vertex format set on the device whatever the
// cache holds; false when the device refused. The cache records a value only
// once the device took it: a refused call leaves the entry unknown, so the
// next cached set makes the call.
bool ForceAlphaBlend(int enable);
bool ForceSourceBlend(int blend);
bool ForceDestBlend(int blend);
bool ForceVertexFormat(int format);

// A new device: it starts from Direct3D's defaults, outside a scene, with no
// shader bound and zero shader constants; the stage and filter entries are
// unknown until first set.
void InvalidateDeviceState();

// After a device reset: blending on with the alpha factors and the coloured
// vertex format, set and cached; the stage and filter entries and the shader
// binding are forgotten, since a reset drops them and the constants.
void RestoreDeviceState();

// --- the colour-key shader -------------------------------------------------------

// Creates colourKeyShader on a device with pixel shader 1.4 or later and sets
// colourKeyShaderAvailable; false when no shader was made.
bool CreateColourKeyShader();

// Releases the shader with the device that made it.
void ReleaseColourKeyShader();

// Unbinds the colour-key shader when it is bound.
void UnbindColourKeyShader();

// For a render-target texture, binds the colour-key shader and loads its key
// (when the shader exists); for any other texture, unbinds it.
void ApplyColourKey(TextureObject* texture);

}  // namespace korrin
