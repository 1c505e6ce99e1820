// The sprite quad: clipping against the target, texture coordinates that
// follow the clip, and corners placed so that pixels sample texel centres.
#include "render/SpriteQuad.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

using namespace korrin;

namespace {

const float kWhole[8] = {0, 0, 1, 0, 0, 1, 1, 1};

SpriteQuadSource Source(int w, int h, const float* corners = kWhole, int imageW = 0, int imageH = 0) {
    return SpriteQuadSource{w, h, imageW ? imageW : w, imageH ? imageH : h, corners, 1.0f, 1.0f};
}

void ExpectVisible(const SpriteQuad& q, int l, int t, int r, int b) {
    EXPECT_EQ(q.visible.left, l);
    EXPECT_EQ(q.visible.top, t);
    EXPECT_EQ(q.visible.right, r);
    EXPECT_EQ(q.visible.bottom, b);
    // Corners sit on the visible edges moved to pixel centres.
    const float xs[4] = {l - 0.5f, r - 0.5f, l - 0.5f, r - 0.5f};
    const float ys[4] = {t - 0.5f, t - 0.5f, b - 0.5f, b - 0.5f};
    for (int k = 0; k < 4; ++k) {
        EXPECT_FLOAT_EQ(q.corner[k].x, xs[k]) << "corner " << k;
        EXPECT_FLOAT_EQ(q.corner[k].y, ys[k]) << "corner " << k;
    }
}

void ExpectUV(const SpriteQuad& q, float left, float top, float right, float bottom) {
    const float us[4] = {left, right, left, right};
    const float vs[4] = {top, top, bottom, bottom};
    for (int k = 0; k < 4; ++k) {
        EXPECT_FLOAT_EQ(q.corner[k].u, us[k]) << "corner " << k;
        EXPECT_FLOAT_EQ(q.corner[k].v, vs[k]) << "corner " << k;
    }
}

// Texture coordinate that the rasteriser interpolates at pixel centre p
// (centres on whole coordinates) between two corners of the quad.
double Interpolate(double p, float p0, float p1, float t0, float t1) {
    return t0 + (p - p0) / (static_cast<double>(p1) - p0) * (static_cast<double>(t1) - t0);
}

}  // namespace

TEST(SpriteQuad, UnclippedSpriteSamplesEveryTexelAtItsCentre) {
    SpriteQuad q;
    ASSERT_TRUE(ComputeSpriteQuad(Source(64, 32), 100, 50, 640, 480, &q));
    ExpectVisible(q, 100, 50, 164, 82);
    ExpectUV(q, 0, 0, 1, 1);
    // Pixel 100 + i reads texel i at its centre, (i + 0.5) / 64: no pixel
    // centre falls on a texel boundary, and the first and last pixels read
    // the first and last texels (no shift, no wrap).
    for (int i = 0; i < 64; ++i) {
        const double u = Interpolate(100 + i, q.corner[0].x, q.corner[1].x, q.corner[0].u, q.corner[1].u);
        EXPECT_NEAR(u * 64, i + 0.5, 1e-4) << "column " << i;
    }
    for (int j = 0; j < 32; ++j) {
        const double v = Interpolate(50 + j, q.corner[0].y, q.corner[2].y, q.corner[0].v, q.corner[2].v);
        EXPECT_NEAR(v * 32, j + 0.5, 1e-4) << "row " << j;
    }
}

