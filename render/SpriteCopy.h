// Filling sprites from existing pixels: the drawing target (the back buffer,
// or a sprite that the display commands draw into), copies of whole sprites,
// and grabs of a rectangle of the drawing target.
#pragma once

#include "frame/ObjectManager.h"

namespace korrin {

// Makes sprite n (or the back buffer for -1) the drawing target; 1 or 0.
int UseBuffer(ObjectNumber number);

// Copies a whole sprite into another (made or remade when it does not match);
// for -1 the new sprite's handle, else the destination's texture object; 0 on failure.
ObjectNumber CopySprite(ObjectNumber source, ObjectNumber destination, int flags);

// Copies a rectangle of the drawing target into a sprite; results as CopySprite.
ObjectNumber GrabSprite(ObjectNumber number, int x, int y, int width, int height, int flags);

}  // namespace korrin
