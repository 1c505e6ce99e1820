// Keyboard, mouse and joystick on Wine's own DirectInput 8, driven as a host
// drives them: input injected with SendInput while the screen's window is in
// the foreground reaches the devices, and each frame is one Examine call.
#include <cstring>
#include <string>
#include <utility>

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

// --- before any screen: run first, in a process that has opened none -------------

TEST(BeforeAnyScreen, CommandsAnswerNothingBeforeTheirInit) {
    EXPECT_EQ(Int("ExamineKeyboard"), 0);
    EXPECT_EQ(Call<int>("KeyboardPushed", DIK_A), 0);
    EXPECT_EQ(Call<int>("KeyboardReleased", DIK_A), 0);
    EXPECT_EQ(Call<int>("KeyboardMode", 2), 0);
    EXPECT_STREQ(Call<const char*>("KeyboardInkey"), "");
    EXPECT_EQ(Int("ExamineMouse"), 0);
    EXPECT_EQ(Call<int>("MouseLocate", 5, 5), 0);
    EXPECT_EQ(Call<int>("ReleaseMouse", 1), 0);
    for (const char* query : {"MouseX", "MouseY", "MouseDeltaX", "MouseDeltaY", "MouseWheel"})
        EXPECT_EQ(Int(query), 0) << query;
    EXPECT_EQ(Call<int>("MouseButton", 1), 0);
    EXPECT_EQ(Int("ExamineJoystick"), 0);
    EXPECT_EQ(Int("JoystickAxisX"), 0);
    EXPECT_EQ(Int("JoystickAxisY"), 0);
    EXPECT_EQ(Call<int>("JoystickButton", 1), 0);
}