TEST(SpriteQuad, TargetClipsEachEdgeWithMatchingTextureCoordinates) {
    SpriteQuad q;
    // Left: columns 10..63 of the image land on 0..53.
    ASSERT_TRUE(ComputeSpriteQuad(Source(64, 32), -10, 5, 640, 480, &q));
    ExpectVisible(q, 0, 5, 54, 37);
    ExpectUV(q, 10 / 64.0f, 0, 1, 1);
    // Right and bottom together.
    ASSERT_TRUE(ComputeSpriteQuad(Source(64, 32), 630, 470, 640, 480, &q));
    ExpectVisible(q, 630, 470, 640, 480);
    ExpectUV(q, 0, 0, 10 / 64.0f, 10 / 32.0f);
    // Top.
    ASSERT_TRUE(ComputeSpriteQuad(Source(64, 32), 7, -20, 640, 480, &q));
    ExpectVisible(q, 7, 0, 71, 12);
    ExpectUV(q, 0, 20 / 32.0f, 1, 1);
    // Clipped pixels still read texel centres: pixel 0 shows column 10.
    ASSERT_TRUE(ComputeSpriteQuad(Source(64, 32), -10, 5, 640, 480, &q));
    const double u = Interpolate(0, q.corner[0].x, q.corner[1].x, q.corner[0].u, q.corner[1].u);
    EXPECT_NEAR(u * 64, 10.5, 1e-4);
}

TEST(SpriteQuad, SpritesWhollyOutsideOrTouchingDrawNothing) {
    SpriteQuad q;
    EXPECT_FALSE(ComputeSpriteQuad(Source(64, 32), 640, 0, 640, 480, &q));
    EXPECT_FALSE(ComputeSpriteQuad(Source(64, 32), -64, 0, 640, 480, &q));
    EXPECT_FALSE(ComputeSpriteQuad(Source(64, 32), 0, 480, 640, 480, &q));
    EXPECT_FALSE(ComputeSpriteQuad(Source(64, 32), 0, -32, 640, 480, &q));
    // One pixel in from the left: the last image column only.
    ASSERT_TRUE(ComputeSpriteQuad(Source(64, 32), -63, 0, 640, 480, &q));
    ExpectVisible(q, 0, 0, 1, 32);
    ExpectUV(q, 63 / 64.0f, 0, 1, 1);
}

TEST(SpriteQuad, NeighboursShareAnEdgeWithoutOverlapping) {
    SpriteQuad a, b;
    ASSERT_TRUE(ComputeSpriteQuad(Source(64, 32), 0, 0, 640, 480, &a));
    ASSERT_TRUE(ComputeSpriteQuad(Source(64, 32), 64, 0, 640, 480, &b));
    EXPECT_EQ(a.visible.right, b.visible.left);
    EXPECT_FLOAT_EQ(a.corner[1].x, b.corner[0].x);
    // The shared edge lies between pixel centres 63 and 64, never on one.
    EXPECT_FLOAT_EQ(a.corner[1].x, 63.5f);
}

TEST(SpriteQuad, ClipWindowThenTargetTrimsInWholeImageUnits) {
    // A 64x32 image showing its window (16, 8) 32x16.
    const float window[8] = {0.25f, 0.25f, 0.75f, 0.25f, 0.25f, 0.75f, 0.75f, 0.75f};
    SpriteQuad q;
    ASSERT_TRUE(ComputeSpriteQuad(Source(32, 16, window, 64, 32), 0, 0, 640, 480, &q));
    ExpectVisible(q, 0, 0, 32, 16);
    ExpectUV(q, 0.25f, 0.25f, 0.75f, 0.75f);
    // Cut 8 columns and 4 rows on the top left: image pixels 24.. and 12..
    ASSERT_TRUE(ComputeSpriteQuad(Source(32, 16, window, 64, 32), -8, -4, 640, 480, &q));
    ExpectVisible(q, 0, 0, 24, 12);
    ExpectUV(q, 0.375f, 0.375f, 0.75f, 0.75f);
    // A 20x10 target (a sprite as drawing target) cuts the right and bottom.
    ASSERT_TRUE(ComputeSpriteQuad(Source(32, 16, window, 64, 32), 0, 0, 20, 10, &q));
    ExpectVisible(q, 0, 0, 20, 10);
    ExpectUV(q, 0.25f, 0.25f, 0.75f - 12 / 64.0f, 0.75f - 6 / 32.0f);
    // The scale multiplies the final coordinates.
    SpriteQuadSource scaled = Source(32, 16, window, 64, 32);
    scaled.scaleU = 2.0f;
    scaled.scaleV = 0.5f;
    ASSERT_TRUE(ComputeSpriteQuad(scaled, -8, -4, 640, 480, &q));
    ExpectUV(q, 0.75f, 0.1875f, 1.5f, 0.375f);
}

