#include "weighing/ReadPacer.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>

namespace weighing {
namespace {

// The window side, every call written to one log with the cycles.
struct Wake : IReadWake {
    void ArmReportWake() override { log += "arm "; }
    void DisarmReportWake() override { log += "disarm "; }
    void StartDue(uint32_t ms) override { log += "due" + std::to_string(ms) + " "; }
    void StopDue() override { log += "stop "; }
    uint64_t NowMs() const override { return now; }
    std::string log;
    uint64_t now = 5000;
};

enum class Cycle { Shows, Repeats, StopsReading, Throws };

// Plays `script` at an interval of 50 ms: E/D enable/disable reading, I<ms> sets the interval,
// R a report is in, T the due timer fires, +<ms> time passes.
std::string Play(const std::string& script, Cycle cycle) {
    Wake wake;
    ReadPacer pacer(wake, 50, [&] {
        wake.log += "CYCLE ";
        if (cycle == Cycle::StopsReading) {
            pacer.SetTimerEnabled(false);  // the scale was not found
        } else if (cycle == Cycle::Throws) {
            throw std::runtime_error("a handler failed");
        }
        return cycle != Cycle::Repeats;  // a repeated report changes nothing
    });
    std::istringstream steps(script);
    for (std::string step; steps >> step;) {
        const int ms = step.size() > 1 ? std::stoi(step.substr(1)) : 0;
        try {
            switch (step[0]) {
                case 'E':
                    pacer.SetTimerEnabled(true);
                    break;
                case 'D':
                    pacer.SetTimerEnabled(false);
                    break;
                case 'I':
                    pacer.SetTimerInterval(ms);
                    break;
                case 'R':
                    pacer.ReportIn();
                    break;
                case 'T':
                    pacer.Due();
                    break;
                case '+':
                    wake.now += static_cast<uint64_t>(ms);
                    break;
                default:
                    ADD_FAILURE() << step;
            }
        } catch (const std::runtime_error&) {
            wake.log += "THROWN ";
        }
    }
    return wake.log;
}

// The display changes at most once per interval, a report after a quiet interval shows at once
// (and one that changes nothing does not count),
// the first cycle comes one interval after reading starts (so a scale not found is said so then),
// interval 0 never reads, and a cycle that stops reading or fails leaves the wake as it should.
TEST(ReadPacer, RunsTheCycleOnAReportButAtMostOncePerInterval) {
    // clang-format off
    const struct { std::string script; Cycle cycle; std::string log; } cases[] = {
        {"E +50 T +80 R", Cycle::Shows, "due50 stop CYCLE arm CYCLE arm "},
        {"E +50 T +20 R +10 R +20 T", Cycle::Shows, "due50 stop CYCLE arm due30 stop CYCLE arm "},
        {"E +50 T +20 R", Cycle::Repeats, "due50 stop CYCLE arm CYCLE arm "},
        {"E +50 T +20 R D +30 T R", Cycle::Shows, "due50 stop CYCLE arm due30 stop disarm stop "},
        {"I0 E R T", Cycle::Shows, "stop disarm stop "},
        {"E +20 I200 +50 R T", Cycle::Shows, "due50 due200 stop CYCLE arm "},
        {"I70000 E", Cycle::Shows, "due50 "},
        {"E +50 T +60 R", Cycle::StopsReading, "due50 stop CYCLE stop disarm "},
        {"E +50 T +60 R", Cycle::Throws, "due50 stop CYCLE arm THROWN CYCLE arm THROWN "},
    };
    // clang-format on
    for (const auto& c : cases) {
        EXPECT_EQ(Play(c.script, c.cycle), c.log) << c.script;
    }
}

}  // namespace
}  // namespace weighing
