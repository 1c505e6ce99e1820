/*
 * game: a small korrin game in C. A yellow ball flies over a meadow; the
 * arrow keys and the mouse move it, rocks stop it with a thud (pixel-exact
 * collision), a star turns in the corner (a 3D sprite) and a translucent
 * panel lies over the bottom of the picture, while an Ogg Vorbis tune loops.
 * Escape or closing the window ends it.
 *
 * Pictures and sounds lie in the folder "game" beside the program: PNG images
 * with alpha, a WAVE and an Ogg Vorbis sound (the build makes them). The
 * program reports on its standard output what happens, one line per event
 * ("ready … picture at X Y", "player X Y", "bump playing", "end …"), so that a test can follow it.
 *
 * Built against include/korrin.h and korrin's import library; korrin.dll
 * must lie beside game.exe.
 */
#define WIN32_LEAN_AND_MEAN
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "korrin.h"

/* For the sound buffer's play state. <mmsystem.h> maps PlaySound to a
   function of winmm's; korrin's command is declared above, before it. */
#include <mmsystem.h>
#include <dsound.h>
#undef PlaySound

/* Sprite numbers. */
enum { BACK, PLAYER, PLAYER_MASK, ROCK, PANEL, STAR };
/* 3D sprite and sound numbers. */
enum { STAR_3D = 0 };
enum { BUMP = 0, MUSIC = 1 };

/* DirectInput scan codes of the keys the game reads. */
enum { KEY_ESCAPE = 1, KEY_UP = 200, KEY_LEFT = 203, KEY_RIGHT = 205, KEY_DOWN = 208 };

enum { SCREEN_WIDTH = 640, SCREEN_HEIGHT = 480, SPEED = 4 };

typedef struct {
    int x, y;
} Point;

static const Point rocks[] = {{300, 184}, {430, 300}, {170, 330}};
static const int rockCount = sizeof rocks / sizeof rocks[0];

static int running = 1;

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        running = 0;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static void Report(const char* line) {
    fputs(line, stdout);
    fputc('\n', stdout);
    fflush(stdout);
}

/* The asset folder: "game" beside the program. */
static void AssetPath(char* path, size_t size, const char* name) {
    char folder[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, folder, sizeof folder);
    while (length > 0 && folder[length - 1] != '\\' && folder[length - 1] != '/') --length;
    folder[length] = '\0';
    snprintf(path, size, "%sgame\\%s", folder, name);
}

static int Load(int sprite, const char* name, int flags) {
    char path[MAX_PATH + 32];
    AssetPath(path, sizeof path, name);
    if (LoadSprite2(sprite, path, flags)) return 1;
    fprintf(stderr, "could not load %s\n", path);
    return 0;
}

/* Whether the player's mask at (x, y) touches a rock's solid pixels. */
static int HitsRock(int x, int y) {
    for (int i = 0; i < rockCount; ++i)
        if (SpritePixelCollision(PLAYER_MASK, x, y, ROCK, rocks[i].x, rocks[i].y)) return 1;
    return 0;
}

/* A window whose client area is exactly the screen's size. */
static HWND MakeWindow(void) {
    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    windowClass.lpszClassName = "KorrinGame";
    RegisterClassA(&windowClass);
    RECT frame = {0, 0, SCREEN_WIDTH, SCREEN_HEIGHT};
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE;
    AdjustWindowRect(&frame, style, FALSE);
    return CreateWindowExA(0, "KorrinGame", "korrin game", style, 0, 0, frame.right - frame.left,
                           frame.bottom - frame.top, NULL, NULL, windowClass.hInstance, NULL);
}

