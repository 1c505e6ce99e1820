// 3D sprites: the registry, the shaping operations on records and the device
// states and draw call around them. The arithmetic lives in Sprite3DMath.
#pragma once

#include <windows.h>

#include "frame/ObjectManager.h"
#include "sprite3d/Sprite3DMath.h"

namespace korrin {

// A new, empty registry (the previous one and its records are freed); false,
// with the previous registry kept, when it cannot be made.
bool MakeSprite3DRegistry();

// The live 3D sprite under a number or handle, or null (also without a registry).
Sprite3D* FindSprite3D(ObjectNumber number);

// Makes a 3D sprite from a sprite; for -1 the new handle, otherwise the shared
// texture object; 0 on failure, which NoteFailure explains (as it does for
// BeginSprite3DStates and SetSprite3DBlending).
ObjectNumber MakeSprite3D(ObjectNumber number, ObjectNumber spriteNumber);

int ReleaseSprite3D(ObjectNumber number);

int BeginSprite3DStates();
int EndSprite3DStates();
int DrawSprite3D(ObjectNumber number, int x, int y, int alpha);
int SetSprite3DBlending(int source, int dest);
int SetSprite3DQuality(int quality);

}  // namespace korrin
