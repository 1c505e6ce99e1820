// A sprite's clip window: the part of its image that is shown, and the
// texture coordinates of that part's corners. Portable: no platform headers.
#pragma once

namespace korrin {

struct ClipWindow {
    int x, y;          // top-left inside the image
    int width, height; // size; never reaches past the image
    float corners[8];  // (u, v) of top-left, top-right, bottom-left, bottom-right
};

// The window for a request on an image of imageWidth x imageHeight: -1 for a
// size means the whole image, negative values become 0, and the window is
// clamped to the image.
ClipWindow ComputeClipWindow(int imageWidth, int imageHeight, int x, int y, int width, int height);

}  // namespace korrin
