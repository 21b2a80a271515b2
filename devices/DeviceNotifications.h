#pragma once
// Device arrival and removal: turns each device-change broadcast into one of five events and
// answers questions about the broadcast being dispatched. The window, its subclass and the
// platform subscriptions are in DeviceChangeWindow_win.cpp; this is the logic they feed.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "devices/DeviceBroadcast.h"

namespace devices {

inline constexpr uint32_t kWmDeviceChange = 0x0219;
inline constexpr uint32_t kBroadcastQueryDeny = 0x424D5144;
inline constexpr int kDriveCount = 26;

class DeviceNotifications;

// The five events, each with the record's device type. The defaults do nothing.
class IDeviceEvents {
  public:
    virtual ~IDeviceEvents() = default;
    virtual void DeviceArrival(const DeviceNotifications& /*notifications*/, uint32_t /*devType*/) {}
    virtual void DeviceQueryRemove(const DeviceNotifications& /*notifications*/,
                                   uint32_t /*devType*/,
                                   bool& /*cancel*/) {}
    virtual void DeviceQueryRemoveFailed(const DeviceNotifications& /*notifications*/, uint32_t /*devType*/) {}
    virtual void DeviceRemovePending(const DeviceNotifications& /*notifications*/, uint32_t /*devType*/) {}
    virtual void DeviceRemoveComplete(const DeviceNotifications& /*notifications*/, uint32_t /*devType*/) {}
};

// Query-remove subscriptions for mounted volumes.
class IVolumeNotifications {
  public:
    virtual ~IVolumeNotifications() = default;
    // Opens the volume of `driveLetter` ('A'..'Z') and subscribes to its handle
    // notifications; the subscription's handle, or 0 when either step fails.
    virtual uintptr_t Subscribe(char driveLetter) = 0;
    virtual void Unsubscribe(uintptr_t subscription) = 0;
};

class DeviceNotifications {
  public:
    DeviceNotifications(IVolumeNotifications& volumes, IDeviceEvents& events) noexcept
        : _volumes(volumes), _events(events) {}
    DeviceNotifications(const DeviceNotifications&) = delete;
    DeviceNotifications& operator=(const DeviceNotifications&) = delete;
    ~DeviceNotifications();  // drops every volume subscription

    // Queries about the broadcast being dispatched; 0 or empty text outside a dispatch.
    [[nodiscard]] uint32_t GetDeviceFlags() const;
    [[nodiscard]] std::string GetDeviceInterfaceName() const;
    [[nodiscard]] uint32_t GetDeviceType() const;
    [[nodiscard]] std::string GetDeviceVolume() const;

    // Watches (setHook) or stops watching a volume for query-remove. `drive` is an index
    // (0 = A) or a text whose first letter names the drive. False for no drive, a failed
    // subscription, or (with setHook) nothing to watch.
    bool SetQueryHook(int driveIndex, bool setHook = false);
    bool SetQueryHook(std::string_view drive, bool setHook = false);

    // The hook's work for one message: 0 means "continue with default processing", anything
    // else is the window procedure's result (a vetoed query-remove). `broadcast` is the
    // parsed record of a WM_DEVICECHANGE, or null when it carries none.
    uint32_t OnWindowMessage(uint32_t msg, uintptr_t wParam, const DeviceBroadcast* broadcast);

  private:
    uint32_t Dispatch(uint32_t event, const DeviceBroadcast* broadcast);

    IVolumeNotifications& _volumes;
    IDeviceEvents& _events;
    const DeviceBroadcast* _currentBroadcast = nullptr;
    std::array<uintptr_t, kDriveCount> _hDriveNotify{};
};

}  // namespace devices
