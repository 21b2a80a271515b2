// Weighing through the real Pesora.exe and virtual scales. One copy serves the suite, with every
// format setting away from its default so that each is seen to arrive, at the slowest rate. Its
// scales report only on change, as many shipping scales do, except one that repeats faster than
// Pesora reads.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <random>
#include <thread>
#include <tuple>

#include "Fixture.h"
#include "weighing/NumberFormat.h"
#include "weighing/System_win.h"

namespace {

using namespace std::chrono_literals;
using e2e::Scale;

const std::vector<std::vector<uint8_t>> kZeroReport = {{0x02, 0x02, 0x00, 0x00, 0x00}};
// Pesora asks a silent scale for its current report again after 3 s: within this bound only the
// question asked at the open can have brought the weight.
constexpr auto kWithinTheOpen = 2s;

e2e::ScaleOptions OnChange(const std::string& serial, const std::string& name, uint16_t productId) {
    e2e::ScaleOptions options = Scale::Options(serial, name, productId);
    options.onChangeOnly = true;
    return options;
}

// Grams as the suite's copy shows them: kilograms, "0.000", decimal comma.
std::string Kg(int grams) {
    char text[32];
    (void)std::snprintf(text, sizeof text, "%s%d,%03d", grams < 0 ? "-" : "", std::abs(grams) / 1000,
                        std::abs(grams) % 1000);
    return text;
}

class Weighing : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        repeating = std::make_unique<Scale>(Scale::Options("6201", "Repeating", 0x6201));
        onChange = std::make_unique<Scale>(OnChange("6202", "On Change", 0x6202));
        other = std::make_unique<Scale>(OnChange("6203", "Other", 0x6203));
        // The parcels are on the platforms before anyone reads the scales: these reports go nowhere.
        onChange->SetGrams(1250);
        other->SetGrams(777);
        repeating->SetGrams(100);
        e2e::WaitOutRawInputCache();
        pesora = std::make_unique<e2e::Pesora>(
            e2e::PesoraOptions{.name = "Weigh",
                               .settings = e2e::SettingsText({{"SelectedScale", onChange->Path()},
                                                              {"SelectedUnits", "3"},
                                                              {"WeightFormat", "0.000"},
                                                              {"IncludeUnits", "False"},
                                                              {"CommaSeparator", "True"},
                                                              {"SampleRate", "500"},
                                                              {"Postamble", "|"},
                                                              {"InterCharacterDelay", "0"}})});
    }
    static void TearDownTestSuite() {
        pesora.reset();
        repeating.reset(), onChange.reset(), other.reset();
    }
    void SetUp() override { ASSERT_TRUE(pesora->Started()); }

    void Select(const Scale& scale) {
        ASSERT_TRUE(pesora->WaitRow(scale.options().friendlyName));
        ASSERT_TRUE(pesora->ClickRow(scale.options().friendlyName));
    }
    // A running read cycle writes the status every tick: a text put there from outside is gone
    // within a tick or two. That is how a stopped cycle is told from a running one.
    static bool CycleRuns(e2e::Millis within = 1200ms) {
        (void)::SetWindowTextA(pesora->Control(IDC_STATUS), "probe");
        return e2e::WaitUntil([] { return pesora->Status() != "probe"; }, within);
    }

    static inline std::unique_ptr<Scale> repeating, onChange, other;
    static inline std::unique_ptr<e2e::Pesora> pesora;
};

TEST_F(Weighing, WeightAlreadyOnThePlatformShowsWhenTheScaleIsOpened) {
    // At start-up, in the format the settings ask for.
    EXPECT_TRUE(pesora->WaitWeight("1,250", kWithinTheOpen)) << pesora->Weight();
    EXPECT_EQ(pesora->Caption(), "Weight (kg):");
    EXPECT_EQ(pesora->Status(), "");
    // After a row click: the other scale's weight, not the last one shown.
    Select(*other);
    EXPECT_TRUE(pesora->WaitWeight("0,777", kWithinTheOpen)) << pesora->Weight();
}

TEST_F(Weighing, DisplayFollowsTheReportsStatus) {
    Select(*repeating);
    // The sign of the negative weight comes from the status.
    for (const auto& [status, grams, text] : {std::tuple<uint8_t, int, std::string>{3, 250, "Scale In Motion"},
                                              {5, -150, "Negative Weight"},
                                              {4, 200, ""}}) {
        SCOPED_TRACE(grams);
        ASSERT_TRUE(repeating->SetGrams(std::abs(grams), status));
        EXPECT_TRUE(e2e::WaitUntil([&] { return pesora->Weight() == Kg(grams) && pesora->Status() == text; }, 5s))
            << "'" << pesora->Weight() << "' '" << pesora->Status() << "'";
    }
}