// Without a screen the devices attach to the foreground window by themselves;
// with no screen size yet, the pointer's upper clamp (-1) wins.
TEST(BeforeAnyScreen, ExamineAttachesToTheForegroundWindow) {
    HWND window = MakeWindow("no screen");
    ASSERT_TRUE(Foreground(window));
    ASSERT_EQ(Int("InitKeyboard"), 1);
    ASSERT_EQ(Int("InitMouse"), 1);
    EXPECT_EQ(Frame("ExamineKeyboard"), 1);
    SendKey(DIK_A, true);
    EXPECT_TRUE(FramesUntil("ExamineKeyboard", [] { return Call<int>("KeyboardPushed", DIK_A) == 1; }));
    SendKey(DIK_A, false);
    EXPECT_TRUE(FramesUntil("ExamineKeyboard", [] { return Call<int>("KeyboardReleased", DIK_A) == 1; }));
    EXPECT_EQ(Frame("ExamineMouse"), 1);
    EXPECT_EQ(Int("MouseX"), -1);
    EXPECT_EQ(Int("MouseY"), -1);
    Int("Sprite_End");
    DestroyWindow(window);
    PumpMessages();
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

TEST_F(Keyboard, KeyCodesOutsideTheTableAnswerNothing) {
    SendKey(DIK_A, true);
    ASSERT_TRUE(FramesUntil("ExamineKeyboard", [] { return Call<int>("KeyboardPushed", DIK_A) == 1; }));
    for (int key : {256, -1, 0x7FFFFFFF, static_cast<int>(0x80000000)}) {
        EXPECT_EQ(Call<int>("KeyboardPushed", key), 0) << key;
        EXPECT_EQ(Call<int>("KeyboardReleased", key), 0) << key;
    }
    EXPECT_EQ(Call<int>("KeyboardMode", 0), 1);
    for (int key : {256, -1}) EXPECT_EQ(Call<int>("KeyboardPushed", key), 0) << key << " mapped";
    SendKey(DIK_A, false);
    EXPECT_TRUE(FramesUntil("ExamineKeyboard", [] { return Call<int>("KeyboardPushed", DIK_A) == 0; }));
}

TEST_F(Keyboard, InkeyGivesTheCharacterOfTheHeldKeyWithItsModifiers) {
    auto inkeyIs = [](const char* text) { return std::string(Call<const char*>("KeyboardInkey")) == text; };
    EXPECT_EQ(Frame("ExamineKeyboard"), 1);
    EXPECT_STREQ(Call<const char*>("KeyboardInkey"), "");
    SendKey(DIK_A, true);
    EXPECT_TRUE(FramesUntil("ExamineKeyboard", [&] { return inkeyIs("a"); }))
        << "read " << Call<const char*>("KeyboardInkey");
    SendKey(DIK_LSHIFT, true);
    EXPECT_TRUE(FramesUntil("ExamineKeyboard", [&] { return inkeyIs("A"); }))
        << "read " << Call<const char*>("KeyboardInkey");
    SendKey(DIK_A, false);
    SendKey(DIK_1, true);
    EXPECT_TRUE(FramesUntil("ExamineKeyboard", [&] { return inkeyIs("!"); }))
        << "read " << Call<const char*>("KeyboardInkey");
    SendKey(DIK_1, false);
    EXPECT_TRUE(FramesUntil("ExamineKeyboard", [&] { return inkeyIs(""); })) << "Shift alone makes no character";
    SendKey(DIK_LSHIFT, false);
    EXPECT_TRUE(FramesUntil("ExamineKeyboard", [] { return Call<int>("KeyboardPushed", DIK_LSHIFT) == 0; }));
    EXPECT_STREQ(Call<const char*>("KeyboardInkey"), "");
}

// KeyboardMode switches to the layout's scan codes: on a US layout the right
// Shift key's code then reads the left Shift key. Reopening the screen starts
// from empty snapshots with the mapping off.
TEST_F(Keyboard, ModeKeepsTheKeyboardReadableAndReopeningResetsIt) {
    constexpr int DIK_RSHIFT = 0x36;
    SendKey(DIK_A, true);
    SendKey(DIK_LSHIFT, true);
    ASSERT_TRUE(FramesUntil("ExamineKeyboard", [] {
        return Call<int>("KeyboardPushed", DIK_A) == 1 && Call<int>("KeyboardPushed", DIK_LSHIFT) == 1;
    }));
    EXPECT_EQ(Call<int>("KeyboardPushed", DIK_RSHIFT), 0);
    // A device acquired anew reports the keys held from their next key-down
    // on, as the keyboard's repeat sends it.
    auto repeatHeldKeys = [] {
        SendKey(DIK_A, true);
        SendKey(DIK_LSHIFT, true);
        return FramesUntil("ExamineKeyboard", [] {
            return Call<int>("KeyboardPushed", DIK_A) == 1 && Call<int>("KeyboardPushed", DIK_LSHIFT) == 1;
        });
    };
    for (int flags : {2, 0}) {
        EXPECT_EQ(Call<int>("KeyboardMode", flags), 1) << flags;
        EXPECT_EQ(Frame("ExamineKeyboard"), 1) << "still readable after KeyboardMode " << flags;
        EXPECT_TRUE(repeatHeldKeys()) << "keys read after KeyboardMode " << flags;
        EXPECT_EQ(Call<int>("KeyboardPushed", DIK_RSHIFT), 1) << "mapped to the left Shift key";
    }
    ASSERT_TRUE(Open());
    EXPECT_EQ(Call<int>("KeyboardPushed", DIK_A), 0) << "a new screen starts with no key down";
    EXPECT_EQ(Call<int>("KeyboardReleased", DIK_A), 0);
    EXPECT_TRUE(repeatHeldKeys());
    EXPECT_EQ(Call<int>("KeyboardPushed", DIK_RSHIFT), 0) << "the mapping is off again";
    SendKey(DIK_A, false);
    SendKey(DIK_LSHIFT, false);
    EXPECT_TRUE(FramesUntil("ExamineKeyboard", [] { return Call<int>("KeyboardPushed", DIK_LSHIFT) == 0; }));
}

// --- mouse ---------------------------------------------------------------------------

class Mouse : public InputScreen {
protected:
    // Moves the mouse by (dx, dy) and runs frames until the movement has been
    // read; the sum of the deltas read.
    POINT Move(int dx, int dy) {
        SendMouse(dx, dy, MOUSEEVENTF_MOVE);
        POINT sum = {0, 0};
        FramesUntil("ExamineMouse", [&] {
            sum.x += Int("MouseDeltaX");
            sum.y += Int("MouseDeltaY");
            return sum.x == dx && sum.y == dy;
        });
        return sum;
    }
    // Frames until the pointer is at (x, y), moving it by (dx, dy) each frame.
    bool PushUntil(int dx, int dy, int x, int y) {
        return FramesUntil("ExamineMouse", [&] {
            if (Int("MouseX") == x && Int("MouseY") == y) return true;
            SendMouse(dx, dy, MOUSEEVENTF_MOVE);
            return false;
        });
    }
};

TEST_F(Mouse, PointerFollowsRelativeMovesAndIsClampedToTheScreen) {
    EXPECT_EQ(Call<int>("MouseLocate", 100, 50), 1);
    EXPECT_EQ(Frame("ExamineMouse"), 1);
    // Small moves: Windows doubles a move of more than 6 units at once.
    POINT moved = Move(5, -4);
    EXPECT_EQ(moved.x, 5);
    EXPECT_EQ(moved.y, -4);
    EXPECT_EQ(Int("MouseX"), 105);
    EXPECT_EQ(Int("MouseY"), 46);
    EXPECT_TRUE(PushUntil(-150, -150, 0, 0)) << Int("MouseX") << "," << Int("MouseY");
    EXPECT_TRUE(PushUntil(150, 150, kWidth - 1, kHeight - 1)) << Int("MouseX") << "," << Int("MouseY");
    // Pinned at the edge, the delta still reports the movement.
    SendMouse(5, 0, MOUSEEVENTF_MOVE);
    EXPECT_TRUE(FramesUntil("ExamineMouse", [] { return Int("MouseDeltaX") > 0; }));
    EXPECT_EQ(Int("MouseX"), kWidth - 1);
}

TEST_F(Mouse, LocateClampsToTheScreen) {
    EXPECT_EQ(Call<int>("MouseLocate", 5000, -20), 1);
    EXPECT_EQ(Int("MouseX"), kWidth - 1);
    EXPECT_EQ(Int("MouseY"), 0);
    EXPECT_EQ(Call<int>("MouseLocate", static_cast<int>(0x80000000), 0x7FFFFFFF), 1);
    EXPECT_EQ(Int("MouseX"), 0);
    EXPECT_EQ(Int("MouseY"), kHeight - 1);
}

TEST_F(Mouse, ButtonsReadWhileHeld) {
    const struct { DWORD down, up; int button; } buttons[] = {
        {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, 1},
        {MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP, 2},
        {MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP, 3},
    };
    for (const auto& b : buttons) {
        SendMouse(0, 0, b.down);
        EXPECT_TRUE(FramesUntil("ExamineMouse", [&] { return Call<int>("MouseButton", b.button) == 128; }))
            << "button " << b.button;
        for (int other = 1; other <= 8; ++other) {
            if (other == b.button) continue;
            EXPECT_EQ(Call<int>("MouseButton", other), 0) << other << " with " << b.button;
        }
        EXPECT_EQ(Call<int>("MouseButton", 0), 0);
        EXPECT_EQ(Call<int>("MouseButton", 9), 0);
        EXPECT_EQ(Call<int>("MouseButton", -1), 0);
        SendMouse(0, 0, b.up);
        EXPECT_TRUE(FramesUntil("ExamineMouse", [&] { return Call<int>("MouseButton", b.button) == 0; }));
    }
}

TEST_F(Mouse, WheelGivesOneNotchEitherWay) {
    EXPECT_EQ(Frame("ExamineMouse"), 1);
    EXPECT_EQ(Int("MouseWheel"), 0);
    for (int notch : {1, -1}) {
        SendMouse(0, 0, MOUSEEVENTF_WHEEL, notch * WHEEL_DELTA);
        EXPECT_TRUE(FramesUntil("ExamineMouse", [] { return Int("MouseWheel") != 0; }));
        EXPECT_EQ(Int("MouseWheel"), notch);
        EXPECT_EQ(Frame("ExamineMouse"), 1);
        EXPECT_EQ(Int("MouseWheel"), 0) << "a notch is read once";
    }
}

TEST_F(Mouse, ReleasedMouseAnswersNothingButLocateAndSurvivesANewScreen) {
    SendMouse(0, 0, MOUSEEVENTF_LEFTDOWN);
    ASSERT_TRUE(FramesUntil("ExamineMouse", [] { return Call<int>("MouseButton", 1) == 128; }));
    EXPECT_EQ(Call<int>("MouseLocate", 30, 40), 1);
    EXPECT_EQ(Call<int>("ReleaseMouse", 1), 0);
    auto answersNothing = [] {
        EXPECT_EQ(Frame("ExamineMouse"), 0);
        for (const char* query : {"MouseX", "MouseY", "MouseDeltaX", "MouseDeltaY", "MouseWheel"})
            EXPECT_EQ(Int(query), 0) << query;
        EXPECT_EQ(Call<int>("MouseButton", 1), 0);
    };
    answersNothing();
    EXPECT_EQ(Call<int>("MouseLocate", 60, 70), 1) << "the released mouse can still be placed";
    ASSERT_TRUE(Open());
    answersNothing();
    EXPECT_EQ(Call<int>("ReleaseMouse", 0), 0);
    EXPECT_EQ(Frame("ExamineMouse"), 1);
    EXPECT_EQ(Int("MouseX"), 60);
    EXPECT_EQ(Int("MouseY"), 70);
    SendMouse(0, 0, MOUSEEVENTF_LEFTUP);
    EXPECT_TRUE(FramesUntil("ExamineMouse", [] { return Call<int>("MouseButton", 1) == 0; }));
}

// --- a window that loses the foreground ----------------------------------------------

// What was held when the window lost the foreground does not stay down, and
// the last movement does not go on moving the pointer.
TEST_F(InputScreen, LosingTheForegroundLeavesNothingHeld) {
    SendKey(DIK_A, true);
    SendMouse(0, 0, MOUSEEVENTF_LEFTDOWN);
    ASSERT_TRUE(FramesUntil("ExamineKeyboard", [] { return Call<int>("KeyboardPushed", DIK_A) == 1; }));
    ASSERT_TRUE(FramesUntil("ExamineMouse", [] { return Call<int>("MouseButton", 1) == 128; }));
    EXPECT_EQ(Call<int>("MouseLocate", 100, 100), 1);
    SendMouse(6, 3, MOUSEEVENTF_MOVE);
    ASSERT_TRUE(FramesUntil("ExamineMouse", [] { return Int("MouseDeltaX") != 0; }));

    HWND other = MakeWindow("other");
    ASSERT_TRUE(Foreground(other));
    EXPECT_EQ(Frame("ExamineKeyboard"), 0);
    EXPECT_EQ(Call<int>("KeyboardPushed", DIK_A), 0);
    EXPECT_EQ(Call<int>("KeyboardReleased", DIK_A), 1) << "the key counts as let go, once";
    EXPECT_STREQ(Call<const char*>("KeyboardInkey"), "");
    EXPECT_EQ(Frame("ExamineMouse"), 0);
    const int x = Int("MouseX"), y = Int("MouseY");
    for (int frame = 0; frame < 3; ++frame) {
        EXPECT_EQ(Frame("ExamineKeyboard"), 0);
        EXPECT_EQ(Call<int>("KeyboardPushed", DIK_A), 0);
        EXPECT_EQ(Call<int>("KeyboardReleased", DIK_A), 0);
        EXPECT_EQ(Frame("ExamineMouse"), 0);
        EXPECT_EQ(Int("MouseX"), x);
        EXPECT_EQ(Int("MouseY"), y);
        EXPECT_EQ(Int("MouseDeltaX"), 0);
        EXPECT_EQ(Int("MouseDeltaY"), 0);
        EXPECT_EQ(Int("MouseWheel"), 0);
        EXPECT_EQ(Call<int>("MouseButton", 1), 0);
    }

    ASSERT_TRUE(Foreground(window_));
    SendKey(DIK_A, false);
    SendMouse(0, 0, MOUSEEVENTF_LEFTUP);
    EXPECT_TRUE(FramesUntil("ExamineKeyboard", [] { return Int("ExamineKeyboard") == 1; }));
    EXPECT_TRUE(FramesUntil("ExamineMouse", [] { return Int("ExamineMouse") == 1; }));
    DestroyWindow(other);
}

// A screen whose device cannot be made (a back buffer of 3.6 GB), windowed or
// full-screen, leaves neither the keyboard nor an exclusively acquired mouse
// attached to the window.
TEST_F(InputScreen, AFailedOpeningDetachesWhatItAttached) {
    const std::pair<const char*, void* (*)(HWND)> openings[] = {
        {"windowed", [](HWND window) {
             return Call<void*>("OpenWindowedScreen", static_cast<void*>(window), 0, 0, 30000, 30000, 0, 0, 0);
         }},
        {"full-screen", [](HWND) {
             void* device = Call<void*>("OpenScreen", 30000, 30000, 32, "input test");
             DestroyWindow(static_cast<HWND>(Call<void*>("ScreenID")));  // the library's window, left by the failure
             return device;
         }},
    };
    for (const auto& [kind, open] : openings) {
        SCOPED_TRACE(kind);
        ASSERT_TRUE(Open());
        EXPECT_EQ(Call<int>("MouseLocate", 1, 1), 1);
        EXPECT_EQ(Call<int>("KeyboardMode", 0), 1);
        ASSERT_EQ(open(window_), nullptr);
        EXPECT_EQ(Call<int>("MouseLocate", 1, 1), 0) << "the mouse stayed attached";
        EXPECT_EQ(Call<int>("KeyboardMode", 0), 0) << "the keyboard stayed attached";
    }
    ASSERT_TRUE(Foreground(window_));
    ASSERT_TRUE(Open());
    EXPECT_EQ(Call<int>("MouseLocate", 1, 1), 1);
    EXPECT_EQ(Frame("ExamineMouse"), 1);
}

// A screen opened while another window has the foreground cannot acquire its
// foreground devices: they stay detached, and Examine later attaches them to
// whatever window is in the foreground then.
TEST_F(InputScreen, AnAttachThatFailsLeavesTheDeviceDetached) {
    HWND other = MakeWindow("other");
    ASSERT_TRUE(Foreground(other));
    ASSERT_TRUE(Open());
    EXPECT_EQ(Call<int>("MouseLocate", 1, 1), 0) << "the mouse is detached";
    EXPECT_EQ(Call<int>("KeyboardMode", 0), 0) << "the keyboard is detached";
    EXPECT_EQ(Call<int>("KeyboardPushed", DIK_A), 0);
    EXPECT_EQ(Frame("ExamineKeyboard"), 1) << "attached to the foreground window";
    EXPECT_EQ(Frame("ExamineMouse"), 1);
    EXPECT_EQ(Call<int>("MouseLocate", 1, 1), 1);
    DestroyWindow(other);
}

// --- joystick: Wine has no game controller here ---------------------------------------

TEST_F(InputScreen, WithoutAControllerTheJoystickReadsNothing) {
    EXPECT_EQ(Int("InitJoystick"), 1);
    EXPECT_EQ(Frame("ExamineJoystick"), 0);
    EXPECT_EQ(Int("JoystickAxisX"), 0);
    EXPECT_EQ(Int("JoystickAxisY"), 0);
    for (int button : {0, 1, 32, 33}) EXPECT_EQ(Call<int>("JoystickButton", button), 0) << button;
}

// --- teardown ------------------------------------------------------------------------

// Sprite_End lets go of every DirectInput object and all three loads of the
// module; a second start works as the first. Run in a process of its own:
// once a window with acquired devices has lost the foreground, Wine's
// DirectInput keeps a reference of its own to the module.
class Unload : public InputScreen {};

TEST_F(Unload, SpriteEndUnloadsDirectInputAndInitStartsOver) {
    EXPECT_NE(GetModuleHandleA("dinput8.dll"), nullptr);
    Int("Sprite_End");
    // Wine's input thread holds the module a little longer, until it ends.
    const DWORD start = GetTickCount();
    while (GetModuleHandleA("dinput8.dll") && GetTickCount() - start < kPatience) Sleep(10);
    EXPECT_EQ(GetModuleHandleA("dinput8.dll"), nullptr) << "a load of DInput8.dll was left";
    EXPECT_EQ(Int("ExamineMouse"), 0);
    EXPECT_EQ(Int("ExamineKeyboard"), 0);
    ASSERT_NE(Call<void*>("InitSprite"), nullptr);
    ASSERT_EQ(Int("InitKeyboard"), 1);
    ASSERT_EQ(Int("InitKeyboard"), 1) << "Init again shuts down and starts over";
    ASSERT_TRUE(Open());
    SendKey(DIK_S, true);
    EXPECT_TRUE(FramesUntil("ExamineKeyboard", [] { return Call<int>("KeyboardPushed", DIK_S) == 1; }));
    SendKey(DIK_S, false);
    EXPECT_TRUE(FramesUntil("ExamineKeyboard", [] { return Call<int>("KeyboardPushed", DIK_S) == 0; }));
    EXPECT_EQ(Int("ExamineMouse"), 0) << "the mouse was not started again";
}

// --- without DirectInput (WINEDLLOVERRIDES=dinput8=) -----------------------------------

TEST(NoDirectInput, OnlyTheInitCommandsFail) {
    HWND window = MakeWindow("no DirectInput");
    EXPECT_EQ(Int("InitKeyboard"), 0);
    EXPECT_EQ(Int("InitMouse"), 0);
    EXPECT_EQ(Int("InitJoystick"), 0);
    EXPECT_EQ(GetModuleHandleA("dinput8.dll"), nullptr);
    ASSERT_NE(Call<void*>("InitSprite"), nullptr);
    EXPECT_NE(Call<void*>("OpenWindowedScreen", static_cast<void*>(window), 0, 0, 64, 48, 0, 0, 0), nullptr)
        << "a screen opens without input";
    EXPECT_EQ(Int("ExamineKeyboard"), 0);
    EXPECT_EQ(Int("ExamineMouse"), 0);
    EXPECT_EQ(Int("ExamineJoystick"), 0);
    EXPECT_EQ(Call<int>("MouseLocate", 1, 1), 0);
    EXPECT_STREQ(Call<const char*>("KeyboardInkey"), "");
    EXPECT_EQ(Int("Sprite_End"), 0);
    DestroyWindow(window);
}

// --- beside the stand-in dinput8.dll: a scripted controller, and counts ----------------

struct StandInExports {
    void(WINAPI* setJoystick)(LONG x, LONG y, DWORD buttons);
    LONG(WINAPI* liveObjects)();
    LONG(WINAPI* liveDevices)();
    void(WINAPI* wheelGranularity)(int granularity);
};

// The stand-in beside the test program, loaded by the test too so that its
// counts outlive the library's loads.
StandInExports LoadStandIn() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string file = path;
    file = file.substr(0, file.find_last_of("\\/") + 1) + "dinput8.dll";
    HMODULE module = LoadLibraryA(file.c_str());
    StandInExports standIn = {};
    if (!module) return standIn;
    standIn.setJoystick = reinterpret_cast<decltype(standIn.setJoystick)>(
        reinterpret_cast<void*>(GetProcAddress(module, "StandInSetJoystick")));
    standIn.liveObjects = reinterpret_cast<decltype(standIn.liveObjects)>(
        reinterpret_cast<void*>(GetProcAddress(module, "StandInLiveObjects")));
    standIn.liveDevices = reinterpret_cast<decltype(standIn.liveDevices)>(
        reinterpret_cast<void*>(GetProcAddress(module, "StandInLiveDevices")));
    standIn.wheelGranularity = reinterpret_cast<decltype(standIn.wheelGranularity)>(
        reinterpret_cast<void*>(GetProcAddress(module, "StandInWheelGranularity")));
    return standIn;
}

