#include "testbench/vscale/ReportPacer.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

// Runs a timeline of steps "<ms><op>[value]": s sets the repeated report, q queues one (the
// value is the byte after the report ID), t takes what is due. Each take is recorded as
// "ms:value(wait)", value '-' when nothing was due, with the wait announced just before it.
std::string RunTimeline(bool onChange, uint32_t interval, const std::string& steps) {
    VsPacer pacer;
    const uint8_t initial[6] = {3, 0, 2, 0, 0, 0};
    VsPacerInit(&pacer, initial, 6, interval, onChange);
    std::string log;
    std::istringstream in(steps);
    int64_t t = 0;
    char op = 0;
    for (int value = 0; in >> t >> op && (op == 't' || in >> value);) {
        const uint8_t report[6] = {3, static_cast<uint8_t>(value), 2, 0, 0, 0};
        if (op == 's') {
            VsPacerSet(&pacer, report, 6);
        } else if (op == 'q') {
            EXPECT_TRUE(VsPacerQueue(&pacer, report, 6));
        } else {
            const int64_t wait = VsPacerWaitMs(&pacer, t);
            uint8_t out[VSCALE_MAX_REPORT] = {};
            const uint32_t length = VsPacerTake(&pacer, t, out);
            log +=
                std::to_string(t) + ":" + (length ? std::to_string(out[1]) : "-") + "(" + std::to_string(wait) + ") ";
        }
    }
    return log;
}

TEST(ReportPacer, FollowsTheScalesRhythm) {
    const struct {
        int line;
        bool onChange;
        uint32_t interval;
        const char *steps, *expected;
    } cases[] = {
        // The first report goes at once, then one per interval, never earlier.
        {__LINE__, false, 100, "0t 50t 100t 250t 300t", "0:0(0) 50:-(50) 100:0(0) 250:0(0) 300:-(50) "},
        // A changed report does not wait for the interval; an unchanged one does.
        {__LINE__, false, 100, "0t 10s7 10t 20s7 20t", "0:0(0) 10:7(0) 20:-(90) "},
        // On change only: the first report, then nothing until the reading changes.
        {__LINE__, true, 100, "0t 500t 600s0 600t 700s9 701t", "0:0(0) 500:-(-1) 600:-(-1) 701:9(0) "},
        // Queued reports go in order, one per interval, then the repeated report resumes.
        {__LINE__, false, 100, "0t 0q1 0q2 0t 100t 150t 200t 300t",
         "0:0(0) 0:-(100) 100:1(0) 150:-(50) 200:2(0) 300:0(0) "},
        // Queued reports also go out in on-change mode, and the scale falls silent again after.
        {__LINE__, true, 50, "0t 0q5 60t 200t", "0:0(0) 60:5(0) 200:-(-1) "},
        // A report set while reports are queued waits behind them.
        {__LINE__, false, 100, "0t 0q1 0s8 100t 100t", "0:0(0) 100:1(0) 100:8(0) "},
        // A zero interval is taken as one millisecond rather than a flood.
        {__LINE__, false, 0, "0t 0t 1t", "0:0(0) 0:-(1) 1:0(0) "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(RunTimeline(c.onChange, c.interval, c.steps), c.expected);
    }
}

TEST(ReportPacer, RefusesWhatItCannotHold) {
    VsPacer pacer;
    const uint8_t report[VSCALE_MAX_REPORT + 1] = {3};
    VsPacerInit(&pacer, report, 6, 100, false);
    EXPECT_FALSE(VsPacerQueue(&pacer, report, 0));
    EXPECT_FALSE(VsPacerQueue(&pacer, report, VSCALE_MAX_REPORT + 1));
    EXPECT_TRUE(VsPacerQueue(&pacer, report, VSCALE_MAX_REPORT));
    for (int i = 1; i < VSCALE_MAX_QUEUE; ++i) {
        EXPECT_TRUE(VsPacerQueue(&pacer, report, 6));
    }
    EXPECT_FALSE(VsPacerQueue(&pacer, report, 6));  // full: the caller is told, nothing is overwritten
    EXPECT_EQ(pacer.queueCount, static_cast<uint32_t>(VSCALE_MAX_QUEUE));
}

}  // namespace
