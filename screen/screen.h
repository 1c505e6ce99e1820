// The screen: its device and window, opened and closed.
#pragma once

namespace korrin {

// Frees every sprite, releases the mode list, the back buffer and the device,
// and detaches input and sound from the window. Returns 0.
int CloseScreen();

}  // namespace korrin