int main(void) {
    HWND window = MakeWindow();
    if (!window || !InitSprite() || !InitSprite3D()) {
        fprintf(stderr, "no Direct3D 9\n");
        return 1;
    }
    /* Input and sound are started before the screen, which attaches them. */
    const int keyboard = InitKeyboard();
    const int mouse = InitMouse();
    const int sound = InitSound() != NULL;
    if (!OpenWindowedScreen(window, 0, 0, SCREEN_WIDTH, SCREEN_HEIGHT, 0, 0, 0)) {
        fprintf(stderr, "the screen could not be opened\n");
        return 1;
    }

    /* The background, the ball and the star are 32-bit sprites (4 + 8): the
       sky keeps its smooth gradient, ball and star their alpha. The ball
       collides through a 16-bit copy of it: loaded without alpha, its
       transparent pixels are black, the default transparent colour. Rocks
       and panel are 16-bit sprites with black left out. */
    if (!Load(BACK, "back.png", 4 + 8) || !Load(PLAYER, "player.png", 4 + 8) || !Load(PLAYER_MASK, "player.png", 0) ||
        !Load(ROCK, "rock.png", 0) || !Load(PANEL, "panel.png", 0) || !Load(STAR, "star.png", 4 + 8))
        return 2;
    if (!CreateSprite3D(STAR_3D, STAR)) return 2;

    /* LoadSound returns the sound's DirectSound buffer for a numbered sound:
       the bump's buffer tells whether it is playing. */
    IDirectSoundBuffer* bumpBuffer = NULL;
    if (sound) {
        char path[MAX_PATH + 32];
        AssetPath(path, sizeof path, "bump.wav");
        bumpBuffer = (IDirectSoundBuffer*)(INT_PTR)LoadSound(BUMP, path);
        AssetPath(path, sizeof path, "music.ogg");
        if (LoadSound(MUSIC, path)) {
            SoundVolume(MUSIC, 60);
            PlaySound2(MUSIC, 1);
        }
    }
    POINT client = {0, 0};
    ClientToScreen(window, &client);
    printf("ready keyboard %d mouse %d sound %d picture at %ld %ld\n", keyboard, mouse, bumpBuffer != NULL, client.x,
           client.y);
    fflush(stdout);

    int x = 60, y = 200, touching = 0, frames = 0;
    char line[64];
    while (running) {
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }

        ExamineKeyboard();
        ExamineMouse();
        if (KeyboardPushed(KEY_ESCAPE)) break;
        const int dx = (KeyboardPushed(KEY_RIGHT) - KeyboardPushed(KEY_LEFT)) * SPEED + MouseDeltaX();
        const int dy = (KeyboardPushed(KEY_DOWN) - KeyboardPushed(KEY_UP)) * SPEED + MouseDeltaY();
        if (dx != 0 || dy != 0) {
            int nx = x + dx, ny = y + dy;
            if (nx < 0) nx = 0;
            if (ny < 0) ny = 0;
            if (nx > SCREEN_WIDTH - SpriteWidth(PLAYER)) nx = SCREEN_WIDTH - SpriteWidth(PLAYER);
            if (ny > SCREEN_HEIGHT - SpriteHeight(PLAYER)) ny = SCREEN_HEIGHT - SpriteHeight(PLAYER);
            if (HitsRock(nx, ny)) {
                /* Blocked: the ball stays, and thuds once per contact. */
                if (!touching) {
                    PlaySound(BUMP);
                    DWORD status = 0;
                    if (bumpBuffer) IDirectSoundBuffer_GetStatus(bumpBuffer, &status);
                    Report(status & DSBSTATUS_PLAYING ? "bump playing" : "bump silent");
                }
                touching = 1;
            } else {
                touching = 0;
                if (nx != x || ny != y) {
                    x = nx;
                    y = ny;
                    snprintf(line, sizeof line, "player %d %d", x, y);
                    Report(line);
                }
            }
        }

        DisplaySprite(BACK, 0, 0);
        for (int i = 0; i < rockCount; ++i) DisplayTransparentSprite(ROCK, rocks[i].x, rocks[i].y);
        DisplayShadowSprite(PLAYER_MASK, x + 6, y + 8);
        DisplayTransparentSprite(PLAYER, x, y);
        Start3D();
        RotateSprite3D(STAR_3D, 2, 1);
        DisplaySprite3D(STAR_3D, 560, 16);
        Stop3D();
        DisplayTranslucentSprite(PANEL, 0, SCREEN_HEIGHT - SpriteHeight(PANEL), 128);
        FlipBuffers();
        ++frames;
    }

    Sprite_End();
    snprintf(line, sizeof line, "end %d frames", frames);
    Report(line);
    return 0;
}
