#include "testbench/vscale/ReportPacer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// One step of a timeline: at time t, do something (set, queue) or ask for a report.
struct Step {
    int64_t t;
    char op;        // 's' set, 'q' queue, 't' take
    uint8_t value;  // the byte after the report ID of the report set or queued
};

// Runs a timeline and records each take as "t:value" (value '-' when none was due), with the
// wait the pacer announced just before it as "(w)".
std::string RunTimeline(bool onChange, uint32_t interval, const std::vector<Step>& steps) {
    VsPacer pacer;
    const uint8_t initial[6] = {3, 0, 2, 0, 0, 0};
    VsPacerInit(&pacer, initial, 6, interval, onChange);
    std::string log;
    for (const Step& step : steps) {
        const uint8_t report[6] = {3, step.value, 2, 0, 0, 0};
        if (step.op == 's') {
            VsPacerSet(&pacer, report, 6);
        } else if (step.op == 'q') {
            EXPECT_TRUE(VsPacerQueue(&pacer, report, 6));
        } else {
            int64_t wait = VsPacerWaitMs(&pacer, step.t);
            uint8_t out[VSCALE_MAX_REPORT] = {};
            uint32_t length = VsPacerTake(&pacer, step.t, out);
            log += std::to_string(step.t) + ":" + (length ? std::to_string(out[1]) : "-") + "(" + std::to_string(wait) +
                   ") ";
        }
    }
    return log;
}

TEST(ReportPacer, FollowsTheScalesRhythm) {
    struct Case {
        int line;
        bool onChange;
        uint32_t interval;
        std::vector<Step> steps;
        std::string expected;
    } cases[] = {
        // The first report goes at once, then one per interval, never earlier.
        {__LINE__,
         false,
         100,
         {{0, 't', 0}, {50, 't', 0}, {100, 't', 0}, {250, 't', 0}, {300, 't', 0}},
         "0:0(0) 50:-(50) 100:0(0) 250:0(0) 300:-(50) "},
        // A changed report does not wait for the interval; an unchanged one does.
        {__LINE__,
         false,
         100,
         {{0, 't', 0}, {10, 's', 7}, {10, 't', 0}, {20, 's', 7}, {20, 't', 0}},
         "0:0(0) 10:7(0) 20:-(90) "},
        // On change only: the first report, then nothing until the reading changes.
        {__LINE__,
         true,
         100,
         {{0, 't', 0}, {500, 't', 0}, {600, 's', 0}, {600, 't', 0}, {700, 's', 9}, {701, 't', 0}},
         "0:0(0) 500:-(-1) 600:-(-1) 701:9(0) "},
        // Queued reports go in order, one per interval, then the repeated report resumes.
        {__LINE__,
         false,
         100,
         {{0, 't', 0},
          {0, 'q', 1},
          {0, 'q', 2},
          {0, 't', 0},
          {100, 't', 0},
          {150, 't', 0},
          {200, 't', 0},
          {300, 't', 0}},
         "0:0(0) 0:-(100) 100:1(0) 150:-(50) 200:2(0) 300:0(0) "},
        // Queued reports also go out in on-change mode, and the scale falls silent again after.
        {__LINE__, true, 50, {{0, 't', 0}, {0, 'q', 5}, {60, 't', 0}, {200, 't', 0}}, "0:0(0) 60:5(0) 200:-(-1) "},
        // A report set while reports are queued waits behind them.
        {__LINE__,
         false,
         100,
         {{0, 't', 0}, {0, 'q', 1}, {0, 's', 8}, {100, 't', 0}, {100, 't', 0}},
         "0:0(0) 100:1(0) 100:8(0) "},
        // A zero interval is taken as one millisecond rather than a flood.
        {__LINE__, false, 0, {{0, 't', 0}, {0, 't', 0}, {1, 't', 0}}, "0:0(0) 0:-(1) 1:0(0) "},
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
    for (int i = 0; i < VSCALE_MAX_QUEUE; ++i) {
        EXPECT_TRUE(VsPacerQueue(&pacer, report, 6));
    }
    EXPECT_FALSE(VsPacerQueue(&pacer, report, 6));  // full: the caller is told, nothing is overwritten
    EXPECT_EQ(pacer.queueCount, static_cast<uint32_t>(VSCALE_MAX_QUEUE));
}

}  // namespace
