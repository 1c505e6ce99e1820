// The screen: its device and window, opened and closed, and the frames it
// presents. Internal operations behind the screen and presentation commands.
#pragma once

#include <windows.h>
#include <d3d9.h>

namespace korrin {

// --- opening and closing (screen.cpp) ----------------------------------------

// A full-screen screen in a new window of the library's own; the device or null.
IDirect3DDevice9* OpenScreen(int width, int height, int depth, const char* title);

// A windowed screen presenting into the host's window; the device or null.
IDirect3DDevice9* OpenWindowedScreen(HWND window, int x, int y, int width, int height, int stretch, int right,
                                     int bottom);

// Frees every sprite, releases the mode list, the back buffer and the device,
// and detaches input and sound from the window. Returns 0.
int CloseScreen();

// Sprite_End's work: closes the screen, destroys the three registries,
// releases Direct3D, shuts the input devices and the sound down and frees the
// colour-key table. Returns 0.
int ShutdownLibrary();

// --- presentation (present.cpp) -----------------------------------------------------

// Ends the scene, paces (mode 0, 1 or 2), presents; recovers a lost device.
// 1 when the frame was presented, else 0.
int FlipBuffers2(int mode);

// Waits until the frame is due; 0x80004005 when there is no device.
HRESULT PaceFrame(int refresh, int fps, bool sleeping);

// Milliseconds since the first call, on the performance counter when there is one.
int ElapsedMilliseconds();

// Resets the lost device and brings the sprites, the back buffer and the
// render-state caches back; false when the reset failed.
bool ResetDevice();

// Clears the current target with a host colour (red in the low byte); 1 or 0.
int ClearScreen(int colour);

// 1 when the screen can be drawn and shown now.
int IsScreenActive();

}  // namespace korrin
