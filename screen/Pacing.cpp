// Frame pacing arithmetic. Frames are due on a schedule of exact frame
// periods kept in counter ticks, so the rate holds on average even though a
// single wait ends a little late; with a refresh rate the frame then goes out
// at the start of a vertical blank. The sleeping mode hands the processor back
// once per frame at most, for 1 ms per 16 ms of wait it has saved up.
//
// Blanks come one refresh period apart, so once one has been seen the next
// ones are foretold and the raster status is read only near them; a blank's
// start is recognised either by the raster status saying so or by the scan
// line having gone back to the top between two readings. A short blank that
// falls between two queries, or a frame that comes late, must not cost a
// whole refresh period.
#include "screen/Pacing.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace korrin {

namespace {

// How much of a late frame's delay the next frame makes up for, in
// milliseconds (at most a quarter of the frame period): enough to absorb the
// jitter of a wait's end, never a burst of frames after a slow one.
constexpr std::int64_t kCatchUpMilliseconds = 2;

// Budget steps of the sleeping mode.
constexpr std::int32_t kSleepThreshold = 16;

// The sleeping mode sleeps only while at least this much of the wait is left,
// in milliseconds: a sleep may last longer than asked.
constexpr std::int64_t kSleepMarginMilliseconds = 3;

// How long before and after a blank is expected the raster status is read,
// in milliseconds (at most a quarter of the refresh period).
constexpr std::int64_t kBlankLeadMilliseconds = 2;

// Refresh periods after the last blank seen for which the next ones are
// foretold; after that the blank is looked for afresh, for up to a period.
constexpr std::int64_t kForetoldPeriods = 32;

std::int32_t Clamp32(std::int64_t value) {
    constexpr std::int64_t low = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t high = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::min(std::max(value, low), high));
}

std::int32_t Now(const PacingPlatform& platform) { return platform.elapsedMilliseconds(platform.context); }
std::int64_t Ticks(const PacingPlatform& platform) { return platform.counter(platform.context); }

// Milliseconds left of a period since the previous frame (negative when late),
// or 0 when the rate switches that wait off.
std::int64_t Remaining(const PacingState& state, const PacingPlatform& platform, int rate) {
    if (rate <= 0) return 0;
    return static_cast<std::int64_t>(FramePeriod(rate)) - MillisecondsBetween(state.lastFlipTime, Now(platform));
}

// The first frame, or a state set by hand: the previous frame went out at
// lastFlipTime, which the millisecond clock places on the counter.
void StartSchedule(PacingState& state, const PacingPlatform& platform, std::int64_t now) {
    const std::int64_t since = std::max<std::int32_t>(0, MillisecondsBetween(state.lastFlipTime, Now(platform)));
    state.lastShown = now - since * platform.counterFrequency / 1000;
    state.deadline = state.lastShown;
    state.remainder = 0;
    state.scheduled = true;
}

// When this frame is due: one exact period after the previous due time, but
// never earlier than a period less the catch-up allowance after the previous
// frame went out. A frame a little late is made up by the next, so the rate
// holds on average; a frame later than that moves the schedule instead, so
// that frames never come closer together than the rate allows.
std::int64_t FrameDue(PacingState& state, std::int64_t frequency, int fps, std::int64_t now) {
    if (fps <= 0) return now;
    const std::int64_t period = frequency / fps;
    if (state.remainder >= fps) state.remainder = 0;  // the rate has gone down
    std::int64_t due = state.deadline + period;
    std::int64_t remainder = state.remainder + frequency % fps;
    if (remainder >= fps) {
        remainder -= fps;
        ++due;
    }
    const std::int64_t catchUp = std::min(kCatchUpMilliseconds * (frequency / 1000), period / 4);
    const std::int64_t earliest = state.lastShown + period - catchUp;
    if (due < earliest) {
        due = earliest;
        remainder = 0;
    }
    state.remainder = remainder;
    return due;
}

