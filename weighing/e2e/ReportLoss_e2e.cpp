// Every report of a scale that reports only when its weight changes reaches the Weight box. Such
// a scale says nothing more until the weight changes again, so a report lost on the way leaves a
// stale weight on screen, and in what the hotkey types, for as long as the parcel stays.
//
// 300 reports at random intervals of 20 to 800 ms at each of SampleRate 50, 100 and 500. To keep
// the program near a minute, each rate is served by two copies of Pesora reading a scale each,
// 150 reports apiece, and all six run at once. Before the next report goes out the box must show
// the last one, at most a tick (plus a margin for the bench's load) after it was sent. Where the
// next report follows sooner, the report may rightly be overtaken by the next one, so only the
// longer gaps are checked: a report lost in them stays visible as the previous weight.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "FreshE2e.h"

namespace {

using namespace freshe2e;

constexpr int kReportsPerRate = 300;
constexpr int kCopiesPerRate = 2;
constexpr int kReports = kReportsPerRate / kCopiesPerRate;  // per copy
constexpr int kMinGapMs = 20;
constexpr int kMaxGapMs = 800;

struct RateRun {
    int sampleRate;
    std::string serial;
    uint16_t productId;
    std::string exeName;
    int checked = 0;
    int lost = 0;
    std::string firstLoss;
};

// How long after a report the box must show it: a tick, and a margin for a loaded bench.
int CheckAfterMs(int sampleRate) {
    return sampleRate + 100;
}

void SendReports(RateRun& run, const Pesora& pesora) {
    std::mt19937 random(static_cast<unsigned>(run.productId));  // the same intervals every time
    std::uniform_int_distribution<int> gap(kMinGapMs, kMaxGapMs);
    for (int i = 0; i < kReports; ++i) {
        const int16_t grams = static_cast<int16_t>(2000 + i);
        if (!SetGrams(run.serial, grams)) {
            ++run.lost;
            run.firstLoss = run.firstLoss.empty() ? "the scale refused report " + std::to_string(i) : run.firstLoss;
            continue;
        }
        const int waitMs = gap(random);
        ::Sleep(static_cast<DWORD>(waitMs));
        if (waitMs < CheckAfterMs(run.sampleRate)) {
            continue;  // the next report may overtake this one
        }
        ++run.checked;
        const std::string shown = pesora.Weight();
        if (shown != std::to_string(grams)) {
            ++run.lost;
            if (run.firstLoss.empty()) {
                run.firstLoss = "report " + std::to_string(i) + " (" + std::to_string(grams) + " g) not shown " +
                                std::to_string(waitMs) + " ms after it was sent; the box shows '" + shown + "'";
            }
        }
    }
}

TEST(ReportLoss, EveryReportOfAnOnChangeScaleReachesTheWeightBox) {
    std::vector<RateRun> runs = {
        {50, "6411", 0x6411, "Loss50a", 0, 0, ""},   {50, "6412", 0x6412, "Loss50b", 0, 0, ""},
        {100, "6413", 0x6413, "Loss100a", 0, 0, ""}, {100, "6414", 0x6414, "Loss100b", 0, 0, ""},
        {500, "6415", 0x6415, "Loss500a", 0, 0, ""}, {500, "6416", 0x6416, "Loss500b", 0, 0, ""},
    };
    for (const RateRun& run : runs) {
        std::string error;
        ASSERT_TRUE(e2e::Plug(OnChangeScale(run.serial, run.productId), &error)) << error;
        ASSERT_TRUE(SetGrams(run.serial, 1000));
    }
    struct UnplugAtEnd {
        std::vector<RateRun>& runs;
        ~UnplugAtEnd() {
            for (const RateRun& run : runs) {
                (void)e2e::Unplug(run.serial);
            }
        }
    } unplugAtEnd{runs};
    std::this_thread::sleep_for(kRawInputCacheWait);

    // The copies start together: one after another, Wine's start-ups alone would take half a minute.
    std::vector<std::unique_ptr<Pesora>> copies(runs.size());
    {
        std::vector<std::thread> starters;
        for (size_t i = 0; i < runs.size(); ++i) {
            starters.emplace_back([&, i] {
                copies[i] = std::make_unique<Pesora>(
                    runs[i].exeName, OnChangeScale(runs[i].serial, runs[i].productId),
                    std::map<std::string, std::string>{{"SampleRate", std::to_string(runs[i].sampleRate)}});
            });
        }
        for (std::thread& starter : starters) {
            starter.join();
        }
    }
    for (size_t i = 0; i < runs.size(); ++i) {
        ASSERT_NE(copies[i]->main, nullptr) << runs[i].exeName;
    }
    // Reading has begun once a first report shows; a copy that lost it gets another.
    for (size_t i = 0; i < runs.size(); ++i) {
        bool reading = false;
        for (int attempt = 0; attempt < 10 && !reading; ++attempt) {
            const int16_t grams = static_cast<int16_t>(1001 + attempt);
            ASSERT_TRUE(SetGrams(runs[i].serial, grams));
            reading = copies[i]->Shows(std::to_string(grams), attempt == 0 ? 5s : 1s);
        }
        ASSERT_TRUE(reading) << runs[i].exeName << " shows '" << copies[i]->Weight() << "'";
    }

    std::vector<std::thread> senders;
    for (size_t i = 0; i < runs.size(); ++i) {
        senders.emplace_back([&, i] { SendReports(runs[i], *copies[i]); });
    }
    for (std::thread& sender : senders) {
        sender.join();
    }

    for (int rate : {50, 100, 500}) {
        int checked = 0;
        int lost = 0;
        std::string firstLoss;
        for (const RateRun& run : runs) {
            if (run.sampleRate == rate) {
                checked += run.checked;
                lost += run.lost;
                firstLoss = firstLoss.empty() ? run.firstLoss : firstLoss;
            }
        }
        std::printf("SampleRate %d: %d of %d reports checked, %d lost\n", rate, checked, kReportsPerRate, lost);
        EXPECT_GT(checked, kReportsPerRate / 5) << rate;  // the check has something to say
        EXPECT_EQ(lost, 0) << "SampleRate " << rate << ": " << firstLoss;
    }
}

}  // namespace
