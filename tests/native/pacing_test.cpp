// Frame pacing arithmetic on a fake clock: the clock advances only through the
// pause hints, sleeps, raster queries and the work a test says a frame did.
#include "screen/Pacing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

using korrin::PaceFrame;
using korrin::PacingPlatform;
using korrin::PacingState;
using korrin::RasterState;

enum class Blank { Always, Never, Fails, Periodic };

struct FakeClock {
    std::int64_t nowUs = 0;          // microseconds since the fake's start
    std::int64_t pauseCostUs = 100;  // one pause hint
    std::int64_t rasterCostUs = 50;  // one raster query
    Blank blank = Blank::Always;
    std::int64_t blankPeriodUs = 16667;  // Periodic: one blank of blankLengthUs per period
    std::int64_t blankLengthUs = 400;
    int sleeps = 0;
    int pauses = 0;
    int rasterQueries = 0;

    std::int32_t Milliseconds() const {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(nowUs / 1000)));
    }
    void Work(int milliseconds) { nowUs += std::int64_t{milliseconds} * 1000; }
    void StartAtMilliseconds(std::int64_t ms) { nowUs = ms * 1000; }

    PacingPlatform Platform() {
        PacingPlatform p;
        p.context = this;
        p.elapsedMilliseconds = [](void* c) { return static_cast<FakeClock*>(c)->Milliseconds(); };
        p.sleep = [](void* c, int ms) {
            auto* f = static_cast<FakeClock*>(c);
            ++f->sleeps;
            f->nowUs += std::int64_t{ms} * 1000;
        };
        p.pause = [](void* c) {
            auto* f = static_cast<FakeClock*>(c);
            ++f->pauses;
            f->nowUs += f->pauseCostUs;
        };
        p.rasterStatus = [](void* c, unsigned* scanLine) {
            auto* f = static_cast<FakeClock*>(c);
            ++f->rasterQueries;
            // The status is read halfway through the query.
            f->nowUs += f->rasterCostUs / 2;
            const std::int64_t at = f->nowUs % f->blankPeriodUs;
            f->nowUs += f->rasterCostUs - f->rasterCostUs / 2;
            *scanLine = 0;
            switch (f->blank) {
                case Blank::Always: return RasterState::InBlank;
                case Blank::Never: return RasterState::NotInBlank;
                case Blank::Fails: return RasterState::Failed;
                case Blank::Periodic: break;
            }
            if (at < f->blankLengthUs) return RasterState::InBlank;
            *scanLine = static_cast<unsigned>((at - f->blankLengthUs) * 480 / (f->blankPeriodUs - f->blankLengthUs));
            return RasterState::NotInBlank;
        };
        p.counter = [](void* c) { return static_cast<FakeClock*>(c)->nowUs; };
        p.counterFrequency = 1000000;
        return p;
    }
};

// One frame: `work` ms of drawing, then the wait. Returns the time between the
// previous frame's end and this one's, in ms.
int Frame(FakeClock& clock, PacingState& state, int refresh, int fps, bool sleeping, int work = 0) {
    const std::int32_t before = state.lastFlipTime;
    clock.Work(work);
    PaceFrame(state, clock.Platform(), refresh, fps, sleeping);
    EXPECT_EQ(state.lastFlipTime, clock.Milliseconds()) << "the frame's end is remembered";
    return korrin::MillisecondsBetween(before, state.lastFlipTime);
}

TEST(FramePeriod, IsWholeMillisecondsAndZeroForRatesSwitchedOff) {
    EXPECT_EQ(korrin::FramePeriod(30), 33);
    EXPECT_EQ(korrin::FramePeriod(60), 16);
    EXPECT_EQ(korrin::FramePeriod(1), 1000);
    EXPECT_EQ(korrin::FramePeriod(2000), 0);
    EXPECT_EQ(korrin::FramePeriod(0), 0);
    EXPECT_EQ(korrin::FramePeriod(-30), 0);
    EXPECT_EQ(korrin::FramePeriod(std::numeric_limits<int>::min()), 0);
}

