// A sprite's clip window.
#include "sprites/ClipWindow.h"

namespace korrin {

ClipWindow ComputeClipWindow(int imageWidth, int imageHeight, int x, int y, int width, int height) {
    if (width == -1) width = imageWidth;
    if (height == -1) height = imageHeight;
    if (x < 0) x = 0;
    if (y < 0) y = 0;
    if (width < 0) width = 0;
    if (height < 0) height = 0;
    if (x > imageWidth) x = imageWidth;
    if (y > imageHeight) y = imageHeight;
    // Compared without forming x + width, which could overflow.
    if (width > imageWidth - x) width = imageWidth - x;
    if (height > imageHeight - y) height = imageHeight - y;

    const double w = imageWidth, h = imageHeight;
    const double left = x / w, right = (x + width) / w, top = y / h, bottom = (y + height) / h;
    ClipWindow clip = {x, y, width, height, {}};
    const double corners[8] = {left, top, right, top, left, bottom, right, bottom};
    for (int i = 0; i < 8; ++i) clip.corners[i] = static_cast<float>(corners[i]);
    return clip;
}

}  // namespace korrin
