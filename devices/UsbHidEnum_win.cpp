#include "devices/UsbHidEnum_win.h"

#include <windows.h>

#include <devpropdef.h>
#include <setupapi.h>

#include <cstring>
#include <vector>

#include "base/win/Handles_win.h"
#include "base/win/WinText_win.h"

namespace devices::win {

namespace {

// DEVPKEY_Device_BusReportedDeviceDesc: the product string the device itself reports.
constexpr DEVPROPKEY kBusReportedDeviceDesc = {
    {0x540b947e, 0x8b40, 0x45bc, {0xa8, 0xa2, 0x6a, 0x0b, 0x89, 0x4c, 0xbd, 0xa2}},
    4};

// A property larger than this is no name; refusing it keeps a broken driver from making us
// allocate gigabytes.
constexpr DWORD kMaxPropertyBytes = 1U << 20;

using GetDevicePropertyWFn =
    BOOL(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA, const DEVPROPKEY*, DEVPROPTYPE*, PBYTE, DWORD, PDWORD, DWORD);

// Looked up at run time: systems before Vista lack the call, and the name then comes from
// the other properties.
GetDevicePropertyWFn DevicePropertyCall() {
    static const GetDevicePropertyWFn fn = [] {
        HMODULE setupapi = ::GetModuleHandleW(L"setupapi.dll");
        return setupapi != nullptr ? reinterpret_cast<GetDevicePropertyWFn>(reinterpret_cast<void*>(
                                         ::GetProcAddress(setupapi, "SetupDiGetDevicePropertyW")))
                                   : nullptr;
    }();
    return fn;
}

// The wide call: names are UTF-8 inside, and the ANSI form turns every character the code page
// lacks (a Chinese or Greek device name on a Western system) into "?".
std::string GetRegistryPropertyText(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    DWORD regType = REG_NONE;
    DWORD required = 0;
    if (!::SetupDiGetDeviceRegistryPropertyW(set, &device, property, &regType, nullptr, 0, &required) &&
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return {};  // the device has no such property
    }
    size_t bufferSize = 0;
    bool wideText = false;
    switch (regType) {
        case REG_NONE:
            return {};
        case REG_SZ:
        case REG_EXPAND_SZ:
        case REG_MULTI_SZ:
            wideText = true;
            [[fallthrough]];
        case REG_BINARY:
            if (required > kMaxPropertyBytes) {
                return {};
            }
            bufferSize = static_cast<size_t>(required) + 2;
            break;
        case REG_DWORD:
        case REG_DWORD_BIG_ENDIAN:
            bufferSize = 4;
            break;
        default:
            return RegistryPropertyText(regType, {});
    }
    std::vector<uint8_t> buffer(bufferSize, 0);
    if (!::SetupDiGetDeviceRegistryPropertyW(set, &device, property, &regType, buffer.data(),
                                             static_cast<DWORD>(buffer.size()), nullptr)) {
        return {};
    }
    if (wideText) {
        std::u16string text(buffer.size() / 2, u'\0');
        std::memcpy(text.data(), buffer.data(), text.size() * 2);
        return DevicePropertyText(18 /* DEVPROP_TYPE_STRING */, text);
    }
    return RegistryPropertyText(regType, buffer);
}

std::string GetDevicePropertyText(HDEVINFO set, SP_DEVINFO_DATA& device, const DEVPROPKEY& key) {
    GetDevicePropertyWFn call = DevicePropertyCall();
    if (call == nullptr) {
        return {};
    }
    DEVPROPTYPE propType = DEVPROP_TYPE_EMPTY;
    DWORD required = 0;
    if (!call(set, &device, &key, &propType, nullptr, 0, &required, 0) &&
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return {};
    }
    if (propType != DEVPROP_TYPE_STRING) {
        return DevicePropertyText(propType, {});
    }
    if (required > kMaxPropertyBytes) {
        return {};
    }
    std::vector<wchar_t> buffer(static_cast<size_t>(required) + 1, L'\0');
    if (!call(set, &device, &key, &propType, reinterpret_cast<PBYTE>(buffer.data()),
              static_cast<DWORD>(buffer.size() * sizeof(wchar_t)), nullptr, 0)) {
        return {};
    }
    return DevicePropertyText(propType,
                              std::u16string_view(reinterpret_cast<const char16_t*>(buffer.data()), buffer.size()));
}

class SetupDeviceWalkWin final : public ISetupDeviceWalk {
  public:
    explicit SetupDeviceWalkWin(base::unique_hdevinfo set) : _set(std::move(set)) {}

