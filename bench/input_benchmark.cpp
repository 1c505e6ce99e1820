// Benchmark: the cost of one frame's input as a game spends it, in
// microseconds: ExamineKeyboard, ExamineMouse and ExamineJoystick, then a few
// questions to each device. The screen's window is in the foreground so that
// keyboard and mouse are acquired and really read; the joystick is read when
// a game controller exists (run beside the stand-in dinput8.dll for one),
// otherwise its examine finds none. Also reports how much committed memory
// the frames added, which should be nothing.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench_host.h"
#include "windows_helpers.h"

namespace {

constexpr int kFrames = 2000;  // per round
constexpr int kRounds = 9;

}  // namespace

int main() {
    korrin = LoadLibraryA("korrin.dll");
    if (!korrin) return 1;
    HWND window = BenchmarkWindow("input benchmark");
    Command<void*>("InitSprite")();
    if (!Command<int>("InitKeyboard")() || !Command<int>("InitMouse")() || !Command<int>("InitJoystick")()) return 2;
    if (!OpenBenchmarkScreen(window)) return 3;

    auto examineKeyboard = Command<int>("ExamineKeyboard");
    auto keyboardPushed = Command<int, int>("KeyboardPushed");
    auto keyboardReleased = Command<int, int>("KeyboardReleased");
    auto keyboardInkey = Command<const char*>("KeyboardInkey");
    auto examineMouse = Command<int>("ExamineMouse");
    auto mouseX = Command<int>("MouseX");
    auto mouseY = Command<int>("MouseY");
    auto mouseButton = Command<int, int>("MouseButton");
    auto mouseWheel = Command<int>("MouseWheel");
    auto examineJoystick = Command<int>("ExamineJoystick");
    auto joystickAxisX = Command<int>("JoystickAxisX");
    auto joystickAxisY = Command<int>("JoystickAxisY");
    auto joystickButton = Command<int, int>("JoystickButton");

    int read[3] = {0, 0, 0};  // frames in which each device was read
    volatile int sink = 0;
    auto frame = [&] {
        read[0] += examineKeyboard();
        sink = sink + keyboardPushed(1) + keyboardReleased(57) + keyboardInkey()[0];
        read[1] += examineMouse();
        sink = sink + mouseX() + mouseY() + mouseButton(1) + mouseWheel();
        read[2] += examineJoystick();
        sink = sink + joystickAxisX() + joystickAxisY() + joystickButton(1);
    };

    for (int i = 0; i < 100; ++i) frame();  // warm up
    const SIZE_T committedBefore = CommittedBytes();
    std::vector<double> microseconds;
    for (int round = 0; round < kRounds; ++round) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        const LONGLONG start = Ticks();
        for (int i = 0; i < kFrames; ++i) frame();
        microseconds.push_back(Seconds(Ticks() - start) * 1e6 / kFrames);
    }
    const long long committedChange =
        static_cast<long long>(CommittedBytes()) - static_cast<long long>(committedBefore);
    const int frames = kFrames * kRounds + 100;
    std::printf("Input frame (examine and query keyboard, mouse, joystick): %.1f us median of %d rounds\n",
                Median(microseconds), kRounds);
    std::printf("  frames read: keyboard %d, mouse %d, joystick %d of %d; committed memory change %lld bytes\n",
                read[0], read[1], read[2], frames, committedChange);
    Command<int>("Sprite_End")();
    DestroyWindow(window);
    return 0;
}
