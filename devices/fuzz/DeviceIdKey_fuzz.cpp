// Fuzzes the match-key parser with arbitrary identifiers and patterns: the first byte splits
// the input into identifier and pattern.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "devices/DeviceIdKey.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string_view all(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t split = std::min<size_t>(data[0], all.size());
    const std::string_view id = all.substr(split);
    const std::string key = devices::ParseDeviceIdKey(id);
    // A key is always made of the identifier's characters, so it can never be longer.
    if (key.size() > id.size()) {
        __builtin_trap();
    }
    (void)devices::ParseDeviceIdKey(id, all.substr(0, split));
    return 0;
}
