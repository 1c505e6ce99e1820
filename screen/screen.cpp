// Closing the screen.
#include "screen/screen.h"

#include <cstdlib>

#include "frame/ErrorPosition.h"
#include "frame/globals.h"
#include "frame/platform.h"

namespace korrin {

int CloseScreen() {
    RECORD_POSITION(MODULE_D3D9_HELPERS);
    std::free(modeList);
    modeList = nullptr;
    // Sprites are freed here through the registry once they exist.
    ReleaseObject(backBuffer);
    if (device) {
        device->EndScene();
        ReleaseObject(device);
    }
    // Keyboard, mouse, joystick and sound are detached here once they exist.
    return 0;
}

}  // namespace korrin
