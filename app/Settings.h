#pragma once
// The one in-memory settings record. Field names are the keys of the settings file; the
// defaults are the texts a missing key yields.
#include <cstdint>
#include <string>

namespace app {

struct Settings {
    int32_t HotKey = 120; // modifier mask * 256 + key code (mask 1 Shift, 2 Ctrl, 4 Alt)
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
    std::string TareCommand = "2,2,0,0,0,0"; // read, kept, never written back
    int32_t SampleRate = 50;
    int32_t InterCharacterDelay = 1;
};

} // namespace app
