// Frame pacing arithmetic, portable and clock-agnostic: how long a frame waits
// before it is shown. The clock, the sleep, the pause hint and the raster
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
    RasterState (*rasterStatus)(void* context);           // is the display in its vertical blank?
    void* context;                                        // handed to every call above
};

// Pacing state kept between frames.
struct PacingState {
    std::int32_t lastFlipTime;  // clock reading at the end of the previous wait
    std::int32_t sleepBudget;   // milliseconds accumulated by the sleeping mode; may be negative
};

// Whole milliseconds per frame at `rate` per second; 0 (no wait) when rate <= 0.
int FramePeriod(int rate);

// Milliseconds from `since` to `now` on a wrapping 32-bit clock.
std::int32_t MillisecondsBetween(std::int32_t since, std::int32_t now);

// Longest wait for a vertical blank at `refresh` Hz: a little more than one
// refresh period, after which a blank that never shows up is given up on.
int VerticalBlankTimeout(int refresh);

// Waits until both the frame period (fps) and the refresh period have passed
// since the previous frame, then, when refresh > 0, for the vertical blank.
// Rates <= 0 switch their wait off. `sleeping` gives the processor back
// (at most one sleep of 1 ms per frame, once 16 ms of wait have accumulated);
// otherwise the waits are busy loops with a pause hint.
void PaceFrame(PacingState& state, const PacingPlatform& platform, int refresh, int fps, bool sleeping);

}  // namespace korrin
