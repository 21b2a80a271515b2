#include "devices/UsbHidEnum.h"

#include <algorithm>
#include <cstring>

#include "devices/DeviceIdKey.h"

namespace devices {

namespace {
constexpr uint32_t kRegNone = 0;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegDwordBigEndian = 5;
constexpr uint32_t kRegMultiSz = 7;
constexpr uint32_t kDevPropTypeEmpty = 0;
constexpr uint32_t kDevPropTypeString = 18;
constexpr int kMaxDuplicateSuffix = 100;
}  // namespace

bool SetupDeviceCollection::Add(SetupDeviceInfo info, std::string_view key) {
    if (!key.empty()) {
        if (_index.find(key) != _index.end()) {
            return false;
        }
        _index.emplace(std::string(key), _items.size());
    }
    _items.push_back(std::move(info));
    return true;
}

const SetupDeviceInfo* SetupDeviceCollection::TryGet(std::string_view key) const {
    if (key.empty()) {
        return nullptr;
    }
    auto it = _index.find(key);
    return it == _index.end() ? nullptr : &_items[it->second];
}

bool CollectionTryGet(const SetupDeviceCollection& collection, std::string_view key, SetupDeviceInfo& item) {
    const SetupDeviceInfo* found = collection.TryGet(key);
    if (found == nullptr) {
        return false;
    }
    item = *found;
    return true;
}

std::string ChooseSetupName(ISetupDeviceWalk& device, uint32_t osVersion) {
    std::string name = device.FriendlyName();
    if (name.empty()) {
        name = device.BusReportedDescription();
    }
    // The location text names the port, not the device, on later versions; it served only
    // where nothing better existed.
    if (name.empty() && osVersion <= kOsVersionXp) {
        name = device.LocationInformation();
    }
    if (name.empty()) {
        name = device.DeviceDescription();
    }
    return name;
}

void pvEnumSetupDevices(IHidEnumPlatform& platform,
                        std::string_view enumerator,
                        const KeySet* wantedKeys,
                        SetupDeviceCollection& devices) {
    std::unique_ptr<ISetupDeviceWalk> walk = platform.OpenSetupDevices(enumerator);
    if (!walk) {
        return;
    }
    while (walk->Next()) {
        std::string hardwareId = walk->HardwareId();
        if (hardwareId.empty()) {
            continue;
        }
        SetupDeviceInfo info;
        info.key = ParseDeviceIdKey(hardwareId);
        if (wantedKeys == nullptr || wantedKeys->contains(info.key)) {
            info.className = walk->ClassName();
            info.name = ChooseSetupName(*walk, platform.GetOsVersionNumber());
        }
        std::string key = info.key;
        if (key.empty() || devices.Contains(key)) {
            key.clear();  // kept without a key: never found, so the first device with a key wins
        }
        (void)devices.Add(std::move(info), key);
    }
}

std::string MakeDisplayName(const SetupDeviceInfo& info) {
    if (!info.name.empty() && info.name.back() == ')') {
        return info.name;
    }
    return info.name + " (" + info.className + ")";
}

void MakeDisplayNamesUnique(std::vector<base::ScaleDeviceRecord>& records) {
    std::set<std::string, base::LessIgnoreCase> used;
    for (base::ScaleDeviceRecord& record : records) {
        if (used.contains(record.displayName)) {
            for (int k = 2; k <= kMaxDuplicateSuffix; ++k) {
                std::string candidate = record.displayName + " [" + std::to_string(k) + "]";
                if (!used.contains(candidate)) {
                    record.displayName = std::move(candidate);
                    break;
                }
            }
        }
        // With every suffix taken the name stays as it is; the set already holds it.
        used.insert(record.displayName);
    }
}

std::optional<std::vector<base::ScaleDeviceRecord>> EnumHidDevices(IHidEnumPlatform& platform) {
    if (platform.GetOsVersionNumber() < kOsVersionXp) {
        return std::nullopt;
    }
    std::optional<std::vector<RawInputEntry>> entries = platform.RawInputDevices();
    if (!entries) {
        return std::nullopt;
    }

    std::vector<std::string> names;
    KeySet hidKeys;
    for (const RawInputEntry& entry : *entries) {
        if (entry.type != kRimTypeHid) {
            continue;  // keyboards and mice
        }
        std::string name = platform.GetRawDeviceName(entry.handle);
        if (name.empty()) {
            continue;
        }
        std::string key = ParseDeviceIdKey(name);
        if (!key.empty()) {
            hidKeys.insert(std::move(key));
        }
        names.push_back(std::move(name));
    }
    if (names.empty()) {
        return std::nullopt;
    }

    // The USB pass first: its device wins over the HID child with the same key, whose name is
    // usually the generic "HID-compliant device".
    SetupDeviceCollection setupDevices;
    if (!entries->empty()) {
        pvEnumSetupDevices(platform, "USB", &hidKeys, setupDevices);
        // The unrestricted pass walks every device of the system, and can only add keys the USB
        // pass did not find: when that one found them all, the walk would change nothing.
        if (std::any_of(hidKeys.begin(), hidKeys.end(),
                        [&](const std::string& k) { return !setupDevices.Contains(k); })) {
            pvEnumSetupDevices(platform, "", &hidKeys, setupDevices);
        }
    }

    std::vector<base::ScaleDeviceRecord> records;
    records.reserve(names.size());
    for (std::string& name : names) {
        base::ScaleDeviceRecord record;
        SetupDeviceInfo info;
        record.displayName =
            CollectionTryGet(setupDevices, ParseDeviceIdKey(name), info) ? MakeDisplayName(info) : name;
        record.devicePath = std::move(name);
        records.push_back(std::move(record));
    }
    MakeDisplayNamesUnique(records);
    return records;
}

std::string RegistryPropertyText(uint32_t regType, std::span<const uint8_t> data) {
    switch (regType) {
        case kRegNone:
            return {};
        case kRegSz:
        case kRegExpandSz:
        case kRegBinary:
        case kRegMultiSz: {
            auto end = std::find(data.begin(), data.end(), uint8_t{0});
            return std::string(data.begin(), end);
        }
        case kRegDword:
        case kRegDwordBigEndian: {
            if (data.size() < 4) {
                return {};
            }
            uint32_t value = 0;
            std::memcpy(&value, data.data(), sizeof value);
            return std::to_string(value);
        }
        default:
            return "Unknown reg prop type (" + std::to_string(regType) + ")";
    }
}

std::string DevicePropertyText(uint32_t propType, std::u16string_view data) {
    if (propType == kDevPropTypeEmpty) {
        return {};
    }
    if (propType != kDevPropTypeString) {
        return "Unknown prop type (" + std::to_string(propType) + ")";
    }
    return base::Utf16ToUtf8(data.substr(0, data.find(u'\0')));
}

}  // namespace devices
