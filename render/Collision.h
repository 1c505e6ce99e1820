// Sprite collision arithmetic: rectangle overlap and the scan for a pixel
// that is solid in two 16-bit images. Positions are the display commands'
// (the clip window's top-left lands at (x, y)); every far edge is formed in
// 64 bits, so any int position and size is safe. Portable: no platform headers.
#pragma once

#include <cstddef>
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

// One image's solid pixels, a bit each: bit x % 32 of word y * wordsPerRow +
// x / 32 is set when pixel (x, y) of the image is solid. Every row ends in a
// spare zero word, so that 32 bits can be read from any column of it.
struct SolidMask {
    int width, height;    // the whole image's size
    int wordsPerRow;      // (width + 31) / 32 + 1
    std::uint32_t* bits;  // height * wordsPerRow words
};

// The words a mask of an image of this size needs (0 for an empty size).
std::size_t SolidMaskWords(int width, int height);

// Fills `mask` (its size fields, and `bits`, which must hold SolidMaskWords)
// from a whole 16-bit image: a word other than `key` is solid.
void BuildSolidMask(const std::uint8_t* pixels, int pitch, int width, int height, std::uint16_t key,
                    SolidMask* mask);

// A mask as one display places it: the clip window shown, as in CollisionImage.
struct MaskPlacement {
    const SolidMask* mask;
    int width, height;  // display size (the clip window's)
    int clipX, clipY;   // the clip window's top-left within the image
};

// PixelsCollide on masks: the same answer, 32 pixels at a time.
bool MasksCollide(const MaskPlacement& first, int x1, int y1, const MaskPlacement& second, int x2, int y2,
                  const CollisionRect& overlap);

}  // namespace korrin