TEST(BusyPacing, FramesAtThirtyPerSecondAreAtLeast33MillisecondsApart) {
    FakeClock clock;
    PacingState state{};
    for (int work : {0, 5, 20, 32}) {
        const int spacing = Frame(clock, state, 0, 30, false, work);
        EXPECT_GE(spacing, 33) << "work " << work;
        EXPECT_LE(spacing, 34) << "and no more than the wait needs";
    }
    EXPECT_EQ(clock.rasterQueries, 0) << "refresh 0: no vertical-blank wait";
    EXPECT_EQ(clock.sleeps, 0) << "busy mode never sleeps";
}

TEST(BusyPacing, LateFramesGoOutAtOnce) {
    FakeClock clock;
    PacingState state{};
    Frame(clock, state, 0, 30, false);
    const int spacing = Frame(clock, state, 0, 30, false, 50);
    EXPECT_EQ(spacing, 50) << "one pause hint, no further wait";
}

TEST(BusyPacing, RatesOfZeroOrLessSwitchTheWaitsOff) {
    for (int rate : {0, -1, -60}) {
        FakeClock clock;
        PacingState state{};
        clock.StartAtMilliseconds(100);
        state.lastFlipTime = 100;  // a frame just went out
        const int spacing = Frame(clock, state, rate, rate, false);
        EXPECT_LE(spacing, 1) << "rate " << rate;
        EXPECT_EQ(clock.pauses, 1) << "a single pass of the wait loop";
        EXPECT_EQ(clock.rasterQueries, 0);
    }
}

TEST(BusyPacing, WaitsForTheLongerPeriodThenForTheVerticalBlank) {
    FakeClock clock;
    clock.blank = Blank::Periodic;
    PacingState state{};
    state.lastFlipTime = clock.Milliseconds();
    for (int i = 0; i < 5; ++i) {
        const int spacing = Frame(clock, state, 60, 30, false, 3);
        EXPECT_GE(spacing, 33);
        EXPECT_LE(spacing, 33 + 17 + 1) << "at most one refresh period spent on the blank";
        EXPECT_LT(clock.nowUs % clock.blankPeriodUs, clock.blankLengthUs) << "the frame goes out in a blank";
    }
    // The faster refresh rate alone: frames 16 ms apart at least.
    const int spacing = Frame(clock, state, 60, 0, false);
    EXPECT_GE(spacing, 16);
}

TEST(BusyPacing, ADisplayThatNeverReportsABlankDoesNotHangTheFrame) {
    for (bool sleeping : {false, true}) {
        FakeClock clock;
        clock.blank = Blank::Never;
        PacingState state{};
        const int spacing = Frame(clock, state, 60, 60, sleeping);
        EXPECT_GE(spacing, 16);
        EXPECT_LE(spacing, 16 + korrin::VerticalBlankTimeout(60) + 2) << (sleeping ? "sleeping" : "busy");
        EXPECT_GT(korrin::VerticalBlankTimeout(60), 16) << "longer than one refresh period";
    }
}

TEST(BusyPacing, ARefreshRateAboveTheCounterFrequencyIsNoFault) {
    FakeClock clock;
    PacingState state{};
    for (int i = 0; i < 3; ++i) Frame(clock, state, 2000000, 60, false, 40);  // late: due before the last blank
    EXPECT_EQ(clock.rasterQueries, 3);
}

TEST(BusyPacing, AFailingRasterQueryEndsTheBlankWait) {
    FakeClock clock;
    clock.blank = Blank::Fails;
    PacingState state{};
    Frame(clock, state, 60, 60, false);
    EXPECT_EQ(clock.rasterQueries, 1);
}

