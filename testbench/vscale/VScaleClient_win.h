#pragma once
// Drives the virtual scale bus through its control device, and does the setupapi work around a
// plug (naming the device node) and an unplug (removing the nodes Wine would keep listing).
// Used by the vscale tool and by the end-to-end harness.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "testbench/vscale/VScaleCommand.h"

namespace vscale {

struct Outcome {
    bool ok = false;
    std::string message;  // what went wrong, or what was done
    std::chrono::milliseconds elapsed{0};
};

// Copies the drivers and INF files found in sourceDir into the prefix, creates the bus's root
// device node and installs its driver, then waits for the control device. Does nothing when the
// bus already runs.
Outcome Install(const std::wstring& sourceDir, std::chrono::milliseconds timeout = std::chrono::seconds(20));
// Plugs a scale and returns once its HID interface opens; elapsed is plug-to-interface.
Outcome Plug(const PlugOptions& options, std::chrono::milliseconds timeout = std::chrono::seconds(10));
// Unplugs a scale, waits for its removal to finish and removes its device nodes.
Outcome Unplug(const std::string& serial, std::chrono::milliseconds timeout = std::chrono::seconds(10));
Outcome SetReading(const std::string& serial, const ScaleReading& reading);
Outcome Queue(const std::string& serial, const std::vector<uint8_t>& report);
// The output reports recorded since the last clear, oldest first; clear empties the record in
// the same step.
std::optional<std::vector<std::vector<uint8_t>>> Outputs(const std::string& serial, bool clear, std::string* error);
Outcome ClearOutputs(const std::string& serial);
std::optional<VSCALE_STATE> State(std::string* error);
// The state of the scale with this serial; nothing when it is not plugged or the bus is down.
std::optional<VSCALE_SCALE_STATE> FindScale(const std::string& serial, std::string* error);
// True when the control device opens (the bus driver runs).
bool BusRunning();

}  // namespace vscale
