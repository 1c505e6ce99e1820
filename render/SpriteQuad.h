// The sprite quad: a sprite's rectangle clipped against the drawing target,
// the four pre-transformed corners that cover exactly the visible pixels, and
// texture coordinates that follow the clip. Also the three vertex layouts the
// display commands hand to the device. Portable: no platform headers.
//
// Pixel alignment: Direct3D 9 puts pixel centres on whole screen coordinates,
// while texel centres lie half a texel inside. Corners placed on whole-pixel
// positions would sample every pixel exactly on a texel boundary, and point
// sampling then picks a neighbouring texel (the image shifts by a row or a
// column and wraps). Every pre-transformed corner is therefore moved by
// kPixelCentreOffset in x and y: each covered pixel centre then samples the
// centre of its texel, and the covered pixels stay those of the rectangle.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korrin {

// Added to x and y of every pre-transformed vertex position.
constexpr float kPixelCentreOffset = -0.5f;

// Vertex formats (Direct3D FVF codes) of the layouts below.
constexpr std::uint32_t kPlainVertexFormat = 0x104;     // XYZRHW | TEX1
constexpr std::uint32_t kColouredVertexFormat = 0x144;  // XYZRHW | DIFFUSE | TEX1
constexpr std::uint32_t kColourVertexFormat = 0x44;     // XYZRHW | DIFFUSE

// Plain vertex, 24 bytes.
struct PlainVertex {
    float x, y, z, rhw;
    float u, v;
};
static_assert(sizeof(PlainVertex) == 24 && offsetof(PlainVertex, u) == 16, "plain vertex layout");

// Coloured vertex, 28 bytes; diffuse is a Direct3D colour (blue in the low byte).
struct ColouredVertex {
    float x, y, z, rhw;
    std::uint32_t diffuse;
    float u, v;
};
static_assert(sizeof(ColouredVertex) == 28 && offsetof(ColouredVertex, diffuse) == 16 &&
                  offsetof(ColouredVertex, u) == 20,
              "coloured vertex layout");

// Colour-only vertex, 20 bytes.
struct ColourVertex {
    float x, y, z, rhw;
    std::uint32_t diffuse;
};
static_assert(sizeof(ColourVertex) == 20 && offsetof(ColourVertex, diffuse) == 16, "colour-only vertex layout");

// A rectangle of target pixels; right and bottom are exclusive.
struct PixelRect {
    int left, top, right, bottom;
};

// What the quad needs of a sprite record.
struct SpriteQuadSource {
    int width, height;            // display size (the clip window's size)
    int imageWidth, imageHeight;  // size of the whole image
    const float* corners;         // 8 floats: (u, v) of top-left, top-right, bottom-left, bottom-right
    float scaleU, scaleV;         // texture-coordinate scale (1.0 for every sprite)
};

// One corner: position with the pixel-centre offset applied, texture coordinates.
struct QuadCorner {
    float x, y;
    float u, v;
};

// The quad of one display: the visible pixels and the corners in strip order
// (top-left, top-right, bottom-left, bottom-right).
struct SpriteQuad {
    PixelRect visible;
    QuadCorner corner[4];
};

// The part of (x, y, x + width, y + height) inside (0, 0, targetWidth,
// targetHeight); false when that is empty (a zero or negative size included).
// Works for any int arguments: the far edges are formed in 64 bits.
bool ClipToTarget(int x, int y, int width, int height, int targetWidth, int targetHeight, PixelRect* visible);

// The quad of a sprite displayed with its clip window's top-left at (x, y);
// false when nothing of it lies inside the target (or the source is unusable:
// no corners, or an empty image).
bool ComputeSpriteQuad(const SpriteQuadSource& sprite, int x, int y, int targetWidth, int targetHeight,
                       SpriteQuad* quad);

// The quad's corners as device vertices: z 0, rhw 1.
void FillPlainVertices(const SpriteQuad& quad, PlainVertex vertices[4]);
void FillColouredVertices(const SpriteQuad& quad, std::uint32_t diffuse, ColouredVertex vertices[4]);

// An untextured quad over a visible rectangle (the RGB filter), with the same offset.
void FillColourVertices(const PixelRect& visible, std::uint32_t diffuse, ColourVertex vertices[4]);

}  // namespace korrin
