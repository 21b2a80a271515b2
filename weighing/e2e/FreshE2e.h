#pragma once
// What the fresh-weight end-to-end tests share: a copy of Pesora.exe under a name of the test's
// own, started on a settings file written first, observed from outside.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "Harness.h"
#include "PesoraIds.h"
#include "VirtualScale.h"

namespace freshe2e {

using namespace std::chrono_literals;

// Wine refreshes a process's raw-input device list at most every 2 s: a scale plugged less than
// that before Pesora enumerates may be missing from its list.
inline constexpr auto kRawInputCacheWait = 2500ms;

// An on-change scale: it sends a report only when its reading changes.
inline e2e::ScaleOptions OnChangeScale(const std::string& serial, uint16_t productId) {
    e2e::ScaleOptions options;
    options.serial = serial;
    options.productId = productId;
    options.friendlyName = "Fresh Scale " + serial;
    options.onChangeOnly = true;
    return options;
}

// Stable, in grams: the Weight box shows the plain number with the settings below.
inline bool SetGrams(const std::string& serial, int16_t grams) {
    return e2e::SetWeight(serial, /* status: stable */ 4, /* unit: grams */ 2, 0, grams);
}

// A copy of Pesora named `exeName`, reading `scale`, showing grams without a unit suffix.
class Pesora {
  public:
    Pesora(const std::string& exeName, const e2e::ScaleOptions& scale, std::map<std::string, std::string> settings = {})
        : _exeName(exeName) {
        const std::string exe = e2e::InstallPesora(e2e::FreshFolder("fresh-" + exeName), exeName + ".exe");
        const std::string ini = e2e::SettingsFileFor(exeName);
        e2e::DeleteFileAt(ini);
        e2e::MakeFolders(e2e::FolderOf(ini));
        settings.try_emplace("SelectedScale", e2e::HidPath(scale));
        settings.try_emplace("SelectedUnits", "0");
        settings.try_emplace("IncludeUnits", "False");
        settings.try_emplace("SampleRate", "50");
        for (const auto& [key, value] : settings) {
            e2e::WriteIni(ini, "Settings", key, value);
        }
        _process = e2e::Start(exe);
        if (_process.Started()) {
            main = e2e::WaitForMainWindow(_process);
        }
        if (main != nullptr) {
            _weight = e2e::Control(main, IDC_WEIGHT);
            _list = e2e::Control(main, IDC_SCALE_LIST);
        }
    }
    Pesora(const Pesora&) = delete;
    Pesora& operator=(const Pesora&) = delete;
    ~Pesora() {
        if (_process.Running() && main != nullptr) {
            e2e::ClickMenu(main, IDM_EXIT);
        }
        EXPECT_TRUE(_process.WaitOrKill());
        e2e::DeleteFileAt(e2e::SettingsFileFor(_exeName));
    }

    [[nodiscard]] std::string Weight() const { return e2e::Text(_weight); }
    [[nodiscard]] std::string Status() const { return e2e::Text(e2e::Control(main, IDC_STATUS)); }
    bool Shows(const std::string& weight, e2e::Millis timeout) const {
        return e2e::WaitUntil([&] { return Weight() == weight; }, timeout);
    }
    // The first row whose text holds `name`.
    [[nodiscard]] int RowOf(const std::string& name) const {
        const std::vector<std::string> rows = e2e::ListRows(_list);
        for (size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].find(name) != std::string::npos) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    // What a click on a row does: the list box selects it and tells its parent.
    void ClickRow(int row) const {
        e2e::Send(_list, LB_SETCURSEL, static_cast<WPARAM>(row));
        e2e::Send(main, WM_COMMAND, MAKEWPARAM(IDC_SCALE_LIST, LBN_SELCHANGE), reinterpret_cast<LPARAM>(_list));
    }
    // "Zero Scale"; sent, so the handler has run when this returns.
    void ClickZero() const {
        HWND button = e2e::Control(main, IDC_ZERO_BUTTON);
        e2e::Send(main, WM_COMMAND, MAKEWPARAM(IDC_ZERO_BUTTON, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    }
    [[nodiscard]] const e2e::Process& Process() const { return _process; }

    HWND main = nullptr;

  private:
    std::string _exeName;
    e2e::Process _process;
    HWND _weight = nullptr;
    HWND _list = nullptr;
};

}  // namespace freshe2e