TEST(BusyPacing, SurvivesTheClockWrappingAround) {
    FakeClock clock;
    // 5 ms before the 32-bit millisecond clock wraps.
    clock.StartAtMilliseconds(std::int64_t{0xFFFFFFFF} - 5);
    PacingState state{};
    state.lastFlipTime = clock.Milliseconds();
    const int spacing = Frame(clock, state, 0, 30, false);
    EXPECT_GE(spacing, 33);
    EXPECT_LE(spacing, 34);
}

// Frames at `fps` with the given work each; the mean interval on the fake
// clock, in microseconds, over `frames` frames after one to settle.
double MeanIntervalUs(FakeClock& clock, PacingState& state, int refresh, int fps, bool sleeping, int frames,
                      int work = 0, std::int64_t* longestUs = nullptr) {
    Frame(clock, state, refresh, fps, sleeping, work);
    const std::int64_t start = clock.nowUs;
    std::int64_t previous = start;
    for (int i = 0; i < frames; ++i) {
        Frame(clock, state, refresh, fps, sleeping, work);
        if (longestUs) *longestUs = std::max(*longestUs, clock.nowUs - previous);
        previous = clock.nowUs;
    }
    return static_cast<double>(clock.nowUs - start) / frames;
}

TEST(ScheduledPacing, TheMeanIntervalIsTheExactPeriodNotWholeMilliseconds) {
    for (int fps : {60, 30, 144, 7}) {
        for (int work : {0, 5}) {
            FakeClock clock;
            PacingState state{};
            const double mean = MeanIntervalUs(clock, state, 0, fps, false, 3000, work);
            EXPECT_NEAR(mean, 1e6 / fps, 0.2) << fps << " frames/s, work " << work << ": fractions of a tick add up";
        }
    }
}

TEST(ScheduledPacing, ALittleLatenessIsMadeUpButNeverByABurstOfFrames) {
    FakeClock clock;
    PacingState state{};
    Frame(clock, state, 0, 60, false);
    const std::int64_t start = clock.nowUs;
    Frame(clock, state, 0, 60, false, 18);  // 1.3 ms late
    Frame(clock, state, 0, 60, false);
    EXPECT_NEAR(static_cast<double>(clock.nowUs - start), 2e6 / 60, 150) << "two periods for the two frames";
    // Later than the 2 ms allowance, a frame moves the schedule: the next
    // one still waits all but 2 ms of a period, after 3 ms or 100 ms alike.
    for (int work : {20, 100}) {
        Frame(clock, state, 0, 60, false, work);
        const std::int64_t late = clock.nowUs;
        Frame(clock, state, 0, 60, false);
        EXPECT_NEAR(static_cast<double>(clock.nowUs - late), 1e6 / 60 - 2000, 150) << "after " << work << " ms";
    }
}

TEST(ScheduledPacing, ABlankShorterThanOneRasterQueryIsNotMissed) {
    // The blank lasts 100 us and the status is read only every 400 us: most
    // blanks fall between two readings and are known by the scan line.
    for (int fps : {60, 30}) {
        for (bool sleeping : {false, true}) {
            FakeClock clock;
            clock.blank = Blank::Periodic;
            clock.blankLengthUs = 100;
            clock.rasterCostUs = 300;
            PacingState state{};
            std::int64_t longest = 0;
            const double mean = MeanIntervalUs(clock, state, 60, fps, sleeping, 120, 1, &longest);
            const double period = 1e6 / fps;
            SCOPED_TRACE(testing::Message() << fps << " frames/s" << (sleeping ? ", sleeping" : ""));
            EXPECT_NEAR(mean, period, period * 0.02);
            EXPECT_LE(longest, period + 2000) << "no frame loses a refresh period";
            EXPECT_LT(clock.nowUs % clock.blankPeriodUs, 800) << "shown just after a blank began";
        }
    }
}

