// The reason of the last failure, which KorrinLastError returns: one short
// English line in a fixed buffer, written only when something fails, so
// that the success path costs nothing.
//
// A command that fails records its name and what went wrong with Fail. An
// internal operation that several commands share records only what went
// wrong (NoteFailure) at each of its failure returns, and the command it
// failed for puts its name in front (FailIn) before returning. Fail and
// FailIn also send the line to the debugger through OutputDebugStringA.
#pragma once

#if defined(__MINGW_PRINTF_FORMAT)
#define KORRIN_PRINTF_LIKE __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)))
#elif defined(__GNUC__)
#define KORRIN_PRINTF_LIKE __attribute__((format(printf, 1, 2)))
#else
#define KORRIN_PRINTF_LIKE
#endif

namespace korrin {

// Bytes of the reason, terminator included; longer lines are cut.
constexpr int kLastErrorBytes = 256;

// Records the formatted line ("LoadSprite2: cannot open \"ball.png\"") as
// the reason and sends it to the debugger; returns 0, the usual failure value.
int Fail(const char* format, ...) KORRIN_PRINTF_LIKE;

// Records what an internal operation found wrong ("cannot open \"ball.png\""),
// for the command it fails for; returns 0.
int NoteFailure(const char* format, ...) KORRIN_PRINTF_LIKE;

// Puts "command: " in front of what NoteFailure recorded and sends the line to
// the debugger; returns 0.
int FailIn(const char* command);

// The last reason; empty before the first failure.
const char* LastError();

// A text argument for a reason: the text itself, or "(none)" for null.
inline const char* TextOrNone(const char* text) { return text ? text : "(none)"; }

}  // namespace korrin
