// Fuzzes the enumeration's naming: raw device names and setup-API devices (hardware IDs,
// names, classes) cut from the input, played through EnumHidDevices, then the row filter and
// the parsing of broadcast records.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "devices/DeviceBroadcast.h"
#include "devices/ScaleSelection.h"
#include "devices/UsbHidEnum.h"

namespace {

// Pieces separated by 0x00; each piece's first byte picks its role.
class FuzzPlatform final : public devices::IHidEnumPlatform {
  public:
    struct Device {
        std::string id, cls, name, desc;
    };
    uint32_t os = 601;
    std::vector<std::string> raw;
    std::vector<Device> devices;

    uint32_t GetOsVersionNumber() override { return os; }
    std::optional<std::vector<devices::RawInputEntry>> RawInputDevices() override {
        std::vector<devices::RawInputEntry> entries;
        for (size_t i = 0; i < raw.size(); ++i) {
            entries.push_back({i, devices::kRimTypeHid});
        }
        return entries;
    }
    std::string GetRawDeviceName(uintptr_t handle) override { return raw.at(handle); }
    std::unique_ptr<devices::ISetupDeviceWalk> OpenSetupDevices(std::string_view enumerator) override {
        return std::make_unique<Walk>(devices, enumerator.empty() ? 0 : 1);
    }

  private:
    class Walk final : public devices::ISetupDeviceWalk {
      public:
        Walk(const std::vector<Device>& d, size_t start) : _d(d), _at(start) {}
        bool Next() override {
            if (_first) {
                _first = false;
            } else {
                _at += 1;
            }
            return _at < _d.size();
        }
        std::string HardwareId() override { return _d[_at].id; }
        std::string ClassName() override { return _d[_at].cls; }
        std::string FriendlyName() override { return _d[_at].name; }
        std::string BusReportedDescription() override { return {}; }
        std::string LocationInformation() override { return _d[_at].desc; }
        std::string DeviceDescription() override { return _d[_at].desc; }

      private:
        const std::vector<Device>& _d;
        size_t _at;
        bool _first = true;
    };
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    FuzzPlatform p;
    if (!input.empty()) {
        p.os = static_cast<uint8_t>(input[0]) * 4;
    }
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
                p.raw.push_back(text);
                break;
            case 1:
                p.devices.push_back({text, "", "", ""});
                break;
            case 2:
                if (!p.devices.empty()) {
                    p.devices.back().name = text;
                    p.devices.back().cls = text.substr(0, text.size() / 2);
                }
                break;
            default:
                if (!p.devices.empty()) {
                    p.devices.back().desc = text;
                }
                break;
        }
    }
    auto records = devices::EnumHidDevices(p);
    if (records) {
        if (records->size() !=
            p.raw.size() - static_cast<size_t>(std::count(p.raw.begin(), p.raw.end(), std::string()))) {
            __builtin_trap();  // every named HID device gets exactly one row
        }
        (void)devices::FilterScaleCandidates(*records);
    }
    (void)devices::ParseDeviceBroadcast(std::span<const uint8_t>(data, size));
    return 0;
}
