#include "VirtualScale.h"

#include "testbench/vscale/VScaleClient_win.h"

namespace e2e {

namespace {
bool Check(const vscale::Outcome& outcome, std::string* error) {
    if (!outcome.ok && error) {
        *error = outcome.message;
    }
    return outcome.ok;
}
}  // namespace

bool Plug(const ScaleOptions& options, std::string* error) {
    return Check(vscale::Plug(options), error);
}

bool Unplug(const std::string& serial, std::string* error) {
    return Check(vscale::Unplug(serial), error);
}

bool SetWeight(const std::string& serial,
               uint8_t status,
               uint8_t unit,
               int8_t exponent,
               int16_t weight,
               std::string* error) {
    return Check(vscale::SetReading(serial, vscale::ScaleReading{status, unit, exponent, weight}), error);
}

bool Queue(const std::string& serial, const std::vector<uint8_t>& bytes, std::string* error) {
    return Check(vscale::Queue(serial, bytes), error);
}

std::vector<std::vector<uint8_t>> Outputs(const std::string& serial) {
    return vscale::Outputs(serial, false, nullptr).value_or(std::vector<std::vector<uint8_t>>{});
}

bool ClearOutputs(const std::string& serial) {
    return vscale::ClearOutputs(serial).ok;
}

std::string HidPath(const ScaleOptions& options) {
    return vscale::HidInterfacePath(options);
}

std::optional<uint32_t> ReportsSent(const std::string& serial) {
    auto state = vscale::State(nullptr);
    if (!state) {
        return std::nullopt;
    }
    for (uint32_t i = 0; i < state->count && i < VSCALE_MAX_SCALES; ++i) {
        if (serial == state->scales[i].config.serial) {
            return state->scales[i].reportsSent;
        }
    }
    return std::nullopt;
}

}  // namespace e2e