class StandIn : public InputScreen {
protected:
    void SetUp() override {
        standIn_ = LoadStandIn();
        ASSERT_TRUE(standIn_.setJoystick && standIn_.liveObjects && standIn_.liveDevices && standIn_.wheelGranularity)
            << "run beside the stand-in dinput8.dll";
        standIn_.setJoystick(32767, 32767, 0);
        standIn_.wheelGranularity(-2);
        InputScreen::SetUp();
    }
    // Sets the controller and reads it in one frame.
    void Joystick(LONG x, LONG y, DWORD buttons) {
        standIn_.setJoystick(x, y, buttons);
        EXPECT_EQ(Frame("ExamineJoystick"), 1);
    }
    StandInExports standIn_ = {};
};

TEST_F(StandIn, JoystickAxesHaveTheMiddleHalfAsDeadZone) {
    const struct { LONG raw; int reads; } edges[] = {
        {0, -1}, {16383, -1}, {16384, 0}, {32767, 0}, {49150, 0}, {49151, 1}, {65535, 1}};
    for (const auto& edge : edges) {
        Joystick(edge.raw, 32767, 0);
        EXPECT_EQ(Int("JoystickAxisX"), edge.reads) << "x " << edge.raw;
        EXPECT_EQ(Int("JoystickAxisY"), 0) << "y at rest while x is " << edge.raw;
        Joystick(32767, edge.raw, 0);
        EXPECT_EQ(Int("JoystickAxisY"), edge.reads) << "y " << edge.raw;
        EXPECT_EQ(Int("JoystickAxisX"), 0) << "x at rest while y is " << edge.raw;
    }
    // Values of a device's own range far outside the default one.
    Joystick(static_cast<LONG>(0x80000000), 0x7FFFFFFF, 0);
    EXPECT_EQ(Int("JoystickAxisX"), -1);
    EXPECT_EQ(Int("JoystickAxisY"), 1);
}