// The system keeps a queue of input reports for an open handle; a cycle that takes only the
// oldest of them, once per tick, falls behind a scale that sends more often than Pesora ticks,
// and shows weights the length of the queue old. Counted in reports the scale has sent.
TEST_F(Weighing, DisplayShowsTheLatestReportWhenTheScaleSendsFasterThanPesoraReads) {
    Select(*repeating);
    ASSERT_TRUE(repeating->SetGrams(610));
    ASSERT_TRUE(pesora->WaitWeight("0,610"));
    auto sent = [] { return repeating->ReportsSent().value_or(0); };
    const uint32_t filled = sent() + 60;  // at one report per 50 ms a queue of the usual size fills
    ASSERT_TRUE(e2e::WaitUntil([&] { return sent() >= filled; }, 20s));
    ASSERT_TRUE(repeating->SetGrams(620));
    const uint32_t changedAt = sent();
    ASSERT_TRUE(e2e::WaitUntil([&] { return sent() >= changedAt + 20; }, 20s));  // two cycles at least
    EXPECT_EQ(pesora->Weight(), "0,620");
}

TEST_F(Weighing, ZeroScaleWritesTheZeroReportOnceAndTheReportRightAfterIsShown) {
    Select(*onChange);
    for (int after : {0, 3}) {
        SCOPED_TRACE(after);
        ASSERT_TRUE(onChange->SetGrams(500));
        ASSERT_TRUE(pesora->WaitWeight("0,500")) << pesora->Weight();
        ASSERT_TRUE(onChange->ClearOutputs());
        pesora->Click(IDC_ZERO_BUTTON);
        // The scale takes its load as zero and says so at once, and never again.
        ASSERT_TRUE(onChange->SetGrams(after));
        EXPECT_TRUE(pesora->WaitWeight(Kg(after), 2s)) << pesora->Weight();
        EXPECT_EQ(onChange->Outputs(), kZeroReport);
    }
}

// F9 pressed just after the scale changed types the new weight, not the shown one: the display
// changes at most once per SampleRate, and a change that comes sooner after the last one waits.
TEST_F(Weighing, HotkeyRightAfterAWeightChangeTypesTheNewWeight) {
    Select(*onChange);
    e2e::Target target("Weighing Target");
    e2e::KeyRecorder recorder;
    for (int grams : {4321, 17, 9000}) {
        SCOPED_TRACE(grams);
        target.Clear();
        ASSERT_TRUE(target.Focus());
        ASSERT_TRUE(onChange->SetGrams(grams + 1));
        ASSERT_TRUE(pesora->WaitWeight(Kg(grams + 1)));
        ASSERT_TRUE(onChange->SetGrams(grams));  // within the 500 ms after that change was shown
        ::Sleep(100);                            // on its way to Pesora's handle
        e2e::PressHotkey();
        ASSERT_TRUE(e2e::WaitUntil([&] { return target.Text().ends_with("|"); }, 5s))
            << "'" << target.Text() << "' shown '" << pesora->Weight() << "' typed " << recorder.Count()
            << " foreground " << (::GetForegroundWindow() == target.Window());
        EXPECT_EQ(target.Text(), Kg(grams) + "|");
        // The send ends with its last key released; a press before that belongs to it.
        EXPECT_TRUE(e2e::WaitUntil(
            [&] {
                const auto events = recorder.Events();
                return std::count_if(events.begin(), events.end(), [](const auto& e) { return e.up; }) * 2 ==
                       static_cast<std::ptrdiff_t>(events.size());
            },
            2s));
    }
}