    bool Next() override {
        _device = {};
        _device.cbSize = sizeof(SP_DEVINFO_DATA);
        return ::SetupDiEnumDeviceInfo(_set.get(), _index++, &_device) != FALSE;
    }
    std::string HardwareId() override { return Registry(SPDRP_HARDWAREID); }
    std::string ClassName() override { return Registry(SPDRP_CLASS); }
    std::string FriendlyName() override { return Registry(SPDRP_FRIENDLYNAME); }
    std::string BusReportedDescription() override {
        return GetDevicePropertyText(_set.get(), _device, kBusReportedDeviceDesc);
    }
    std::string LocationInformation() override { return Registry(SPDRP_LOCATION_INFORMATION); }
    std::string DeviceDescription() override { return Registry(SPDRP_DEVICEDESC); }

  private:
    std::string Registry(DWORD property) { return GetRegistryPropertyText(_set.get(), _device, property); }

    base::unique_hdevinfo _set;
    SP_DEVINFO_DATA _device{};
    DWORD _index = 0;
};

}  // namespace

uint32_t UsbHidEnumPlatformWin::GetOsVersionNumber() {
    if (_osVersion == 0) {
        OSVERSIONINFOA info{};
        info.dwOSVersionInfoSize = sizeof info;
        if (!::GetVersionExA(&info)) {
            return 0;  // asked again next time
        }
        _osVersion = info.dwMajorVersion * 100 + info.dwMinorVersion;
    }
    return _osVersion;
}

std::optional<std::vector<RawInputEntry>> UsbHidEnumPlatformWin::RawInputDevices() {
    constexpr UINT kFailed = static_cast<UINT>(-1);
    UINT count = 0;
    if (::GetRawInputDeviceList(nullptr, &count, sizeof(RAWINPUTDEVICELIST)) == kFailed) {
        return std::nullopt;
    }
    std::vector<RAWINPUTDEVICELIST> list(count);
    UINT delivered = 0;
    if (count != 0) {
        delivered = ::GetRawInputDeviceList(list.data(), &count, sizeof(RAWINPUTDEVICELIST));
        if (delivered == kFailed) {
            return std::nullopt;  // a device came between the two calls; the next refresh sees it
        }
    }
    std::vector<RawInputEntry> entries;
    entries.reserve(delivered);
    for (UINT i = 0; i < delivered && i < list.size(); ++i) {
        entries.push_back({reinterpret_cast<uintptr_t>(list[i].hDevice), list[i].dwType});
    }
    return entries;
}

std::string UsbHidEnumPlatformWin::GetRawDeviceName(uintptr_t handle) {
    constexpr UINT kFailed = static_cast<UINT>(-1);
    HANDLE device = reinterpret_cast<HANDLE>(handle);
    UINT chars = 0;
    if (::GetRawInputDeviceInfoW(device, RIDI_DEVICENAME, nullptr, &chars) == kFailed || chars == 0 ||
        chars > kMaxPropertyBytes) {
        return {};
    }
    std::vector<wchar_t> name(static_cast<size_t>(chars) + 1, L'\0');
    if (::GetRawInputDeviceInfoW(device, RIDI_DEVICENAME, name.data(), &chars) == kFailed) {
        return {};  // gone since the list was taken
    }
    return base::win::WideToUtf8(std::wstring_view(name.data()));
}

std::unique_ptr<ISetupDeviceWalk> UsbHidEnumPlatformWin::OpenSetupDevices(std::string_view enumerator) {
    const std::string ansi = base::win::Utf8ToAnsi(enumerator);
    base::unique_hdevinfo set(::SetupDiGetClassDevsA(/* ClassGuid */ nullptr, ansi.empty() ? nullptr : ansi.c_str(),
                                                     /* hwndParent */ nullptr,
                                                     DIGCF_PRESENT | DIGCF_ALLCLASSES | DIGCF_PROFILE));
    if (!set) {
        return nullptr;
    }
    return std::make_unique<SetupDeviceWalkWin>(std::move(set));
}

std::optional<std::vector<base::ScaleDeviceRecord>> UsbHidEnumerator::Enumerate() {
    // An enumeration that fails half-way shows as "no list"; nothing is reported to the user.
    try {
        return EnumHidDevices(_platform);
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace devices::win
