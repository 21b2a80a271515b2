#pragma once
// The one in-memory settings record. Field names are the keys of the settings file; the
// defaults are the texts a missing key yields.
#include <algorithm>
#include <cstdint>
#include <map>
#include <string>

#include "base/TextUtil.h"

namespace base {

struct Settings {
    int32_t HotKey = 120;  // modifier mask * 256 + key code (mask 1 Shift, 2 Ctrl, 4 Alt)
    std::string Hotkeystr = "F9";
    bool HotkeyEnabled = true;
    std::string WeightFormat;
    int32_t SelectedUnits = 0;
    bool IncludeUnits = true;
    bool CommaSeparator = false;
    bool LoadWithWindows = false;
    bool MinimizeAtStartup = false;
    std::string SelectedScale;
    std::string Preamble;
    std::string Postamble;
    std::string TareCommand = "2,2,0,0,0,0";  // read, kept, never written back
    int32_t SampleRate = 50;
    int32_t InterCharacterDelay = 1;
    int32_t WebPort = 0;          // the local web endpoint's port; 0 keeps it off
    std::string WebOrigins;       // web origins allowed to use it, separated by blanks
    bool StableOnly = false;      // the hotkey types only a settled weight, waiting for one
    int32_t StableWaitMs = 2000;  // how long the hotkey waits for a moving weight to settle
    bool AutoSend = false;        // hands-free: each placement's weight is typed once it settles
    int32_t SettleMs = 500;       // how long a weight must stay stable before it is sent hands-free
    double AutoSendMin = 0.0;     // in the display unit: only heavier weights are sent hands-free
    // The [SerialScales] section: the scale found on each serial port, "COM5" -> "NCI 9600 7E1".
    // Written when detection finds a scale; an entry set by hand spares the port its detection.
    std::map<std::string, std::string, LessIgnoreCase> SerialScales;
};

// The ranges of the settled-weight settings; the file's values are clamped into them.
inline constexpr int32_t kMaxStableWaitMs = 10000;
inline constexpr int32_t kMaxSettleMs = 5000;
inline constexpr double kMaxAutoSendMin = 1000000.0;

inline constexpr int32_t kMinSampleRateMs = 50;
inline constexpr uint32_t kMaxReadWaitMs = 450;

// The time a read may wait for the scale in a cycle of `sampleRate` ms: the rate less 50 ms.
// Rates below 50 ms (only from a hand-edited file) would give a negative wait: they poll. The
// upper bound is the longest wait the settings dialog offers, so that a huge rate typed into
// the file cannot freeze the window for minutes while a scale is silent.
[[nodiscard]] constexpr uint32_t ReadWaitMs(int32_t sampleRate) noexcept {
    const int64_t wait = static_cast<int64_t>(sampleRate) - kMinSampleRateMs;
    return static_cast<uint32_t>(std::clamp<int64_t>(wait, 0, kMaxReadWaitMs));
}

}  // namespace base
