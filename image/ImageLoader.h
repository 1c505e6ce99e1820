// The image loader: turns an image file or an image held in memory into a GDI
// bitmap that sprite import copies from. BMP files are checked by our own
// reader first; opaque ones of more than 8 bits then go through the platform's
// loader, the others (8 bits or fewer, kept as 8-bit DIB sections with their
// palette, and images with alpha) through our reader. Other images go through
// the decoders of ImageDecoders.h and become DIB sections. Icons are refused.
#pragma once

#include <windows.h>

namespace korrin {

// One loaded image; owns its bitmap.
struct LoadedImage {
    HBITMAP bitmap;  // a DIB section or a bitmap from LoadImageA
    int width;       // pixels
    int height;      // pixels
    bool hasAlpha;   // the bitmap is a 32-bit DIB section whose fourth bytes are straight alpha;
                     // otherwise the image is opaque
};

// Loads a file; false (and *image zeroed) on failure, which NoteFailure
// explains (LastError.h), as it does for LoadImageMemory.
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
