#include "weighing/SettledSend.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using weighing::SettledSend;

// r: a reading shown (status, value); g: the scale has no weight; p: a hotkey press;
// t: a timer tick; x: a tick with the scale gone. b: hands-free sends are blocked then.
struct Step {
    char kind;
    int64_t t;
    uint8_t status = 4;
    double value = 0;
    bool blocked = false;
};

struct Config {
    bool stableOnly = false;
    int32_t waitMs = 2000;
    bool autoSend = true;
    int32_t settleMs = 500;
    double min = 0;
};

// One letter per step: . nothing, S sent hands-free, N type now, w waiting, A already waiting,
// W the waiting press types, R refused.
std::string Play(const Config& c, const std::vector<Step>& steps) {
    base::Settings settings;
    settings.StableOnly = c.stableOnly;
    settings.StableWaitMs = c.waitMs;
    settings.AutoSend = c.autoSend;
    settings.SettleMs = c.settleMs;
    settings.AutoSendMin = c.min;
    SettledSend send(settings);
    weighing::ShownReading last;
    std::string out;
    const auto action = [](SettledSend::Action a) { return ".WRS"[static_cast<int>(a)]; };
    for (const Step& s : steps) {
        switch (s.kind) {
            case 'r':
            case 'g':
                last = {s.kind == 'r', s.status, s.value, "x"};
                out += action(send.ReadingShown(last, s.t, s.blocked));
                break;
            case 'p':
                out += "NwRA"[static_cast<int>(send.HotkeyPressed(last, s.t))];
                break;
            default:
                out += action(send.Tick(s.t, s.kind == 't', s.blocked));
                break;
        }
    }
    return out;
}

// One table row: the steps played and the actions they give, one character each.
struct Row {
    int line;
    Config config;
    std::vector<Step> steps;
    std::string expected;
};

TEST(SettledSend, HandsFreeSendsEachPlacementOnceWhenSettled) {
    const Row rows[] = {
        // Stable for exactly SettleMs, counted from the first stable report after the motion.
        {__LINE__, {}, {{'r', 0, 3, 1.25}, {'r', 100, 4, 1.25}, {'t', 599}, {'t', 600}}, "...S"},
        {__LINE__, {.settleMs = 0}, {{'r', 0, 4, 1.25}}, "S"},
        // Never twice: staying, or an item added (a new stable weight above the minimum).
        {__LINE__,
         {},
         {{'r', 0, 4, 1.25}, {'t', 500}, {'t', 1000}, {'r', 1100, 3, 1.3}, {'r', 1200, 4, 1.4}, {'t', 2000}},
         ".S...."},
        // Lifted to zero re-arms: the next parcel is sent.
        {__LINE__, {}, {{'r', 0, 4, 1.25}, {'t', 500}, {'r', 600, 2, 0}, {'r', 700, 4, 2}, {'t', 1200}}, ".S..S"},
        // Exactly the minimum is not sent and re-arms; lifting to just above it does not re-arm.
        {__LINE__, {.min = 0.5}, {{'r', 0, 4, 0.5}, {'t', 600}, {'r', 700, 4, 0.51}, {'t', 1200}}, "...S"},
        {__LINE__,
         {.min = 0.5},
         {{'r', 0, 4, 1.25}, {'t', 500}, {'r', 600, 4, 0.6}, {'r', 700, 4, 2}, {'t', 1300}},
         ".S..."},
        // Negative and overloaded readings never send.
        {__LINE__, {}, {{'r', 0, 5, -0.3}, {'t', 600}, {'r', 700, 6, 3}, {'t', 1300}}, "...."},
        // A change of weight or motion starts the settle time again.
        {__LINE__, {}, {{'r', 0, 4, 1.25}, {'r', 300, 4, 1.3}, {'t', 500}, {'t', 800}}, "...S"},
        {__LINE__, {}, {{'r', 0, 4, 1.25}, {'r', 300, 3, 1.3}, {'r', 400, 4, 1.3}, {'t', 800}, {'t', 900}}, "....S"},
        // Blocked (a dialog open, our own window in front): sent once it clears, still stable.
        {__LINE__, {}, {{'r', 0, 4, 1.25}, {'t', 500, 4, 0, true}, {'t', 900}}, "..S"},
        // A scale gone, or hands-free off: nothing.
        {__LINE__, {}, {{'r', 0, 4, 1.25}, {'g', 100}, {'t', 600}}, "..."},
        {__LINE__, {}, {{'r', 0, 4, 1.25}, {'x', 600}}, ".."},
        {__LINE__, {.autoSend = false}, {{'r', 0, 4, 1.25}, {'t', 600}}, ".."},
        // A stable weight typed by hotkey was this placement's send.
        {__LINE__, {}, {{'r', 0, 4, 1.25}, {'p', 100}, {'t', 600}}, ".N."},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.line);
        EXPECT_EQ(Play(r.config, r.steps), r.expected);
    }
}

