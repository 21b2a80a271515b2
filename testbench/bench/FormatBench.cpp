// How long the formatting half of a read cycle takes, per expression the settings dialog offers
// and for a few typed ones. The cycle runs up to 20 times a second; this prints the cost of one
// formatting and of one parse, so the share of the window thread it takes can be judged.
#include <chrono>
#include <cstdio>
#include <string>

#include "weighing/ScaleReport.h"
#include "weighing/WeightFormatting.h"

namespace {

using Clock = std::chrono::steady_clock;

template <typename Fn>
double NanosecondsPerCall(int calls, Fn&& fn) {
    const auto start = Clock::now();
    for (int i = 0; i < calls; ++i) {
        fn(i);
    }
    const std::chrono::duration<double, std::nano> elapsed = Clock::now() - start;
    return elapsed.count() / calls;
}

}  // namespace

int main() {
    const char* expressions[] = {"",
                                 "0.0",
                                 "0.00",
                                 "0.0#;(-0.0#)",
                                 "0.0#;(-0.0#);\"ZERO\"",
                                 "#,##0.00",
                                 "000.000\" kg\"",
                                 "0.0#;\"NEGATIVE\";\"ZERO\""};
    constexpr int kCalls = 200000;
    size_t sink = 0;
    std::printf("%-28s %12s %12s %12s\n", "expression", "parse ns", "format ns", "cycle ns");
    for (const char* expression : expressions) {
        base::Settings settings;
        settings.WeightFormat = expression;
        settings.SelectedUnits = 3;
        const double parse =
            NanosecondsPerCall(kCalls, [&](int) { sink += weighing::ParseFormat(expression).sections.size(); });
        const weighing::FormatSpec parsed = weighing::ParseFormat(expression);
        const double format = NanosecondsPerCall(
            kCalls, [&](int i) { sink += weighing::FormatNumber(parsed, 1234.5 + i * 0.01, {}).size(); });
        const double cycle = NanosecondsPerCall(kCalls, [&](int i) {
            const uint8_t low = static_cast<uint8_t>(i);
            const std::array<uint8_t, 8> report{3, static_cast<uint8_t>(i & 7), 2, 0xFE, low, 0x30, 0, 0};
            const weighing::WeightReading reading = weighing::DecodeReport(report);
            sink += weighing::FormatWeight(reading, settings, parsed, " g", {}).weightBox.size();
        });
        std::printf("%-28s %12.0f %12.0f %12.0f\n", (std::string("\"") + expression + "\"").c_str(), parse, format,
                    cycle);
    }
    std::printf("(checksum %zu)\n", sink);
    return 0;
}
