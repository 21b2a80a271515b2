#include "testbench/vscale/VScaleClient_win.h"

#include <windows.h>

#include <newdev.h>
#include <setupapi.h>

#include <algorithm>
#include <memory>
#include <thread>

#include "base/win/Handles_win.h"

namespace vscale {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// {4d36e97d-e325-11ce-bfc1-08002be10318}: the System setup class of the bus device.
constexpr GUID kSystemClass = {0x4d36e97d, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

// Identifiers are ASCII; names given by tests are UTF-8.
std::wstring Widen(const std::string& text) {
    std::wstring out(text.size(), L'\0');
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                      static_cast<int>(out.size()));
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

std::string ErrorText(DWORD error) {
    char buffer[256] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, buffer,
                                  sizeof(buffer), nullptr);
    while (length > 0 && (buffer[length - 1] == '\n' || buffer[length - 1] == '\r' || buffer[length - 1] == '.')) {
        buffer[--length] = 0;
    }
    return "error " + std::to_string(error) + (length ? " (" + std::string(buffer) + ")" : "");
}

Outcome Fail(std::string message) {
    return Outcome{false, std::move(message), {}};
}

base::unique_hfile OpenControl() {
    return base::unique_hfile(CreateFileA(VSCALE_CONTROL_PATH, GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
}

// One request to the bus; on failure returns the Win32 error.
DWORD Request(uint32_t code, const void* in, DWORD inSize, void* out, DWORD outSize) {
    base::unique_hfile control = OpenControl();
    if (!control) {
        return ERROR_SERVICE_NOT_ACTIVE;
    }
    DWORD returned = 0;
    if (!DeviceIoControl(control.get(), code, const_cast<void*>(in), inSize, out, outSize, &returned, nullptr)) {
        return GetLastError();
    }
    return ERROR_SUCCESS;
}

std::string RequestError(DWORD error) {
    switch (error) {
        case ERROR_SERVICE_NOT_ACTIVE:
            return "the virtual scale bus is not running (run \"vscale install\" in this Wine session)";
        case ERROR_NOT_FOUND:
            return "no scale with that serial is plugged";
        case ERROR_ALREADY_EXISTS:
            return "a scale with that serial is already plugged (or still being removed)";
        case ERROR_NO_SYSTEM_RESOURCES:
            return "no room for another scale (16 at most)";
        case ERROR_INVALID_PARAMETER:
            return "the bus refused the request as malformed";
        default:
            return ErrorText(error);
    }
}

VSCALE_SERIAL_REQUEST SerialRequest(const std::string& serial) {
    VSCALE_SERIAL_REQUEST request{};
    serial.copy(request.serial, sizeof(request.serial) - 1);
    return request;
}

template <typename Predicate>
bool WaitFor(milliseconds timeout, Predicate done) {
    auto deadline = Clock::now() + timeout;
    for (;;) {
        if (done()) {
            return true;
        }
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(milliseconds(5));
    }
}

// Sets (or, with an empty name, removes) the friendly name of a device node.
bool NameDeviceNode(const std::string& instanceId, const std::string& name) {
    base::unique_hdevinfo set(SetupDiCreateDeviceInfoList(nullptr, nullptr));
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    if (!set || !SetupDiOpenDeviceInfoW(set.get(), Widen(instanceId).c_str(), nullptr, 0, &device)) {
        return false;
    }
    std::wstring wide = Widen(name);
    if (name.empty()) {
        // A name left from an earlier plug of the same serial must not outlive it.
        (void)SetupDiSetDeviceRegistryPropertyW(set.get(), &device, SPDRP_FRIENDLYNAME, nullptr, 0);
        return true;
    }
    return SetupDiSetDeviceRegistryPropertyW(set.get(), &device, SPDRP_FRIENDLYNAME,
                                             reinterpret_cast<const BYTE*>(wide.c_str()),
                                             static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))) != FALSE;
}

// Wine lists a device node until it is removed from setupapi, present or not.
void RemoveDeviceNode(const std::string& instanceId) {
    base::unique_hdevinfo set(SetupDiCreateDeviceInfoList(nullptr, nullptr));
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    if (set && SetupDiOpenDeviceInfoW(set.get(), Widen(instanceId).c_str(), nullptr, 0, &device)) {
        // Best effort: a node that cannot be removed only shows up as a stale list entry.
        (void)SetupDiCallClassInstaller(DIF_REMOVE, set.get(), &device);
    }
}

bool InterfaceOpens(const std::string& path) {
    base::unique_hfile handle(
        CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    return handle.valid();
}

bool SameFile(const std::wstring& a, const std::wstring& b) {
    auto read = [](const std::wstring& path, std::string& out) {
        base::unique_hfile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
        if (!file) {
            return false;
        }
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(file.get(), buffer, sizeof(buffer), &got, nullptr) && got > 0) {
            out.append(buffer, got);
        }
        return true;
    };
    std::string left;
    std::string right;
    return read(a, left) && read(b, right) && left == right;
}

Outcome CopyInto(const std::wstring& source, const std::wstring& target) {
    if (CopyFileW(source.c_str(), target.c_str(), FALSE)) {
        return Outcome{true, {}, {}};
    }
    DWORD error = GetLastError();
    // A driver Wine has loaded cannot be replaced; the same build in place is fine.
    if (SameFile(source, target)) {
        return Outcome{true, {}, {}};
    }
    std::string message = "cannot copy " + std::string(source.begin(), source.end()) + ": " + ErrorText(error);
    if (error == ERROR_SHARING_VIOLATION) {
        message += "; a different build is loaded: end the Wine session (wineserver -k) and install again";
    }
    return Fail(message);
}

bool BusNodeExists() {
    base::unique_hdevinfo set(SetupDiGetClassDevsW(nullptr, L"ROOT", nullptr, DIGCF_ALLCLASSES));
    if (!set) {
        return false;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set.get(), i, &device); ++i) {
        wchar_t ids[512] = {};
        if (SetupDiGetDeviceRegistryPropertyW(set.get(), &device, SPDRP_HARDWAREID, nullptr,
                                              reinterpret_cast<BYTE*>(ids), sizeof(ids) - sizeof(wchar_t), nullptr) &&
            _wcsicmp(ids, Widen(VSCALE_BUS_HARDWARE_ID).c_str()) == 0) {
            return true;
        }
    }
    return false;
}