TEST_F(StandIn, JoystickButtonsOneTo32) {
    Joystick(32767, 32767, 1u);
    EXPECT_EQ(Call<int>("JoystickButton", 1), 128);
    EXPECT_EQ(Call<int>("JoystickButton", 2), 0);
    EXPECT_EQ(Call<int>("JoystickButton", 32), 0);
    Joystick(32767, 32767, 1u << 31);
    EXPECT_EQ(Call<int>("JoystickButton", 32), 128);
    EXPECT_EQ(Call<int>("JoystickButton", 31), 0);
    EXPECT_EQ(Call<int>("JoystickButton", 1), 0);
    Joystick(32767, 32767, 0xFFFFFFFFu);
    for (int button : {0, 33, -1, 256}) EXPECT_EQ(Call<int>("JoystickButton", button), 0) << button;
    for (int button = 1; button <= 32; ++button) EXPECT_EQ(Call<int>("JoystickButton", button), 128) << button;
}

// Without a device the last reading stays but is not used; Examine attaches
// the controller again by itself.
TEST_F(StandIn, JoystickReadsNothingWhileDetached) {
    Joystick(0, 65535, 1u);
    ASSERT_EQ(Int("JoystickAxisX"), -1);
    Int("CloseScreen");
    EXPECT_EQ(Int("JoystickAxisX"), 0);
    EXPECT_EQ(Int("JoystickAxisY"), 0);
    EXPECT_EQ(Call<int>("JoystickButton", 1), 0);
    EXPECT_EQ(Frame("ExamineJoystick"), 1) << "attached to the foreground window";
    EXPECT_EQ(Int("JoystickAxisX"), -1);
    EXPECT_EQ(Int("JoystickAxisY"), 1);
}