// The weight follows the scale while a menu of the main window, the about box or the settings
// dialog is open: their own loops run then, not the program's.
TEST_F(Weighing, WeightKeepsUpdatingUnderAMenuAndTheDialogs) {
    Select(*onChange);
    int grams = 2100;
    auto follows = [&] {  // two changes in a row, each shown
        for (int i = 0; i < 2; ++i) {
            if (!onChange->SetGrams(++grams) || !pesora->WaitWeight(Kg(grams), 3s)) {
                return false;
            }
        }
        return true;
    };
    auto popup = []() -> HWND {
        HWND menu = ::FindWindowA("#32768", nullptr);
        return menu != nullptr && e2e::Visible(menu) ? menu : nullptr;
    };
    // The Edit menu, as the right button opens it over the Weight box.
    HWND weight = pesora->Control(IDC_WEIGHT);
    (void)::SetForegroundWindow(pesora->Main());
    e2e::Post(weight, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 10));
    e2e::Post(weight, WM_RBUTTONUP, 0, MAKELPARAM(10, 10));
    ASSERT_TRUE(e2e::WaitUntil([&] { return popup() != nullptr; }, 5s));
    EXPECT_TRUE(follows()) << "under the menu: " << pesora->Weight();
    e2e::Post(popup(), WM_KEYDOWN, VK_ESCAPE, 1);
    ASSERT_TRUE(e2e::WaitUntil([&] { return popup() == nullptr; }, 5s));
    for (const auto& [command, caption, close] :
         {std::tuple{IDM_ABOUT, "About Pesora", IDOK}, {IDM_SETTINGS, "Pesora Settings", IDCANCEL}}) {
        SCOPED_TRACE(caption);
        ASSERT_TRUE(pesora->Menu(command));
        HWND dialog = e2e::WaitForWindow(pesora->process().Pid(), caption, 10s);
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(follows()) << "under the open dialog: " << pesora->Weight();
        ASSERT_TRUE(e2e::Post(dialog, WM_COMMAND, static_cast<WPARAM>(close), 0));
        ASSERT_TRUE(e2e::WaitUntil([&] { return !::IsWindow(dialog); }, 5s));
    }
}

// A selection without a row leaves no scale open while the timer runs: the next tick says so and
// stops reading, and there is no scale to zero.
TEST_F(Weighing, WithoutASelectedScaleTheNextTickSaysScaleNotFoundAndReadingStops) {
    Select(*repeating);
    ASSERT_TRUE(repeating->SetGrams(600));
    ASSERT_TRUE(pesora->WaitWeight("0,600"));
    HWND list = pesora->Control(IDC_SCALE_LIST);
    (void)e2e::Send(list, LB_SETCURSEL, static_cast<WPARAM>(-1));
    (void)e2e::Send(pesora->Main(), WM_COMMAND, MAKEWPARAM(IDC_SCALE_LIST, LBN_SELCHANGE),
                    reinterpret_cast<LPARAM>(list));
    EXPECT_TRUE(pesora->WaitStatus("Scale Not Found")) << pesora->Status();
    ASSERT_TRUE(repeating->SetGrams(650));  // a report a reading cycle would show
    EXPECT_FALSE(CycleRuns()) << "status rewritten to '" << pesora->Status() << "'";
    ASSERT_TRUE(repeating->ClearOutputs());
    pesora->Click(IDC_ZERO_BUTTON);
    EXPECT_TRUE(repeating->Outputs().empty());
    // Picking the row again reads again.
    Select(*repeating);
    ASSERT_TRUE(repeating->SetGrams(700));
    EXPECT_TRUE(pesora->WaitWeight("0,700"));
}

