#pragma once
// The list of candidate scales: every HID device of the raw-input device list, named after
// the Plug and Play device whose hardware ID gives the same match key. The walk over the
// platform is behind IHidEnumPlatform so the whole order of steps runs on recorded data too.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/TextUtil.h"
#include "base/model/ScaleDeviceRecord.h"

namespace devices {

inline constexpr uint32_t kRimTypeHid = 2;  // RIM_TYPEHID
inline constexpr uint32_t kOsVersionXp = 501;

struct SetupDeviceInfo {
    std::string name;
    std::string className;
    std::string key;
    bool operator==(const SetupDeviceInfo&) const = default;
};

using KeySet = std::set<std::string, base::LessIgnoreCase>;

// Insertion-ordered collection with optional text keys compared without regard to case.
class SetupDeviceCollection {
  public:
    // Adds `info` under `key` (empty = no key). Fails, adding nothing, when the key is present.
    bool Add(SetupDeviceInfo info, std::string_view key);
    // The item stored under `key`, or nullptr.
    [[nodiscard]] const SetupDeviceInfo* TryGet(std::string_view key) const;
    [[nodiscard]] bool Contains(std::string_view key) const { return TryGet(key) != nullptr; }
    [[nodiscard]] const std::vector<SetupDeviceInfo>& Items() const noexcept { return _items; }

  private:
    std::vector<SetupDeviceInfo> _items;
    std::map<std::string, size_t, base::LessIgnoreCase> _index;
};

// True, with the item in `item`, when `key` is present.
bool CollectionTryGet(const SetupDeviceCollection& collection, std::string_view key, SetupDeviceInfo& item);

// One device of an open setup-API device set. Properties are read on demand, so that names
// are looked up only for devices some HID device can match.
class ISetupDeviceWalk {
  public:
    virtual ~ISetupDeviceWalk() = default;
    virtual bool Next() = 0;               // moves to the next device; false past the last
    virtual std::string HardwareId() = 0;  // the first entry of the hardware-ID list
    virtual std::string ClassName() = 0;
    virtual std::string FriendlyName() = 0;
    virtual std::string BusReportedDescription() = 0;
    virtual std::string LocationInformation() = 0;
    virtual std::string DeviceDescription() = 0;
};

struct RawInputEntry {
    uintptr_t handle = 0;
    uint32_t type = 0;
};

class IHidEnumPlatform {
  public:
    virtual ~IHidEnumPlatform() = default;
    // Major * 100 + minor; 0 when the version cannot be read.
    virtual uint32_t GetOsVersionNumber() = 0;
    // The raw-input device list; nothing when either list call fails.
    virtual std::optional<std::vector<RawInputEntry>> RawInputDevices() = 0;
    // Empty text on failure.
    virtual std::string GetRawDeviceName(uintptr_t handle) = 0;
    // The set of devices for "USB" or, with empty text, every enumerator; nullptr when the
    // set cannot be opened.
    virtual std::unique_ptr<ISetupDeviceWalk> OpenSetupDevices(std::string_view enumerator) = 0;
};

// Every HID device in raw-input order with its row text, or nothing (no list at all) when the
// OS is older than 5.1, the raw-input list cannot be read or no HID device has a name.
[[nodiscard]] std::optional<std::vector<base::ScaleDeviceRecord>> EnumHidDevices(IHidEnumPlatform& platform);

// One pass over the setup-API devices of `enumerator`, adding to `devices` (first key wins).
// With `wantedKeys` null every device is named.
void pvEnumSetupDevices(IHidEnumPlatform& platform,
                        std::string_view enumerator,
                        const KeySet* wantedKeys,
                        SetupDeviceCollection& devices);

// The name of a device: friendly name, bus-reported description, location information (only
// up to version 5.1), device description, the first one that is not empty.
[[nodiscard]] std::string ChooseSetupName(ISetupDeviceWalk& device, uint32_t osVersion);

// "Name (Class)", or the name alone when it already ends with ")".
[[nodiscard]] std::string MakeDisplayName(const SetupDeviceInfo& info);

// Appends " [2]" ... " [100]" to repeated row texts (compared without regard to case).
void MakeDisplayNamesUnique(std::vector<base::ScaleDeviceRecord>& records);

// The text of a registry property as read with its type: strings up to the first zero byte
// (a multi-string gives its first string), 32-bit numbers in decimal, other types a marker.
[[nodiscard]] std::string RegistryPropertyText(uint32_t regType, std::span<const uint8_t> data);
// The same for a unified device property read in wide form (type 18 = string).
[[nodiscard]] std::string DevicePropertyText(uint32_t propType, std::u16string_view data);

}  // namespace devices
