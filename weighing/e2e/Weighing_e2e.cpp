// Weighing through the real Pesora.exe: a virtual scale sends reports, Pesora reads the scale
// named in its settings file, and the Weight box, its caption and the Status line must follow
// what the scale says, in the unit, format and separator the settings ask for. Also the zero
// command as the scale receives it, and what the window does when the scale goes away.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "Harness.h"
#include "PesoraIds.h"
#include "VirtualScale.h"

namespace {

using namespace std::chrono_literals;

// Serials of this program only (all digits: Wine spells them the same in every name form).
const std::string kReadSerial = "6201";
const std::string kUnplugSerial = "6202";
const std::string kSilentSerial = "6203";

// Wine refreshes a process's raw-input device list at most every 2 s; a scale plugged less than
// that before Pesora enumerates may be missing from its list, so plugging is followed by this.
constexpr auto kRawInputCacheWait = 2500ms;

e2e::ScaleOptions ScaleNamed(const std::string& serial, uint16_t productId) {
    e2e::ScaleOptions options;
    options.serial = serial;
    options.productId = productId;
    options.friendlyName = "Weighing Scale " + serial;
    options.intervalMs = 50;
    return options;
}

struct IniSettings {
    std::string selectedUnits = "0";
    std::string weightFormat;
    std::string includeUnits = "True";
    std::string commaSeparator = "False";
    std::string sampleRate = "50";
};

// One copy of Pesora named Weigh.exe, with a settings file written before it starts.
class Pesora {
  public:
    Pesora(const e2e::ScaleOptions& scale, const IniSettings& settings) {
        _exe = e2e::InstallPesora(e2e::FreshFolder("weigh"), "Weigh.exe");
        const std::string ini = e2e::SettingsFileFor("Weigh");
        e2e::DeleteFileAt(ini);
        e2e::MakeFolders(e2e::FolderOf(ini));
        e2e::WriteIni(ini, "Settings", "SelectedScale", e2e::HidPath(scale));
        e2e::WriteIni(ini, "Settings", "SelectedUnits", settings.selectedUnits);
        e2e::WriteIni(ini, "Settings", "WeightFormat", settings.weightFormat);
        e2e::WriteIni(ini, "Settings", "IncludeUnits", settings.includeUnits);
        e2e::WriteIni(ini, "Settings", "CommaSeparator", settings.commaSeparator);
        e2e::WriteIni(ini, "Settings", "SampleRate", settings.sampleRate);
        _process = e2e::Start(_exe);
        if (_process.Started()) {
            main = e2e::WaitForMainWindow(_process);
        }
    }
    Pesora(const Pesora&) = delete;
    Pesora& operator=(const Pesora&) = delete;
    ~Pesora() {
        if (_process.Running() && main != nullptr) {
            e2e::ClickMenu(main, IDM_EXIT);
        }
        EXPECT_TRUE(_process.WaitOrKill());
        e2e::DeleteFileAt(e2e::SettingsFileFor("Weigh"));
    }

    [[nodiscard]] DWORD Pid() const { return _process.Pid(); }
    [[nodiscard]] std::string Weight() const { return e2e::Text(e2e::Control(main, IDC_WEIGHT)); }
    [[nodiscard]] std::string Caption() const { return e2e::Text(e2e::Control(main, IDC_WEIGHT_CAPTION)); }
    [[nodiscard]] std::string Status() const { return e2e::Text(e2e::Control(main, IDC_STATUS)); }
    [[nodiscard]] std::vector<std::string> Rows() const { return e2e::ListRows(e2e::Control(main, IDC_SCALE_LIST)); }
    [[nodiscard]] int Selection() const { return e2e::ListSelection(e2e::Control(main, IDC_SCALE_LIST)); }

