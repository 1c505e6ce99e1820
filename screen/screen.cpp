// Screen opening and closing: the library's full-screen window, the hook on a
// host window, the presentation parameters and the device. A screen is open
// while `device` is set; CloseScreen frees what depends on the device and
// leaves windows, the window hook and the library's settings in place. The
// library's teardown (Sprite_End) is here too, since it starts with the screen.
#include "screen/screen.h"

#include <cstdlib>

#include "frame/ErrorPosition.h"
#include "frame/globals.h"
#include "frame/platform.h"
#include "input/input.h"
#include "render/DeviceState.h"
#include "sound/DS8.h"
#include "sprites/ColourKey.h"
#include "sprites/Sprite.h"
#include "sprites/SpriteBatch.h"

namespace korrin {

// Procedure installed on the host window of a windowed screen.
static LRESULT CALLBACK ScreenWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

namespace {

const char kScreenClass[] = "DXScreenClass";

// Window property holding the procedure a hooked host window had before
// ScreenWindowProc; its presence marks the window as hooked.
const char kPreviousProcProperty[] = "korrin.PreviousWindowProc";

bool screenClassRegistered;  // "DXScreenClass" exists in this process
bool repainting;             // ScreenWindowProc is presenting for WM_PAINT/WM_ERASEBKGND

// Registers "DXScreenClass" on first use. Its procedure is DefWindowProcA as
// User32 exports it, so the class stays valid when the library is unloaded.
// A class left registered by an earlier load of the library is used as it is.
bool RegisterScreenClass(HINSTANCE instance) {
    if (screenClassRegistered) return true;
    auto defaultProc = reinterpret_cast<WNDPROC>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("User32.dll"), "DefWindowProcA")));
    WNDCLASSA windowClass = {};
    windowClass.style = CS_OWNDC | CS_NOCLOSE;
    windowClass.lpfnWndProc = defaultProc ? defaultProc : DefWindowProcA;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = CreateSolidBrush(RGB(0, 0, 0));
    windowClass.lpszClassName = kScreenClass;
    if (RegisterClassA(&windowClass)) {
        screenClassRegistered = true;
        return true;
    }
    const DWORD error = GetLastError();
    // The icon and cursor are the system's shared ones: only the brush is ours.
    if (windowClass.hbrBackground) DeleteObject(windowClass.hbrBackground);
    if (error == ERROR_CLASS_ALREADY_EXISTS) screenClassRegistered = true;
    return screenClassRegistered;
}

// Installs ScreenWindowProc on a host window once; a window hooked before
// keeps the procedure it had before its first hooking.
void HookWindow(HWND window) {
    if (GetPropA(window, kPreviousProcProperty)) return;
    const LONG previous = GetWindowLongA(window, GWL_WNDPROC);
    if (!previous || !SetPropA(window, kPreviousProcProperty, reinterpret_cast<HANDLE>(previous))) return;
    if (!SetWindowLongA(window, GWL_WNDPROC, reinterpret_cast<LONG>(ScreenWindowProc)))
        RemovePropA(window, kPreviousProcProperty);
}

// Steps shared by both kinds of screen once presentParams is filled: the
// caps, the device on `focus` and the refresh rate. False with `device` null.
bool CreateScreenDevice(HWND focus) {
    if (FAILED(d3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &deviceCaps))) return false;
    // The host's floating-point state is its own: without FPU_PRESERVE the
    // device would switch the x87 unit to single precision for the process.
    const DWORD processing = (deviceCaps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) ? D3DCREATE_MIXED_VERTEXPROCESSING
                                                                                   : D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    const DWORD behaviour = processing | D3DCREATE_FPU_PRESERVE;
    IDirect3DDevice9* created = nullptr;
    if (FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, focus, behaviour, &presentParams, &created)) ||
        !created)
        return false;
    device = created;

    D3DDISPLAYMODE mode = {};
    const bool known = SUCCEEDED(d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode)) && mode.RefreshRate != 0;
    refreshRate = known ? static_cast<int>(mode.RefreshRate) : 60;

    InvalidateDeviceState();
    return true;
}

