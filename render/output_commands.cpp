// Drawing-output commands: descriptors for the host's own 2D drawing commands.
#include "render/DrawingOutput.h"  // <windows.h> first

#include "frame/ErrorPosition.h"
#include "korrin.h"

extern "C" {

void* __stdcall ScreenOutput() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::OpenScreenOutput();
}

void* __stdcall SpriteOutput(int number) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::OpenSpriteOutput(number);
}

}  // extern "C"