    // "Zero Scale" as a click delivers it; sent, so the handler has run when this returns.
    void ClickZero() const {
        HWND button = e2e::Control(main, IDC_ZERO_BUTTON);
        e2e::Send(main, WM_COMMAND, MAKEWPARAM(IDC_ZERO_BUTTON, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    }

    // Waits until the three texts read as expected; true when they do.
    bool Shows(const std::string& weight,
               const std::string& caption,
               const std::string& status,
               e2e::Millis timeout = 10s) const {
        return e2e::WaitUntil([&] { return Weight() == weight && Caption() == caption && Status() == status; },
                              timeout);
    }

    HWND main = nullptr;

  private:
    std::string _exe;
    e2e::Process _process;
};

// Every reading test shares one scale; the reading cases set its report before Pesora starts.
class Weighing : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        std::string error;
        _plugged = e2e::Plug(ScaleNamed(kReadSerial, 0x6201), &error);
        _plugError = error;
        if (_plugged) {
            std::this_thread::sleep_for(kRawInputCacheWait);
        }
    }
    static void TearDownTestSuite() {
        if (_plugged) {
            (void)e2e::Unplug(kReadSerial);
        }
    }
    void SetUp() override { ASSERT_TRUE(_plugged) << _plugError; }

    static e2e::ScaleOptions Scale() { return ScaleNamed(kReadSerial, 0x6201); }

