// Drawing outputs: descriptors that let the host's own 2D drawing commands
// draw on the screen's back buffer or on a sprite's image, through a GDI
// device context or a direct pointer to the pixels.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "frame/AbiLayout.h"

namespace korrin {

// The descriptor's type and pixel formats, as the host's drawing commands know them.
constexpr int kDrawingOutputType = 7;
enum OutputPixelFormat : int {
    kPixelFormatX1R5G5B5 = 2,  // 16-bit 5:5:5
    kPixelFormatR5G6B5 = 3,    // 16-bit 5:6:5
    kPixelFormat8888 = 7,      // 32-bit, eight bits per channel (X8R8G8B8, A8R8G8B8)
};

// The descriptor the host's drawing commands read; every field is 32-bit.
struct DrawingOutput {
    int outputType;                      // always kDrawingOutputType
    int reserved;                        // not written
    HDC dc;                              // device context open on the pixels, or 0
    int(__stdcall* release)();           // drawing ends
    void* buffer;                        // top-left pixel while the memory is available, else 0
    int pitch;                           // bytes from one row to the next
    int width, height;                   // pixels
    int bitsPerPixel;                    // screen: 16 or 32; sprite: 15 or 32
    int pixelFormat;                     // an OutputPixelFormat
    HDC(__stdcall* getDC)();             // the device context to draw with, or 0
    void*(__stdcall* getBuffer)();       // the pixel address to draw at, or 0
};
static_assert(sizeof(DrawingOutput) == 12 * 4, "drawing outputs are 12 fields of 4 bytes");
static_assert(offsetof(DrawingOutput, getBuffer) == 44, "drawing output layout");
#define KORRIN_OUTPUT_FIELD(field) KORRIN_SAME_FIELD(DrawingOutput, KorrinDrawingOutput, field)
static_assert(sizeof(DrawingOutput) == sizeof(KorrinDrawingOutput) && KORRIN_OUTPUT_FIELD(outputType) &&
                  KORRIN_OUTPUT_FIELD(reserved) && KORRIN_OUTPUT_FIELD(dc) && KORRIN_OUTPUT_FIELD(release) &&
                  KORRIN_OUTPUT_FIELD(buffer) && KORRIN_OUTPUT_FIELD(pitch) && KORRIN_OUTPUT_FIELD(width) &&
                  KORRIN_OUTPUT_FIELD(height) && KORRIN_OUTPUT_FIELD(bitsPerPixel) &&
                  KORRIN_OUTPUT_FIELD(pixelFormat) && KORRIN_OUTPUT_FIELD(getDC) && KORRIN_OUTPUT_FIELD(getBuffer),
              "the descriptor is laid out as the public header declares it");
#undef KORRIN_OUTPUT_FIELD

// The screen's and a sprite's output; null when there is none to give.
DrawingOutput* OpenScreenOutput();
DrawingOutput* OpenSpriteOutput(std::intptr_t number);

}  // namespace korrin
