// Direct3D and display-mode commands.
#include <climits>

#include "frame/ErrorPosition.h"
#include "frame/LastError.h"
#include "frame/globals.h"
#include "korrin.h"
#include "screen/D3D9HelperFunctions.h"

extern "C" {

void* __stdcall InitSprite() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    void* direct3D = korrin::StartDirect3D();
    if (!direct3D) korrin::FailIn("InitSprite");
    return direct3D;
}

int __stdcall ExamineScreenModes() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    korrin::modeCursor = 0;
    return korrin::modeCount;
}

// The list is released when the first screen opens; after that the walk ends
// at once.
int __stdcall NextScreenMode() noexcept {
    using namespace korrin;
    RECORD_POSITION(MODULE_MAIN);
    if (modeList && modeCursor >= 0 && modeCursor < modeCount) {
        const DisplayMode& mode = modeList[modeCursor++];
        currentModeWidth = mode.width;
        currentModeHeight = mode.height;
        currentModeDepth = mode.depth;
        currentModeRefresh = mode.refresh;
        return 1;
    }
    currentModeWidth = currentModeHeight = currentModeDepth = currentModeRefresh = 0;
    return 0;
}

int __stdcall ScreenModeWidth() noexcept { RECORD_POSITION(MODULE_MAIN); return korrin::currentModeWidth; }
int __stdcall ScreenModeHeight() noexcept { RECORD_POSITION(MODULE_MAIN); return korrin::currentModeHeight; }
int __stdcall ScreenModeDepth() noexcept { RECORD_POSITION(MODULE_MAIN); return korrin::currentModeDepth; }
int __stdcall ScreenModeRefreshRate() noexcept { RECORD_POSITION(MODULE_MAIN); return korrin::currentModeRefresh; }

// Bytes of texture memory free, capped at the largest 32-bit signed value.
int __stdcall AvailableScreenMemory() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    if (!korrin::device) return korrin::Fail("AvailableScreenMemory: no screen is open");
    const UINT available = korrin::device->GetAvailableTextureMem();
    return available > static_cast<UINT>(INT_MAX) ? INT_MAX : static_cast<int>(available);
}

}  // extern "C"
