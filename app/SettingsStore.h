#pragma once
// The settings file: where it lives, how each value is converted, and the order in which the
// keys are read at start-up and written at shutdown. The file itself is reached through the
// small interfaces below, so the rules are tested without Windows.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/TextUtil.h"
#include "base/model/Settings.h"

namespace app {

inline constexpr std::string_view kSettingsSection = "Settings";
// Values are read into a 255-character buffer, so at most 254 characters come back.
inline constexpr size_t kMaxValueLength = 254;

// One section-and-key store (an initialisation file). Keys are matched without regard to case.
class IIniStore {
  public:
    virtual ~IIniStore() = default;
    // The stored value (surrounding matching quotes removed), or `fallback` when there is none.
    [[nodiscard]] virtual std::string Read(std::string_view section,
                                           std::string_view key,
                                           std::string_view fallback) = 0;
    virtual void Write(std::string_view section, std::string_view key, std::string_view value) = 0;
    // The keys the section holds; a store that cannot list them gives none.
    [[nodiscard]] virtual std::vector<std::string> Keys(std::string_view /*section*/) { return {}; }
};

// One key per serial port: "COM5=NCI 9600 7E1".
inline constexpr std::string_view kSerialScalesSection = "SerialScales";

// What locating the file needs of the file system.
class ISettingsFileSystem {
  public:
    virtual ~ISettingsFileSystem() = default;
    // The all-users application-data folder without trailing separator; empty when unknown.
    [[nodiscard]] virtual std::string CommonDataFolder() = 0;
    // The short form of an existing path; empty when it does not exist.
    [[nodiscard]] virtual std::string ShortPathOf(const std::string& path) = 0;
    virtual void CreateFolder(const std::string& path) = 0;
    // Creates the file when missing; never truncates an existing one.
    virtual void CreateEmptyFile(const std::string& path) = 0;
};

// The number at the start of `text` as a signed 32-bit value: blanks ignored, optional sign,
// fraction and exponent, halves rounded to the even neighbour, 0 when there is no number.
// nullopt when the value does not fit in 32 bits.
[[nodiscard]] std::optional<int32_t> ParseSettingNumber(std::string_view text);
// The decimal number at the start of `text` ("." as the separator), 0 when there is none.
[[nodiscard]] double ParseSettingDecimal(std::string_view text);
// The shortest text that ParseSettingDecimal reads back as the same number: "0.5", "12", "1.25".
[[nodiscard]] std::string FormatSettingDecimal(double value);
// True exactly for "True".
[[nodiscard]] bool ParseSettingBool(std::string_view text);
[[nodiscard]] std::string FormatSettingBool(bool value);
// Window coordinates in twips: whole numbers without a decimal separator.
[[nodiscard]] std::string FormatTwips(double twips);
// A value that begins and ends with the same quotation mark loses the two marks.
[[nodiscard]] std::string_view StripMatchingQuotes(std::string_view value);
// The form a value is written in so that reading gives it back unchanged.
[[nodiscard]] std::string ProtectForProfile(std::string_view value);

// The full path of the settings file: folder (or "C:\" when unknown) + "\Pesora\" + exeName + ".Ini".
[[nodiscard]] std::string SettingsFileFullPath(std::string_view commonDataFolder, std::string_view exeName);

// Finds the settings file, creating the folder and an empty file when needed. Returns its
// short path, or empty when it cannot be located or created.
[[nodiscard]] std::string LocateSettingsFile(ISettingsFileSystem& fs, std::string_view exeName);

// Reads every setting in the file's order into `settings`, then the serial scales' section. A number that does not fit
// in 32 bits leaves the field as it was; the settled-weight numbers are clamped into their ranges. `onSampleRate` runs
// right after SampleRate has been read (the read timer takes its interval there).
void LoadSettings(IIniStore& store, base::Settings& settings, const std::function<void(int32_t)>& onSampleRate = {});

// What start-up read: the settings, and the text each key had in the file (keys it lacked are
// not listed).
struct SettingsAsLoaded {
    base::Settings settings;
    std::map<std::string, std::string, base::LessIgnoreCase> fileText;
};

// Passes reads on to `store` and notes in `fileText` the text of every key the file holds.
class RecordingIniStore final : public IIniStore {
  public:
    RecordingIniStore(IIniStore& store, std::map<std::string, std::string, base::LessIgnoreCase>& fileText)
        : _store(store), _fileText(fileText) {}
    std::string Read(std::string_view section, std::string_view key, std::string_view fallback) override;
    void Write(std::string_view section, std::string_view key, std::string_view value) override;
    std::vector<std::string> Keys(std::string_view section) override { return _store.Keys(section); }

  private:
    IIniStore& _store;
    std::map<std::string, std::string, base::LessIgnoreCase>& _fileText;
};

// Writes the sixteen keys in the file's order, then the web endpoint's two and the settled-weight
// five; TareCommand is never written.
// With `asLoaded`, a key the program did not change whose text in the file was edited by hand
// while the program ran keeps that edit; the window's position is always written.
void SaveSettings(IIniStore& store,
                  const base::Settings& settings,
                  double windowLeftTwips,
                  double windowTopTwips,
                  const SettingsAsLoaded* asLoaded = nullptr);

}  // namespace app
