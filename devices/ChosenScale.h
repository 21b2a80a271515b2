#pragma once
// The scale being read, whatever kind of device it is: a HID scale (HidInterface) or a scale on
// a serial port (serial::SerialScale). The selection picks the kind from the chosen row's path
// and reads, zeroes and closes it through this interface alone.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace devices {

// What a read brought.
enum class ReadOutcome {
    Report,    // `dest` holds the newest report
    NoReport,  // nothing new; the handle and its read stay open
    Failed,    // the read failed: the device is closed and must be selected again
    Gone,      // the device is away for now; it stays chosen and reports again once it is back
};

// A text about the device itself for the status line: "Looking for a scale on COM5...". One
// that `overrides` is shown in place of the report's own status text ("Scale In Motion"); any
// other says what was found, and is shown while the reports have no status text, until the
// first one that has.
struct ScaleNotice {
    std::string text;
    bool overrides = false;
    bool operator==(const ScaleNotice&) const = default;
};

// The status line's scale part: each report's status text with the device's notice.
class ScaleStatusText {
  public:
    [[nodiscard]] std::string Compose(std::string_view reportStatus, const ScaleNotice& notice) {
        if (notice.text.empty()) {
            return std::string(reportStatus);
        }
        if (notice.overrides) {
            return notice.text;
        }
        if (!reportStatus.empty()) {
            _told = notice.text;  // the scale has spoken for itself since
        }
        return _told == notice.text ? std::string(reportStatus) : notice.text;
    }

  private:
    std::string _told;
};

class IChosenScale {
  public:
    virtual ~IChosenScale() = default;
    // Starts reading the device at `devicePath`; false when it cannot be opened.
    [[nodiscard]] virtual bool Open(std::string_view devicePath) = 0;
    // The newest report into `dest` (report ID first), waiting at most `waitMs`.
    [[nodiscard]] virtual ReadOutcome ReadNewest(std::span<uint8_t> dest, uint32_t waitMs) = 0;
    // Asks the scale at `devicePath` to zero; reading goes on.
    virtual void Zero(std::string_view devicePath) = 0;
    // Harmless when nothing is open.
    virtual void Close() = 0;
    // Whether Zero does anything for the open scale.
    [[nodiscard]] virtual bool CanZero() const = 0;
    [[nodiscard]] virtual ScaleNotice Notice() const { return {}; }
};

}  // namespace devices
