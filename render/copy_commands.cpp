// Drawing-target, copy and grab commands.
#include "frame/ErrorPosition.h"
#include "frame/globals.h"
#include "korrin.h"
#include "render/SpriteCopy.h"

extern "C" {

int __stdcall UseBuffer(int sprite) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::UseBuffer(sprite);
}

int __stdcall CopySprite2(int source, int destination, int flags) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return static_cast<int>(korrin::CopySprite(source, destination, flags));
}

int __stdcall CopySprite(int source, int destination) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return static_cast<int>(korrin::CopySprite(source, destination, 0));
}

int __stdcall GrabSprite2(int sprite, int x, int y, int width, int height, int flags) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return static_cast<int>(korrin::GrabSprite(sprite, x, y, width, height, flags));
}

int __stdcall GrabSprite(int sprite, int x, int y, int width, int height) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return static_cast<int>(korrin::GrabSprite(sprite, x, y, width, height, 0));
}

}  // extern "C"
