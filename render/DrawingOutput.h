// Drawing outputs: descriptors that let the host's own 2D drawing commands
// draw on the screen's back buffer or on a sprite's image, through a GDI
// device context or a direct pointer to the pixels.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "korrin.h"

namespace korrin {

// The descriptor's type and pixel formats, as the host's drawing commands know them.
constexpr int kDrawingOutputType = 7;
enum OutputPixelFormat : int {
    kPixelFormatX1R5G5B5 = 2,  // 16-bit 5:5:5
    kPixelFormatR5G6B5 = 3,    // 16-bit 5:6:5
    kPixelFormat8888 = 7,      // 32-bit, eight bits per channel (X8R8G8B8, A8R8G8B8)
};

// The descriptor the host's drawing commands read: the public header's; every
// field is 32-bit.
using DrawingOutput = ::KorrinDrawingOutput;
static_assert(sizeof(DrawingOutput) == 12 * 4, "drawing outputs are 12 fields of 4 bytes");
static_assert(offsetof(DrawingOutput, getBuffer) == 44, "drawing output layout");

// The screen's and a sprite's output; null when there is none to give.
DrawingOutput* OpenScreenOutput();
DrawingOutput* OpenSpriteOutput(std::intptr_t number);

}  // namespace korrin
