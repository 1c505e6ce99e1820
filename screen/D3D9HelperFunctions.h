// Direct3D bootstrap: loading Direct3D 9, the display-mode list, and format sizes.
#pragma once

#include <d3d9.h>

namespace korrin {

// Bits per pixel of a Direct3D format; 0 for formats the library does not use.
int FormatBitsPerPixel(D3DFORMAT format);

// InitSprite's work: Direct3D, the colour-key table, the sprite registry and
// the mode list. Returns d3d, or null with nothing left behind.
IDirect3D9* StartDirect3D();

}  // namespace korrin