Outcome CreateBusNode() {
    base::unique_hdevinfo set(SetupDiCreateDeviceInfoList(&kSystemClass, nullptr));
    if (!set) {
        return Fail("SetupDiCreateDeviceInfoList: " + ErrorText(GetLastError()));
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    if (!SetupDiCreateDeviceInfoW(set.get(), L"PesoraVScale", &kSystemClass, nullptr, nullptr, DICD_GENERATE_ID,
                                  &device)) {
        return Fail("SetupDiCreateDeviceInfo: " + ErrorText(GetLastError()));
    }
    std::wstring ids = Widen(VSCALE_BUS_HARDWARE_ID);
    ids.push_back(L'\0');  // REG_MULTI_SZ: one entry, then the empty one
    if (!SetupDiSetDeviceRegistryPropertyW(set.get(), &device, SPDRP_HARDWAREID,
                                           reinterpret_cast<const BYTE*>(ids.c_str()),
                                           static_cast<DWORD>((ids.size() + 1) * sizeof(wchar_t)))) {
        return Fail("setting the bus hardware ID: " + ErrorText(GetLastError()));
    }
    if (!SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set.get(), &device)) {
        return Fail("registering the bus device: " + ErrorText(GetLastError()));
    }
    return Outcome{true, {}, {}};
}

