#include "devices/DeviceBroadcast.h"

#include <algorithm>
#include <cstring>

#include "base/TextUtil.h"

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

constexpr size_t kNameAreaBytes = 2 * kMaxInterfaceNameChars;

template <typename T>
T ReadAt(std::span<const uint8_t> record, size_t offset) {
    T value{};
    if (offset + sizeof(T) <= record.size()) {
        std::memcpy(&value, record.data() + offset, sizeof(T));
    }
    return value;
}
// A Unicode window gets the name in UTF-16, but a record in the single-byte form must not be
// misread. Every interface name starts with a printable character, which in UTF-16 has a zero
// second byte; two non-zero leading bytes can only be the single-byte form.
bool IsSingleByteName(std::span<const uint8_t> area) {
    return area.size() >= 2 && area[0] != 0 && area[1] != 0;
}

std::string SingleByteName(std::span<const uint8_t> area) {
    auto end = std::find(area.begin(), area.end(), uint8_t{0});
    return std::string(area.begin(), end);
}

std::string WideName(std::span<const uint8_t> area) {
    std::u16string name;
    for (size_t i = 0; i + 1 < area.size(); i += 2) {
        const auto c = static_cast<char16_t>(area[i] | (area[i + 1] << 8));
        if (c == u'\0') {
            break;
        }
        name.push_back(c);
    }
    return base::Utf16ToUtf8(name);
}
}  // namespace

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
            const std::span<const uint8_t> area =
                record.subspan(kInterfaceNameOffset, std::min(record.size() - kInterfaceNameOffset, kNameAreaBytes));
            out.interfaceName = IsSingleByteName(area) ? SingleByteName(area) : WideName(area);
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

}  // namespace devices
