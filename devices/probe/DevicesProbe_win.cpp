// Runs the scale devices' Win32 rim against whatever HID devices the system has (under Wine:
// the virtual scale) and prints what it sees: the enumeration, reads with their timing, the
// zero report, and the device-change events while the scale is unplugged and plugged again.
//   devices_probe [path\to\vscale.exe]
// With the control tool given, the probe plugs, unplugs and re-plugs scale serial 0001 itself.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "app/MainView.h"
#include "devices/ScaleDevices_win.h"
#include "devices/WinText_win.h"

namespace {

using Clock = std::chrono::steady_clock;
const Clock::time_point kStart = Clock::now();

double Ms() {
    return std::chrono::duration<double, std::milli>(Clock::now() - kStart).count();
}

void Say(const std::string& text) {
    std::printf("%9.1f ms  %s\n", Ms(), text.c_str());
    std::fflush(stdout);
}

class ConsoleView final : public app::IMainView {
  public:
    std::vector<std::string> rows;
    int index = -1;
    bool timer = false;
    void SetWeightBox(std::string_view text) override { Say("  view: weight box = \"" + std::string(text) + "\""); }
    std::string WeightBox() const override { return {}; }
    void SetStatus(std::string_view text) override { Say("  view: status = \"" + std::string(text) + "\""); }
    void SetWeightCaption(std::string_view) override {}
    void SetTimerEnabled(bool enabled) override {
        timer = enabled;
        Say(std::string("  view: Timer1 ") + (enabled ? "on" : "off"));
    }
    bool TimerEnabled() const override { return timer; }
    void SetTimerInterval(int32_t) override {}
    void ClearList() override {
        rows.clear();
        index = -1;
    }
    void AddListRow(std::string_view text) override {
        rows.emplace_back(text);
        Say("  view: row " + std::to_string(rows.size() - 1) + " = \"" + std::string(text) + "\"");
    }
    int ListCount() const override { return static_cast<int>(rows.size()); }
    int ListIndex() const override { return index; }
    void SetListIndex(int i) override {
        index = i;
        Say("  view: select row " + std::to_string(i));
    }
    void DoEvents() override {}
};

// Pumps messages (the notifications are sent to our window) for `ms`.
void Pump(DWORD ms) {
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < until) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        (void)::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left > 0 ? left : 0), QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

// Runs the control tool, pumping messages while it works.
bool RunTool(const std::string& tool, const std::string& args) {
    std::wstring commandLine = devices::win::Utf8ToWide("\"" + tool + "\" " + args);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        Say("cannot run the tool: error " + std::to_string(::GetLastError()));
        return false;
    }
    app::unique_handle process(pi.hProcess);
    app::unique_handle thread(pi.hThread);
    for (;;) {
        HANDLE h = process.get();
        const DWORD r = ::MsgWaitForMultipleObjects(1, &h, FALSE, 10000, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) {
            break;
        }
        if (r != WAIT_OBJECT_0 + 1) {
            Say("the tool did not finish");
            return false;
        }
        Pump(0);
    }
    DWORD code = 1;
    (void)::GetExitCodeProcess(process.get(), &code);
    Say("tool " + args + " -> exit " + std::to_string(code));
    return code == 0;
}

std::string Hex(const std::array<uint8_t, 8>& bytes) {
    std::string text;
    char b[4];
    for (uint8_t v : bytes) {
        std::snprintf(b, sizeof b, "%02X ", v);
        text += b;
    }
    return text;
}

void ReadSome(app::AppState& state, devices::ScaleSelection& selection, int count) {
    for (int i = 0; i < count; ++i) {
        if (!state.deviceOpen) {
            Say("read: no open scale");
            return;
        }
        std::array<uint8_t, 8> buffer{0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
        const double t0 = Ms();
        selection.ReadInputReport(buffer);
        char took[32];
        std::snprintf(took, sizeof took, "%.1f", Ms() - t0);
        Say("read " + std::to_string(i) + ": " + Hex(buffer) + "(" + took +
            " ms, deviceOpen=" + (state.deviceOpen ? "true" : "false") + ")");
        Pump(state.settings.SampleRate);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string tool = argc > 1 ? argv[1] : "";
    app::AppState state;
    state.settings.SampleRate = 200;
    ConsoleView view;
    devices::win::ScaleDevices devices{state, view};
    auto& selection = devices.Selection();

    Say(std::string("sid listening: ") + (devices.CreateSid() ? "yes" : "no"));
    if (!tool.empty()) {
        RunTool(tool, "plug --serial 0001 --name \"Probe Scale\"");
        RunTool(tool, "set --serial 0001 --weight 1234 --exp -1");
        Pump(500);
    }

    devices::win::UsbHidEnumerator enumerator;
    const double t0 = Ms();
    auto all = enumerator.Enumerate();
    Say("enumeration took " + std::to_string(Ms() - t0) + " ms");
    if (!all) {
        Say("enumeration: no list");
    } else {
        for (const auto& r : *all) {
            Say("hid: \"" + r.displayName + "\" <- " + r.devicePath);
        }
    }

    Say("Command2_Click");
    selection.Command2_Click();
    if (view.ListIndex() < 0 && view.ListCount() > 0) {
        view.SetListIndex(0);
        Say("List2_Click");
        selection.List2_Click();
    }
    Say("SelectedScale = " + state.settings.SelectedScale);
    ReadSome(state, selection, 5);

    Say("SendZeroReport");
    selection.SendZeroReport();
    if (!tool.empty()) {
        RunTool(tool, "outputs --serial 0001");
    }
    ReadSome(state, selection, 3);

    state.settings.SampleRate = 50;
    Say("SampleRate 50 (a pure poll)");
    ReadSome(state, selection, 4);

    if (!tool.empty()) {
        Say("unplug");
        RunTool(tool, "unplug --serial 0001");
        // Wine keeps its raw-input device list for 2 s after a read: a scale plugged back
        // sooner is not yet in the list that the arrival's refresh reads.
        Pump(2500);
        Say(std::string("sendSuppressed=") + (state.sendSuppressed ? "true" : "false") +
            " deviceOpen=" + (state.deviceOpen ? "true" : "false") + " Timer1=" + (view.timer ? "on" : "off"));
        Say("plug again");
        RunTool(tool, "plug --serial 0001 --name \"Probe Scale\"");
        RunTool(tool, "set --serial 0001 --weight 567");
        Pump(1500);
        Say(std::string("sendSuppressed=") + (state.sendSuppressed ? "true" : "false") +
            " deviceOpen=" + (state.deviceOpen ? "true" : "false") + " Timer1=" + (view.timer ? "on" : "off"));
        state.settings.SampleRate = 200;
        ReadSome(state, selection, 3);

        Say("re-selecting 50 times");
        for (int i = 0; i < 50; ++i) {
            selection.List2_Click();
        }
        ReadSome(state, selection, 1);

        Say("unplug while reading (the timer is ignored here)");
        RunTool(tool, "unplug --serial 0001");
        ReadSome(state, selection, 2);
    }

    selection.CloseScaleDevice();
    selection.CloseScaleDevice();
    devices.ReleaseSid();
    Say("done");
    return 0;
}