TEST(ScheduledPacing, AFrameThatMissesItsBlankGoesOutAtOnceAndTheNextIsOnTime) {
    FakeClock clock;
    clock.blank = Blank::Periodic;
    PacingState state{};
    MeanIntervalUs(clock, state, 60, 60, false, 10);  // onto the blanks
    const std::int64_t start = clock.nowUs;
    Frame(clock, state, 60, 60, false, 20);  // its blank passed 3.3 ms ago
    EXPECT_LE(clock.nowUs - start, 21000) << "not held for the next blank";
    Frame(clock, state, 60, 60, false);
    EXPECT_NEAR(static_cast<double>(clock.nowUs - start), 2 * 16667.0, 1000) << "back on the schedule";
    EXPECT_LT(clock.nowUs % clock.blankPeriodUs, clock.blankLengthUs) << "in a blank again";
}

TEST(SleepingPacing, NoSleepWhenTheFrameIsDueSoon) {
    FakeClock clock;
    PacingState state{};
    state.lastFlipTime = clock.Milliseconds();
    state.sleepBudget = 100;
    Frame(clock, state, 0, 60, true, 15);  // under 2 ms left
    EXPECT_EQ(clock.sleeps, 0);
    Frame(clock, state, 0, 60, true);
    EXPECT_EQ(clock.sleeps, 1);
}

TEST(SleepingPacing, SleepsOnceFor16MillisecondsOfWait) {
    FakeClock clock;
    PacingState state{};
    state.lastFlipTime = clock.Milliseconds();
    Frame(clock, state, 0, 60, true);
    EXPECT_EQ(clock.sleeps, 1) << "16 ms to wait";
    EXPECT_EQ(state.sleepBudget, 0);
    Frame(clock, state, 0, 60, true, 10);
    EXPECT_EQ(clock.sleeps, 1) << "6 ms saved up: no sleep";
    EXPECT_EQ(state.sleepBudget, 6);
}

TEST(SleepingPacing, NeverMoreThanOneSleepPerFrame) {
    FakeClock clock;
    PacingState state{};
    for (int i = 1; i <= 4; ++i) {
        const int spacing = Frame(clock, state, 0, 1, true);
        EXPECT_GE(spacing, 1000);
        EXPECT_EQ(clock.sleeps, i) << "a 1000 ms frame still sleeps once";
    }
    EXPECT_GT(state.sleepBudget, 3000) << "the rest stays saved up";
}

TEST(SleepingPacing, LateFramesDriveTheBudgetNegativeAndSleepingWaitsUntilItIsBackTo16) {
    FakeClock clock;
    PacingState state{};
    state.lastFlipTime = clock.Milliseconds();
    // Each frame 14 ms late for both 16 ms periods.
    for (int i = 1; i <= 3; ++i) {
        Frame(clock, state, 60, 60, true, 30);
        EXPECT_EQ(state.sleepBudget, -14 * i);
    }
    EXPECT_EQ(clock.sleeps, 0);
    // Frames on time add 16 ms each: -26, -10, 6, then 22 sleeps once.
    for (int expected : {-26, -10, 6}) {
        Frame(clock, state, 60, 60, true);
        EXPECT_EQ(state.sleepBudget, expected);
        EXPECT_EQ(clock.sleeps, 0);
    }
    Frame(clock, state, 60, 60, true);
    EXPECT_EQ(clock.sleeps, 1);
    EXPECT_EQ(state.sleepBudget, 6);
}

TEST(SleepingPacing, WithoutARefreshRateALateFrameSavesNothing) {
    // The refresh wait counts as 0 remaining, and the larger of the two is kept.
    FakeClock clock;
    PacingState state{};
    Frame(clock, state, 0, 60, true, 40);
    EXPECT_EQ(state.sleepBudget, 0);
}

TEST(SleepingPacing, TheBudgetSaturatesInsteadOfWrapping) {
    FakeClock clock;
    PacingState state{};
    state.sleepBudget = std::numeric_limits<std::int32_t>::min() + 5;
    Frame(clock, state, 60, 60, true, 100);
    EXPECT_EQ(state.sleepBudget, std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(clock.sleeps, 0) << "a wrapped, huge budget would sleep";
}

}  // namespace
