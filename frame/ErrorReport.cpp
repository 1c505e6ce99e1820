// Texts of the fatal-error report.
#include "frame/ErrorReport.h"

namespace korrin {

ErrorPosition errorPosition = {nullptr, 0};

namespace {

struct Description {
    std::uint32_t code;
    const char* text;
};

const Description descriptions[] = {
    {0xC0000094u, "Attempted division by zero"},
    {0xC0000005u, "An attemped read or write to/from an address to which that process isn't allowed"},
    {0xC0000096u, "The instruction is not allowed in the current ring (inport, outport & control register manipulation usually)"},
    {0xC000001Du, "Try to execute an invalid instruction -such as MMX opcodes on a non MMX system"},
    {0xC0000025u, "The exception filter returned EXCEPTION_CONTINUE_EXCEPTION when the exception raised isn't restartable"},
    {0xC00000FDu, "Stack overflow.Can occur during errant recursion, or when a function creates a particularly large array on the stack."},
    {0xC0000026u, "INVALID_DISPOSITION Whatever number the exception filter returned, it wasn't a value the OS knows about."},
    {0xC0000008u, "INVALID_HANDLE The API call was passed a handle to a kernel object which was invalid -usually because that handle has already been closed."},
    {0xC0000142u, "EXCEPTION_DLL_Initialisation_Failure raised when DllMain() returns false (?)"},
    {0xC000008Du, "FLOAT_DENORMAL_OPERAND One of the operands in a floating-point operation is too small to be represented in a floating-point value."},
    {0xC000008Eu, "FLOAT_DIVIDE_BY_ZERO The thread tried to divide a floating-point value by zero."},
    {0xC000008Fu, "FLOAT_INEXACT_RESULT The accuracy of the last floating point operation is worse than usual as it is impossible to represent in the float accurately,"},
    {0xC0000090u, "FLOAT_INVALID_OPERATION Any other floating-point exception."},
    {0xC0000091u, "FLOAT_OVERFLOW The result was too big to represent"},
    {0xC0000092u, "FLOAT_STACK_CHECK A floating point stack overflowed or underflow. This related to the baroque design of the floating point unit."},
    {0xC0000093u, "FLT_UNDERFLOW The result was too small to represent"},
    {0xC000013Au, "CONTROL_C_EXIT Lets the debugger know the user hit Ctrl-C. "},
    {0x80000003u, "BREAKPOINT A breakpoint was encountered."},
    {0x80000004u, "SINGLE_STEP The CPU has signalled that one instruction has been executed.Only of interest to Debuggers"},
    {0u, "No Error"},
};

// Appends `piece` at `*used`, leaving room for the terminator.
void Append(char* buffer, std::size_t size, std::size_t* used, const char* piece) {
    while (*piece && *used + 1 < size) buffer[(*used)++] = *piece++;
    buffer[*used] = '\0';
}

void AppendInteger(char* buffer, std::size_t size, std::size_t* used, int value) {
    char digits[16];
    int count = 0;
    // Work on the negative side so INT_MIN needs no special case.
    int rest = value < 0 ? value : -value;
    do {
        digits[count++] = static_cast<char>('0' - rest % 10);
        rest /= 10;
    } while (rest != 0);
    if (value < 0) Append(buffer, size, used, "-");
    char reversed[16];
    for (int i = 0; i < count; ++i) reversed[i] = digits[count - 1 - i];
    reversed[count] = '\0';
    Append(buffer, size, used, reversed);
}

}  // namespace

const char* DescribeException(std::uint32_t code) {
    for (const Description& d : descriptions)
        if (d.code == code) return d.text;
    return "UNKNOWN Error";
}

void BuildReportTexts(std::uint32_t code, const ErrorPosition& position, char* title, std::size_t titleSize,
                      char* text, std::size_t textSize) {
    const bool known = position.module != nullptr;
    if (titleSize > 0) {
        std::size_t used = 0;
        title[0] = '\0';
        Append(title, titleSize, &used, "ERROR in Line:");
        AppendInteger(title, titleSize, &used, known ? position.line : -1);
    }
    if (textSize > 0) {
        std::size_t used = 0;
        text[0] = '\0';
        Append(text, textSize, &used, "Module: ");
        Append(text, textSize, &used, known ? position.module : "OnError line support disabled");
        Append(text, textSize, &used, "\rDescription:");
        Append(text, textSize, &used, DescribeException(code));
        Append(text, textSize, &used, "\rQuit ?");
    }
}

}  // namespace korrin
