// Frame pacing arithmetic. A frame is due when both the frame period and the
// refresh period (1000 / rate, whole milliseconds) have passed since the
// previous one; then, with a refresh rate, the wait runs on to the start of the
// vertical blank. The sleeping mode hands the processor back once per frame at
// most, for 1 ms per 16 ms of wait it has saved up.
#include "screen/Pacing.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace korrin {

namespace {

// Budget steps of the sleeping mode.
constexpr std::int32_t kSleepThreshold = 16;

std::int32_t Clamp32(std::int64_t value) {
    constexpr std::int64_t low = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t high = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::min(std::max(value, low), high));
}

std::int32_t Now(const PacingPlatform& platform) { return platform.elapsedMilliseconds(platform.context); }

// Milliseconds left of a period since the previous frame (negative when late),
// or 0 when the rate switches that wait off.
std::int64_t Remaining(const PacingState& state, const PacingPlatform& platform, int rate) {
    if (rate <= 0) return 0;
    return static_cast<std::int64_t>(FramePeriod(rate)) - MillisecondsBetween(state.lastFlipTime, Now(platform));
}

}  // namespace

int FramePeriod(int rate) { return rate > 0 ? 1000 / rate : 0; }

std::int32_t MillisecondsBetween(std::int32_t since, std::int32_t now) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(now) - static_cast<std::uint32_t>(since));
}

int VerticalBlankTimeout(int refresh) { return FramePeriod(refresh) + 2; }

void PaceFrame(PacingState& state, const PacingPlatform& platform, int refresh, int fps, bool sleeping) {
    bool waitRefresh = refresh > 0;
    bool waitFrame = fps > 0;
    const int refreshPeriod = FramePeriod(refresh);
    const int framePeriod = FramePeriod(fps);

    if (sleeping) {
        const std::int64_t remainRefresh = Remaining(state, platform, refresh);
        const std::int64_t remainFrame = Remaining(state, platform, fps);
        state.sleepBudget = Clamp32(static_cast<std::int64_t>(state.sleepBudget) + std::max(remainRefresh, remainFrame));
        if (state.sleepBudget >= kSleepThreshold) {
            platform.sleep(platform.context, 1);
            state.sleepBudget -= kSleepThreshold;
        }
    }

    do {
        platform.pause(platform.context);
        const std::int32_t elapsed = MillisecondsBetween(state.lastFlipTime, Now(platform));
        if (waitFrame && elapsed >= framePeriod) waitFrame = false;
        if (waitRefresh && elapsed >= refreshPeriod) waitRefresh = false;
    } while (waitFrame || waitRefresh);

    // A display whose driver never reports a vertical blank must not hang the
    // program: a blank comes round once per refresh period, so the wait ends
    // a little after one period whatever the raster status says.
    if (refresh > 0) {
        const std::int32_t start = Now(platform);
        const int timeout = VerticalBlankTimeout(refresh);
        for (;;) {
            if (platform.rasterStatus(platform.context) != RasterState::NotInBlank) break;
            if (MillisecondsBetween(start, Now(platform)) > timeout) break;
            if (!sleeping) platform.pause(platform.context);
        }
    }

    state.lastFlipTime = Now(platform);
}

}  // namespace korrin
