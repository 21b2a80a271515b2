#pragma once
// The platform side of the scale enumeration: the raw-input device list, the setup API and
// the OS version. The naming and matching are in UsbHidEnum.cpp.
#include "devices/ScaleSelection.h"
#include "devices/UsbHidEnum.h"

namespace devices::win {

class UsbHidEnumPlatformWin final : public IHidEnumPlatform {
  public:
    uint32_t GetOsVersionNumber() override;
    std::optional<std::vector<RawInputEntry>> RawInputDevices() override;
    std::string GetRawDeviceName(uintptr_t handle) override;
    std::unique_ptr<ISetupDeviceWalk> OpenSetupDevices(std::string_view enumerator) override;

  private:
    uint32_t _osVersion = 0;  // kept after the first successful read
};

// What ScaleSelection enumerates with in the program.
class UsbHidEnumerator final : public IScaleEnumerator {
  public:
    std::optional<std::vector<base::ScaleDeviceRecord>> Enumerate() override;

  private:
    UsbHidEnumPlatformWin _platform;
};

}  // namespace devices::win
