// Keyboard, mouse and joystick commands.
#include "frame/ErrorPosition.h"
#include "input/input.h"
#include "korrin.h"

extern "C" {

int __stdcall InitKeyboard() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::InitKeyboard();
}

int __stdcall ExamineKeyboard() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::ExamineKeyboard();
}

int __stdcall KeyboardPushed(int key) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::KeyboardPushed(key);
}

int __stdcall KeyboardReleased(int key) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::KeyboardReleased(key);
}

int __stdcall KeyboardMode(int flags) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::KeyboardMode(flags);
}

const char* __stdcall KeyboardInkey() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::KeyboardInkey();
}

int __stdcall InitMouse() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::InitMouse();
}

int __stdcall ExamineMouse() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::ExamineMouse();
}

int __stdcall MouseButton(int button) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::MouseButton(button);
}

int __stdcall MouseX() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::MouseX();
}

int __stdcall MouseY() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::MouseY();
}

int __stdcall MouseDeltaX() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::MouseDeltaX();
}

int __stdcall MouseDeltaY() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::MouseDeltaY();
}

int __stdcall MouseWheel() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::MouseWheel();
}

int __stdcall MouseLocate(int x, int y) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::MouseLocate(x, y);
}

int __stdcall ReleaseMouse(int state) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::ReleaseMouse(state);
}

int __stdcall InitJoystick() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::InitJoystick();
}

int __stdcall ExamineJoystick() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::ExamineJoystick();
}

int __stdcall JoystickButton(int button) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::JoystickButton(button);
}

int __stdcall JoystickAxisX() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::JoystickAxisX();
}

int __stdcall JoystickAxisY() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::JoystickAxisY();
}

}  // extern "C"
