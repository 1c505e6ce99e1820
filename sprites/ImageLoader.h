// The image loader: turns an image file or an image held in memory into a GDI
// bitmap that sprite import copies from. BMP files go through the platform's
// loader (8-bit and smaller ones through our own reader, so that they stay
// 8-bit DIB sections with their palette); other images go through the
// decoders of ImageDecoders.h and become DIB sections. Icons are refused.
#pragma once

#include <windows.h>

namespace korrin {

// One loaded image; owns its bitmap.
struct LoadedImage {
    HBITMAP bitmap;  // a DIB section or a bitmap from LoadImageA
    int width;       // pixels
    int height;      // pixels
};

// Loads a file; false (and *image zeroed) on failure.
bool LoadImageFile(const char* file, LoadedImage* image);

// Loads an image whose bytes start at `address`; its size is not known, so the
// readers are told a block of ImageMemoryBlockSize bytes and read no more than
// the image's headers describe.
bool LoadImageMemory(const void* address, LoadedImage* image);

constexpr unsigned ImageMemoryBlockSize = 10000000;

HBITMAP ImageBitmap(const LoadedImage* image);
int ImageWidth(const LoadedImage* image);
int ImageHeight(const LoadedImage* image);

// Deletes the bitmap and zeroes the record; a zeroed record is fine.
void ReleaseImage(LoadedImage* image);

}  // namespace korrin
