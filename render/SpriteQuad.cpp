// The sprite quad: clipping, corner positions and texture coordinates.
#include "render/SpriteQuad.h"

namespace korrin {

namespace {

std::int64_t Max64(std::int64_t a, std::int64_t b) { return a > b ? a : b; }
std::int64_t Min64(std::int64_t a, std::int64_t b) { return a < b ? a : b; }

// Position of a pixel edge as a pre-transformed vertex coordinate.
float EdgePosition(int edge) { return static_cast<float>(edge) + kPixelCentreOffset; }

}  // namespace

bool ClipToTarget(int x, int y, int width, int height, int targetWidth, int targetHeight, PixelRect* visible) {
    if (visible == nullptr) return false;
    *visible = PixelRect{0, 0, 0, 0};
    if (width <= 0 || height <= 0 || targetWidth <= 0 || targetHeight <= 0) return false;
    const std::int64_t left = Max64(x, 0);
    const std::int64_t top = Max64(y, 0);
    const std::int64_t right = Min64(static_cast<std::int64_t>(x) + width, targetWidth);
    const std::int64_t bottom = Min64(static_cast<std::int64_t>(y) + height, targetHeight);
    if (left >= right || top >= bottom) return false;
    // Every value now lies within 0..target size, so it fits an int.
    *visible = PixelRect{static_cast<int>(left), static_cast<int>(top), static_cast<int>(right),
                         static_cast<int>(bottom)};
    return true;
}

bool ComputeSpriteQuad(const SpriteQuadSource& sprite, int x, int y, int targetWidth, int targetHeight,
                       SpriteQuad* quad) {
    if (quad == nullptr) return false;
    *quad = SpriteQuad{};
    if (sprite.corners == nullptr || sprite.imageWidth <= 0 || sprite.imageHeight <= 0) return false;
    PixelRect v;
    if (!ClipToTarget(x, y, sprite.width, sprite.height, targetWidth, targetHeight, &v)) return false;
    quad->visible = v;

    // How far each edge was cut, in pixels: positive on the left and top,
    // negative on the right and bottom, 0 where the target did not clip.
    // Formed in double, where these differences of ints are exact.
    const double cutLeft = static_cast<double>(v.left) - x;
    const double cutTop = static_cast<double>(v.top) - y;
    const double cutRight = static_cast<double>(v.right) - (static_cast<double>(x) + sprite.width);
    const double cutBottom = static_cast<double>(v.bottom) - (static_cast<double>(y) + sprite.height);
    const double w = sprite.imageWidth, h = sprite.imageHeight;

    const int xs[4] = {v.left, v.right, v.left, v.right};
    const int ys[4] = {v.top, v.top, v.bottom, v.bottom};
    const double dxs[4] = {cutLeft, cutRight, cutLeft, cutRight};
    const double dys[4] = {cutTop, cutTop, cutBottom, cutBottom};
    for (int k = 0; k < 4; ++k) {
        QuadCorner& c = quad->corner[k];
        c.x = EdgePosition(xs[k]);
        c.y = EdgePosition(ys[k]);
        c.u = static_cast<float>((sprite.corners[2 * k] + dxs[k] / w) * sprite.scaleU);
        c.v = static_cast<float>((sprite.corners[2 * k + 1] + dys[k] / h) * sprite.scaleV);
    }
    return true;
}

void FillPlainVertices(const SpriteQuad& quad, PlainVertex vertices[4]) {
    for (int k = 0; k < 4; ++k) {
        const QuadCorner& c = quad.corner[k];
        vertices[k] = PlainVertex{c.x, c.y, 0.0f, 1.0f, c.u, c.v};
    }
}

void FillColouredVertices(const SpriteQuad& quad, std::uint32_t diffuse, ColouredVertex vertices[4]) {
    for (int k = 0; k < 4; ++k) {
        const QuadCorner& c = quad.corner[k];
        vertices[k] = ColouredVertex{c.x, c.y, 0.0f, 1.0f, diffuse, c.u, c.v};
    }
}

void FillColourVertices(const PixelRect& visible, std::uint32_t diffuse, ColourVertex vertices[4]) {
    const float left = EdgePosition(visible.left), right = EdgePosition(visible.right);
    const float top = EdgePosition(visible.top), bottom = EdgePosition(visible.bottom);
    vertices[0] = ColourVertex{left, top, 0.0f, 1.0f, diffuse};
    vertices[1] = ColourVertex{right, top, 0.0f, 1.0f, diffuse};
    vertices[2] = ColourVertex{left, bottom, 0.0f, 1.0f, diffuse};
    vertices[3] = ColourVertex{right, bottom, 0.0f, 1.0f, diffuse};
}

}  // namespace korrin