    static inline bool _plugged = false;
    static inline std::string _plugError;
};

TEST_F(Weighing, DisplayFollowsTheReportInTheChosenUnitAndFormat) {
    struct Row {
        int line;
        IniSettings settings;
        uint8_t status, unit;
        int8_t exponent;
        int16_t weight;
        const char* weightBox;
        const char* caption;
        const char* statusText;
    } rows[] = {
        // 1234.6 g shown in kilograms with three decimals.
        {__LINE__, {"3", "0.000", "True", "False"}, 4, 2, -1, 12346, "1.235 kg", "Weight (kg):", ""},
        {__LINE__, {"3", "0.000", "True", "True"}, 4, 2, -1, 12346, "1,235 kg", "Weight (kg):", ""},
        {__LINE__, {"3", "0.000", "False", "False"}, 4, 2, -1, 12346, "1.235", "Weight (kg):", ""},
        // 35.5 oz in pounds and ounces: the box never carries " lb/oz", units included or not.
        {__LINE__, {"13", "", "True", "False"}, 4, 11, -1, 355, " 002 LB 03.5 OZ", "Weight (lb/oz):", ""},
        // Under zero: the sign comes from the status, in the scale's own unit.
        {__LINE__, {"0", "", "True", "False"}, 5, 2, 0, 150, "-150 g", "Weight (g):", "Negative Weight"},
        {__LINE__, {"0", "0.0#;(-0.0#)", "True", "False"}, 5, 2, -1, 15, "(-1.5) g", "Weight (g):", "Negative Weight"},
        // One section: the sign goes before the number, inside the text around it.
        {__LINE__, {"0", "(0.0)", "True", "False"}, 5, 2, -1, 15, "(-1.5) g", "Weight (g):", "Negative Weight"},
        {__LINE__, {"0", "", "True", "False"}, 3, 2, 0, 250, "250 g", "Weight (g):", "Scale In Motion"},
        {__LINE__, {"0", "", "True", "False"}, 6, 12, -2, 3050, "30.5 lb", "Weight (lb):", "Platform Overloaded"},
        {__LINE__, {"12", "", "True", "True"}, 8, 12, -1, 25, "2,5 lb", "Weight (lb):", "Not Initialized"},
        // The slowest rate: each read waits up to 450 ms for the report.
        {__LINE__, {"2", "0.0", "True", "False", "500"}, 2, 3, -3, 42, "42.0 g", "Weight (g):", ""},
        {__LINE__, {"1", "", "True", "False", "500"}, 4, 3, -3, 42, "42000 mg", "Weight (mg):", ""},
        // A unit the scale does not name: shown as counted with no suffix at start, and as
        // nothing when it has to be converted.
        {__LINE__, {"0", "", "True", "False"}, 4, 0, 0, 123, "123", "Weight ():", ""},
        {__LINE__, {"3", "", "True", "False"}, 4, 0, 0, 123, "0 kg", "Weight (kg):", ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        ASSERT_TRUE(e2e::SetWeight(kReadSerial, r.status, r.unit, r.exponent, r.weight));
        Pesora pesora(Scale(), r.settings);
        ASSERT_NE(pesora.main, nullptr);
        EXPECT_TRUE(pesora.Shows(r.weightBox, r.caption, r.statusText))
            << "box '" << pesora.Weight() << "' caption '" << pesora.Caption() << "' status '" << pesora.Status()
            << "' rows " << pesora.Rows().size() << " selected " << pesora.Selection();
    }
}

// One copy follows a scale whose reports change while it reads.
TEST_F(Weighing, DisplayFollowsChangingReports) {
    ASSERT_TRUE(e2e::SetWeight(kReadSerial, 4, 2, 0, 100));
    Pesora pesora(Scale(), {"0", "", "True", "False"});
    ASSERT_NE(pesora.main, nullptr);
    ASSERT_TRUE(pesora.Shows("100 g", "Weight (g):", ""));
    struct Row {
        int line;
        uint8_t status, unit;
        int8_t exponent;
        int16_t weight;
        const char* weightBox;
        const char* caption;
        const char* statusText;
    } rows[] = {
        {__LINE__, 3, 2, 0, 180, "180 g", "Weight (g):", "Scale In Motion"},
        {__LINE__, 4, 2, 0, 200, "200 g", "Weight (g):", ""},
        {__LINE__, 5, 2, 0, -40, "-40 g", "Weight (g):", "Negative Weight"},
        {__LINE__, 4, 11, -1, 128, "12.8 oz", "Weight (oz):", ""},
        // A unit code of 0 keeps the suffix the last good report left.
        {__LINE__, 4, 0, 0, 77, "77 oz", "Weight (oz):", ""},
        {__LINE__, 6, 2, 0, 32767, "32767 g", "Weight (g):", "Platform Overloaded"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        ASSERT_TRUE(e2e::SetWeight(kReadSerial, r.status, r.unit, r.exponent, r.weight));
        EXPECT_TRUE(pesora.Shows(r.weightBox, r.caption, r.statusText))
            << "box '" << pesora.Weight() << "' caption '" << pesora.Caption() << "' status '" << pesora.Status()
            << "'";
    }
}

TEST_F(Weighing, ZeroScaleWritesTheZeroReportAndReadingResumes) {
    ASSERT_TRUE(e2e::SetWeight(kReadSerial, 4, 2, 0, 500));
    Pesora pesora(Scale(), {"0", "", "True", "False"});
    ASSERT_NE(pesora.main, nullptr);
    ASSERT_TRUE(pesora.Shows("500 g", "Weight (g):", ""));
    ASSERT_TRUE(e2e::ClearOutputs(kReadSerial));

    pesora.ClickZero();
    const std::vector<std::vector<uint8_t>> zero = {{0x02, 0x02, 0x00, 0x00, 0x00}};
    EXPECT_EQ(e2e::Outputs(kReadSerial), zero);

    // The scale now weighs from its new zero; Pesora reopens it and shows what it sends.
    ASSERT_TRUE(e2e::SetWeight(kReadSerial, 2, 2, 0, 0));
    EXPECT_TRUE(pesora.Shows("0 g", "Weight (g):", "")) << pesora.Weight() << " / " << pesora.Status();
    ASSERT_TRUE(e2e::SetWeight(kReadSerial, 4, 2, 0, 321));
    EXPECT_TRUE(pesora.Shows("321 g", "Weight (g):", "")) << pesora.Weight() << " / " << pesora.Status();
    EXPECT_EQ(e2e::Outputs(kReadSerial), zero);  // one click, one report
}

// The box shows the scale's latest report, not one queued long ago. The system keeps a queue of
// input reports for an open handle; a cycle that takes only the oldest of them, once per tick,
// falls behind a scale that sends more often than Pesora ticks and then shows weights that are
// the length of the queue old (measured under Wine: 3.5 s at SampleRate 500 with a scale sending
// every 100 ms). Counted in reports the scale has sent, not in time.
TEST_F(Weighing, DisplayShowsTheLatestReportWhenTheScaleSendsFasterThanPesoraReads) {
    ASSERT_TRUE(e2e::SetWeight(kReadSerial, 4, 2, 0, 610));
    IniSettings slow;
    slow.sampleRate = "500";
    Pesora pesora(Scale(), slow);
    ASSERT_NE(pesora.main, nullptr);
    ASSERT_TRUE(pesora.Shows("610 g", "Weight (g):", ""));
    auto sent = [] { return e2e::ReportsSent(kReadSerial).value_or(0); };
    // Long enough at one report per 50 ms for a queue of the system's usual size to fill.
    const uint32_t filled = sent() + 60;
    ASSERT_TRUE(e2e::WaitUntil([&] { return sent() >= filled; }, 20s));

    ASSERT_TRUE(e2e::SetWeight(kReadSerial, 4, 2, 0, 620));
    const uint32_t changedAt = sent();
    // Twenty reports later at least two read cycles have run since the change.
    ASSERT_TRUE(e2e::WaitUntil([&] { return sent() >= changedAt + 20; }, 20s));
    EXPECT_EQ(pesora.Weight(), "620 g");
}

// With nothing selected there is no scale to zero: nothing reaches any scale.
TEST_F(Weighing, ZeroScaleWithoutASelectedScaleSendsNothing) {
    ASSERT_TRUE(e2e::SetWeight(kReadSerial, 4, 2, 0, 500));
    e2e::ScaleOptions absent = ScaleNamed("6299", 0x6299);  // never plugged
    Pesora pesora(absent, {"0", "", "True", "False"});
    ASSERT_NE(pesora.main, nullptr);
    ASSERT_TRUE(e2e::WaitUntil([&] { return !pesora.Rows().empty(); }, 10s));
    ASSERT_EQ(pesora.Selection(), -1);
    ASSERT_TRUE(e2e::ClearOutputs(kReadSerial));
    pesora.ClickZero();
    EXPECT_TRUE(e2e::Outputs(kReadSerial).empty());
}

// A scale of its own, since it goes away for good.
TEST_F(Weighing, WithoutAnOpenScaleTheNextTickShowsScaleNotFoundAndReadingStops) {
    const e2e::ScaleOptions scale = ScaleNamed(kUnplugSerial, 0x6202);
    std::string error;
    ASSERT_TRUE(e2e::Plug(scale, &error)) << error;
    struct UnplugAtEnd {
        ~UnplugAtEnd() { (void)e2e::Unplug(kUnplugSerial); }
    } unplugAtEnd;
    ASSERT_TRUE(e2e::SetWeight(kUnplugSerial, 4, 2, 0, 700));
    std::this_thread::sleep_for(kRawInputCacheWait);

    Pesora pesora(scale, {"0", "", "True", "False"});
    ASSERT_NE(pesora.main, nullptr);
    ASSERT_TRUE(pesora.Shows("700 g", "Weight (g):", ""));

    // A running read cycle writes the status every tick: a text put there from outside is gone
    // within a tick or two of 50 ms. That is how a stopped cycle is told apart below.
    HWND status = e2e::Control(pesora.main, IDC_STATUS);
    const auto cycleRuns = [&] {
        (void)::SetWindowTextA(status, "probe");
        return e2e::WaitUntil([&] { return pesora.Status() != "probe"; }, 1500ms);
    };
    ASSERT_TRUE(cycleRuns());

    // A selection without a row leaves no scale open while the timer runs: the next tick says
    // so and stops reading.
    HWND list = e2e::Control(pesora.main, IDC_SCALE_LIST);
    const int row = pesora.Selection();
    ASSERT_GE(row, 0);
    e2e::Send(list, LB_SETCURSEL, static_cast<WPARAM>(-1));
    ASSERT_TRUE(
        e2e::Post(pesora.main, WM_COMMAND, MAKEWPARAM(IDC_SCALE_LIST, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list)));
    EXPECT_TRUE(e2e::WaitUntil([&] { return pesora.Status() == "Scale Not Found"; }, 5s)) << pesora.Status();
    EXPECT_FALSE(cycleRuns()) << "status rewritten to '" << pesora.Status() << "'";

    // Picking the row again reads again.
    e2e::Send(list, LB_SETCURSEL, static_cast<WPARAM>(row));
    ASSERT_TRUE(
        e2e::Post(pesora.main, WM_COMMAND, MAKEWPARAM(IDC_SCALE_LIST, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list)));
    ASSERT_TRUE(pesora.Shows("700 g", "Weight (g):", ""));
    ASSERT_TRUE(cycleRuns());

    // Pulling the scale out stops reading and empties the weight. Whether a read noticed the
    // loss before the system's removal notice ("Scale Not Found") or not, the cycle is stopped.
    ASSERT_TRUE(e2e::Unplug(kUnplugSerial));
    EXPECT_TRUE(e2e::WaitUntil([&] { return pesora.Weight().empty(); }, 5s)) << pesora.Weight();
    EXPECT_FALSE(cycleRuns()) << "status rewritten to '" << pesora.Status() << "'";
    EXPECT_TRUE(pesora.Weight().empty()) << pesora.Weight();
}

// A scale that sends only when its weight changes keeps a slow cycle (SampleRate 500) in its
// wait for most of every tick, so a menu command arrives while a cycle runs. Run inside the
// cycle, the dialog it opens would hold the cycle for as long as it is open, and the ticks
// meanwhile would be dropped. The command must wait for the cycle's end, and the cycle must go on
// under the open dialog. Three tries: a command that happens to arrive between two cycles proves
// nothing.
TEST_F(Weighing, ReadingGoesOnUnderADialogOpenedFromTheMenu) {
    e2e::ScaleOptions scale = ScaleNamed(kSilentSerial, 0x6203);
    scale.onChangeOnly = true;
    std::string error;
    ASSERT_TRUE(e2e::Plug(scale, &error)) << error;
    struct UnplugAtEnd {
        ~UnplugAtEnd() { (void)e2e::Unplug(kSilentSerial); }
    } unplugAtEnd;
    std::this_thread::sleep_for(kRawInputCacheWait);
    IniSettings slow;
    slow.sampleRate = "500";
    Pesora pesora(scale, slow);
    ASSERT_NE(pesora.main, nullptr);
    HWND status = e2e::Control(pesora.main, IDC_STATUS);
    // A running read cycle writes the status every tick: a text put there from outside is gone
    // within a tick or two.
    const auto cycleRuns = [&] {
        (void)::SetWindowTextA(status, "probe");
        return e2e::WaitUntil([&] { return pesora.Status() != "probe"; }, 3s);
    };
    ASSERT_TRUE(e2e::WaitUntil([&] { return pesora.Selection() >= 0; }, 10s));
    ASSERT_TRUE(cycleRuns()) << pesora.Status();
    struct Row {
        int line;
        UINT command;
        const char* caption;
        WPARAM close;
    } rows[] = {
        {__LINE__, IDM_ABOUT, "About Pesora", IDOK},
        {__LINE__, IDM_SETTINGS, "Pesora Settings", IDCANCEL},
        {__LINE__, IDM_ABOUT, "About Pesora", IDOK},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        ASSERT_TRUE(e2e::ClickMenu(pesora.main, r.command));
        HWND dialog = e2e::WaitForWindow(pesora.Pid(), r.caption, 10s);
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(cycleRuns()) << "no read cycle ran under the open dialog";
        ASSERT_TRUE(e2e::Post(dialog, WM_COMMAND, r.close, 0));
        ASSERT_TRUE(e2e::WaitUntil([&] { return !::IsWindow(dialog); }, 5s));
    }
    EXPECT_TRUE(cycleRuns());
}

}  // namespace
