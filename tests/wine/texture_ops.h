// A sprite's texture object as a host program sees it: the public header's
// KorrinTextureObject, whose first field points to the table of 16 stdcall
// operations that hosts call by position.
#pragma once

#include <windows.h>
#include <d3d9.h>

#include "host.h"
#include "korrin.h"

inline const KorrinTextureInterface& Ops(const KorrinTextureObject* texture) { return *texture->operations; }

// The texture object of a sprite, through SpriteID.
inline KorrinTextureObject* TextureOf(int sprite) { return host::Call<KorrinTextureObject*>("SpriteID", sprite); }