// Binds each started subsystem to a new screen's window, in this order.
void AttachDevices(HWND window) {
    if (keyboardReady) AttachKeyboard(window);
    if (mouseReady) AttachMouse(window);
    if (joystickReady) AttachJoystick(window);
    if (soundReady) AttachSound(window);
}

// Lets go of everything AttachDevices bound; nothing for what never started.
void DetachDevices() {
    DetachKeyboard();
    DetachMouse();
    DetachJoystick();
    DetachSound();
}

// Last steps of every opening: the colour-key shader, the back buffer, black.
// None of their failures closes the screen.
void FinishOpening() {
    CreateColourKeyShader();
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00000000, 0.0f, 0);
}

}  // namespace

// Full-screen back-buffer format for 16 or 32 bits; D3DFMT_UNKNOWN when none fits.
static D3DFORMAT ChooseBackBufferFormat(int depth) {
    RECORD_POSITION(MODULE_D3D9_HELPERS);
    if (!d3d) return D3DFMT_UNKNOWN;
    auto usable = [](D3DFORMAT format) {
        return SUCCEEDED(d3d->CheckDeviceType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, format, format, FALSE));
    };
    if (depth == 32) return usable(D3DFMT_X8R8G8B8) ? D3DFMT_X8R8G8B8 : D3DFMT_UNKNOWN;
    if (depth == 16) {
        if (usable(D3DFMT_R5G6B5)) return D3DFMT_R5G6B5;
        if (usable(D3DFMT_X1R5G5B5)) return D3DFMT_X1R5G5B5;
    }
    return D3DFMT_UNKNOWN;
}

// Fills presentParams for a screen of the given kind; 0x80004005 on bad input.
static HRESULT BuildPresentParams(HWND window, int width, int height, bool windowed, int depth) {
    RECORD_POSITION(MODULE_D3D9_HELPERS);
    if (width <= 0 || height <= 0 || !IsWindow(window) || !d3d) return E_FAIL;
    D3DFORMAT format;
    if (windowed) {
        D3DDISPLAYMODE desktop = {};
        if (FAILED(d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &desktop))) return E_FAIL;
        format = desktop.Format;
    } else {
        format = ChooseBackBufferFormat(depth);
    }
    presentParams.BackBufferWidth = static_cast<UINT>(width);
    presentParams.BackBufferHeight = static_cast<UINT>(height);
    presentParams.BackBufferFormat = format;
    presentParams.BackBufferCount = 1;
    presentParams.MultiSampleType = D3DMULTISAMPLE_NONE;
    presentParams.MultiSampleQuality = 0;
    presentParams.SwapEffect = windowed ? D3DSWAPEFFECT_COPY : D3DSWAPEFFECT_FLIP;
    presentParams.hDeviceWindow = window;
    presentParams.Windowed = windowed ? TRUE : FALSE;
    presentParams.EnableAutoDepthStencil = FALSE;
    presentParams.AutoDepthStencilFormat = D3DFMT_UNKNOWN;
    presentParams.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    presentParams.FullScreen_RefreshRateInHz = 0;
    presentParams.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    return S_OK;
}

// The library's own popup window for a full-screen screen, or null.
static HWND CreateScreenWindow(int width, int height, const char* title) {
    RECORD_POSITION(MODULE_D3D9_HELPERS);
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!RegisterScreenClass(instance)) return nullptr;
    HWND window = CreateWindowExA(0, kScreenClass, title, WS_POPUP, 0, 0, width, height, nullptr, nullptr, instance,
                                  nullptr);
    if (window) {
        UpdateWindow(window);
        ShowWindow(window, SW_SHOWNORMAL);
    }
    return window;
}

