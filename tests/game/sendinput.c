/* sendinput: brings a top-level window, found by its title, to the foreground
   and injects input into it as the user's keyboard and mouse would.
     sendinput TITLE down KEY | up KEY | move DX DY
   KEY is one of escape, left, right, up, down. TITLE "-" sends to whatever
   window has the foreground (to let a key go after its window has gone).
   Exit code 0 when done, 1 when the window was not found, 2 for bad
   arguments. */
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static int KeyCode(const char* name, int* extended) {
    static const struct { const char* name; int key; int extended; } keys[] = {
        {"escape", VK_ESCAPE, 0}, {"left", VK_LEFT, 1}, {"right", VK_RIGHT, 1},
        {"up", VK_UP, 1}, {"down", VK_DOWN, 1}};
    for (size_t i = 0; i < sizeof keys / sizeof keys[0]; ++i)
        if (strcmp(name, keys[i].name) == 0) {
            *extended = keys[i].extended;
            return keys[i].key;
        }
    return 0;
}

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    if (strcmp(argv[1], "-") != 0) {
        HWND window = FindWindowA(NULL, argv[1]);
        if (!window) return 1;
        SetForegroundWindow(window);
    }
    INPUT input;
    memset(&input, 0, sizeof input);
    if (strcmp(argv[2], "move") == 0 && argc >= 5) {
        input.type = INPUT_MOUSE;
        input.mi.dx = atoi(argv[3]);
        input.mi.dy = atoi(argv[4]);
        input.mi.dwFlags = MOUSEEVENTF_MOVE;
    } else if (strcmp(argv[2], "down") == 0 || strcmp(argv[2], "up") == 0) {
        int extended = 0;
        const int key = KeyCode(argv[3], &extended);
        if (!key) return 2;
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = (WORD)key;
        input.ki.wScan = (WORD)MapVirtualKeyA(key, MAPVK_VK_TO_VSC);
        input.ki.dwFlags = (extended ? KEYEVENTF_EXTENDEDKEY : 0) | (argv[2][0] == 'u' ? KEYEVENTF_KEYUP : 0);
    } else {
        return 2;
    }
    return SendInput(1, &input, sizeof input) == 1 ? 0 : 3;
}
