// Fuzzes the enumeration's naming: raw device names and setup-API devices (hardware IDs,
// names, classes) cut from the input, played through EnumHidDevices, then the row filter and
// the parsing of broadcast records.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "devices/DeviceBroadcast.h"
#include "devices/ScaleSelection.h"
#include "devices/UsbHidEnum.h"
#include "devices/tests/Fakes.h"

// Pieces separated by 0x00; each piece's first byte picks its role: a raw device name, a setup
// device (its hardware ID), or the last device's name and class, or its descriptions. The USB
// pass sees every device but the first.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    devices::testing::FakeHidEnumPlatform p;
    if (!input.empty()) {
        p.osVersion = static_cast<uint8_t>(input[0]) * 4;
    }
    std::vector<devices::testing::RecordedSetupDevice> all;
    size_t start = input.empty() ? 0 : 1;
    while (start < input.size()) {
        size_t end = input.find('\0', start);
        if (end == std::string::npos) {
            end = input.size();
        }
        const std::string piece = input.substr(start, end - start);
        start = end + 1;
        if (piece.empty()) {
            continue;
        }
        const std::string text = piece.substr(1);
        switch (static_cast<uint8_t>(piece[0]) % 4) {
            case 0:
                p.raw.emplace_back(devices::kRimTypeHid, text);
                break;
            case 1:
                all.push_back({text, "", "", "", "", ""});
                break;
            case 2:
                if (!all.empty()) {
                    all.back().friendlyName = text;
                    all.back().className = text.substr(0, text.size() / 2);
                }
                break;
            default:
                if (!all.empty()) {
                    all.back().locationInformation = all.back().deviceDescription = text;
                }
                break;
        }
    }
    p.passes[""] = all;
    p.passes["USB"] = std::vector(all.begin() + (all.empty() ? 0 : 1), all.end());
    auto records = devices::EnumHidDevices(p);
    if (records) {
        const auto unnamed = std::count_if(p.raw.begin(), p.raw.end(), [](const auto& r) { return r.second.empty(); });
        if (records->size() != p.raw.size() - static_cast<size_t>(unnamed)) {
            __builtin_trap();  // every named HID device gets exactly one row
        }
        (void)devices::FilterScaleCandidates(*records);
    }
    (void)devices::ParseDeviceBroadcast(std::span<const uint8_t>(data, size));
    return 0;
}