// Reads the raster status until a blank begins, the query fails, or the
// counter passes `end` (a display that never reports a blank must not hang
// the frame). Returns when the blank was seen to begin, or -1.
std::int64_t WaitForBlank(const PacingPlatform& platform, std::int64_t end, bool sleeping) {
    bool seen = false;
    unsigned previous = 0;
    for (;;) {
        unsigned line = 0;
        const RasterState state = platform.rasterStatus(platform.context, &line);
        if (state == RasterState::Failed) return -1;
        // In the blank, or the beam went back to the top since the previous
        // reading (a blank began in between). A small step back is a reading's
        // jitter, not the return of the beam.
        if (state == RasterState::InBlank || (seen && line < previous / 2)) return Ticks(platform);
        seen = true;
        previous = line;
        if (Ticks(platform) > end) return -1;
        if (!sleeping) platform.pause(platform.context);
    }
}

}  // namespace

int FramePeriod(int rate) { return rate > 0 ? 1000 / rate : 0; }

std::int32_t MillisecondsBetween(std::int32_t since, std::int32_t now) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(now) - static_cast<std::uint32_t>(since));
}

int VerticalBlankTimeout(int refresh) { return FramePeriod(refresh) + 2; }

void PaceFrame(PacingState& state, const PacingPlatform& platform, int refresh, int fps, bool sleeping) {
    const std::int64_t frequency = platform.counterFrequency;
    const std::int64_t ticksPerMillisecond = frequency / 1000;
    std::int64_t now = Ticks(platform);
    if (!state.scheduled) StartSchedule(state, platform, now);

    const std::int64_t due = FrameDue(state, frequency, fps, now);
    std::int64_t waitUntil = due;
    std::int64_t blankEnd = 0;  // the end of the raster-status readings
    if (refresh > 0) {
        const std::int64_t period = std::max<std::int64_t>(1, frequency / refresh);
        const std::int64_t lead = std::min(kBlankLeadMilliseconds * ticksPerMillisecond, period / 4);
        if (state.blankKnown && due - state.lastBlank <= kForetoldPeriods * period) {
            // The first foretold blank from the due time on, at least half a
            // refresh period after the previous frame went out.
            const std::int64_t earliest = std::max(due - lead, state.lastShown + period / 2);
            const std::int64_t periods = std::max<std::int64_t>(1, (earliest - state.lastBlank + period - 1) / period);
            const std::int64_t target = state.lastBlank + periods * period;
            waitUntil = target - lead;
            blankEnd = target + lead;
        } else {
            // No blank to go by: wait for one refresh period since the
            // previous frame, then up to a period for a blank to begin.
            waitUntil = std::max(due, state.lastShown + period) - lead;
            blankEnd = waitUntil + VerticalBlankTimeout(refresh) * ticksPerMillisecond;
        }
    }

    if (sleeping) {
        const std::int64_t remainRefresh = Remaining(state, platform, refresh);
        const std::int64_t remainFrame = Remaining(state, platform, fps);
        state.sleepBudget = Clamp32(static_cast<std::int64_t>(state.sleepBudget) + std::max(remainRefresh, remainFrame));
        now = Ticks(platform);
        if (state.sleepBudget >= kSleepThreshold && waitUntil - now >= kSleepMarginMilliseconds * ticksPerMillisecond) {
            platform.sleep(platform.context, 1);
            state.sleepBudget -= kSleepThreshold;
        }
    }

    do {
        platform.pause(platform.context);
    } while (Ticks(platform) < waitUntil);

    if (refresh > 0) {
        const std::int64_t blank = WaitForBlank(platform, blankEnd, sleeping);
        if (blank >= 0) {
            state.lastBlank = blank;
            state.blankKnown = true;
        }
    }

    state.deadline = due;
    state.lastShown = Ticks(platform);
    state.lastFlipTime = Now(platform);
}

}  // namespace korrin
