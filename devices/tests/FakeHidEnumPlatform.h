#pragma once
// Recorded enumeration data played back through IHidEnumPlatform. Property reads are counted
// per hardware ID, so the tests see which devices were looked up.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "devices/UsbHidEnum.h"

namespace devices::testing {

struct RecordedSetupDevice {
    std::string hardwareId;
    std::string className;
    std::string friendlyName;
    std::string busReportedDescription;
    std::string locationInformation;
    std::string deviceDescription;
};

struct RecordedRawDevice {
    uint32_t type = kRimTypeHid;
    std::string name;  // empty: the name cannot be read
};

class FakeHidEnumPlatform final : public IHidEnumPlatform {
  public:
    uint32_t osVersion = 601;
    bool rawListFails = false;
    std::vector<RecordedRawDevice> raw;
    std::map<std::string, std::vector<RecordedSetupDevice>> passes;  // "USB" and "" (all)
    std::vector<std::string> openedPasses;
    std::map<std::string, int> propertyReads;  // by hardware ID, beyond the hardware ID itself

    uint32_t GetOsVersionNumber() override { return osVersion; }

    std::optional<std::vector<RawInputEntry>> RawInputDevices() override {
        if (rawListFails) {
            return std::nullopt;
        }
        std::vector<RawInputEntry> entries;
        for (size_t i = 0; i < raw.size(); ++i) {
            entries.push_back({i, raw[i].type});
        }
        return entries;
    }

    std::string GetRawDeviceName(uintptr_t handle) override { return handle < raw.size() ? raw[handle].name : ""; }

    std::unique_ptr<ISetupDeviceWalk> OpenSetupDevices(std::string_view enumerator) override {
        openedPasses.emplace_back(enumerator);
        auto it = passes.find(std::string(enumerator));
        if (it == passes.end()) {
            return nullptr;  // the set cannot be opened
        }
        return std::make_unique<Walk>(it->second, propertyReads);
    }

  private:
    class Walk final : public ISetupDeviceWalk {
      public:
        Walk(const std::vector<RecordedSetupDevice>& devices, std::map<std::string, int>& reads)
            : _devices(devices), _reads(reads) {}
        bool Next() override { return ++_at < static_cast<long>(_devices.size()); }
        std::string HardwareId() override { return Current().hardwareId; }
        std::string ClassName() override { return Read(&RecordedSetupDevice::className); }
        std::string FriendlyName() override { return Read(&RecordedSetupDevice::friendlyName); }
        std::string BusReportedDescription() override { return Read(&RecordedSetupDevice::busReportedDescription); }
        std::string LocationInformation() override { return Read(&RecordedSetupDevice::locationInformation); }
        std::string DeviceDescription() override { return Read(&RecordedSetupDevice::deviceDescription); }

      private:
        const RecordedSetupDevice& Current() const { return _devices.at(static_cast<size_t>(_at)); }
        std::string Read(std::string RecordedSetupDevice::*field) {
            ++_reads[Current().hardwareId];
            return Current().*field;
        }
        const std::vector<RecordedSetupDevice>& _devices;
        std::map<std::string, int>& _reads;
        long _at = -1;
    };
};

}  // namespace devices::testing