// The wheel in the device's steps, truncated toward zero, and 0 when the
// device gives no step, all on one read of one notch.
TEST_F(StandIn, WheelWithoutAGranularityReadsZero) {
    standIn_.wheelGranularity(1);
    SendMouse(0, 0, MOUSEEVENTF_WHEEL, -WHEEL_DELTA);
    ASSERT_TRUE(FramesUntil("ExamineMouse", [] { return Int("MouseWheel") != 0; }));
    EXPECT_EQ(Int("MouseWheel"), -WHEEL_DELTA);
    standIn_.wheelGranularity(0);
    EXPECT_EQ(Int("MouseWheel"), 0);
    standIn_.wheelGranularity(-1);
    EXPECT_EQ(Int("MouseWheel"), 0) << "the property call failed";
    standIn_.wheelGranularity(7);
    EXPECT_EQ(Int("MouseWheel"), -17);
    standIn_.wheelGranularity(-2);
    EXPECT_EQ(Int("MouseWheel"), -1);
}

// CloseScreen releases the three devices, Sprite_End the three DirectInput
// objects; each Init makes one object of its own and a second Init replaces it.
TEST_F(StandIn, TeardownReleasesDevicesThenObjects) {
    EXPECT_EQ(standIn_.liveObjects(), 3);
    EXPECT_EQ(standIn_.liveDevices(), 3) << "keyboard, mouse and controller attached";
    Int("CloseScreen");
    EXPECT_EQ(standIn_.liveDevices(), 0);
    EXPECT_EQ(standIn_.liveObjects(), 3);
    ASSERT_TRUE(Open());
    EXPECT_EQ(standIn_.liveDevices(), 3);
    EXPECT_EQ(Int("InitKeyboard"), 1);
    EXPECT_EQ(standIn_.liveObjects(), 3);
    EXPECT_EQ(standIn_.liveDevices(), 2) << "a new InitKeyboard starts detached";
    EXPECT_EQ(Int("Sprite_End"), 0);
    EXPECT_EQ(standIn_.liveDevices(), 0);
    EXPECT_EQ(standIn_.liveObjects(), 0);
    EXPECT_EQ(Int("Sprite_End"), 0);
    EXPECT_EQ(Int("InitJoystick"), 1);
    EXPECT_EQ(standIn_.liveObjects(), 1);
    EXPECT_EQ(Frame("ExamineJoystick"), 1);
    EXPECT_EQ(standIn_.liveDevices(), 1);
}

}  // namespace
