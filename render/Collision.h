// Sprite collision arithmetic: rectangle overlap and the scan for a pixel
// that is solid in two 16-bit images. Positions are the display commands'
// (the clip window's top-left lands at (x, y)); every far edge is formed in
// 64 bits, so any int position and size is safe. Portable: no platform headers.
#pragma once

#include <cstdint>

namespace korrin {

// A rectangle of target positions; right and bottom exclusive, in 64 bits.
struct CollisionRect {
    std::int64_t left, top, right, bottom;
};

// The overlap of two rectangles given by position and size; false when it
// is empty (a zero or negative size included).
bool OverlapRect(int x1, int y1, int width1, int height1, int x2, int y2, int width2, int height2,
                 CollisionRect* overlap);

// One sprite's 16-bit pixels as the scan reads them.
struct CollisionImage {
    const std::uint8_t* pixels;  // top-left pixel of the whole image
    int pitch;                   // bytes from one row to the next
    int width, height;           // display size (the clip window's)
    int clipX, clipY;            // the clip window's top-left within the image
    std::uint16_t key;           // the transparent word; every other word is solid
};

// True when some target pixel inside `overlap` is solid in both images, the
// first image at (x1, y1) and the second at (x2, y2). Scans rows top to
// bottom, left to right, and stops at the first such pixel. `overlap` must
// lie inside both placed clip windows (as OverlapRect gives it).
bool PixelsCollide(const CollisionImage& first, int x1, int y1, const CollisionImage& second, int x2, int y2,
                   const CollisionRect& overlap);

}  // namespace korrin