// A report for the scale to repeat (set) or to send once in turn (queue).
Outcome SendReport(uint32_t code,
                   const std::string& verb,
                   const std::string& serial,
                   const std::vector<uint8_t>& report) {
    if (report.empty() || report.size() > VSCALE_MAX_REPORT) {
        return Fail("a report has 1 to 64 bytes");
    }
    VSCALE_REPORT_REQUEST request{};
    serial.copy(request.serial, sizeof(request.serial) - 1);
    request.length = static_cast<uint32_t>(report.size());
    std::copy(report.begin(), report.end(), request.bytes);
    if (DWORD error = Request(code, &request, sizeof(request), nullptr, 0)) {
        return Fail(verb + " " + serial + ": " +
                    (error == ERROR_NOT_ENOUGH_QUOTA ? "the queue is full (64 reports)" : RequestError(error)));
    }
    return Outcome{true, {}, {}};
}

}  // namespace

bool BusRunning() {
    return OpenControl().valid();
}

Outcome Install(const std::wstring& sourceDir, milliseconds timeout) {
    auto start = Clock::now();
    if (BusRunning()) {
        return Outcome{true, "the virtual scale bus is already running", {}};
    }
    wchar_t system[MAX_PATH] = {};
    wchar_t windows[MAX_PATH] = {};
    if (!GetSystemDirectoryW(system, MAX_PATH) || !GetWindowsDirectoryW(windows, MAX_PATH)) {
        return Fail("cannot find the system folders: " + ErrorText(GetLastError()));
    }
    const std::wstring drivers = std::wstring(system) + L"\\drivers\\";
    const std::wstring infs = std::wstring(windows) + L"\\inf\\";
    for (const std::wstring name : {L"vscalebus.sys", L"vscalehid.sys", L"vscalebus.inf", L"vscalehid.inf"}) {
        Outcome copied = CopyInto(sourceDir + L"\\" + name, (name.ends_with(L".sys") ? drivers : infs) + name);
        if (!copied.ok) {
            return copied;
        }
    }
    if (!BusNodeExists()) {
        Outcome created = CreateBusNode();
        if (!created.ok) {
            return created;
        }
    }
    BOOL reboot = FALSE;
    std::wstring hardwareId = Widen(VSCALE_BUS_HARDWARE_ID);
    if (!UpdateDriverForPlugAndPlayDevicesW(nullptr, hardwareId.c_str(), (infs + L"vscalebus.inf").c_str(),
                                            INSTALLFLAG_FORCE, &reboot)) {
        return Fail("installing the bus driver: " + ErrorText(GetLastError()));
    }
    if (!WaitFor(timeout, BusRunning)) {
        return Fail("the bus driver was installed but its control device did not appear");
    }
    auto elapsed = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    return Outcome{true, "installed the virtual scale bus", elapsed};
}

Outcome Plug(const PlugOptions& options, milliseconds timeout) {
    if (!IsValidSerial(options.serial)) {
        return Fail("invalid serial \"" + options.serial + "\"");
    }
    auto start = Clock::now();
    VSCALE_CONFIG config = ToConfig(options);
    // Hold the child's start until its node carries the right name: the HID device is
    // announced when it starts, and a listener enumerating then must see the final name.
    config.flags |= VSCALE_FLAG_HOLD_START;
    if (DWORD error = Request(IOCTL_VSCALE_PLUG, &config, sizeof(config), nullptr, 0)) {
        return Fail("plug " + options.serial + ": " + RequestError(error));
    }
    const std::string usbId = UsbInstanceId(options);
    bool named = WaitFor(timeout, [&] { return NameDeviceNode(usbId, options.friendlyName); });
    auto release = SerialRequest(options.serial);
    (void)Request(IOCTL_VSCALE_RELEASE, &release, sizeof(release), nullptr, 0);  // the driver stops waiting anyway
    if (!named) {
        return Fail("plug " + options.serial + ": the device node " + usbId + " did not appear");
    }
    const std::string path = HidInterfacePath(options);
    if (!WaitFor(timeout, [&] { return InterfaceOpens(path); })) {
        return Fail("plug " + options.serial + ": the HID interface " + path + " did not open");
    }
    auto elapsed = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    return Outcome{true, path, elapsed};
}

