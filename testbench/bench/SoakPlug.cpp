// Not a unit test: the soak that scripts/soak-plug.sh runs on the bench. It unplugs and plugs
// the scale Pesora reads, again and again, and counts the rounds after which reading resumed.
// It prints "phase: start" once reading has begun and "phase: end" after the last round, each
// followed by a pause in which the script samples the Pesora process from outside.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "devices/e2e/ScaleE2e.h"

namespace {

using namespace std::chrono_literals;
using scalee2e::Scale;

class SoakPlug : public scalee2e::PesoraWithScales {};

TEST_F(SoakPlug, ReadingResumesAfterEveryReplug) {
    const char* setting = std::getenv("PESORA_SOAK_ITERATIONS");
    const int rounds = setting != nullptr ? std::atoi(setting) : 200;
    const e2e::ScaleOptions scale = Scale("7301", "Soaked", 0x8901);
    Plug(scale);
    SetGrams("7301", 1000);
    scalee2e::WaitOutRawInputCache();
    StartPesora("Soak", e2e::HidPath(scale));
    ASSERT_TRUE(e2e::WaitUntil([&] { return WeightShows("1000"); }, 10s)) << WeightBox();
    std::printf("phase: start pid %lu\n", static_cast<unsigned long>(_process.Pid()));
    std::fflush(stdout);
    ::Sleep(4000);

    int resumed = 0;
    int stopped = 0;
    double slowest = 0;
    double total = 0;
    for (int i = 0; i < rounds; ++i) {
        Unplug("7301");
        if (e2e::WaitUntil([&] { return WeightBox().empty(); }, 5s)) {
            ++stopped;
        }
        scalee2e::WaitOutRawInputCache();
        const int16_t grams = static_cast<int16_t>(2000 + i);
        const auto plugged = std::chrono::steady_clock::now();
        Plug(scale);
        SetGrams("7301", grams);
        if (e2e::WaitUntil([&] { return WeightShows(std::to_string(grams)); }, 10s)) {
            ++resumed;
            const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - plugged).count();
            total += s;
            slowest = std::max(slowest, s);
        } else {
            std::printf("round %d: reading did not resume (weight box \"%s\")\n", i + 1, WeightBox().c_str());
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
