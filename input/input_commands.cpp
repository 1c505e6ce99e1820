// Keyboard, mouse and joystick commands. Each records its position and hands
// over to the device's own operation of the same name.
#include "frame/ErrorPosition.h"
#include "input/input.h"
#include "korrin.h"

#define INPUT_COMMAND(result, name, parameters, arguments) \
    result __stdcall name parameters noexcept {             \
        RECORD_POSITION(MODULE_MAIN);                       \
        return korrin::name arguments;                      \
    }

extern "C" {

INPUT_COMMAND(int, InitKeyboard, (), ())
INPUT_COMMAND(int, ExamineKeyboard, (), ())
INPUT_COMMAND(int, KeyboardPushed, (int key), (key))
INPUT_COMMAND(int, KeyboardReleased, (int key), (key))
INPUT_COMMAND(int, KeyboardMode, (int flags), (flags))
INPUT_COMMAND(const char *, KeyboardInkey, (), ())

INPUT_COMMAND(int, InitMouse, (), ())
INPUT_COMMAND(int, ExamineMouse, (), ())
INPUT_COMMAND(int, MouseButton, (int button), (button))
INPUT_COMMAND(int, MouseX, (), ())
INPUT_COMMAND(int, MouseY, (), ())
INPUT_COMMAND(int, MouseDeltaX, (), ())
INPUT_COMMAND(int, MouseDeltaY, (), ())
INPUT_COMMAND(int, MouseWheel, (), ())
INPUT_COMMAND(int, MouseLocate, (int x, int y), (x, y))
INPUT_COMMAND(int, ReleaseMouse, (int state), (state))

INPUT_COMMAND(int, InitJoystick, (), ())
INPUT_COMMAND(int, ExamineJoystick, (), ())
INPUT_COMMAND(int, JoystickButton, (int button), (button))
INPUT_COMMAND(int, JoystickAxisX, (), ())
INPUT_COMMAND(int, JoystickAxisY, (), ())

} // extern "C"

#undef INPUT_COMMAND
