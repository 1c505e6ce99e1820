// 3D sprite records and their shape arithmetic: what the shaping commands do
// to a record (zoom, rotation, free corners with depth) and the four vertices
// one DisplaySprite3D hands to the device. Portable: no platform headers; the
// commands and the device calls live in the Windows glue.
#pragma once

#include <cstddef>
#include <cstdint>

#include "render/SpriteQuad.h"

struct KorrinTextureObject;

namespace korrin {

using TextureObject = ::KorrinTextureObject;  // include/korrin.h

// One corner in the XYZRHW | DIFFUSE | TEX1 layout (kColouredVertexFormat).
struct Sprite3DVertex {
    float x, y;             // pixels, y down; in the model relative to the display position
    float z;                // always 0
    float rhw;              // reciprocal of the corner's depth; 1 for a flat quad
    std::uint32_t diffuse;  // Direct3D colour: white, alpha set at draw time
    float u, v;             // fixed at creation: 0 or 1
};
static_assert(sizeof(Sprite3DVertex) == 28, "3D sprite vertices are 28 bytes");
static_assert(offsetof(Sprite3DVertex, rhw) == 12 && offsetof(Sprite3DVertex, diffuse) == 16 &&
                  offsetof(Sprite3DVertex, u) == 20,
              "3D sprite vertex layout");

// One 3D sprite, stored by value in sprite3DRegistry. Corners in strip order:
// top-left, top-right, bottom-left, bottom-right.
struct Sprite3D {
    TextureObject* texture;    // the source sprite's texture, shared and not owned; marks the slot used
    Sprite3DVertex model[4];   // the quad as the shaping commands left it
    Sprite3DVertex drawn[4];   // filled on every draw and handed to the device
    std::int32_t zoomWidth;    // width of the unrotated quad; starts as the image width
    std::int32_t zoomHeight;   // height of the unrotated quad; starts as the image height
    float angle;               // radians, clockwise on the screen: angleDegrees in radians
    std::int32_t transformed;  // 1: corner mode (model used as given); 0: zoom and angle define the quad
    std::int32_t angleDegrees; // the angle in whole degrees, 0..359, where turns accumulate exactly
    std::int32_t reserved;     // pads the record to the registry's 252 bytes
};
// On the 32-bit target the record is 252 bytes with the texture at 0; the
// offsets are written relative to the pointer size so that the portable core
// checks the same layout when built natively.
constexpr std::size_t kSprite3DHead = sizeof(void*);
static_assert(sizeof(void*) != 4 || sizeof(Sprite3D) == 252, "3D sprite records are 252 bytes");
static_assert(sizeof(Sprite3D) == kSprite3DHead + 248, "3D sprite record size");
static_assert(offsetof(Sprite3D, model) == kSprite3DHead && offsetof(Sprite3D, drawn) == kSprite3DHead + 112 &&
                  offsetof(Sprite3D, zoomWidth) == kSprite3DHead + 224 &&
                  offsetof(Sprite3D, zoomHeight) == kSprite3DHead + 228 &&
                  offsetof(Sprite3D, angle) == kSprite3DHead + 232 &&
                  offsetof(Sprite3D, transformed) == kSprite3DHead + 236 &&
                  offsetof(Sprite3D, angleDegrees) == kSprite3DHead + 240,
              "3D sprite record layout");

constexpr std::uint32_t kSprite3DVertexFormat = kColouredVertexFormat;  // the 2D coloured quads' corners
constexpr std::uint32_t kSprite3DBaseColour = 0x00FFFFFF;  // white, alpha 0

// Fills a freshly allocated (zeroed) record for a texture whose image is
// width x height: zoom size = image size, an unrotated flat rectangle.
void SetUpSprite3D(Sprite3D* sprite, TextureObject* texture, int width, int height);

// ZoomSprite3D: a new zoom size as given (no check), back to rectangle mode.
void SetSprite3DZoom(Sprite3D* sprite, int width, int height);

// RotateSprite3D: mode 0 sets the angle to `degrees`, any other mode adds
// `degrees` to it; back to rectangle mode.
void SetSprite3DRotation(Sprite3D* sprite, int degrees, int mode);

// TransformSprite3D2: corners as (x, y, z) for top-left, top-right,
// bottom-left, bottom-right, relative to the display position; rhw = 1 / z.
// Refuses (false, record unchanged) a depth of 0 or one that is not finite.
bool SetSprite3DCorners(Sprite3D* sprite, const float corners[12]);

// DisplaySprite3D2's arithmetic: in rectangle mode rebuilds the model corners
// from the zoom size and angle, then fills `drawn` with the model moved to
// (x, y) and the pixel-centre offset, alpha = low 8 bits of `alpha`.
// Returns sprite->drawn (null for a null sprite).
const Sprite3DVertex* BuildSprite3DVertices(Sprite3D* sprite, int x, int y, int alpha);

}  // namespace korrin
