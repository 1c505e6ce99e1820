// 3D sprite shape arithmetic.
#include "sprite3d/Sprite3DMath.h"

#include <cmath>

#include "render/SpriteQuad.h"

namespace korrin {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Texture coordinates of the four corners; they never change.
constexpr float kCornerU[4] = {0.0f, 1.0f, 0.0f, 1.0f};
constexpr float kCornerV[4] = {0.0f, 0.0f, 1.0f, 1.0f};

// Rectangle mode: the zoom-size rectangle turned by the angle about its centre.
void RebuildRectangle(Sprite3D* s) {
    const double w = s->zoomWidth, h = s->zoomHeight;
    const double xs[4] = {0.0, w, 0.0, w};
    const double ys[4] = {0.0, 0.0, h, h};
    const double cx = w / 2.0, cy = h / 2.0;  // the mean of the four corners
    const double cosA = std::cos(static_cast<double>(s->angle));
    const double sinA = std::sin(static_cast<double>(s->angle));
    for (int k = 0; k < 4; ++k) {
        const double dx = xs[k] - cx, dy = ys[k] - cy;
        // With y growing downwards a positive angle turns clockwise on the screen.
        s->model[k].x = static_cast<float>(dx * cosA - dy * sinA + cx);
        s->model[k].y = static_cast<float>(dx * sinA + dy * cosA + cy);
    }
}

}  // namespace

void SetUpSprite3D(Sprite3D* sprite, TextureObject* texture, int width, int height) {
    if (sprite == nullptr) return;
    sprite->texture = texture;
    sprite->zoomWidth = width;
    sprite->zoomHeight = height;
    sprite->angle = 0.0f;
    sprite->angleDegrees = 0;
    sprite->transformed = 0;
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    for (int k = 0; k < 4; ++k) {
        sprite->model[k] = Sprite3DVertex{kCornerU[k] * w, kCornerV[k] * h, 0.0f, 1.0f, kSprite3DBaseColour,
                                          kCornerU[k], kCornerV[k]};
    }
}

void SetSprite3DZoom(Sprite3D* sprite, int width, int height) {
    if (sprite == nullptr) return;
    sprite->zoomWidth = width;
    sprite->zoomHeight = height;
    sprite->transformed = 0;
}

// Turns are accumulated in whole degrees, taken modulo one turn, and the
// radian angle is derived from that. Adding radians to a float instead loses
// precision: left to grow, the angle's spacing coarsens until the small steps
// of a sprite turned a little every frame round to nothing or to jumps; even
// wrapped into one turn, each step's rounding adds up to a visible error over
// a long run. Degrees are integers, so their sum is exact for ever.
void SetSprite3DRotation(Sprite3D* sprite, int degrees, int mode) {
    if (sprite == nullptr) return;
    sprite->transformed = 0;
    int turn = (mode == 0 ? 0 : sprite->angleDegrees) + degrees % 360;  // within (-360, 720)
    turn %= 360;
    if (turn < 0) turn += 360;
    sprite->angleDegrees = turn;
    sprite->angle = static_cast<float>(turn * kPi * 2.0 / 360.0);
}

// A depth of 0 (or a non-finite one) has no meaningful reciprocal: the
// infinite or undefined rhw would reach the device's perspective division.
bool SetSprite3DCorners(Sprite3D* sprite, const float corners[12]) {
    if (sprite == nullptr || corners == nullptr) return false;
    float rhw[4];
    for (int k = 0; k < 4; ++k) {
        const float z = corners[3 * k + 2];
        if (z == 0.0f || !std::isfinite(z)) return false;
        rhw[k] = 1.0f / z;
        if (!std::isfinite(rhw[k]) || rhw[k] == 0.0f) return false;
    }
    sprite->transformed = 1;
    for (int k = 0; k < 4; ++k) {
        sprite->model[k].x = corners[3 * k];
        sprite->model[k].y = corners[3 * k + 1];
        sprite->model[k].rhw = rhw[k];
    }
    return true;
}

// The offset to pixel centres is applied to every drawn corner, rotated and
// free-cornered quads included: it moves the whole quad by half a pixel, so a
// rotated rectangle keeps its centre relative to the pixel grid exactly as an
// unrotated one does, and axis-aligned results (quarter turns, corner quads on
// whole pixels) sample texel centres just like the unshaped sprite.
const Sprite3DVertex* BuildSprite3DVertices(Sprite3D* sprite, int x, int y, int alpha) {
    if (sprite == nullptr) return nullptr;
    if (sprite->transformed == 0) RebuildRectangle(sprite);
    const double offsetX = static_cast<double>(x) + kPixelCentreOffset;
    const double offsetY = static_cast<double>(y) + kPixelCentreOffset;
    const std::uint32_t alphaBits = (static_cast<std::uint32_t>(alpha) & 0xFFu) << 24;
    for (int k = 0; k < 4; ++k) {
        Sprite3DVertex& d = sprite->drawn[k];
        d = sprite->model[k];
        d.x = static_cast<float>(d.x + offsetX);
        d.y = static_cast<float>(d.y + offsetY);
        d.diffuse = (d.diffuse & 0x00FFFFFFu) | alphaBits;
    }
    return sprite->drawn;
}

}  // namespace korrin