TEST(SettledSend, StableOnlyHotkeyTypesASettledWeightOrSaysWhyNot) {
    const Config on{.stableOnly = true, .autoSend = false};
    const Row rows[] = {
        {__LINE__, on, {{'r', 0, 4, 1.25}, {'p', 1}}, ".N"},
        {__LINE__, on, {{'r', 0, 2, 0}, {'p', 1}, {'r', 2, 5, -0.5}, {'p', 3}}, ".N.N"},
        // Motion: the first stable report within the wait is typed, once; a second press adds nothing.
        {__LINE__,
         on,
         {{'r', 0, 3, 1.1}, {'p', 10}, {'p', 20}, {'r', 500, 3, 1.2}, {'r', 900, 4, 1.3}, {'t', 3000}},
         ".wA.W."},
        {__LINE__, on, {{'r', 0, 3, 1.1}, {'p', 10}, {'t', 2009}, {'t', 2010}, {'r', 2100, 4, 1.3}}, ".w.R."},
        {__LINE__, {.stableOnly = true, .waitMs = 0, .autoSend = false}, {{'r', 0, 3, 1.1}, {'p', 1}}, ".R"},
        // Overloaded, not initialised, a fault, no scale: refused at once; gone or overloaded while waiting too.
        {__LINE__,
         on,
         {{'r', 0, 6, 9}, {'p', 1}, {'r', 2, 8, 0}, {'p', 3}, {'r', 4, 1, 0}, {'p', 5}, {'g', 6}, {'p', 7}},
         ".R.R.R.R"},
        {__LINE__, on, {{'r', 0, 3, 1}, {'p', 1}, {'x', 2}, {'p', 3}, {'r', 4, 6, 9}}, ".wRwR"},
        // Off: a moving weight is typed as it is, as before.
        {__LINE__, {.autoSend = false}, {{'r', 0, 3, 1.1}, {'p', 1}}, ".N"},
        // The waiting press typed the placement: hands-free leaves it alone.
        {__LINE__, {.stableOnly = true}, {{'r', 0, 3, 1.1}, {'p', 1}, {'r', 100, 4, 1.3}, {'t', 600}}, ".wW."},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.line);
        EXPECT_EQ(Play(r.config, r.steps), r.expected);
    }
}

// The timer runs only while something is due, and the status line says what is going on.
TEST(SettledSend, DeadlinesAndNotices) {
    base::Settings settings;
    settings.StableOnly = settings.AutoSend = true;
    SettledSend send(settings);
    EXPECT_EQ(send.NextDeadline(), std::nullopt);
    (void)send.ReadingShown({true, 3, 1.1, "1.1 kg"}, 0, false);
    EXPECT_EQ(send.NextDeadline(), std::nullopt);
    (void)send.HotkeyPressed({true, 3, 1.1, "1.1 kg"}, 100);
    EXPECT_EQ(send.NextDeadline(), 2100);
    EXPECT_EQ(send.Notice(150), weighing::kWaitingText);
    (void)send.Tick(2100, true, false);
    EXPECT_EQ(send.Notice(2100), "Not sent: the weight did not settle");
    EXPECT_EQ(send.NextDeadline(), 2100 + weighing::kNoticeMs);
    (void)send.ReadingShown({true, 4, 1.3, "1.3 kg"}, 2200, false);
    EXPECT_EQ(send.NextDeadline(), 2700);
    ASSERT_EQ(send.Tick(2700, true, false), SettledSend::Action::HandsFree);
    send.HandsFreeSent("1.3 kg", 2700);
    EXPECT_EQ(send.Notice(2701), "Sent 1.3 kg");
    (void)send.Tick(2700 + weighing::kNoticeMs, true, false);
    EXPECT_EQ(send.Notice(2700 + weighing::kNoticeMs), "");
    EXPECT_EQ(send.NextDeadline(), std::nullopt);

    EXPECT_EQ(weighing::SettledStatusLine("Sent 1 kg", "Scale In Motion", true, "w"), "Sent 1 kg");
    EXPECT_EQ(weighing::SettledStatusLine("", "Scale In Motion", true, "w"), "Scale In Motion");
    EXPECT_EQ(weighing::SettledStatusLine("", "", true, "Web"), "Hands-free send on - Web");
    EXPECT_EQ(weighing::SettledStatusLine("", "", false, "Web"), "Web");
}

}  // namespace
