// Not a unit test: the soak that scripts/soak-plug.sh runs on the bench. It unplugs and plugs
// the scale Pesora reads, again and again, and counts the rounds after which reading resumed.
// It prints "phase: start" once reading has begun and "phase: end" after the last round, each
// followed by a pause in which the script samples the Pesora process from outside.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "Fixture.h"

namespace {

using namespace std::chrono_literals;

TEST(SoakPlug, ReadingResumesAfterEveryReplug) {
    const char* setting = std::getenv("PESORA_SOAK_ITERATIONS");
    const int rounds = setting != nullptr ? std::atoi(setting) : 200;
    e2e::Scale scale(e2e::Scale::Options("7301", "Soaked", 0x8901));
    scale.SetGrams(1000);
    e2e::WaitOutRawInputCache();
    e2e::Pesora pesora({.name = "Soak", .settings = e2e::SettingsText({{"SelectedScale", scale.Path()}})});
    const auto weightShows = [&](const std::string& digits) {
        return e2e::WaitUntil([&] { return pesora.Weight().find(digits) != std::string::npos; }, 10s);
    };
    ASSERT_TRUE(weightShows("1000")) << pesora.Weight();
    std::printf("phase: start pid %lu\n", static_cast<unsigned long>(pesora.process().Pid()));
    std::fflush(stdout);
    ::Sleep(4000);

    int resumed = 0;
    int stopped = 0;
    double slowest = 0;
    double total = 0;
    for (int i = 0; i < rounds; ++i) {
        ASSERT_TRUE(scale.Unplug());
        if (e2e::WaitUntil([&] { return pesora.Weight().empty(); }, 5s)) {
            ++stopped;
        }
        e2e::WaitOutRawInputCache();
        const int grams = 2000 + i;
        const auto plugged = std::chrono::steady_clock::now();
        ASSERT_TRUE(scale.Replug());
        scale.SetGrams(grams);
        if (weightShows(std::to_string(grams))) {
            ++resumed;
            const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - plugged).count();
            total += s;
            slowest = std::max(slowest, s);
        } else {
            std::printf("round %d: reading did not resume (weight box \"%s\")\n", i + 1, pesora.Weight().c_str());
        }
    }
    std::printf("rounds %d, reading stopped on unplug %d, resumed %d; plug-to-weight mean %.2f s, slowest %.2f s\n",
                rounds, stopped, resumed, resumed > 0 ? total / resumed : 0.0, slowest);
    std::printf("phase: end\n");
    std::fflush(stdout);
    ::Sleep(4000);
    EXPECT_EQ(resumed, rounds);
    EXPECT_EQ(stopped, rounds);
}

}  // namespace
