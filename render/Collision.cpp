// Rectangle overlap and the solid-pixel scan.
#include "render/Collision.h"

namespace korrin {

namespace {

std::int64_t Max64(std::int64_t a, std::int64_t b) { return a > b ? a : b; }
std::int64_t Min64(std::int64_t a, std::int64_t b) { return a < b ? a : b; }

// The address of the word under target position (x, y) for an image placed
// at (left, top); the position lies inside the placed clip window.
const std::uint16_t* WordAt(const CollisionImage& image, int left, int top, std::int64_t x, std::int64_t y) {
    const std::int64_t column = x - left + image.clipX;
    const std::int64_t row = y - top + image.clipY;
    return reinterpret_cast<const std::uint16_t*>(image.pixels + row * image.pitch + column * 2);
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

// The inner loop compares whole words; the rows of both images are walked
// with plain pointers, so the scan costs what a loop over two buffers does.
bool PixelsCollide(const CollisionImage& first, int x1, int y1, const CollisionImage& second, int x2, int y2,
                   const CollisionRect& overlap) {
    const std::int64_t count = overlap.right - overlap.left;
    const std::uint16_t key1 = first.key, key2 = second.key;
    for (std::int64_t y = overlap.top; y < overlap.bottom; ++y) {
        const std::uint16_t* a = WordAt(first, x1, y1, overlap.left, y);
        const std::uint16_t* b = WordAt(second, x2, y2, overlap.left, y);
        for (std::int64_t i = 0; i < count; ++i)
            if (a[i] != key1 && b[i] != key2) return true;
    }
    return false;
}

}  // namespace korrin
