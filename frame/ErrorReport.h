// Texts of the fatal-error report. Portable: builds the message box title and
// text from an exception code and the last recorded source position.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/ErrorPosition.h"

namespace korrin {

// The description shown for an exception code ("UNKNOWN Error" for others).
const char* DescribeException(std::uint32_t code);

// Title "ERROR in Line:<n>" and text "Module: <m>\rDescription:<d>\rQuit ?",
// written into caller buffers (truncated, always terminated). No allocation:
// the report must work when the heap is damaged.
void BuildReportTexts(std::uint32_t code, const ErrorPosition& position, char* title, std::size_t titleSize,
                      char* text, std::size_t textSize);

}  // namespace korrin
