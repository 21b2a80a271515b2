#include "app/SettingsStore.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace app {

namespace {
// A value cannot hold a line break, so this fallback tells a missing key from any value.
constexpr std::string_view kMissingKey = "\n";
}  // namespace

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Halves go to the even neighbour, as the conversion of stored numbers always did; a plain
// round() would turn 888.5 into 889.
double RoundHalfEven(double v) {
    const double lower = std::floor(v);
    const double diff = v - lower;
    if (diff > 0.5) {
        return lower + 1;
    }
    if (diff < 0.5) {
        return lower;
    }
    return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1;
}

// Collects the longest numeric prefix of `text` into a compact form that strtod reads: blanks
// anywhere in it are dropped (" 1 2" is 12), an exponent counts only when digits follow it.
std::string NumericPrefix(std::string_view text) {
    std::string out;
    size_t i = 0;
    auto skipBlanks = [&] {
        while (i < text.size() && IsBlank(text[i])) {
            ++i;
        }
    };
    skipBlanks();
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        out += text[i++];
    }
    bool mantissaDigits = false;
    for (skipBlanks(); i < text.size() && IsDigit(text[i]); skipBlanks()) {
        out += text[i++];
        mantissaDigits = true;
    }
    if (i < text.size() && text[i] == '.') {
        out += text[i++];
        for (skipBlanks(); i < text.size() && IsDigit(text[i]); skipBlanks()) {
            out += text[i++];
            mantissaDigits = true;
        }
    }
    if (!mantissaDigits) {
        return {};
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
        std::string exponent = "e";
        size_t j = i + 1;
        while (j < text.size() && IsBlank(text[j])) {
            ++j;
        }
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            exponent += text[j++];
        }
        bool exponentDigits = false;
        while (j < text.size() && (IsDigit(text[j]) || IsBlank(text[j]))) {
            if (IsDigit(text[j])) {
                exponent += text[j];
                exponentDigits = true;
            }
            ++j;
        }
        if (exponentDigits) {
            out += exponent;
        }
    }
    return out;
}

struct NumberKey {
    std::string_view key;
    std::string_view fallback;
    int32_t base::Settings::*field;
};

// The limit counts characters, not bytes: the value is UTF-8, and a cut inside a character
// would leave text that is no UTF-8 at all (a preamble that then types nothing).
std::string ReadValue(IIniStore& store, std::string_view key, std::string_view fallback) {
    std::string value = store.Read(kSettingsSection, key, fallback);
    size_t characters = 0;
    for (size_t i = 0; i < value.size(); ++i) {
        const bool startsCharacter = (static_cast<unsigned char>(value[i]) & 0xC0) != 0x80;
        if (startsCharacter && ++characters > kMaxValueLength) {
            value.resize(i);
            break;
        }
    }
    return value;
}

void ReadNumber(IIniStore& store, base::Settings& s, const NumberKey& k) {
    if (const auto n = ParseSettingNumber(ReadValue(store, k.key, k.fallback))) {
        s.*k.field = *n;
    }
}

// A number with a range of its own: out-of-range values take the nearest end, as a value the
// dialog would refuse cannot come from it and a typing slip in the file should not switch the
// behaviour off or make it wait for minutes.
void ReadClamped(IIniStore& store, base::Settings& s, const NumberKey& k, int32_t low, int32_t high) {
    ReadNumber(store, s, k);
    s.*k.field = std::clamp(s.*k.field, low, high);
}

void ReadBool(IIniStore& store, bool& field, std::string_view key, std::string_view fallback) {
    field = ParseSettingBool(ReadValue(store, key, fallback));
}

}  // namespace

std::optional<int32_t> ParseSettingNumber(std::string_view text) {
    const std::string prefix = NumericPrefix(text);
    if (prefix.empty()) {
        return 0;
    }
    const double value = RoundHalfEven(std::strtod(prefix.c_str(), nullptr));
    if (!std::isfinite(value) || value < -2147483648.0 || value > 2147483647.0) {
        return std::nullopt;
    }
    return static_cast<int32_t>(value);
}

double ParseSettingDecimal(std::string_view text) {
    const std::string prefix = NumericPrefix(text);
    const double value = prefix.empty() ? 0.0 : std::strtod(prefix.c_str(), nullptr);
    return std::isfinite(value) ? value : 0.0;
}

