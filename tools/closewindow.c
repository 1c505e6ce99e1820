/* closewindow: sends a top-level window, found by its title, the close event
   (WM_CLOSE), as a user closing it would. Exit code 0 when it was found. */
#include <windows.h>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    HWND window = FindWindowA(NULL, argv[1]);
    if (!window) return 1;
    PostMessageA(window, WM_CLOSE, 0, 0);
    return 0;
}
