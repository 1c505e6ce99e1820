// Frame presentation: ending the scene, pacing, presenting, and recovering a
// lost device; the millisecond clock that pacing runs on; clearing the target
// and asking whether the screen can be used. The device presents immediately:
// the waits for the frame time and the vertical blank are the library's own
// (screen/Pacing.cpp).
#include "screen/screen.h"

#include <algorithm>

#include "frame/ErrorPosition.h"
#include "frame/globals.h"
#include "frame/platform.h"
#include "render/DeviceState.h"
#include "screen/Pacing.h"
#include "sprites/Sprite.h"
#include "sprites/SpriteBatch.h"

namespace korrin {

namespace {

// How long FlipBuffers waits for a lost device to come back, in tick counts.
constexpr DWORD kLostDeviceWait = 32;

// Millisecond clock state.
int timerSource;                 // 0 not started, 1 performance counter, 2 tick count
LONGLONG counterTicksPerMillisecond;
LONGLONG counterFrequency;       // ticks per second of the pacing counter (1000 on the tick count)
LONGLONG clockStart;             // counter or tick count at the first reading

PacingState pacing;  // lastFlipTime, sleepBudget and the frame schedule, kept between frames

std::int32_t ClockReading(void*) { return ElapsedMilliseconds(); }
void SleepFor(void*, int milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }
void PauseHint(void*) { YieldProcessor(); }
RasterState ReadRasterStatus(void*, unsigned* scanLine) {
    D3DRASTER_STATUS status = {};
    if (!device || FAILED(device->GetRasterStatus(0, &status))) return RasterState::Failed;
    *scanLine = status.ScanLine;
    return status.InVBlank ? RasterState::InBlank : RasterState::NotInBlank;
}

// Ticks since the millisecond clock started, on the same source. The tick
// count is carried on in 64 bits, so that the schedule never sees it wrap.
std::int64_t CounterReading(void*) {
    if (timerSource == 1) {
        LARGE_INTEGER counter = {};
        QueryPerformanceCounter(&counter);
        return counter.QuadPart - clockStart;
    }
    static DWORD lastTick;
    static std::int64_t ticks;
    const DWORD tick = GetTickCount() - static_cast<DWORD>(clockStart);
    ticks += static_cast<DWORD>(tick - lastTick);
    lastTick = tick;
    return ticks;
}

// Source and destination of a windowed Present. The source never reaches past
// the back buffer: without stretching, a window larger than the screen shows
// the whole picture unscaled at (viewX, viewY) and nothing beyond it. True
// when they are the whole back buffer and the whole client area, which
// Present is better told with null rectangles: some implementations take a
// slow copy path for any rectangle.
bool WindowedRectangles(RECT& source, RECT& destination) {
    RECT client = {};
    GetClientRect(presentParams.hDeviceWindow, &client);
    destination = {viewX, viewY, client.right - rightOffset, client.bottom - bottomOffset};
    const LONG bufferWidth = static_cast<LONG>(presentParams.BackBufferWidth);
    const LONG bufferHeight = static_cast<LONG>(presentParams.BackBufferHeight);
    if (autoStretch) {
        source = {0, 0, std::min<LONG>(targetWidth, bufferWidth), std::min<LONG>(targetHeight, bufferHeight)};
    } else {
        const LONG width = std::min<LONG>(destination.right - destination.left, bufferWidth);
        const LONG height = std::min<LONG>(destination.bottom - destination.top, bufferHeight);
        source = {0, 0, width, height};
        destination.right = destination.left + width;
        destination.bottom = destination.top + height;
    }
    const RECT wholeBuffer = {0, 0, bufferWidth, bufferHeight};
    return EqualRect(&source, &wholeBuffer) && EqualRect(&destination, &client);
}

}  // namespace

int ElapsedMilliseconds() {
    if (timerSource == 0) {
        LARGE_INTEGER frequency = {}, counter = {};
        // A counter slower than 1 kHz would make the ticks per millisecond 0.
        if (QueryPerformanceFrequency(&frequency) && frequency.QuadPart >= 1000 && QueryPerformanceCounter(&counter)) {
            counterTicksPerMillisecond = frequency.QuadPart / 1000;
            counterFrequency = frequency.QuadPart;
            clockStart = counter.QuadPart;
            timerSource = 1;
        } else {
            clockStart = static_cast<LONG>(GetTickCount());
            counterFrequency = 1000;
            timerSource = 2;
        }
    }
    if (timerSource == 1) {
        LARGE_INTEGER counter = {};
        QueryPerformanceCounter(&counter);
        return static_cast<int>(static_cast<DWORD>((counter.QuadPart - clockStart) / counterTicksPerMillisecond));
    }
    return static_cast<int>(GetTickCount() - static_cast<DWORD>(clockStart));
}

HRESULT PaceFrame(int refresh, int fps, bool sleeping) {
    RECORD_POSITION(MODULE_D3D9_INC);
    if (!device) return E_FAIL;
    ElapsedMilliseconds();  // starts the clocks
    const PacingPlatform platform = {ClockReading, SleepFor, PauseHint, ReadRasterStatus,
                                     CounterReading, counterFrequency, nullptr};
    korrin::PaceFrame(pacing, platform, refresh, fps, sleeping);
    return S_OK;
}

// The one place that resets the device. An open scene is ended first, so
// that inScene does not outlive it. Default-pool resources go next (the
// reset fails while any is alive) and come back afterwards with the back
// buffer; the render states the caches describe are set to known values.
bool ResetDevice() {
    RECORD_POSITION(MODULE_D3D9_INC);
    EndSceneIfOpen();
    ResetDrawTarget();  // a sprite's surface bound as the target would keep the reset from working
    ReleaseSpritesVideoMemory();
    ReleaseObject(backBuffer);
    if (FAILED(device->Reset(&presentParams))) return false;
    RestoreSpritesVideoMemory();
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer);
    RestoreDeviceState();
    return true;
}

