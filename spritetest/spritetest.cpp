// spritetest: loads korrin.dll by name, binds every command by name, opens a
// windowed screen in a window of its own, builds a 256 by 256 sprite with a
// per-pixel alpha gradient by writing its pixels, turns it into a 3D sprite,
// loads a background from back.bmp and draws frames until the window closes:
// the background, then six rotating, alpha-blended copies of the 3D sprite.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "korrin.h"          // the descriptor type only: every command is bound by name
#include "korrin_exports.h"  // every export's name, from korrin.def

namespace {

constexpr int kCommandCount = sizeof korrinExports / sizeof korrinExports[0];
FARPROC commands[kCommandCount];  // filled by name, in the order of korrinExports

// The entry point of a command, by name (null when the library lacks it).
template <class R, class... A>
using CommandProc = R(__stdcall*)(A...);

template <class R, class... A>
CommandProc<R, A...> Command(const char* name) {
    for (int i = 0; i < kCommandCount; ++i)
        if (std::strcmp(korrinExports[i].name, name) == 0)
            return reinterpret_cast<CommandProc<R, A...>>(reinterpret_cast<void*>(commands[i]));
    return nullptr;
}

bool closeRequested;  // the window's close event arrived

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        closeRequested = true;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Host window 1: a 640 by 480 client area centred on the screen, with a
// caption, a system menu and a sizing frame.
HWND OpenHostWindow() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.lpszClassName = "KorrinTestWindow";
    RegisterClassA(&windowClass);
    const DWORD style = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
    RECT frame = {0, 0, 640, 480};
    AdjustWindowRect(&frame, style, FALSE);
    const int w = frame.right - frame.left, h = frame.bottom - frame.top;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    HWND window = CreateWindowExA(0, "KorrinTestWindow", "Korrin test 4", style, x, y, w, h, nullptr, nullptr,
                                  windowClass.hInstance, nullptr);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    return window;
}

}  // namespace

int main() {
    HMODULE korrin = LoadLibraryA("korrin.dll");
    if (!korrin) {
        std::fprintf(stderr, "spritetest: korrin.dll could not be loaded\n");
        return 1;
    }
    for (int i = 0; i < kCommandCount; ++i) commands[i] = GetProcAddress(korrin, korrinExports[i].name);

    Command<void*>("InitSprite")();
    Command<int>("InitSprite3D")();
    HWND window = OpenHostWindow();
    Command<void*, void*, int, int, int, int, int, int, int>("OpenWindowedScreen")(window, 10, 10, 640, 480, 1, 10, 10);
    Command<int, int, int, int, int>("CreateSprite2")(1, 256, 256, 12);
    Command<int, int, int>("CreateSprite3D")(1, 1);

    // The alpha gradient: alpha rises from 0 at the left edge to 255 at the
    // right, the low bytes hold a radial pattern.
    auto* output = static_cast<KorrinDrawingOutput*>(Command<void*, int>("SpriteOutput")(1));
    if (output) {
        auto* base = static_cast<unsigned char*>(output->getBuffer());
        const int pitch = output->pitch;
        if (base) {
            for (int x = 0; x < 256; ++x) {
                for (int y = 0; y < 256; ++y) {
                    const int dx = x - 128, dy = y - 128;
                    const unsigned value = static_cast<unsigned>(x) * 16777216u + static_cast<unsigned>(dx * dx / 10 + dy * dy / 10);
                    *reinterpret_cast<unsigned*>(base + y * pitch + x * 4) = value;
                }
            }
        }
        output->release();
    }
    Command<int, int, const char*>("LoadSprite")(0, "back.bmp");

    auto displaySprite = Command<int, int, int, int>("DisplaySprite");
    auto start3D = Command<int>("Start3D");
    auto rotate = Command<int, int, int, int>("RotateSprite3D");
    auto display3D = Command<int, int, int, int>("DisplaySprite3D");
    auto stop3D = Command<int>("Stop3D");
    auto flip = Command<int>("FlipBuffers");
    while (!closeRequested) {
        displaySprite(0, 0, 0);
        start3D();
        rotate(1, 1, 1);
        for (int i = -50; i <= 50; i += 20) display3D(1, i + 100, i + 100);
        stop3D();
        flip();
        MSG message;
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }

    FreeLibrary(korrin);
    return 0;
}
