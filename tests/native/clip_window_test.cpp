// Clip windows: clamping to the image and the corners' texture coordinates.
#include "sprites/ClipWindow.h"

#include <gtest/gtest.h>

#include <climits>

using korrin::ClipWindow;
using korrin::ComputeClipWindow;

namespace {
void ExpectCorners(const ClipWindow& c, float l, float t, float r, float b) {
    const float expected[8] = {l, t, r, t, l, b, r, b};
    for (int i = 0; i < 8; ++i) EXPECT_FLOAT_EQ(c.corners[i], expected[i]) << "corner value " << i;
}
}  // namespace

TEST(ClipWindow, InnerWindowGivesFractionalCorners) {
    const ClipWindow c = ComputeClipWindow(64, 32, 16, 8, 32, 16);
    EXPECT_EQ(c.x, 16);
    EXPECT_EQ(c.y, 8);
    EXPECT_EQ(c.width, 32);
    EXPECT_EQ(c.height, 16);
    ExpectCorners(c, 0.25f, 0.25f, 0.75f, 0.75f);
}

TEST(ClipWindow, MinusOneMeansTheWholeImage) {
    const ClipWindow c = ComputeClipWindow(64, 32, 0, 0, -1, -1);
    EXPECT_EQ(c.width, 64);
    EXPECT_EQ(c.height, 32);
    ExpectCorners(c, 0, 0, 1, 1);
}

TEST(ClipWindow, ClampsToTheImage) {
    // Starts past the bottom: a 4 by 0 window at (60, 32).
    ClipWindow c = ComputeClipWindow(64, 32, 60, 40, 10, 10);
    EXPECT_EQ(c.x, 60);
    EXPECT_EQ(c.y, 32);
    EXPECT_EQ(c.width, 4);
    EXPECT_EQ(c.height, 0);
    ExpectCorners(c, 60 / 64.0f, 1, 1, 1);
    // Negative values become 0 (other than -1 for a size).
    c = ComputeClipWindow(64, 32, -5, -7, -2, 10);
    EXPECT_EQ(c.x, 0);
    EXPECT_EQ(c.y, 0);
    EXPECT_EQ(c.width, 0);
    EXPECT_EQ(c.height, 10);
}

TEST(ClipWindow, HugeRequestsDoNotOverflow) {
    const ClipWindow c = ComputeClipWindow(64, 32, INT_MAX, 10, INT_MAX, INT_MAX);
    EXPECT_EQ(c.x, 64);
    EXPECT_EQ(c.width, 0);
    EXPECT_EQ(c.y, 10);
    EXPECT_EQ(c.height, 22);
}