TEST(SpriteQuad, ExtremeAndUnusableInputsAreRefusedCleanly) {
    SpriteQuad q;
    // Far edges beyond the int range are formed without overflow.
    EXPECT_FALSE(ComputeSpriteQuad(Source(64, 32), INT_MAX - 10, 0, 640, 480, &q));
    EXPECT_FALSE(ComputeSpriteQuad(Source(64, 32), INT_MIN, INT_MIN, 640, 480, &q));
    ASSERT_TRUE(ComputeSpriteQuad(Source(INT_MAX, 32, kWhole, INT_MAX, 32), -5, 0, 640, 480, &q));
    ExpectVisible(q, 0, 0, 640, 32);
    // Empty sprites, empty targets, missing corners, empty images.
    EXPECT_FALSE(ComputeSpriteQuad(Source(0, 32, kWhole, 64, 32), 0, 0, 640, 480, &q));
    EXPECT_FALSE(ComputeSpriteQuad(Source(64, -1, kWhole, 64, 32), 0, 0, 640, 480, &q));
    EXPECT_FALSE(ComputeSpriteQuad(Source(64, 32), 0, 0, 0, 480, &q));
    EXPECT_FALSE(ComputeSpriteQuad(Source(64, 32, nullptr), 0, 0, 640, 480, &q));
    EXPECT_FALSE(ComputeSpriteQuad(SpriteQuadSource{64, 32, 0, 32, kWhole, 1, 1}, 0, 0, 640, 480, &q));
    EXPECT_FALSE(ComputeSpriteQuad(Source(64, 32), 0, 0, 640, 480, nullptr));
}

TEST(SpriteQuad, VerticesCarryTheQuadFlatAndUntransformed) {
    SpriteQuad q;
    ASSERT_TRUE(ComputeSpriteQuad(Source(64, 32), -10, 5, 640, 480, &q));
    PlainVertex plain[4];
    ColouredVertex coloured[4];
    FillPlainVertices(q, plain);
    FillColouredVertices(q, 0x80FFFFFFu, coloured);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(plain[k].x, q.corner[k].x);
        EXPECT_EQ(plain[k].y, q.corner[k].y);
        EXPECT_EQ(plain[k].u, q.corner[k].u);
        EXPECT_EQ(plain[k].v, q.corner[k].v);
        EXPECT_EQ(plain[k].z, 0.0f);
        EXPECT_EQ(plain[k].rhw, 1.0f);
        EXPECT_EQ(coloured[k].x, q.corner[k].x);
        EXPECT_EQ(coloured[k].v, q.corner[k].v);
        EXPECT_EQ(coloured[k].rhw, 1.0f);
        EXPECT_EQ(coloured[k].diffuse, 0x80FFFFFFu);
    }
    // The RGB filter's rectangle: (-20, -20, 60, 40) shows (0, 0)-(40, 20).
    PixelRect v;
    ASSERT_TRUE(ClipToTarget(-20, -20, 60, 40, 640, 480, &v));
    ColourVertex filter[4];
    FillColourVertices(v, 0x400000u, filter);
    EXPECT_EQ(filter[0].x, -0.5f);
    EXPECT_EQ(filter[0].y, -0.5f);
    EXPECT_EQ(filter[3].x, 39.5f);
    EXPECT_EQ(filter[3].y, 19.5f);
    EXPECT_EQ(filter[2].diffuse, 0x400000u);
    EXPECT_FALSE(ClipToTarget(0, 0, 0, 40, 640, 480, &v));
}
