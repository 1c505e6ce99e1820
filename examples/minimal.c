/*
 * minimal: the smallest korrin program in C. It opens a window with a
 * windowed screen in it, loads a sprite from a bitmap file, and draws it
 * every frame until the window is closed. Built against include/korrin.h and
 * korrin's import library.
 */
#include <windows.h>

#include "korrin.h"

static int running = 1;

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        running = 0;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int main(int argc, char** argv) {
    const char* picture = argc > 1 ? argv[1] : "back.bmp";
    WNDCLASSA windowClass = {0};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = "MinimalKorrin";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "MinimalKorrin", "minimal", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 660, 520,
                                  NULL, NULL, windowClass.hInstance, NULL);

    if (!InitSprite() || !OpenWindowedScreen(window, 0, 0, 640, 480, 0, 0, 0)) return 1;
    if (!LoadSprite(0, picture)) return 2;

    while (running) {
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        ClearScreen(0x000000);
        DisplaySprite(0, 0, 0);
        FlipBuffers();
    }
    Sprite_End();
    return 0;
}