// Paint messages first show the last frame again; every message then goes on
// to the window's own procedure, exactly once.
static LRESULT CALLBACK ScreenWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    RECORD_POSITION(MODULE_D3D9_HELPERS);
    // Only the screen's own window is repainted, and never from inside a
    // repaint (a reset may send messages of its own).
    if ((message == WM_PAINT || message == WM_ERASEBKGND) && !repainting && window == presentParams.hDeviceWindow) {
        repainting = true;
        FlipBuffers2(0);
        repainting = false;
    }
    auto previous = reinterpret_cast<WNDPROC>(GetPropA(window, kPreviousProcProperty));
    if (message == WM_NCDESTROY) RemovePropA(window, kPreviousProcProperty);
    return previous ? CallWindowProcA(previous, window, message, wParam, lParam)
                    : DefWindowProcA(window, message, wParam, lParam);
}

// Bad sizes, a missing InitSprite and a depth without a back-buffer format
// are refused before a window is made, so that a refused call leaves nothing
// behind; the device's own refusals leave the window, as a failed opening does.
IDirect3DDevice9* OpenScreen(int width, int height, int depth, const char* title) {
    RECORD_POSITION(MODULE_D3D9_HELPERS);
    CloseScreen();
    if (width <= 0 || height <= 0 || !d3d || ChooseBackBufferFormat(depth) == D3DFMT_UNKNOWN) return nullptr;
    HWND window = CreateScreenWindow(width, height, title);
    AttachDevices(window);
    // As with a windowed screen, a failed opening lets go of what it attached.
    if (FAILED(BuildPresentParams(window, width, height, false, depth)) || !CreateScreenDevice(window)) {
        DetachDevices();
        return nullptr;
    }
    targetWidth = screenWidth = width;
    targetHeight = screenHeight = height;
    screenIsWindowed = 0;
    currentBuffer = -1;
    screenActive = 1;
    FinishOpening();
    SetCursor(nullptr);
    return device;
}

IDirect3DDevice9* OpenWindowedScreen(HWND window, int x, int y, int width, int height, int stretch, int right,
                                     int bottom) {
    RECORD_POSITION(MODULE_D3D9_HELPERS);
    CloseScreen();
    if (!IsWindow(window)) return nullptr;
    if (width <= 0 || height <= 0 || !d3d) return nullptr;
    HookWindow(window);
    AttachDevices(window);
    // A failed opening lets go of everything it attached: the host's window
    // has no screen, and an exclusively acquired mouse would stay captured.
    if (FAILED(BuildPresentParams(window, width, height, true, 0)) || !CreateScreenDevice(window)) {
        DetachDevices();
        return nullptr;
    }
    targetWidth = screenWidth = width;
    targetHeight = screenHeight = height;
    currentBuffer = -1;
    viewX = x;
    viewY = y;
    autoStretch = stretch;
    rightOffset = right;
    bottomOffset = bottom;
    screenActive = 1;
    FinishOpening();
    screenIsWindowed = 1;
    return device;
}

// The colour-key shader goes with the device that made it.
int CloseScreen() {
    RECORD_POSITION(MODULE_D3D9_HELPERS);
    FlushSpriteBatch();
    std::free(modeList);
    modeList = nullptr;
    if (spriteRegistry) ForEachObject(spriteRegistry, ReleaseSpriteRecord);
    ReleaseObject(backBuffer);
    if (device) {
        EndSceneIfOpen();
        ReleaseColourKeyShader();
        ReleaseObject(device);
    }
    ForgetSpriteBatch();
    DetachDevices();
    return 0;
}

// The order matters: the screen first (it frees every sprite), then the
// registries, Direct3D, the input devices and the sound, the table last.
int ShutdownLibrary() {
    CloseScreen();
    if (soundRegistry) DestroyRegistry(soundRegistry);
    soundRegistry = nullptr;
    if (spriteRegistry) DestroyRegistry(spriteRegistry);
    spriteRegistry = nullptr;
    if (sprite3DRegistry) DestroyRegistry(sprite3DRegistry);
    sprite3DRegistry = nullptr;
    ReleaseObject(d3d);
    ShutdownKeyboard();
    ShutdownMouse();
    ShutdownJoystick();
    ShutdownSound();
    FreeColourKeyTable();
    return 0;
}

}  // namespace korrin
