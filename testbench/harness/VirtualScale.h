#pragma once
// Virtual USB HID scales for end-to-end tests: plug, feed and unplug scales that Pesora (or any
// program) sees as real ones, and read back what was written to them. The virtual scale bus
// must be installed in the Wine session (the bench does that at start).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "testbench/vscale/VScaleCommand.h"

namespace e2e {

// serial (all digits keeps names the same in every Windows form), vendorId/productId,
// interfaceNumber (MI_xx), friendlyName, product, reportLength (6 or 8), intervalMs, onChangeOnly.
using ScaleOptions = vscale::PlugOptions;

// Each returns false, with the reason in *error when given, when the bus refuses or times out.
// Plug returns once the scale's HID interface opens.
bool Plug(const ScaleOptions& options, std::string* error = nullptr);
bool Unplug(const std::string& serial, std::string* error = nullptr);
// Sets the report the scale repeats (or, when plugged --on-change, sends once).
bool SetWeight(const std::string& serial,
               uint8_t status,
               uint8_t unit,
               int8_t exponent,
               int16_t weight,
               std::string* error = nullptr);
// Queues raw report bytes (report ID first), sent in order, one per interval, before the
// repeated report resumes.
bool Queue(const std::string& serial, const std::vector<uint8_t>& bytes, std::string* error = nullptr);
// Output reports written to the scale since the last clear, oldest first (empty on failure).
std::vector<std::vector<uint8_t>> Outputs(const std::string& serial);
bool ClearOutputs(const std::string& serial);
// The path Pesora opens: \\?\HID#VID_0922&PID_8003#0001#{4d1e55b2-f16f-11cf-88cb-001111000030}.
std::string HidPath(const ScaleOptions& options);
// Input reports the scale has delivered since it was plugged; nothing when it is not plugged.
std::optional<uint32_t> ReportsSent(const std::string& serial);

}  // namespace e2e
