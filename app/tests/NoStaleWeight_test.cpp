// No weight without a scale that reported it: a scale just chosen has none until it reports, and
// the hotkey, the Weight box and the web reading all say so.
#include <gtest/gtest.h>

#include "app/WebReading.h"
#include "keys/KbdHook.h"
#include "weighing/ReadCycle.h"

namespace {

struct Window : weighing::IReadCycleView, base::IReadTimer, keys::IHotkeyHost {
    std::string box = "stale";
    bool timer = true;
    int beeps = 0;
    std::vector<std::string> sent;
    void SetWeightBox(std::string_view text) override { box = text; }
    void SetStatus(std::string_view) override {}
    void SetWeightCaption(std::string_view) override {}
    void DoEvents() override {}
    void SetTimerEnabled(bool enabled) override { timer = enabled; }
    bool TimerEnabled() const override { return timer; }
    void SetTimerInterval(int32_t) override {}
    int16_t GetKeyState(int32_t) const override { return 0; }
    void Beep() override { ++beeps; }
    bool IsOwnWindowForeground() const override { return false; }
    void WaitForMessages(int32_t) override {}
    int16_t SendKeyScript(std::string_view script, int32_t) override {
        sent.emplace_back(script);
        return 0;
    }
};

struct SilentScale : weighing::IScaleDevice {
    void ReadInputReport(std::span<uint8_t, 8>, uint32_t) override {}
    void SendZeroReport() override {}
};

// The buffer still holds the previous scale's 1.25 kg while the one just chosen has not reported.
TEST(NoStaleWeight, AScaleThatHasNotReportedHasNoWeight) {
    base::AppState state;
    state.deviceOpen = true;
    state.awaitingReport = true;
    state.reportBuffer = {3, 4, 3, 0xFE, 0x7D, 0, 0, 0};
    state.weightText = "1.25";
    Window window;
    SilentScale scale;
    weighing::ReadCycle cycle{state, window, window, scale};
    cycle.ReadWeight();
    EXPECT_EQ(window.box, "");
    EXPECT_EQ(state.weightText, "");

    keys::HotkeySender sender{state, window, window, [](std::string_view t) { return std::string(t); }};
    state.weightText = "1.25";
    sender.KbdHook(1);
    EXPECT_EQ(window.beeps, 1);
    EXPECT_TRUE(window.sent.empty());

    const std::string expect = R"({"weight":null,"unit":"","text":"","status":"Shown","statusCode":0,"stable":false)";
    EXPECT_EQ(web::ReadingJson(app::MakeWebReading(state, "", "S", 0, "Shown")).substr(0, expect.size()), expect);
}

}  // namespace
