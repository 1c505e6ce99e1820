// Frame pacing arithmetic, portable and clock-agnostic: how long a frame waits
// before it is shown. The clocks, the sleep, the pause hint and the raster
// status come in through PacingPlatform, so the same code runs on the
// performance counter and Direct3D in the library and on a fake clock in tests.
#pragma once

#include <cstdint>

namespace korrin {

// Result of one raster-status query.
enum class RasterState { InBlank, NotInBlank, Failed };

// What pacing needs from the platform.
struct PacingPlatform {
    std::int32_t (*elapsedMilliseconds)(void* context);  // millisecond clock (may wrap)
    void (*sleep)(void* context, int milliseconds);       // gives the processor away
    void (*pause)(void* context);                         // processor pause hint of busy loops
    // Is the display in its vertical blank? Outside it, `scanLine` is the
    // line the beam is on (it goes back to the top at each blank).
    RasterState (*rasterStatus)(void* context, unsigned* scanLine);
    std::int64_t (*counter)(void* context);  // the high-resolution clock, in ticks; never wraps
    std::int64_t counterFrequency;           // its ticks per second, at least 1000
    void* context;                           // handed to every call above
};

// Pacing state kept between frames.
struct PacingState {
    std::int32_t lastFlipTime;  // millisecond clock reading at the end of the previous wait
    std::int32_t sleepBudget;   // milliseconds accumulated by the sleeping mode; may be negative
    bool scheduled;             // the fields below hold a frame; false until the first one
    std::int64_t deadline;      // counter ticks: when the previous frame was due on the schedule
    std::int64_t remainder;     // the schedule's fraction of a tick, in 1/fps ticks
    std::int64_t lastShown;     // counter ticks at the end of the previous wait
    bool blankKnown;            // lastBlank holds a blank seen lately
    std::int64_t lastBlank;     // counter ticks when the last blank was seen to begin
};

// Whole milliseconds per frame at `rate` per second; 0 (no wait) when rate <= 0.
int FramePeriod(int rate);

// Milliseconds from `since` to `now` on a wrapping 32-bit clock.
std::int32_t MillisecondsBetween(std::int32_t since, std::int32_t now);

// Longest wait for a vertical blank at `refresh` Hz, in milliseconds: a
// little more than one refresh period, after which a blank that never shows
// up is given up on.
int VerticalBlankTimeout(int refresh);

// Waits until the frame is due, then, when refresh > 0, for the start of a
// vertical blank. The frame is due one frame period (fps) after the previous
// frame's due time, on a schedule of exact periods in counter ticks, so that
// frames come at the requested rate on average; a late frame is made up by
// the next one by at most 2 ms (a quarter period at most), so frames never
// come closer together than the period less that allowance. With a refresh
// rate the frame goes out at the first blank from its due time on, and never
// in the same refresh period as the previous frame; blanks are expected one refresh period apart from
// the last one seen, and looked for only near that moment, so that a frame
// that comes late goes out at once instead of a whole period later. Rates <= 0
// switch their wait off. `sleeping` gives the processor back (at most one
// sleep of 1 ms per frame, once 16 ms of wait have accumulated); otherwise
// the waits are busy loops with a pause hint.
void PaceFrame(PacingState& state, const PacingPlatform& platform, int refresh, int fps, bool sleeping);

}  // namespace korrin