Outcome Unplug(const std::string& serial, milliseconds timeout) {
    std::string error;
    auto scale = FindScale(serial, &error);
    if (!scale) {
        return Fail("unplug " + serial + ": " + error);
    }
    auto start = Clock::now();
    auto request = SerialRequest(serial);
    if (DWORD code = Request(IOCTL_VSCALE_UNPLUG, &request, sizeof(request), nullptr, 0)) {
        return Fail("unplug " + serial + ": " + RequestError(code));
    }
    const bool gone = WaitFor(timeout, [&] { return State(nullptr) && !FindScale(serial, nullptr); });
    if (!gone) {
        return Fail("unplug " + serial + ": the removal did not finish");
    }
    auto elapsed = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    PlugOptions options = FromConfig(scale->config);
    RemoveDeviceNode(HidInstanceId(options));
    RemoveDeviceNode(UsbInstanceId(options));
    return Outcome{true, "unplugged " + serial, elapsed};
}

Outcome SetReading(const std::string& serial, const ScaleReading& reading) {
    std::string error;
    auto scale = FindScale(serial, &error);
    if (!scale) {
        return Fail("set " + serial + ": " + error);
    }
    return SendReport(
        IOCTL_VSCALE_SET_REPORT, "set", serial,
        EncodeScaleReport(reading.status, reading.unit, reading.exponent, reading.weight, scale->config.reportLength));
}

Outcome Queue(const std::string& serial, const std::vector<uint8_t>& report) {
    return SendReport(IOCTL_VSCALE_QUEUE_REPORT, "queue", serial, report);
}

std::optional<std::vector<std::vector<uint8_t>>> Outputs(const std::string& serial, bool clear, std::string* error) {
    auto request = SerialRequest(serial);
    auto outputs = std::make_unique<VSCALE_OUTPUTS>();
    if (DWORD code = Request(clear ? IOCTL_VSCALE_TAKE_OUTPUTS : IOCTL_VSCALE_GET_OUTPUTS, &request, sizeof(request),
                             outputs.get(), sizeof(VSCALE_OUTPUTS))) {
        if (error) {
            *error = "outputs " + serial + ": " + RequestError(code);
        }
        return std::nullopt;
    }
    std::vector<std::vector<uint8_t>> reports;
    for (uint32_t i = 0; i < outputs->count && i < VSCALE_MAX_OUTPUTS; ++i) {
        const VSCALE_REPORT& report = outputs->reports[i];
        reports.emplace_back(report.bytes, report.bytes + std::min<uint32_t>(report.length, VSCALE_MAX_REPORT));
    }
    return reports;
}

Outcome ClearOutputs(const std::string& serial) {
    auto request = SerialRequest(serial);
    if (DWORD error = Request(IOCTL_VSCALE_CLEAR_OUTPUTS, &request, sizeof(request), nullptr, 0)) {
        return Fail("clear outputs " + serial + ": " + RequestError(error));
    }
    return Outcome{true, {}, {}};
}

std::optional<VSCALE_SCALE_STATE> FindScale(const std::string& serial, std::string* error) {
    auto state = State(error);
    if (!state) {
        return std::nullopt;
    }
    for (uint32_t i = 0; i < state->count && i < VSCALE_MAX_SCALES; ++i) {
        if (serial == state->scales[i].config.serial) {
            return state->scales[i];
        }
    }
    if (error) {
        *error = "no scale with serial " + serial + " is plugged";
    }
    return std::nullopt;
}

std::optional<VSCALE_STATE> State(std::string* error) {
    VSCALE_STATE state{};
    if (DWORD code = Request(IOCTL_VSCALE_GET_STATE, nullptr, 0, &state, sizeof(state))) {
        if (error) {
            *error = RequestError(code);
        }
        return std::nullopt;
    }
    return state;
}

}  // namespace vscale
