#pragma once
// What the scale devices' end-to-end tests share: a copy of Pesora.exe of the test's own, the
// virtual scales it plugged (unplugged again whatever happens), and the main window's controls
// as the user sees them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Harness.h"
#include "PesoraIds.h"
#include "VirtualScale.h"

namespace scalee2e {

using namespace std::chrono_literals;

// Wine re-reads a process's raw-input device list at most every 2 s, and a list read less than
// 2 s after a plug can miss the new scale: this is a real wait for that cache, not a guess at
// how long something takes.
inline void WaitOutRawInputCache() {
    ::Sleep(2500);
}

inline e2e::ScaleOptions Scale(const std::string& serial, const std::string& name, uint16_t productId) {
    e2e::ScaleOptions options;
    options.serial = serial;
    options.friendlyName = name;
    options.productId = productId;
    return options;
}

class PesoraWithScales : public ::testing::Test {
  protected:
    void TearDown() override {
        if (_process.Running() && _main != nullptr) {
            e2e::ClickMenu(_main, IDM_EXIT);
        }
        EXPECT_TRUE(_process.WaitOrKill());
        for (const std::string& serial : _plugged) {
            (void)e2e::Unplug(serial);
        }
        if (!_exeName.empty()) {
            e2e::DeleteFileAt(e2e::SettingsFileFor(_exeName));
        }
    }

    void Plug(const e2e::ScaleOptions& options) {
        std::string error;
        ASSERT_TRUE(e2e::Plug(options, &error)) << error;
        if (std::find(_plugged.begin(), _plugged.end(), options.serial) == _plugged.end()) {
            _plugged.push_back(options.serial);
        }
    }
    void Unplug(const std::string& serial) {
        std::string error;
        ASSERT_TRUE(e2e::Unplug(serial, &error)) << error;
    }
    void SetGrams(const std::string& serial, int16_t grams) {
        std::string error;
        ASSERT_TRUE(e2e::SetWeight(serial, /* status: stable */ 4, /* unit: grams */ 2, 0, grams, &error)) << error;
    }

    // Installs a copy named `exeName` with no settings file (or with `selectedScale` as the
    // scale used last) and starts it.
    void StartPesora(const std::string& exeName, const std::string& selectedScale = {}) {
        _exeName = exeName;
        const std::string exe = e2e::InstallPesora(e2e::FreshFolder("devices-" + exeName), exeName + ".exe");
        ASSERT_FALSE(exe.empty());
        const std::string ini = e2e::SettingsFileFor(exeName);
        e2e::DeleteFileAt(ini);
        if (!selectedScale.empty()) {
            ASSERT_TRUE(e2e::MakeFolders(e2e::FolderOf(ini)));
            ASSERT_TRUE(e2e::WriteIni(ini, "Settings", "SelectedScale", selectedScale));
        }
        _process = e2e::Start(exe);
        ASSERT_TRUE(_process.Started());
        _main = e2e::WaitForMainWindow(_process);
        ASSERT_NE(_main, nullptr);
        _list = e2e::Control(_main, IDC_SCALE_LIST);
        _weight = e2e::Control(_main, IDC_WEIGHT);
        _status = e2e::Control(_main, IDC_STATUS);
        ASSERT_NE(_list, nullptr);
        ASSERT_NE(_weight, nullptr);
        ASSERT_NE(_status, nullptr);
    }

    // File > Exit; the process must end by itself.
    void ExitPesora() {
        ASSERT_TRUE(e2e::ClickMenu(_main, IDM_EXIT));
        const auto code = _process.Wait();
        ASSERT_TRUE(code.has_value()) << "did not end after File > Exit";
        EXPECT_EQ(*code, 0u);
    }

    // The rows of the scale list, asked for in UTF-16: the scale list is a Unicode window, and Wine hands its row
    // texts to an ANSI asker from another process unconverted, twice as long as the length it
    // reported. The buffer is also far larger than any row, so a list rebuilt between the
    // length query and the text query cannot overrun it.
    [[nodiscard]] std::vector<std::string> Rows() const {
        std::vector<std::string> rows;
        const LRESULT count = SendW(LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            const LRESULT length = SendW(LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
            if (length < 0 || length >= 1024) {
                continue;
            }
            std::wstring text(4096, L'\0');
            const LRESULT got = SendW(LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
            text.resize(got > 0 && got < 4096 ? static_cast<size_t>(got) : 0);
            std::string row(text.size() * 4 + 1, '\0');
            const int bytes = ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), row.data(),
                                                    static_cast<int>(row.size()), nullptr, nullptr);
            row.resize(bytes > 0 ? static_cast<size_t>(bytes) : 0);
            rows.push_back(row);
        }
        return rows;
    }
    [[nodiscard]] int RowOf(const std::string& text) const {
        const std::vector<std::string> rows = Rows();
        const auto it = std::find(rows.begin(), rows.end(), text);
        return it == rows.end() ? -1 : static_cast<int>(it - rows.begin());
    }
    [[nodiscard]] bool Listed(const std::string& text) const { return RowOf(text) >= 0; }
    [[nodiscard]] std::string WeightBox() const { return e2e::Text(_weight); }
    [[nodiscard]] bool WeightShows(const std::string& digits) const {
        return WeightBox().find(digits) != std::string::npos;
    }
    [[nodiscard]] std::string Status() const { return e2e::Text(_status); }

    // What a click on a row does: the list box selects it and tells its parent.
    void ClickRow(int row) {
        ASSERT_GE(row, 0);
        e2e::Send(_list, LB_SETCURSEL, static_cast<WPARAM>(row));
        e2e::Post(_main, WM_COMMAND, MAKEWPARAM(IDC_SCALE_LIST, LBN_SELCHANGE), reinterpret_cast<LPARAM>(_list));
    }
    // "Refresh Device List": the button is hidden, its command is not.
    void ClickRefresh() {
        e2e::Post(_main, WM_COMMAND, MAKEWPARAM(IDC_REFRESH_BUTTON, BN_CLICKED),
                  reinterpret_cast<LPARAM>(e2e::Control(_main, IDC_REFRESH_BUTTON)));
    }
    void ClickZero() {
        e2e::Post(_main, WM_COMMAND, MAKEWPARAM(IDC_ZERO_BUTTON, BN_CLICKED),
                  reinterpret_cast<LPARAM>(e2e::Control(_main, IDC_ZERO_BUTTON)));
    }

    [[nodiscard]] LRESULT SendW(UINT msg, WPARAM wParam, LPARAM lParam) const {
        DWORD_PTR result = 0;
        if (!::SendMessageTimeoutW(_list, msg, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result)) {
            return -1;
        }
        return static_cast<LRESULT>(result);
    }

    e2e::Process _process;
    HWND _main = nullptr;
    HWND _list = nullptr;
    HWND _weight = nullptr;
    HWND _status = nullptr;

  private:
    std::string _exeName;
    std::vector<std::string> _plugged;
};

}  // namespace scalee2e
