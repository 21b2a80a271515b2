#pragma once
// The system's ANSI code page, for the settings file on disk.
#include <optional>
#include <string>
#include <string_view>

#include "app/SettingsFileText.h"
#include "base/win/WinText_win.h"

namespace app {

class AnsiCodePageWin final : public IAnsiCodePage {
  public:
    std::string ToUtf8(std::string_view ansi) const override { return base::win::AnsiToUtf8(ansi); }
    std::optional<std::string> FromUtf8(std::string_view utf8) const override {
        bool lossless = true;
        std::string ansi = base::win::FromWide(base::win::ToWide(utf8), CP_ACP, &lossless);
        if (!lossless) {
            return std::nullopt;
        }
        return ansi;
    }
};

}  // namespace app
