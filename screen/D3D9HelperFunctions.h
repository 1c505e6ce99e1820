// Direct3D bootstrap: loading Direct3D 9 and the display-mode list.
#pragma once

#include <d3d9.h>

namespace korrin {

// InitSprite's work: Direct3D, the colour-key table, the sprite registry and
// the mode list. Returns d3d, or null with nothing left behind.
IDirect3D9* StartDirect3D();

}  // namespace korrin
