#include "devices/DeviceBroadcast.h"

#include <algorithm>
#include <cstring>

#include "devices/TextUtil.h"

namespace devices {

namespace {
// DEV_BROADCAST_HDR: size, device type, reserved (three 32-bit fields).
constexpr size_t kHeaderSize = 12;
constexpr size_t kDevTypeOffset = 4;
// DEV_BROADCAST_VOLUME: header, unit mask, flags.
constexpr size_t kUnitMaskOffset = 12;
constexpr size_t kVolumeFlagsOffset = 16;
// DEV_BROADCAST_DEVICEINTERFACE_W: header, class GUID, name.
constexpr size_t kInterfaceNameOffset = kHeaderSize + 16;
// DEV_BROADCAST_HANDLE: header, then the file handle and the notification handle, both
// aligned to the pointer size.
constexpr size_t kHandleOffset = (kHeaderSize + alignof(void*) - 1) / alignof(void*) * alignof(void*);
constexpr size_t kNotifyHandleOffset = kHandleOffset + sizeof(void*);

template <typename T>
T ReadAt(std::span<const uint8_t> record, size_t offset) {
    T value{};
    if (offset + sizeof(T) <= record.size()) {
        std::memcpy(&value, record.data() + offset, sizeof(T));
    }
    return value;
}
} // namespace

DeviceBroadcast ParseDeviceBroadcast(std::span<const uint8_t> record) {
    DeviceBroadcast out;
    out.devType = ReadAt<uint32_t>(record, kDevTypeOffset);
    switch (out.devType) {
    case kDbtDevTypVolume:
        out.unitMask = ReadAt<uint32_t>(record, kUnitMaskOffset);
        out.volumeFlags = ReadAt<uint16_t>(record, kVolumeFlagsOffset);
        break;
    case kDbtDevTypDeviceInterface: {
        if (record.size() <= kInterfaceNameOffset) {
            break;
        }
        const size_t chars = std::min((record.size() - kInterfaceNameOffset) / 2, kMaxInterfaceNameChars);
        std::u16string name;
        name.reserve(chars);
        for (size_t i = 0; i < chars; ++i) {
            char16_t c = ReadAt<char16_t>(record, kInterfaceNameOffset + 2 * i);
            if (c == u'\0') {
                break;
            }
            name.push_back(c);
        }
        out.interfaceName = Utf16ToUtf8(name);
        break;
    }
    case kDbtDevTypHandle:
        out.notifyHandle = ReadAt<uintptr_t>(record, kNotifyHandleOffset);
        break;
    default:
        break;
    }
    return out;
}

} // namespace devices