// Every report of a scale that reports only on change must reach the Weight box: such a scale
// says nothing more until the weight changes, so a lost report leaves a stale weight on screen
// and in what the hotkey types. Reports at random intervals, at the three rates at once, each
// checked before the next goes out when the gap allows a tick (and a margin for the bench's
// load); shorter gaps may rightly be overtaken. The slow copy's scale also answers no request
// for its current report: after a silent spell longer than the time it is asked again, it must
// read on as before.
TEST(ReportLoss, EveryReportOfAnOnChangeScaleReachesTheWeightBox) {
    struct Run {
        int sampleRate;
        int reports;
        int maxGapMs;
        std::unique_ptr<Scale> scale;
        std::unique_ptr<e2e::Pesora> pesora;
        int checked = 0;
        std::vector<std::string> losses;
    } runs[] = {{50, 70, 400}, {100, 60, 500}, {500, 24, 1300}};
    for (Run& run : runs) {
        const std::string serial = std::to_string(6410 + run.sampleRate / 50);
        e2e::ScaleOptions options = OnChange(serial, "Loss " + serial, static_cast<uint16_t>(0x6400 + run.sampleRate));
        options.refuseInputRequests = run.sampleRate == 500;
        run.scale = std::make_unique<Scale>(options);
        ASSERT_TRUE(run.scale->SetGrams(1000));
    }
    e2e::WaitOutRawInputCache();
    {  // started together: one after another, Wine's start-ups alone would take long
        std::vector<std::jthread> starters;
        for (Run& run : runs) {
            starters.emplace_back([&run] {
                run.pesora = std::make_unique<e2e::Pesora>(e2e::PesoraOptions{
                    .name = "Loss" + std::to_string(run.sampleRate),
                    .settings = e2e::SettingsText({{"SelectedScale", run.scale->Path()},
                                                   {"IncludeUnits", "False"},
                                                   {"SampleRate", std::to_string(run.sampleRate)}})});
            });
        }
    }
    for (Run& run : runs) {
        ASSERT_TRUE(run.pesora->Started()) << run.sampleRate;
        // Reading has begun once a first report shows; a copy that missed it gets another.
        bool reading = false;
        for (int attempt = 0; attempt < 10 && !reading; ++attempt) {
            ASSERT_TRUE(run.scale->SetGrams(1001 + attempt));
            reading = run.pesora->WaitWeight(std::to_string(1001 + attempt), attempt == 0 ? 5s : 1s);
        }
        ASSERT_TRUE(reading) << run.sampleRate << " shows '" << run.pesora->Weight() << "'";
    }
    {
        std::vector<std::jthread> senders;
        for (Run& run : runs) {
            senders.emplace_back([&run] {
                if (run.scale->options().refuseInputRequests) {
                    const std::string shown = run.pesora->Weight();
                    ::Sleep(3500);
                    if (run.pesora->Weight() != shown || run.pesora->Status() != "") {
                        run.losses.push_back("after a silent spell: '" + run.pesora->Weight() + "' '" +
                                             run.pesora->Status() + "'");
                    }
                }
                std::mt19937 random(static_cast<unsigned>(run.sampleRate));  // the same intervals every time
                std::uniform_int_distribution<int> gap(20, run.maxGapMs);
                for (int i = 0; i < run.reports; ++i) {
                    const int grams = 2000 + i;
                    const int waitMs = gap(random);
                    if (!run.scale->SetGrams(grams)) {
                        run.losses.push_back("the scale refused " + std::to_string(grams));
                    }
                    ::Sleep(static_cast<DWORD>(waitMs));
                    if (waitMs < run.sampleRate + 100) {
                        continue;  // the next report may overtake this one
                    }
                    ++run.checked;
                    const std::string shown = run.pesora->Weight();
                    if (shown != std::to_string(grams)) {
                        run.losses.push_back(std::to_string(grams) + " not shown " + std::to_string(waitMs) +
                                             " ms after it was sent: '" + shown + "'");
                    }
                }
            });
        }
    }
    for (const Run& run : runs) {
        EXPECT_GE(run.checked, run.reports / 3) << run.sampleRate;  // the check has something to say
        EXPECT_EQ(run.losses, std::vector<std::string>{}) << "SampleRate " << run.sampleRate;
    }
}

// The user's separators reach the formatting as UTF-8 (a no-break space is two bytes), the
// decimal and the thousands separator each in its place.
TEST(UserNumberSeparators, FollowTheUsersLocaleAsUtf8) {
    // 1234567.125 with "#,##0.00", and 1234.5 by the default conversion.
    for (const auto& [thousands, formatted] : {std::pair{L".", "1.234.567,13"},
                                               {L"\u00A0",
                                                "1\xC2\xA0"
                                                "234\xC2\xA0"
                                                "567,13"}}) {
        SCOPED_TRACE(formatted);
        const e2e::LocaleSeparators locale(L",", thousands);
        const weighing::NumberSeparators separators = weighing::UserNumberSeparators();
        EXPECT_EQ(weighing::FormatNumber(weighing::ParseFormat("#,##0.00"), 1234567.125, separators), formatted);
        EXPECT_EQ(weighing::DefaultNumberText(1234.5, separators.decimal), "1234,5");
    }
}

TEST(LocalDateTime, AgreesWithTheRuntimesLocalTime) {
    // Two independent readings of local time; retried once should a second tick between them.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const std::time_t now = std::time(nullptr);
        const weighing::DateTime ours = weighing::LocalDateTime();
        std::tm local{};
        ASSERT_EQ(localtime_s(&local, &now), 0);
        if (ours.second != local.tm_sec && attempt == 0) {
            continue;
        }
        EXPECT_EQ((std::vector<int>{ours.year, ours.month, ours.day, ours.hour, ours.minute, ours.second}),
                  (std::vector<int>{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                                    local.tm_sec}));
        break;
    }
}

}  // namespace
