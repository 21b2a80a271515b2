#pragma once
// The state the main window owns for the whole run. The portable handlers of every subsystem
// work on it; MainWindow holds the one instance.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/model/ScaleDeviceRecord.h"
#include "base/model/Settings.h"

namespace base {

// A serial scale's reading is kept in the report buffer in the HID scale data report's layout
// (status, unit code, exponent), marked with this report ID and with its weight as 32 bits
// (little-endian) in bytes 4..7, since serial scales send weights a 16-bit field cannot hold
// with all their decimals (200.0000 g). A HID scale's report under this ID is renumbered when
// it is read.
inline constexpr uint8_t kWideReportId = 0xFF;

struct AppState {
    Settings settings;
    std::string exeName;           // executable's file name without extension, case as on disk
    std::string programFolder;     // its folder, no trailing "\" unless a drive root
    std::string settingsFilePath;  // short form; empty when the file could not be located

    std::vector<base::ScaleDeviceRecord> scaleTable;  // one per the scale list row
    bool deviceOpen = false;                          // a scale is open and is to be read
    // The scale just chosen has not reported yet: reportBuffer holds nothing of it, so there is
    // no weight to show, serve or type.
    bool awaitingReport = false;

    std::array<uint8_t, 8> reportBuffer{};  // the last scale data report received
    std::string weightText;                 // current weight text, no unit
    std::string unitsSuffix;                // current unit suffix with its leading blank

    bool sendSuppressed = false;  // the selected scale was pulled out: hotkey presses do nothing
    bool aboutBoxOpen = false;    // the about box keeps its own: no scale event lifts it

    // A weight exists only while a scale is read and has reported since it was chosen.
    [[nodiscard]] bool HasWeight() const noexcept { return deviceOpen && !awaitingReport; }
};

}  // namespace base
