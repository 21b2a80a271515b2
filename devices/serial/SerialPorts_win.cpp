#include "devices/serial/SerialPorts_win.h"

#include <setupapi.h>

#include <string>

#include "base/win/WinText_win.h"
#include "devices/serial/SerialPorts.h"

namespace devices::serial::win {

namespace {

// GUID_DEVCLASS_PORTS: the setup class of COM and LPT ports.
constexpr GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
constexpr wchar_t kSerialCommKey[] = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr wchar_t kDeviceMapKey[] = L"HARDWARE\\DEVICEMAP";
constexpr DWORD kMaxText = 512;  // characters; names are far shorter

std::string RegistryText(HKEY key, const wchar_t* value) {
    wchar_t text[kMaxText + 1]{};
    DWORD type = REG_NONE;
    DWORD bytes = kMaxText * sizeof(wchar_t);
    if (::RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    return base::win::WideToUtf8(std::wstring_view(text, bytes / sizeof(wchar_t)).substr(0, std::wcslen(text)));
}

std::vector<std::string> PortsOfSerialComm() {
    std::vector<std::string> ports;
    base::unique_hkey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return ports;  // no serial port at all has ever been there
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[kMaxText + 1]{};
        wchar_t data[kMaxText + 1]{};
        DWORD nameLength = kMaxText;
        DWORD dataBytes = kMaxText * sizeof(wchar_t);
        DWORD type = REG_NONE;
        const LSTATUS status =
            ::RegEnumValueW(key.get(), i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataBytes);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (status == ERROR_SUCCESS && type == REG_SZ) {
            ports.push_back(base::win::WideToUtf8(data));
        }
    }
    return ports;
}

// The friendly name of every present device of the Ports class, by its port name.
std::vector<KnownPort> NamedPorts() {
    std::vector<KnownPort> named;
    base::unique_hdevinfo set{::SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT)};
    if (!set) {
        return named;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set.get(), i, &device); ++i) {
        base::unique_hkey key{::SetupDiOpenDevRegKey(set.get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ)};
        if (key.get() == INVALID_HANDLE_VALUE) {
            (void)key.release();  // the call's failure value, nothing to close
            continue;
        }
        const std::string port = RegistryText(key.get(), L"PortName");
        wchar_t friendly[kMaxText + 1]{};
        DWORD type = REG_NONE;
        if (port.empty() || !::SetupDiGetDeviceRegistryPropertyW(set.get(), &device, SPDRP_FRIENDLYNAME, &type,
                                                                 reinterpret_cast<BYTE*>(friendly),
                                                                 kMaxText * sizeof(wchar_t), nullptr)) {
            continue;
        }
        named.push_back({port, base::win::WideToUtf8(friendly)});
    }
    return named;
}

}  // namespace

// Only the ports the system maps are listed: a Ports device without a mapping cannot be opened.
std::optional<std::vector<base::ScaleDeviceRecord>> SerialPortEnumeratorWin::Enumerate() {
    const std::vector<std::string> mapped = PortsOfSerialComm();
    if (mapped.empty()) {
        return std::vector<base::ScaleDeviceRecord>{};
    }
    const std::vector<KnownPort> named = NamedPorts();
    std::vector<KnownPort> ports;
    for (const std::string& port : mapped) {
        std::string friendly;
        for (const KnownPort& n : named) {
            if (base::EqualsIgnoreCase(n.port, port)) {
                friendly = n.friendlyName;
            }
        }
        ports.push_back({port, friendly});
    }
    return SerialPortRows(std::move(ports));
}

SerialPortWatch::SerialPortWatch(HWND window, UINT message)
    : _changed(::CreateEventW(nullptr, /* bManualReset */ FALSE, /* bInitialState */ FALSE, nullptr)),
      _wake(window, message, /* tag */ 0) {}

// The system makes SERIALCOMM with the first serial port: until then its parent is watched.
bool SerialPortWatch::Arm() {
    if (!_changed) {
        return false;
    }
    if (!_key || _whole) {
        base::unique_hkey serialComm;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, KEY_NOTIFY, serialComm.put()) == ERROR_SUCCESS) {
            _key = std::move(serialComm);
            _whole = false;
        } else if (!_key) {
            if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDeviceMapKey, 0, KEY_NOTIFY, _key.put()) != ERROR_SUCCESS) {
                return false;
            }
            _whole = true;
        }
    }
    if (::RegNotifyChangeKeyValue(_key.get(), /* bWatchSubtree */ _whole ? TRUE : FALSE,
                                  REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET, _changed.get(),
                                  /* fAsynchronous */ TRUE) != ERROR_SUCCESS) {
        return false;
    }
    return _wake.Arm(_changed.get());
}

}  // namespace devices::serial::win
