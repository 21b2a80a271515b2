#include "devices/DeviceNotifications.h"

#include <utility>

namespace devices {

namespace {
// A failing handler must not stop the steps after it (a volume's subscription, default
// processing); nothing of this is ever shown to the user.
template <typename Fn>
void RaiseIgnoringErrors(Fn&& fn) noexcept {
    try {
        std::forward<Fn>(fn)();
    } catch (...) {
    }
}
}  // namespace

DeviceNotifications::~DeviceNotifications() {
    for (uintptr_t& subscription : _hDriveNotify) {
        if (subscription != 0) {
            _volumes.Unsubscribe(std::exchange(subscription, 0));
        }
    }
}

uint32_t DeviceNotifications::GetDeviceType() const {
    return _currentBroadcast != nullptr ? _currentBroadcast->devType : 0;
}

uint32_t DeviceNotifications::GetDeviceFlags() const {
    return GetDeviceType() == kDbtDevTypVolume ? _currentBroadcast->volumeFlags : 0;
}

std::string DeviceNotifications::GetDeviceInterfaceName() const {
    return GetDeviceType() == kDbtDevTypDeviceInterface ? _currentBroadcast->interfaceName : std::string();
}

std::string DeviceNotifications::GetDeviceVolume() const {
    switch (GetDeviceType()) {
        case kDbtDevTypVolume:
            for (int i = 0; i < kDriveCount; ++i) {
                if ((_currentBroadcast->unitMask >> i) & 1U) {
                    return std::string(1, static_cast<char>('A' + i));
                }
            }
            return {};
        case kDbtDevTypHandle:
            // A record without a subscription handle must not match the empty slots.
            if (_currentBroadcast->notifyHandle == 0) {
                return {};
            }
            for (int i = 0; i < kDriveCount; ++i) {
                if (_hDriveNotify[static_cast<size_t>(i)] == _currentBroadcast->notifyHandle) {
                    return std::string(1, static_cast<char>('A' + i));
                }
            }
            return {};
        default:
            return {};
    }
}

bool DeviceNotifications::SetQueryHook(std::string_view drive, bool setHook) {
    int index = -1;
    if (!drive.empty()) {
        char letter = drive.front();
        if (letter >= 'a' && letter <= 'z') {
            letter = static_cast<char>(letter - 'a' + 'A');
        }
        index = static_cast<unsigned char>(letter) - 'A';
    }
    return SetQueryHook(index, setHook);
}

bool DeviceNotifications::SetQueryHook(int driveIndex, bool setHook) {
    if (driveIndex < 0 || driveIndex >= kDriveCount) {
        return false;
    }
    uintptr_t& slot = _hDriveNotify[static_cast<size_t>(driveIndex)];
    if (slot != 0) {
        _volumes.Unsubscribe(std::exchange(slot, 0));
    }
    if (!setHook) {
        return true;
    }
    slot = _volumes.Subscribe(static_cast<char>('A' + driveIndex));
    return slot != 0;
}

uint32_t DeviceNotifications::OnWindowMessage(uint32_t msg, uintptr_t wParam, const DeviceBroadcast* broadcast) {
    if (msg != kWmDeviceChange || wParam < kDbtDeviceArrival || wParam > kDbtDeviceRemoveComplete) {
        return 0;
    }
    return Dispatch(static_cast<uint32_t>(wParam), broadcast);
}

uint32_t DeviceNotifications::Dispatch(uint32_t event, const DeviceBroadcast* broadcast) {
    const uint32_t devType = broadcast != nullptr ? broadcast->devType : 0;
    // A handler may pump messages and so dispatch a nested notification; the outer one's
    // record must be current again when it resumes.
    const DeviceBroadcast* outer = std::exchange(_currentBroadcast, broadcast);
    uint32_t result = 0;
    switch (event) {
        case kDbtDeviceArrival:
            if (devType == kDbtDevTypVolume) {
                (void)SetQueryHook(GetDeviceVolume(), true);  // watch the new volume for query-remove
            }
            RaiseIgnoringErrors([&] { _events.DeviceArrival(*this, devType); });
            break;
        case kDbtDeviceQueryRemove: {
            bool cancel = false;
            RaiseIgnoringErrors([&] { _events.DeviceQueryRemove(*this, devType, cancel); });
            if (cancel) {
                result = kBroadcastQueryDeny;
            }
            break;
        }
        case kDbtDeviceQueryRemoveFailed:
            RaiseIgnoringErrors([&] { _events.DeviceQueryRemoveFailed(*this, devType); });
            break;
        case kDbtDeviceRemovePending:
            RaiseIgnoringErrors([&] { _events.DeviceRemovePending(*this, devType); });
            if (devType == kDbtDevTypVolume) {
                (void)SetQueryHook(GetDeviceVolume(), false);
            }
            break;
        case kDbtDeviceRemoveComplete:
            RaiseIgnoringErrors([&] { _events.DeviceRemoveComplete(*this, devType); });
            break;
        default:
            break;
    }
    _currentBroadcast = outer;
    return result;
}

}  // namespace devices
