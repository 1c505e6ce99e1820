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

// 32 bits of a mask row from bit `start` on; the row's spare word makes the
// second read safe at its end.
std::uint32_t Bits32(const std::uint32_t* row, std::int64_t start) {
    const std::int64_t word = start >> 5;
    const int shift = static_cast<int>(start & 31);
    const std::uint32_t low = row[word] >> shift;
    return shift ? low | (row[word + 1] << (32 - shift)) : low;
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

std::size_t SolidMaskWords(int width, int height) {
    if (width <= 0 || height <= 0) return 0;
    return static_cast<std::size_t>(height) * static_cast<std::size_t>((width + 31) / 32 + 1);
}

void BuildSolidMask(const std::uint8_t* pixels, int pitch, int width, int height, std::uint16_t key,
                    SolidMask* mask) {
    mask->width = width;
    mask->height = height;
    mask->wordsPerRow = (width + 31) / 32 + 1;
    for (int y = 0; y < height; ++y) {
        const auto* words = reinterpret_cast<const std::uint16_t*>(pixels + static_cast<std::ptrdiff_t>(y) * pitch);
        std::uint32_t* row = mask->bits + static_cast<std::size_t>(y) * mask->wordsPerRow;
        for (int w = 0; w < mask->wordsPerRow; ++w) row[w] = 0;
        for (int x = 0; x < width; ++x)
            row[x >> 5] |= static_cast<std::uint32_t>(words[x] != key) << (x & 31);
    }
}

bool MasksCollide(const MaskPlacement& first, int x1, int y1, const MaskPlacement& second, int x2, int y2,
                  const CollisionRect& overlap) {
    const std::int64_t count = overlap.right - overlap.left;
    const std::int64_t startA = overlap.left - x1 + first.clipX, startB = overlap.left - x2 + second.clipX;
    const std::int64_t rowA = overlap.top - y1 + first.clipY, rowB = overlap.top - y2 + second.clipY;
    for (std::int64_t r = 0; r < overlap.bottom - overlap.top; ++r) {
        const std::uint32_t* a = first.mask->bits + (rowA + r) * first.mask->wordsPerRow;
        const std::uint32_t* b = second.mask->bits + (rowB + r) * second.mask->wordsPerRow;
        for (std::int64_t c = 0; c < count; c += 32) {
            std::uint32_t both = Bits32(a, startA + c) & Bits32(b, startB + c);
            if (count - c < 32) both &= (1u << (count - c)) - 1;
            if (both) return true;
        }
    }
    return false;
}

}  // namespace korrin
