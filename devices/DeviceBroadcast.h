#pragma once
// The device-change broadcast records (the DEV_BROADCAST_HDR family) as one parsed value, so
// the notification logic never reads through a raw message parameter.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace devices {

inline constexpr uint32_t kDbtDeviceArrival = 0x8000;
inline constexpr uint32_t kDbtDeviceQueryRemove = 0x8001;
inline constexpr uint32_t kDbtDeviceQueryRemoveFailed = 0x8002;
inline constexpr uint32_t kDbtDeviceRemovePending = 0x8003;
inline constexpr uint32_t kDbtDeviceRemoveComplete = 0x8004;

inline constexpr uint32_t kDbtDevTypVolume = 2;
inline constexpr uint32_t kDbtDevTypDeviceInterface = 5;
inline constexpr uint32_t kDbtDevTypHandle = 6;

// The interface name is read from a name area of at most 1024 bytes.
inline constexpr size_t kMaxInterfaceNameChars = 512;

struct DeviceBroadcast {
    uint32_t devType = 0;
    uint32_t unitMask = 0;       // volume: bit 0 = drive A
    uint16_t volumeFlags = 0;    // volume
    std::string interfaceName;   // device interface, UTF-8, up to the first zero character
    uintptr_t notifyHandle = 0;  // handle: the subscription the record answers
};

// Parses one record in the layout of this process (pointer-sized handle fields). `record`
// spans the record as its size field gives it; fields beyond its end stay 0 or empty.
// The interface name is read in the form delivered: UTF-16 (to Unicode windows) or the
// single-byte form, whose bytes are kept as they are.
[[nodiscard]] DeviceBroadcast ParseDeviceBroadcast(std::span<const uint8_t> record);

}  // namespace devices