std::string FormatSettingDecimal(double value) {
    return base::ShortestDecimal(value);
}

bool ParseSettingBool(std::string_view text) {
    return text == "True";
}

std::string FormatSettingBool(bool value) {
    return value ? "True" : "False";
}

std::string FormatTwips(double twips) {
    char buf[64];
    if (std::isfinite(twips) && std::fabs(twips) < 1e15 && twips == std::floor(twips)) {
        std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(twips));
    } else {
        std::snprintf(buf, sizeof buf, "%.7g", twips);
    }
    return buf;
}

std::string_view StripMatchingQuotes(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

namespace {
// "C:\" stands in for a folder the shell does not give; the separator is not doubled after it.
std::string BaseFolder(std::string_view commonDataFolder) {
    std::string base = commonDataFolder.empty() ? std::string("C:\\") : std::string(commonDataFolder);
    if (base.back() == '\\') {
        base.pop_back();
    }
    return base;
}
}  // namespace

std::string SettingsFileFullPath(std::string_view commonDataFolder, std::string_view exeName) {
    std::string path = BaseFolder(commonDataFolder);
    path += "\\Pesora\\";
    path += exeName;
    path += ".Ini";
    return path;
}

// The folder is created only when the file is missing, and an existing file is never
// truncated: a second start must find the first start's settings intact.
std::string LocateSettingsFile(ISettingsFileSystem& fs, std::string_view exeName) {
    const std::string folder = fs.CommonDataFolder();
    const std::string fullPath = SettingsFileFullPath(folder, exeName);
    std::string shortPath = fs.ShortPathOf(fullPath);
    if (shortPath.empty()) {
        fs.CreateFolder(BaseFolder(folder) + "\\Pesora");
        fs.CreateEmptyFile(fullPath);
        shortPath = fs.ShortPathOf(fullPath);
    }
    return shortPath;
}

void LoadSettings(IIniStore& store, base::Settings& s, const std::function<void(int32_t)>& onSampleRate) {
    ReadNumber(store, s, {"HotKey", "120", &base::Settings::HotKey});
    s.Hotkeystr = ReadValue(store, "Hotkeystr", "F9");
    ReadBool(store, s.HotkeyEnabled, "HotkeyEnabled", "True");
    s.WeightFormat = ReadValue(store, "WeightFormat", "");
    ReadNumber(store, s, {"SelectedUnits", "0", &base::Settings::SelectedUnits});
    ReadBool(store, s.IncludeUnits, "IncludeUnits", "True");
    ReadBool(store, s.CommaSeparator, "CommaSeparator", "False");
    ReadBool(store, s.LoadWithWindows, "LoadWithWindows", "False");
    ReadBool(store, s.MinimizeAtStartup, "MinimizeAtStartup", "False");
    s.SelectedScale = ReadValue(store, "SelectedScale", "");
    s.Preamble = ReadValue(store, "Preamble", "");
    s.Postamble = ReadValue(store, "Postamble", "");
    s.TareCommand = ReadValue(store, "TareCommand", "2,2,0,0,0,0");
    ReadNumber(store, s, {"SampleRate", "50", &base::Settings::SampleRate});
    if (onSampleRate) {
        onSampleRate(s.SampleRate);
    }
    ReadNumber(store, s, {"InterCharacterDelay", "1", &base::Settings::InterCharacterDelay});
    ReadNumber(store, s, {"WebPort", "0", &base::Settings::WebPort});
    s.WebOrigins = ReadValue(store, "WebOrigins", "");
    ReadBool(store, s.StableOnly, "StableOnly", "False");
    ReadClamped(store, s, {"StableWaitMs", "2000", &base::Settings::StableWaitMs}, 0, base::kMaxStableWaitMs);
    ReadBool(store, s.AutoSend, "AutoSend", "False");
    ReadClamped(store, s, {"SettleMs", "500", &base::Settings::SettleMs}, 0, base::kMaxSettleMs);
    s.AutoSendMin = std::clamp(ParseSettingDecimal(ReadValue(store, "AutoSendMin", "0")), 0.0, base::kMaxAutoSendMin);
    s.SerialScales.clear();
    for (const std::string& port : store.Keys(kSerialScalesSection)) {
        s.SerialScales[base::UpperAscii(port)] = store.Read(kSerialScalesSection, port, "");
    }
}

// Reading drops the blanks around a value and one pair of matching quotes, so a preamble that
// starts with a blank, or a format that is itself quoted, would come back changed at the next
// start. Such a value is written inside quotes, which reading removes again; every other value
// is written as it stands. The quotes go on even when they take the line past the 254 characters
// that are read back: they are removed before the value is cut to that length, so a 254-character
// preamble with a leading blank comes back whole.
std::string ProtectForProfile(std::string_view value) {
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    const bool needsQuotes = !value.empty() && (isBlank(value.front()) || isBlank(value.back()) ||
                                                StripMatchingQuotes(value).size() != value.size());
    if (!needsQuotes) {
        return std::string(value);
    }
    std::string quoted = "\"";
    quoted += value;
    quoted += '"';
    return quoted;
}

std::string RecordingIniStore::Read(std::string_view section, std::string_view key, std::string_view fallback) {
    std::string value = _store.Read(section, key, kMissingKey);
    if (value == kMissingKey) {
        return std::string(fallback);
    }
    _fileText[std::string(key)] = value;
    return value;
}

void RecordingIniStore::Write(std::string_view section, std::string_view key, std::string_view value) {
    _store.Write(section, key, value);
}

void SaveSettings(IIniStore& store,
                  const base::Settings& s,
                  double windowLeftTwips,
                  double windowTopTwips,
                  const SettingsAsLoaded* asLoaded) {
    const auto write = [&](std::string_view key, const std::string& value, const std::string& loaded) {
        if (asLoaded != nullptr && value == loaded) {
            const std::string now = store.Read(kSettingsSection, key, kMissingKey);
            const auto atStart = asLoaded->fileText.find(key);
            if (now != kMissingKey && (atStart == asLoaded->fileText.end() || atStart->second != now)) {
                return;  // edited by hand since the start, and not changed here: the edit stays
            }
        }
        store.Write(kSettingsSection, key, ProtectForProfile(value));
    };
    const base::Settings& l = asLoaded != nullptr ? asLoaded->settings : s;
    write("HotKey", std::to_string(s.HotKey), std::to_string(l.HotKey));
    write("HotkeyStr", s.Hotkeystr, l.Hotkeystr);
    write("HotkeyEnabled", FormatSettingBool(s.HotkeyEnabled), FormatSettingBool(l.HotkeyEnabled));
    write("WeightFormat", s.WeightFormat, l.WeightFormat);
    write("SelectedUnits", std::to_string(s.SelectedUnits), std::to_string(l.SelectedUnits));
    write("IncludeUnits", FormatSettingBool(s.IncludeUnits), FormatSettingBool(l.IncludeUnits));
    write("CommaSeparator", FormatSettingBool(s.CommaSeparator), FormatSettingBool(l.CommaSeparator));
    write("LoadWithWindows", FormatSettingBool(s.LoadWithWindows), FormatSettingBool(l.LoadWithWindows));
    write("MinimizeAtStartup", FormatSettingBool(s.MinimizeAtStartup), FormatSettingBool(l.MinimizeAtStartup));
    write("SelectedScale", s.SelectedScale, l.SelectedScale);
    write("Preamble", s.Preamble, l.Preamble);
    write("Postamble", s.Postamble, l.Postamble);
    store.Write(kSettingsSection, "WindowLeft", FormatTwips(windowLeftTwips));
    store.Write(kSettingsSection, "WindowTop", FormatTwips(windowTopTwips));
    write("SampleRate", std::to_string(s.SampleRate), std::to_string(l.SampleRate));
    write("InterCharacterDelay", std::to_string(s.InterCharacterDelay), std::to_string(l.InterCharacterDelay));
    write("WebPort", std::to_string(s.WebPort), std::to_string(l.WebPort));
    write("WebOrigins", s.WebOrigins, l.WebOrigins);
    write("StableOnly", FormatSettingBool(s.StableOnly), FormatSettingBool(l.StableOnly));
    write("StableWaitMs", std::to_string(s.StableWaitMs), std::to_string(l.StableWaitMs));
    write("AutoSend", FormatSettingBool(s.AutoSend), FormatSettingBool(l.AutoSend));
    write("SettleMs", std::to_string(s.SettleMs), std::to_string(l.SettleMs));
    write("AutoSendMin", FormatSettingDecimal(s.AutoSendMin), FormatSettingDecimal(l.AutoSendMin));
}

}  // namespace app
