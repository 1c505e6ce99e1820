// What every display command shares: the lazily opened scene, the render-state
// cache (each cached state is set on the device only when it changes) and the
// colour-key shader's binding.
#pragma once

#include <windows.h>
#include <d3d9.h>

#include "sprites/TextureManager.h"

namespace korrin {

extern int colourKeyShaderBound;  // the colour-key shader is set on the device; display commands
extern DWORD colourKeyShaderKey;  // host RGB last loaded into the shader's constant; display commands

// The common opening of every display command: false while the screen is
// inactive or when BeginScene fails; opens the scene once per frame.
bool EnsureScene();

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

// Unbinds the colour-key shader when it is bound.
void UnbindColourKeyShader();

// For a render-target texture, binds the colour-key shader and loads its key
// (when the shader exists); for any other texture, unbinds it.
void ApplyColourKey(TextureObject* texture);

}  // namespace korrin
