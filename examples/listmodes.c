/*
 * listmodes: loads korrin.dll by name, starts Direct3D with InitSprite and
 * prints the display modes the library lists, the way a host program does.
 */
#include <stdio.h>
#include <windows.h>

typedef void* (__stdcall *PointerCommand)(void);
typedef int (__stdcall *IntCommand)(void);

int main(void) {
    HMODULE korrin = LoadLibraryA("korrin.dll");
    if (!korrin) {
        fprintf(stderr, "korrin.dll could not be loaded\n");
        return 1;
    }
    /* GetProcAddress gives a generic procedure; each command has its own type. */
    PointerCommand initSprite = (PointerCommand)(void*)GetProcAddress(korrin, "InitSprite");
    IntCommand examine = (IntCommand)(void*)GetProcAddress(korrin, "ExamineScreenModes");
    IntCommand next = (IntCommand)(void*)GetProcAddress(korrin, "NextScreenMode");
    IntCommand width = (IntCommand)(void*)GetProcAddress(korrin, "ScreenModeWidth");
    IntCommand height = (IntCommand)(void*)GetProcAddress(korrin, "ScreenModeHeight");
    IntCommand depth = (IntCommand)(void*)GetProcAddress(korrin, "ScreenModeDepth");
    IntCommand refresh = (IntCommand)(void*)GetProcAddress(korrin, "ScreenModeRefreshRate");
    IntCommand end = (IntCommand)(void*)GetProcAddress(korrin, "Sprite_End");
    if (!initSprite || !examine || !next || !width || !height || !depth || !refresh || !end) {
        fprintf(stderr, "korrin.dll lacks a command\n");
        return 1;
    }
    if (!initSprite()) {
        fprintf(stderr, "InitSprite failed: no Direct3D 9\n");
        return 1;
    }
    printf("%d display modes:\n", examine());
    while (next())
        printf("  %4d x %4d, %2d bits, %d Hz\n", width(), height(), depth(), refresh());
    end();
    FreeLibrary(korrin);
    return 0;
}
