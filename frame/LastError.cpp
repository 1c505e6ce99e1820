// The last failure's reason: the fixed buffer it is formatted into, its
// trip to the debugger, and the KorrinLastError command that hands it out.
#include "frame/LastError.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "frame/ErrorPosition.h"

namespace korrin {

namespace {

char lastError[kLastErrorBytes];  // the reason, zero-terminated; "" until something fails
bool noted;                       // lastError holds a NoteFailure detail no command has taken yet

// Writes the reason into lastError; `detail` marks it as one for FailIn to take.
void Record(bool detail, const char* format, va_list arguments) {
    if (std::vsnprintf(lastError, sizeof lastError, format, arguments) < 0) lastError[0] = '\0';
    lastError[kLastErrorBytes - 1] = '\0';
    noted = detail;
}

}  // namespace

int Fail(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    Record(false, format, arguments);
    va_end(arguments);
    OutputDebugStringA(lastError);
    return 0;
}

int NoteFailure(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    Record(true, format, arguments);
    va_end(arguments);
    return 0;
}

// A detail left over from an operation whose command went on to succeed is
// never taken: without a fresh one the line says only that the command failed.
int FailIn(const char* command) {
    char detail[kLastErrorBytes] = "failed";
    if (noted && lastError[0]) std::memcpy(detail, lastError, sizeof detail);
    return Fail("%s: %s", command, detail);
}

const char* LastError() { return lastError; }

}  // namespace korrin

extern "C" {

// korrin's own command: the reason of the last failure, valid until the next command.
const char* __stdcall KorrinLastError() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::LastError();
}

}  // extern "C"
