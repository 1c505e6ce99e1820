// Keyboard, mouse and joystick on Wine's own DirectInput 8, driven as a host
// drives them: input injected with SendInput while the screen's window is in
// the foreground reaches the devices, and each frame is one Examine call.
#include <cstring>
#include <string>

#include "host.h"

using host::Call;
using host::Int;

namespace {

// DirectInput scan codes.
constexpr int DIK_1 = 0x02, DIK_A = 0x1E, DIK_S = 0x1F, DIK_LSHIFT = 0x2A;

// Bounded waits: injected input reaches DirectInput through Wine's hook
// thread, a few frames later, and much later on an emulated processor.
constexpr DWORD kPatience = 10000;

void PumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void SendKey(int scanCode, bool down) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = static_cast<WORD>(MapVirtualKeyA(static_cast<UINT>(scanCode), MAPVK_VSC_TO_VK));
    input.ki.wScan = static_cast<WORD>(scanCode);
    input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    SendInput(1, &input, sizeof input);
}

void SendMouse(int dx, int dy, DWORD flags, int wheel = 0) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = dx;
    input.mi.dy = dy;
    input.mi.mouseData = static_cast<DWORD>(wheel);
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof input);
}

// One frame of the host: messages, then the snapshot.
int Frame(const char* examine) {
    PumpMessages();
    return Int(examine);
}

// Runs frames of `examine` until `done` holds; false when it never did.
template <class Condition>
bool FramesUntil(const char* examine, Condition done) {
    const DWORD start = GetTickCount();
    do {
        Frame(examine);
        if (done()) return true;
        Sleep(1);
    } while (GetTickCount() - start < kPatience);
    return false;
}

HWND MakeWindow(const char* title) {
    HWND window = CreateWindowExA(0, "STATIC", title, WS_POPUP | WS_VISIBLE, 0, 0, 320, 240, nullptr, nullptr,
                                  nullptr, nullptr);
    return window;
}

// Brings `window` to the foreground and waits until Wine agrees.
bool Foreground(HWND window) {
    const DWORD start = GetTickCount();
    do {
        SetForegroundWindow(window);
        PumpMessages();
        if (GetForegroundWindow() == window) return true;
        Sleep(1);
    } while (GetTickCount() - start < kPatience);
    return false;
}

// A windowed 256 by 192 screen in a foreground window of the test's own,
// with keyboard, mouse and joystick started before it opens.
class InputScreen : public ::testing::Test {
protected:
    static constexpr int kWidth = 256, kHeight = 192;

    void SetUp() override {
        window_ = MakeWindow("input test");
        ASSERT_NE(window_, nullptr);
        ASSERT_TRUE(Foreground(window_));
        ASSERT_NE(Call<void*>("InitSprite"), nullptr);
        ASSERT_EQ(Int("InitKeyboard"), 1);
        ASSERT_EQ(Int("InitMouse"), 1);
        ASSERT_EQ(Int("InitJoystick"), 1);
        ASSERT_TRUE(Open());
    }
    void TearDown() override {
        Int("Sprite_End");
        DestroyWindow(window_);
        PumpMessages();
    }
    bool Open() {
        return Call<void*>("OpenWindowedScreen", static_cast<void*>(window_), 0, 0, kWidth, kHeight, 0, 0, 0) !=
               nullptr;
    }
    HWND window_ = nullptr;
};

// --- keyboard --------------------------------------------------------------------

class Keyboard : public InputScreen {};

TEST_F(Keyboard, PushedIsALevelAndReleasedFiresInExactlyOneFrame) {
    EXPECT_EQ(Frame("ExamineKeyboard"), 1);
    EXPECT_EQ(Call<int>("KeyboardPushed", DIK_A), 0);
    SendKey(DIK_A, true);
    ASSERT_TRUE(FramesUntil("ExamineKeyboard", [] { return Call<int>("KeyboardPushed", DIK_A) == 1; }))
        << "the injected key never reached the keyboard";
    for (int frame = 0; frame < 3; ++frame) {
        EXPECT_EQ(Frame("ExamineKeyboard"), 1);
        EXPECT_EQ(Call<int>("KeyboardPushed", DIK_A), 1) << "frame " << frame;
        EXPECT_EQ(Call<int>("KeyboardReleased", DIK_A), 0) << "frame " << frame;
        EXPECT_EQ(Call<int>("KeyboardPushed", DIK_S), 0);
    }
    SendKey(DIK_A, false);
    ASSERT_TRUE(FramesUntil("ExamineKeyboard", [] { return Call<int>("KeyboardReleased", DIK_A) == 1; }));
    EXPECT_EQ(Call<int>("KeyboardPushed", DIK_A), 0);
    for (int frame = 0; frame < 3; ++frame) {
        EXPECT_EQ(Frame("ExamineKeyboard"), 1);
        EXPECT_EQ(Call<int>("KeyboardReleased", DIK_A), 0) << "released again in frame " << frame;
    }
}

}  // namespace
