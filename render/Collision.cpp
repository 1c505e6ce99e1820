// Rectangle overlap and the solid-pixel scan.
#include "render/Collision.h"

namespace korrin {

namespace {

std::int64_t Max64(std::int64_t a, std::int64_t b) { return a > b ? a : b; }
std::int64_t Min64(std::int64_t a, std::int64_t b) { return a < b ? a : b; }

// The address of the word under target position (x, y) for an image placed
// at (left, top); the position lies inside the placed clip window.
const std::uint8_t* At(const CollisionImage& image, int left, int top, std::int64_t x, std::int64_t y) {
    const std::int64_t column = x - left + image.clipX;
    const std::int64_t row = y - top + image.clipY;
    return image.pixels + row * image.pitch + column * 2;
}

// True when some pixel of the two rows is solid in both; whole words are
// compared with the keys.
bool RowsCollide(const std::uint8_t* a, const std::uint8_t* b, int count, std::uint16_t keyA, std::uint16_t keyB) {
    const auto* wordsA = reinterpret_cast<const std::uint16_t*>(a);
    const auto* wordsB = reinterpret_cast<const std::uint16_t*>(b);
    for (int i = 0; i < count; ++i)
        if (wordsA[i] != keyA && wordsB[i] != keyB) return true;
    return false;
}

}  // namespace

bool OverlapRect(int x1, int y1, int width1, int height1, int x2, int y2, int width2, int height2,
                 CollisionRect* overlap) {
    if (overlap == nullptr) return false;
    *overlap = CollisionRect{0, 0, 0, 0};
    if (width1 <= 0 || height1 <= 0 || width2 <= 0 || height2 <= 0) return false;
    const CollisionRect r = {Max64(x1, x2), Max64(y1, y2),
                             Min64(static_cast<std::int64_t>(x1) + width1, static_cast<std::int64_t>(x2) + width2),
                             Min64(static_cast<std::int64_t>(y1) + height1, static_cast<std::int64_t>(y2) + height2)};
    if (r.left >= r.right || r.top >= r.bottom) return false;
    *overlap = r;
    return true;
}

// The overlap lies inside both clip windows, so its width and height fit an
// int and every offset below is within the images.
bool PixelsCollide(const CollisionImage& first, int x1, int y1, const CollisionImage& second, int x2, int y2,
                   const CollisionRect& overlap) {
    const int count = static_cast<int>(overlap.right - overlap.left);
    const int rows = static_cast<int>(overlap.bottom - overlap.top);
    const std::uint8_t* a = At(first, x1, y1, overlap.left, overlap.top);
    const std::uint8_t* b = At(second, x2, y2, overlap.left, overlap.top);
    for (int row = 0; row < rows; ++row, a += first.pitch, b += second.pitch)
        if (RowsCollide(a, b, count, first.key, second.key)) return true;
    return false;
}

}  // namespace korrin
