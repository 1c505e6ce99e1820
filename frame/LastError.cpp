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

void Format(char* into, int bytes, const char* format, va_list arguments) {
    if (std::vsnprintf(into, static_cast<size_t>(bytes), format, arguments) < 0) into[0] = '\0';
    into[bytes - 1] = '\0';
}

}  // namespace

int Fail(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    Format(lastError, kLastErrorBytes, format, arguments);
    va_end(arguments);
    noted = false;
    OutputDebugStringA(lastError);
    return 0;
}

int NoteFailure(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    Format(lastError, kLastErrorBytes, format, arguments);
    va_end(arguments);
    noted = true;
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