int FlipBuffers2(int mode) {
    RECORD_POSITION(MODULE_D3D9_INC);
    if (!device || !IsWindow(presentParams.hDeviceWindow)) {
        screenActive = 0;
        return 0;
    }

    FlushSpriteBatch();

    // Full-screen: the library's window is pumped here, one message per frame.
    // A quit request is put back for the program's own loop, and a program
    // that closed the screen while handling the message finds it closed.
    if (!presentParams.Windowed) {
        MSG message;
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(message.wParam));
            } else {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
        if (!device) {
            screenActive = 0;
            return 0;
        }
    }

    HRESULT result = device->TestCooperativeLevel();
    if (result == D3DERR_DRIVERINTERNALERROR) {
        screenActive = 0;
        return 0;
    }
    if (result == D3DERR_DEVICELOST) {
        const DWORD start = GetTickCount();
        do {
            Sleep(1);
            result = device->TestCooperativeLevel();
            if (result == D3DERR_DRIVERINTERNALERROR) {
                screenActive = 0;
                return 0;
            }
        } while (result != D3DERR_DEVICENOTRESET && result != D3D_OK && GetTickCount() - start <= kLostDeviceWait);
        if (result == D3DERR_DEVICELOST) {
            screenActive = 0;
            return 0;
        }
    }
    if (result == D3DERR_DEVICENOTRESET && !ResetDevice()) {
        screenActive = 0;
        return 0;
    }

    EndSceneIfOpen();

    if (mode == 0)
        PaceFrame(0, frameRate, false);
    else if (mode == 2)
        PaceFrame(refreshRate, frameRate, true);
    else
        PaceFrame(refreshRate, frameRate, false);

    RECT source, destination;
    if (presentParams.Windowed && !WindowedRectangles(source, destination))
        result = device->Present(&source, &destination, nullptr, nullptr);
    else
        result = device->Present(nullptr, nullptr, nullptr, nullptr);
    if (result == D3D_OK) {
        screenActive = 1;
        return 1;
    }
    // A lost device is waited for and reset by the next call, and drawing is
    // refused until then. Any other failure drops this frame only: the
    // screen stays usable and the next call presents again.
    if (result == D3DERR_DEVICELOST || result == D3DERR_DRIVERINTERNALERROR) screenActive = 0;
    return 0;
}

int ClearScreen(int colour) {
    RECORD_POSITION(MODULE_D3D9_INC);
    if (!device || !screenActive) return 0;
    CheckDrawTarget();
    FlushSpriteBatch();
    // Host order (red low) to Direct3D order (red in bits 16-23), opaque:
    // a target with alpha (a 32-bit sprite) is cleared to alpha 255.
    const int swapped = (colour >> 16) + (colour & 0xFF00) + ((colour & 0xFF) << 16);
    ReclaimBackBuffer();
    const D3DCOLOR cleared = static_cast<D3DCOLOR>(swapped) | 0xFF000000u;
    const HRESULT result = device->Clear(0, nullptr, D3DCLEAR_TARGET, cleared, 0.0f, 0);
    return result == D3D_OK ? 1 : 0;
}

int IsScreenActive() {
    RECORD_POSITION(MODULE_D3D9_INC);
    if (!device || !screenActive) return 0;
    HWND window = presentParams.hDeviceWindow;
    if (!IsWindow(window) || IsIconic(window) || GetForegroundWindow() != window) return 0;
    return device->TestCooperativeLevel() == D3D_OK ? 1 : 0;
}

}  // namespace korrin
