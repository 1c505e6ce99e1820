// 3D sprite shapes: what zoom, rotation and corner commands leave in the
// record, and where the drawn corners land. Positions are checked through a
// small model of the rasteriser (pixel centres on whole coordinates, texture
// coordinates interpolated perspective-correctly from rhw), so the tests see
// which texel each pixel shows.
#include "sprite3d/Sprite3DMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace korrin;

namespace {

constexpr double kPi = 3.14159265358979323846;

// A 3D sprite made from a 64x32 sprite, as CreateSprite3D leaves it.
Sprite3D Make(int w = 64, int h = 32) {
    Sprite3D s;
    std::memset(&s, 0, sizeof s);
    SetUpSprite3D(&s, reinterpret_cast<TextureObject*>(0x1000), w, h);
    return s;
}

void ExpectAt(const Sprite3DVertex& c, double x, double y, const char* what) {
    EXPECT_NEAR(c.x, x, 1e-4) << what;
    EXPECT_NEAR(c.y, y, 1e-4) << what;
}

double Cross(double ax, double ay, double bx, double by, double px, double py) {
    return (bx - ax) * (py - ay) - (by - ay) * (px - ax);
}

struct Sample {
    bool covered;  // the point lies strictly inside the quad
    bool onEdge;   // the point lies on the quad's outline (the fill rule would decide)
    double u, v;   // perspective-correct texture coordinates there
};

// What the rasteriser sees at screen point (px, py) of a two-triangle strip.
Sample At(const Sprite3DVertex* q, double px, double py) {
    Sample s = {false, false, 0, 0};
    // The outline runs top-left, top-right, bottom-right, bottom-left.
    const int ring[4] = {0, 1, 3, 2};
    int positive = 0, negative = 0;
    for (int i = 0; i < 4; ++i) {
        const Sprite3DVertex& a = q[ring[i]];
        const Sprite3DVertex& b = q[ring[(i + 1) % 4]];
        const double c = Cross(a.x, a.y, b.x, b.y, px, py);
        if (std::fabs(c) < 1e-6) s.onEdge = true;
        else if (c > 0) ++positive;
        else ++negative;
    }
    if (s.onEdge || (positive != 4 && negative != 4)) return s;
    s.covered = true;
    const int triangles[2][3] = {{0, 1, 2}, {1, 3, 2}};
    for (const auto& t : triangles) {
        const Sprite3DVertex &a = q[t[0]], &b = q[t[1]], &c = q[t[2]];
        const double area = Cross(a.x, a.y, b.x, b.y, c.x, c.y);
        const double wa = Cross(b.x, b.y, c.x, c.y, px, py) / area;
        const double wb = Cross(c.x, c.y, a.x, a.y, px, py) / area;
        const double wc = 1.0 - wa - wb;
        if (wa < -1e-9 || wb < -1e-9 || wc < -1e-9) continue;
        const double w = wa * a.rhw + wb * b.rhw + wc * c.rhw;
        s.u = (wa * a.u * a.rhw + wb * b.u * b.rhw + wc * c.u * c.rhw) / w;
        s.v = (wa * a.v * a.rhw + wb * b.v * b.rhw + wc * c.v * c.rhw) / w;
        return s;
    }
    ADD_FAILURE() << "inside the outline but in neither triangle";
    return s;
}

// Checks that the pixels covered near (l, t)-(r, b) are exactly that
// rectangle, that no pixel centre is left to the fill rule, and that each
// covered pixel reads texel texelOf(px, py) of a w x h image at least `margin`
// texels away from that texel's boundaries (0.5: at its centre).
template <typename TexelOf>
void ExpectPixels(const Sprite3DVertex* q, int l, int t, int r, int b, int w, int h, TexelOf texelOf,
                  double margin = 0.5) {
    int mismatches = 0;
    auto fail = [&]() { return ++mismatches < 5; };
    for (int py = t - 8; py < b + 8; ++py) {
        for (int px = l - 8; px < r + 8; ++px) {
            const Sample s = At(q, px, py);
            const bool inside = px >= l && px < r && py >= t && py < b;
            if (s.onEdge || s.covered != inside) {
                if (fail()) ADD_FAILURE() << "coverage differs at " << px << "," << py;
                continue;
            }
            if (!inside) continue;
            int tx, ty;
            texelOf(px, py, &tx, &ty);
            const double su = s.u * w, sv = s.v * h;
            const double edge = std::fmin(std::fmin(su - tx, tx + 1 - su), std::fmin(sv - ty, ty + 1 - sv));
            if (edge < margin - 1e-3 && fail())
                ADD_FAILURE() << "pixel " << px << "," << py << " reads (" << su << ", " << sv << "), wanted texel "
                              << tx << "," << ty << " with margin " << margin;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

}  // namespace

TEST(Sprite3DMath, NewSpriteIsAnUnrotatedFlatRectangleOfTheImageSize) {
    Sprite3D s = Make();
    EXPECT_EQ(s.zoomWidth, 64);
    EXPECT_EQ(s.zoomHeight, 32);
    EXPECT_EQ(s.angle, 0.0f);
    EXPECT_EQ(s.transformed, 0);
    const float us[4] = {0, 1, 0, 1}, vs[4] = {0, 0, 1, 1};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(s.model[k].z, 0.0f);
        EXPECT_EQ(s.model[k].rhw, 1.0f);
        EXPECT_EQ(s.model[k].diffuse, 0x00FFFFFFu);
        EXPECT_EQ(s.model[k].u, us[k]);
        EXPECT_EQ(s.model[k].v, vs[k]);
    }
    // Drawn at (100, 50): the corners (100, 50)-(164, 82), moved to pixel centres.
    const Sprite3DVertex* d = BuildSprite3DVertices(&s, 100, 50, 255);
    ASSERT_EQ(d, s.drawn);
    ExpectAt(d[0], 99.5, 49.5, "top-left");
    ExpectAt(d[1], 163.5, 49.5, "top-right");
    ExpectAt(d[2], 99.5, 81.5, "bottom-left");
    ExpectAt(d[3], 163.5, 81.5, "bottom-right");
    // Pixels (100, 50)-(163, 81) show the image 1:1, each at its texel's centre.
    ExpectPixels(d, 100, 50, 164, 82, 64, 32, [](int px, int py, int* tx, int* ty) {
        *tx = px - 100;
        *ty = py - 50;
    });
}

TEST(Sprite3DMath, QuarterTurnIsClockwiseAboutTheCentre) {
    Sprite3D s = Make();
    SetSprite3DRotation(&s, 90, 0);
    const Sprite3DVertex* d = BuildSprite3DVertices(&s, 100, 50, 255);
    // About (132, 66): the image's top-left corner goes to the top right,
    // its top-right to the bottom right, its bottom-left to the top left.
    ExpectAt(d[0], 148 - 0.5, 34 - 0.5, "image top-left");
    ExpectAt(d[1], 148 - 0.5, 98 - 0.5, "image top-right");
    ExpectAt(d[2], 116 - 0.5, 34 - 0.5, "image bottom-left");
    ExpectAt(d[3], 116 - 0.5, 98 - 0.5, "image bottom-right");
    // The turned image covers (116, 34)-(147, 97): screen column c, row r
    // shows image column r, row 31 - c.
    ExpectPixels(d, 116, 34, 148, 98, 64, 32, [](int px, int py, int* tx, int* ty) {
        *tx = py - 34;
        *ty = 31 - (px - 116);
    });
    // A negative quarter turn is anticlockwise: the top-left corner goes to the bottom left.
    SetSprite3DRotation(&s, -90, 0);
    d = BuildSprite3DVertices(&s, 100, 50, 255);
    ExpectAt(d[0], 116 - 0.5, 98 - 0.5, "image top-left, anticlockwise");
}

TEST(Sprite3DMath, RelativeRotationAccumulatesAndStaysWithinOneTurn) {
    Sprite3D s = Make();
    SetSprite3DRotation(&s, 90, 0);
    SetSprite3DRotation(&s, 90, 1);
    EXPECT_NEAR(s.angle, kPi, 1e-6);
    SetSprite3DRotation(&s, 0, 0);
    EXPECT_EQ(s.angle, 0.0f);
    SetSprite3DRotation(&s, -30, 7);  // any non-zero mode is relative
    EXPECT_NEAR(s.angle, 330 * kPi / 180, 1e-6);
    SetSprite3DRotation(&s, 720 + 45, 0);
    EXPECT_NEAR(s.angle, kPi / 4, 1e-6);

    // A program turning by 7 degrees a frame for a long time: the angle stays
    // in one turn, and the drawn quad is exactly that of the same angle set at once.
    SetSprite3DRotation(&s, 0, 0);
    for (int i = 0; i < 100000; ++i) {
        SetSprite3DRotation(&s, 7, 1);
        ASSERT_GE(s.angle, 0.0f);
        ASSERT_LT(s.angle, static_cast<float>(2 * kPi));
    }
    Sprite3D reference = Make();
    SetSprite3DRotation(&reference, (7 * 100000) % 360, 0);
    const Sprite3DVertex* a = BuildSprite3DVertices(&s, 100, 50, 255);
    const Sprite3DVertex* b = BuildSprite3DVertices(&reference, 100, 50, 255);
    EXPECT_EQ(std::memcmp(a, b, 4 * sizeof(Sprite3DVertex)), 0);
    // Huge angles lose nothing to the conversion.
    SetSprite3DRotation(&s, 2147483647, 0);  // 360 * 5965232 + 127
    EXPECT_NEAR(s.angle, 127 * kPi / 180, 1e-6);
    SetSprite3DRotation(&s, -2147483647 - 1, 0);  // 128 degrees short of a whole number of turns
    EXPECT_NEAR(s.angle, 232 * kPi / 180, 1e-6);
    SetSprite3DRotation(&s, 2147483647, 1);  // relative: 232 + 127
    EXPECT_NEAR(s.angle, 359 * kPi / 180, 1e-6);
}

TEST(Sprite3DMath, RepeatedDrawsOfATurnedRectangleDoNotDrift) {
    Sprite3D s = Make();
    SetSprite3DRotation(&s, 33, 0);
    Sprite3DVertex first[4];
    std::memcpy(first, BuildSprite3DVertices(&s, 100, 50, 255), sizeof first);
    for (int i = 0; i < 1000; ++i) BuildSprite3DVertices(&s, 100, 50, 255);
    EXPECT_EQ(std::memcmp(first, s.drawn, sizeof first), 0);
    // The model holds the turned rectangle, not a drift from earlier draws,
    // and moving the display position moves the quad only.
    const Sprite3DVertex* d = BuildSprite3DVertices(&s, 0, 0, 255);
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(d[k].x, first[k].x - 100, 1e-4);
        EXPECT_NEAR(d[k].y, first[k].y - 50, 1e-4);
    }
    // The turned quad keeps its centre: (132, 66) less the half-pixel offset.
    double cx = 0, cy = 0;
    for (int k = 0; k < 4; ++k) cx += first[k].x / 4, cy += first[k].y / 4;
    EXPECT_NEAR(cx, 131.5, 1e-4);
    EXPECT_NEAR(cy, 65.5, 1e-4);
}

TEST(Sprite3DMath, ZoomResizesTheRectangleAndReturnsFromCornerMode) {
    Sprite3D s = Make();
    SetSprite3DZoom(&s, 128, 64);
    const Sprite3DVertex* d = BuildSprite3DVertices(&s, 10, 20, 255);
    ExpectAt(d[0], 9.5, 19.5, "top-left");
    ExpectAt(d[3], 137.5, 83.5, "bottom-right");
    // Twice the size: each texel shows on 2x2 pixels, read a quarter texel in.
    ExpectPixels(
        d, 10, 20, 138, 84, 64, 32,
        [](int px, int py, int* tx, int* ty) {
            *tx = (px - 10) / 2;
            *ty = (py - 20) / 2;
        },
        0.25);
    SetSprite3DZoom(&s, 128, 16);

    // Corner mode, then a rotation: back to the zoom size with the new angle.
    const float corners[12] = {0, 0, 1, 10, 0, 1, 0, 10, 1, 10, 10, 1};
    ASSERT_TRUE(SetSprite3DCorners(&s, corners));
    EXPECT_EQ(s.transformed, 1);
    SetSprite3DRotation(&s, 180, 0);
    EXPECT_EQ(s.transformed, 0);
    d = BuildSprite3DVertices(&s, 0, 0, 255);
    ExpectAt(d[0], 127.5, 15.5, "turned half way, top-left at the bottom right");
    // And a zoom after corner mode likewise keeps the angle.
    ASSERT_TRUE(SetSprite3DCorners(&s, corners));
    SetSprite3DZoom(&s, 64, 32);
    d = BuildSprite3DVertices(&s, 0, 0, 255);
    ExpectAt(d[0], 63.5, 31.5, "top-left after zoom");
    // Sizes are stored as given.
    SetSprite3DZoom(&s, -5, 0);
    EXPECT_EQ(s.zoomWidth, -5);
    EXPECT_EQ(s.zoomHeight, 0);
}

TEST(Sprite3DMath, CornerModeUsesTheGivenCornersAndReciprocalDepths) {
    Sprite3D s = Make();
    // The unshaped outline given as corners draws the same quad.
    Sprite3D plain = Make();
    const float same[12] = {0, 0, 1, 64, 0, 1, 0, 32, 1, 64, 32, 1};
    ASSERT_TRUE(SetSprite3DCorners(&s, same));
    EXPECT_EQ(std::memcmp(BuildSprite3DVertices(&s, 100, 50, 200), BuildSprite3DVertices(&plain, 100, 50, 200),
                          4 * sizeof(Sprite3DVertex)),
              0);

    // Equal depths of 2: rhw 0.5 everywhere, outline unchanged.
    const float deep[12] = {0, 0, 2, 64, 0, 2, 0, 32, 2, 64, 32, 2};
    ASSERT_TRUE(SetSprite3DCorners(&s, deep));
    const Sprite3DVertex* d = BuildSprite3DVertices(&s, 100, 50, 255);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(d[k].rhw, 0.5f);
    ExpectPixels(d, 100, 50, 164, 82, 64, 32, [](int px, int py, int* tx, int* ty) {
        *tx = px - 100;
        *ty = py - 50;
    });

    // A depth that has no reciprocal is refused and changes nothing.
    const Sprite3D before = s;
    float bad[12] = {0, 0, 1, 10, 0, 1, 0, 10, 0.0f, 10, 10, 1};
    EXPECT_FALSE(SetSprite3DCorners(&s, bad));
    bad[8] = INFINITY;
    EXPECT_FALSE(SetSprite3DCorners(&s, bad));
    bad[8] = NAN;
    EXPECT_FALSE(SetSprite3DCorners(&s, bad));
    bad[8] = 1e-45f;  // its reciprocal overflows
    EXPECT_FALSE(SetSprite3DCorners(&s, bad));
    EXPECT_EQ(std::memcmp(&before, &s, sizeof s), 0);
    EXPECT_FALSE(SetSprite3DCorners(&s, nullptr));
}

TEST(Sprite3DMath, TrapezoidIsTexturedPerspectiveCorrectly) {
    // A rectangle in space, its top edge twice as far as its bottom edge,
    // seen by a pin-hole camera (focal length 100, centre (200, 200)).
    const double X[4] = {-1, 1, -1, 1}, Y[4] = {-1, -1, 1, 1}, Z[4] = {2, 2, 1, 1};
    auto project = [](double x, double y, double z, double* sx, double* sy) {
        *sx = 200 + 100 * x / z;
        *sy = 200 + 100 * y / z;
    };
    float corners[12];
    for (int k = 0; k < 4; ++k) {
        double sx, sy;
        project(X[k], Y[k], Z[k], &sx, &sy);
        corners[3 * k] = static_cast<float>(sx);
        corners[3 * k + 1] = static_cast<float>(sy);
        corners[3 * k + 2] = static_cast<float>(Z[k]);
    }
    Sprite3D s = Make();
    ASSERT_TRUE(SetSprite3DCorners(&s, corners));
    const Sprite3DVertex* d = BuildSprite3DVertices(&s, 0, 0, 255);
    EXPECT_EQ(d[0].rhw, 0.5f);
    EXPECT_EQ(d[3].rhw, 1.0f);
    // Points of the rectangle at known image positions: where each projects
    // to, the rasteriser must read that image position back.
    const double points[][2] = {{0.5, 0.5}, {0.25, 0.75}, {0.9, 0.1}, {0.1, 0.95}};
    for (const auto& p : points) {
        const double x = X[0] + p[0] * (X[1] - X[0]), y = Y[0] + p[1] * (Y[2] - Y[0]);
        const double z = Z[0] + p[1] * (Z[2] - Z[0]);
        double sx, sy;
        project(x, y, z, &sx, &sy);
        const Sample at = At(d, sx - 0.5, sy - 0.5);
        ASSERT_TRUE(at.covered);
        EXPECT_NEAR(at.u, p[0], 1e-4);
        EXPECT_NEAR(at.v, p[1], 1e-4);
    }
    // The image's middle row sits nearer the far edge on the screen than a
    // flat quad would put it: a flat interpolation would read v = 0.5 at the
    // screen's halfway height.
    double sx, sy;
    project(0, 0, 1.5, &sx, &sy);
    EXPECT_LT(sy, (corners[1] + corners[7]) / 2);
}

TEST(Sprite3DMath, ReturnToRectangleModeKeepsTheLastDepths) {
    Sprite3D s = Make();
    const float corners[12] = {0, 0, 2, 64, 0, 2, 0, 32, 1, 64, 32, 1};
    ASSERT_TRUE(SetSprite3DCorners(&s, corners));
    SetSprite3DRotation(&s, 0, 0);
    const Sprite3DVertex* d = BuildSprite3DVertices(&s, 0, 0, 255);
    EXPECT_EQ(d[0].rhw, 0.5f);
    EXPECT_EQ(d[2].rhw, 1.0f);
    ExpectAt(d[3], 63.5, 31.5, "rectangle corner");
}

TEST(Sprite3DMath, AlphaTakesTheLowEightBitsAndKeepsWhite) {
    Sprite3D s = Make();
    const struct {
        int alpha;
        std::uint32_t diffuse;
    } cases[] = {{255, 0xFFFFFFFFu}, {128, 0x80FFFFFFu}, {0, 0x00FFFFFFu}, {256, 0x00FFFFFFu},
                 {-1, 0xFFFFFFFFu}, {0x12345678, 0x78FFFFFFu}};
    for (const auto& c : cases) {
        const Sprite3DVertex* d = BuildSprite3DVertices(&s, 0, 0, c.alpha);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(d[k].diffuse, c.diffuse) << "alpha " << c.alpha;
        for (int k = 0; k < 4; ++k) EXPECT_EQ(s.model[k].diffuse, 0x00FFFFFFu);
    }
    EXPECT_EQ(BuildSprite3DVertices(nullptr, 0, 0, 255), nullptr);
}
