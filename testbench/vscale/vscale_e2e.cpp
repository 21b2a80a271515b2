// End to end under Wine: the virtual scale looks, to a Win32 program, the way a USB HID POS
// scale does on Windows, in every respect Pesora relies on: raw-input list, setupapi nodes and
// names, overlapped reads, the zero command written to it, arrival and removal notifications,
// several scales at once. The bench installs the bus before the run.
#include <windows.h>

#include <dbt.h>
// mingw-w64's hidsdi.h declares its functions without C linkage.
extern "C" {
#include <hidsdi.h>
}
#include <setupapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "VirtualScale.h"
#include "base/win/Handles_win.h"
#include "testbench/vscale/VScaleClient_win.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(tolower(c)); });
    return text;
}

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());  // device names are ASCII
}

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

e2e::ScaleOptions Scale(std::string serial) {
    e2e::ScaleOptions options;
    options.serial = std::move(serial);
    return options;
}

struct RawHid {
    std::string name;
    RID_DEVICE_INFO info{};
};

std::vector<RawHid> RawHidDevices() {
    UINT count = 0;
    EXPECT_EQ(GetRawInputDeviceList(nullptr, &count, sizeof(RAWINPUTDEVICELIST)), 0u);
    std::vector<RAWINPUTDEVICELIST> list(count);
    UINT got = GetRawInputDeviceList(list.data(), &count, sizeof(RAWINPUTDEVICELIST));
    EXPECT_NE(got, static_cast<UINT>(-1));
    std::vector<RawHid> devices;
    for (UINT i = 0; i < got; ++i) {
        if (list[i].dwType != RIM_TYPEHID) {
            continue;
        }
        UINT chars = 0;
        GetRawInputDeviceInfoW(list[i].hDevice, RIDI_DEVICENAME, nullptr, &chars);
        std::wstring name(chars + 1, L'\0');
        if (GetRawInputDeviceInfoW(list[i].hDevice, RIDI_DEVICENAME, name.data(), &chars) == static_cast<UINT>(-1)) {
            continue;
        }
        RawHid device;
        device.name = Narrow(name.c_str());
        device.info.cbSize = sizeof(device.info);
        UINT size = sizeof(device.info);
        GetRawInputDeviceInfoW(list[i].hDevice, RIDI_DEVICEINFO, &device.info, &size);
        devices.push_back(device);
    }
    return devices;
}

std::optional<RawHid> FindRaw(const std::string& path) {
    for (const RawHid& device : RawHidDevices()) {
        if (Lower(device.name) == Lower(path)) {
            return device;
        }
    }
    return std::nullopt;
}

// Wine refreshes a process's raw-input device list at most every 2 seconds, so a change shows
// up there only after that; returns how long it took, or nothing.
std::optional<double> WaitForRaw(const std::string& path, bool present, int timeoutMs = 5000) {
    auto start = Clock::now();
    while (MsSince(start) < timeoutMs) {
        if (FindRaw(path).has_value() == present) {
            return MsSince(start);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return std::nullopt;
}

struct SetupNode {
    std::string instanceId, hardwareId, className, friendlyName, deviceDesc;
};

std::string Property(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property) {
    char buffer[1024] = {};
    if (!SetupDiGetDeviceRegistryPropertyA(set, device, property, nullptr, reinterpret_cast<BYTE*>(buffer),
                                           sizeof(buffer) - 2, nullptr)) {
        return {};
    }
    return buffer;  // a multi-string's first entry
}

// The walk Pesora does: all classes, present, profile, with an enumerator or none.
std::vector<SetupNode> SetupNodes(const char* enumerator) {
    base::unique_hdevinfo set(
        SetupDiGetClassDevsA(nullptr, enumerator, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES | DIGCF_PROFILE));
    std::vector<SetupNode> nodes;
    if (!set) {
        return nodes;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set.get(), i, &device); ++i) {
        SetupNode node;
        char id[512] = {};
        SetupDiGetDeviceInstanceIdA(set.get(), &device, id, sizeof(id), nullptr);
        node.instanceId = id;
        node.hardwareId = Property(set.get(), &device, SPDRP_HARDWAREID);
        node.className = Property(set.get(), &device, SPDRP_CLASS);
        node.friendlyName = Property(set.get(), &device, SPDRP_FRIENDLYNAME);
        node.deviceDesc = Property(set.get(), &device, SPDRP_DEVICEDESC);
        nodes.push_back(node);
    }
    return nodes;
}

std::optional<SetupNode> FindNode(const char* enumerator, const std::string& instanceId) {
    for (const SetupNode& node : SetupNodes(enumerator)) {
        if (Lower(node.instanceId) == Lower(instanceId)) {
            return node;
        }
    }
    return std::nullopt;
}

base::unique_hfile OpenScale(const std::string& path, DWORD flags) {
    return base::unique_hfile(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags, nullptr));
}

struct ReadResult {
    DWORD error = ERROR_SUCCESS;
    Bytes bytes;
};

// One overlapped read the way Pesora does it, with a bounded wait.
ReadResult ReadOne(HANDLE handle, DWORD size, DWORD timeoutMs) {
    base::unique_handle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED request{};
    request.hEvent = event.get();
    Bytes buffer(size);
    DWORD got = 0;
    ReadResult result;
    if (!ReadFile(handle, buffer.data(), size, &got, &request) && GetLastError() != ERROR_IO_PENDING) {
        result.error = GetLastError();
        return result;
    }
    if (WaitForSingleObject(event.get(), timeoutMs) != WAIT_OBJECT_0) {
        CancelIo(handle);
        (void)GetOverlappedResult(handle, &request, &got, TRUE);  // let the cancelled read finish
        result.error = WAIT_TIMEOUT;
        return result;
    }
    if (!GetOverlappedResult(handle, &request, &got, FALSE)) {
        result.error = GetLastError();
        return result;
    }
    buffer.resize(got);
    result.bytes = buffer;
    return result;
}

// Reads until the expected report comes (the scale keeps repeating the older one meanwhile).
bool ReadUntil(HANDLE handle, const Bytes& expected, DWORD size = 8, DWORD timeoutMs = 3000) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < deadline) {
        ReadResult read = ReadOne(handle, size, 500);
        if (read.error == ERROR_SUCCESS && read.bytes == expected) {
            return true;
        }
    }
    return false;
}

// A top-level ANSI window registered for the notifications of every interface class, as Pesora
// registers its own, on a thread that keeps pumping (Wine sends with a 2-second time-out).
class DeviceEvents {
  public:
    struct Event {
        WPARAM type;
        std::string name;
        bool wide;
        Clock::time_point at;
        std::string probed;  // what the probe saw while the notification was being handled
    };
    // Runs inside the window procedure, as a program's own handler would (Pesora enumerates there).
    using Probe = std::function<std::string(const std::string& name)>;

    explicit DeviceEvents(Probe probe = {}) : _probe(std::move(probe)) {
        _thread = std::thread([this] { Pump(); });
        std::unique_lock lock(_mutex);
        _ready.wait(lock, [this] { return _window != nullptr || _failed; });
    }
    ~DeviceEvents() {
        PostThreadMessageA(_threadId, WM_QUIT, 0, 0);
        _thread.join();
    }
    bool Registered() const { return !_failed; }

    // The first event of that type naming path (any case), seen after since.
    std::optional<Event> WaitFor(WPARAM type, const std::string& path, Clock::time_point since, int timeoutMs = 5000) {
        std::unique_lock lock(_mutex);
        std::optional<Event> found;
        _changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            for (const Event& event : _events) {
                if (event.type == type && event.at >= since && Lower(event.name) == Lower(path)) {
                    found = event;
                    return true;
                }
            }
            return false;
        });
        return found;
    }

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_DEVICECHANGE && lParam != 0) {
            auto* self = reinterpret_cast<DeviceEvents*>(GetWindowLongPtrA(window, GWLP_USERDATA));
            auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
            if (self && header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
                // The record's form is not always the window's: read the one delivered.
                auto* ansi = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(lParam);
                bool wide = ansi->dbcc_name[0] != 0 && ansi->dbcc_name[1] == 0;
                std::string name =
                    wide ? Narrow(reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(lParam)->dbcc_name)
                         : std::string(ansi->dbcc_name);
                auto at = Clock::now();
                std::string probed = self->_probe ? self->_probe(name) : std::string();
                std::lock_guard lock(self->_mutex);
                self->_events.push_back(Event{wParam, name, wide, at, probed});
                self->_changed.notify_all();
            }
            return TRUE;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    void Pump() {
        _threadId = GetCurrentThreadId();
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "VScaleE2eEvents";
        RegisterClassA(&windowClass);
        HWND window = CreateWindowExA(0, windowClass.lpszClassName, "", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                                      windowClass.hInstance, nullptr);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        DEV_BROADCAST_DEVICEINTERFACE_A filter{};
        filter.dbcc_size = sizeof(filter);
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        base::unique_hdevnotify notify(RegisterDeviceNotificationA(
            window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE | DEVICE_NOTIFY_ALL_INTERFACE_CLASSES));
        {
            std::lock_guard lock(_mutex);
            _failed = window == nullptr || !notify;
            _window = window;
        }
        _ready.notify_all();
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0) > 0) {
            DispatchMessageA(&message);
        }
        notify.reset();
        DestroyWindow(window);
    }

    Probe _probe;
    std::thread _thread;
    DWORD _threadId = 0;
    HWND _window = nullptr;
    bool _failed = false;
    std::mutex _mutex;
    std::condition_variable _ready;
    std::condition_variable _changed;
    std::vector<Event> _events;
};

// Plugs scales for one test and unplugs them after it, whatever happens in between.
class Plugged {
  public:
    explicit Plugged(std::vector<e2e::ScaleOptions> scales) : _scales(std::move(scales)) {
        for (const auto& scale : _scales) {
            std::string error;
            EXPECT_TRUE(e2e::Plug(scale, &error)) << error;
        }
    }
    ~Plugged() {
        for (const auto& scale : _scales) {
            std::string error;
            EXPECT_TRUE(e2e::Unplug(scale.serial, &error)) << error;
        }
    }

  private:
    std::vector<e2e::ScaleOptions> _scales;
};

class VirtualScale : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_TRUE(vscale::BusRunning()) << "the bench did not install the virtual scale"; }
};

TEST_F(VirtualScale, RawInputListsEachScaleAsAPosScaleHidDevice) {
    e2e::ScaleOptions composite = Scale("1003");
    composite.vendorId = 0x1234;  // not in the minidriver's INF: installed through the compatible ID
    composite.productId = 0xABCD;
    composite.interfaceNumber = 1;
    composite.reportLength = 8;
    std::vector<e2e::ScaleOptions> scales = {Scale("1001"), Scale("1002"), composite};
    Plugged plugged(scales);
    struct Row {
        int line;
        e2e::ScaleOptions scale;
        std::string nameHas;
    } rows[] = {
        {__LINE__, scales[0], "#VID_0922&PID_8003#1001#"},
        {__LINE__, scales[1], "#VID_0922&PID_8003#1002#"},  // identical to the first but for its serial
        {__LINE__, scales[2], "#VID_1234&PID_ABCD&MI_01#1003#"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        ASSERT_TRUE(WaitForRaw(e2e::HidPath(row.scale), true)) << e2e::HidPath(row.scale);
        auto raw = FindRaw(e2e::HidPath(row.scale));
        ASSERT_TRUE(raw);
        EXPECT_NE(raw->name.find(row.nameHas), std::string::npos) << raw->name;
        EXPECT_EQ(raw->info.dwType, static_cast<DWORD>(RIM_TYPEHID));
        EXPECT_EQ(raw->info.hid.usUsagePage, 0x8D);
        EXPECT_EQ(raw->info.hid.usUsage, 0x01);
        EXPECT_EQ(raw->info.hid.dwVendorId, row.scale.vendorId);
        EXPECT_EQ(raw->info.hid.dwProductId, row.scale.productId);
    }
}

TEST_F(VirtualScale, SetupApiListsTheUsbNodeWithItsIdsAndName) {
    e2e::ScaleOptions named = Scale("1101");
    named.friendlyName = "Shipping Scale";
    e2e::ScaleOptions composite = Scale("1102");
    composite.interfaceNumber = 1;
    Plugged plugged({named, composite});
    struct Row {
        int line;
        const char* enumerator;
        std::string instanceId, hardwareId, className, friendlyName, deviceDesc;
    } rows[] = {
        {__LINE__, "USB", "USB\\VID_0922&PID_8003\\1101", "USB\\VID_0922&PID_8003&REV_0100", "HIDClass",
         "Shipping Scale", "Virtual USB Scale"},
        {__LINE__, nullptr, "USB\\VID_0922&PID_8003\\1101", "USB\\VID_0922&PID_8003&REV_0100", "HIDClass",
         "Shipping Scale", "Virtual USB Scale"},
        {__LINE__, "USB", "USB\\VID_0922&PID_8003&MI_01\\1102", "USB\\VID_0922&PID_8003&REV_0100&MI_01", "HIDClass", "",
         "Virtual USB Scale"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        auto node = FindNode(row.enumerator, row.instanceId);
        ASSERT_TRUE(node) << row.instanceId;
        EXPECT_EQ(node->hardwareId, row.hardwareId);
        EXPECT_EQ(node->className, row.className);
        EXPECT_EQ(node->friendlyName, row.friendlyName);
        EXPECT_EQ(node->deviceDesc, row.deviceDesc);
    }
    // The HID child hidclass makes of each is listed too, with no enumerator given.
    for (const auto& scale : {named, composite}) {
        auto hid = FindNode(nullptr, vscale::HidInstanceId(scale));
        ASSERT_TRUE(hid) << vscale::HidInstanceId(scale);
        EXPECT_EQ(hid->className, "HIDClass");
        EXPECT_FALSE(FindNode("USB", vscale::HidInstanceId(scale)));
    }
}

TEST_F(VirtualScale, OverlappedReadDeliversTheReportThatWasSet) {
    e2e::ScaleOptions six = Scale("1201");
    e2e::ScaleOptions eight = Scale("1202");
    eight.reportLength = 8;
    Plugged plugged({six, eight});
    struct Row {
        int line;
        e2e::ScaleOptions scale;
        DWORD bufferSize;
        DWORD expectedError;
        Bytes expected;
    } rows[] = {
        // Pesora asks for 8 bytes whatever the report's length: a 6-byte report comes whole.
        {__LINE__, six, 8, ERROR_SUCCESS, {0x03, 0x04, 0x02, 0xFF, 0xD2, 0x04}},
        {__LINE__, six, 6, ERROR_SUCCESS, {0x03, 0x04, 0x02, 0xFF, 0xD2, 0x04}},
        {__LINE__, six, 64, ERROR_SUCCESS, {0x03, 0x04, 0x02, 0xFF, 0xD2, 0x04}},
        {__LINE__, eight, 8, ERROR_SUCCESS, {0x03, 0x04, 0x02, 0xFF, 0xD2, 0x04, 0x00, 0x00}},
        // A buffer shorter than the report is refused rather than given a cut report.
        {__LINE__, six, 5, ERROR_INVALID_USER_BUFFER, {}},
        {__LINE__, eight, 6, ERROR_INVALID_USER_BUFFER, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        base::unique_hfile handle = OpenScale(e2e::HidPath(row.scale), FILE_FLAG_OVERLAPPED);
        ASSERT_TRUE(handle) << GetLastError();
        ASSERT_TRUE(e2e::SetWeight(row.scale.serial, 2, 2, 0, 0));
        ASSERT_TRUE(ReadUntil(handle.get(), vscale::EncodeScaleReport(2, 2, 0, 0, row.scale.reportLength)));
        auto start = Clock::now();
        ASSERT_TRUE(e2e::SetWeight(row.scale.serial, 4, 2, -1, 1234));
        if (row.expectedError != ERROR_SUCCESS) {
            ReadResult read = ReadOne(handle.get(), row.bufferSize, 1000);
            EXPECT_EQ(read.error, row.expectedError);
            continue;
        }
        ASSERT_TRUE(ReadUntil(handle.get(), row.expected, row.bufferSize));
        std::printf("[ figure ] report latency (set to read, %lu-byte buffer): %.1f ms\n", row.bufferSize,
                    MsSince(start));
    }
}

TEST_F(VirtualScale, QueuedReportsArriveInOrderThenTheRepeatedOneResumes) {
    e2e::ScaleOptions scale = Scale("1301");
    scale.intervalMs = 50;
    Plugged plugged({scale});
    base::unique_hfile handle = OpenScale(e2e::HidPath(scale), FILE_FLAG_OVERLAPPED);
    ASSERT_TRUE(handle);
    ASSERT_TRUE(e2e::SetWeight(scale.serial, 4, 2, 0, 500));
    const Bytes repeated = {0x03, 0x04, 0x02, 0x00, 0xF4, 0x01};
    ASSERT_TRUE(ReadUntil(handle.get(), repeated));
    const std::vector<Bytes> script = {
        {0x03, 0x03, 0x02, 0x00, 0x0A, 0x00},  // in motion
        {0x03, 0x04, 0x0B, 0xFF, 0x7B, 0x04},  // stable, ounces, exponent -1
        {0x03, 0x05, 0x02, 0x00, 0xF6, 0xFF},  // under zero
    };
    for (const Bytes& report : script) {
        ASSERT_TRUE(e2e::Queue(scale.serial, report));
    }
    // Skip what the scale sent before the script, then expect the script exactly.
    ASSERT_TRUE(ReadUntil(handle.get(), script[0]));
    for (size_t i = 1; i < script.size(); ++i) {
        SCOPED_TRACE(i);
        ReadResult read = ReadOne(handle.get(), 8, 1000);
        EXPECT_EQ(read.error, static_cast<DWORD>(ERROR_SUCCESS));
        EXPECT_EQ(read.bytes, script[i]);
    }
    ReadResult after = ReadOne(handle.get(), 8, 1000);
    EXPECT_EQ(after.bytes, repeated);
}

TEST_F(VirtualScale, OnChangeScaleSendsOnlyWhenTheReadingChanges) {
    e2e::ScaleOptions scale = Scale("1401");
    scale.onChangeOnly = true;
    scale.intervalMs = 20;
    Plugged plugged({scale});
    base::unique_hfile handle = OpenScale(e2e::HidPath(scale), FILE_FLAG_OVERLAPPED);
    ASSERT_TRUE(handle);
    ASSERT_TRUE(e2e::SetWeight(scale.serial, 4, 2, 0, 7));
    ASSERT_TRUE(ReadUntil(handle.get(), {0x03, 0x04, 0x02, 0x00, 0x07, 0x00}));
    auto sent = e2e::ReportsSent(scale.serial);
    ASSERT_TRUE(sent);
    EXPECT_EQ(ReadOne(handle.get(), 8, 400).error, static_cast<DWORD>(WAIT_TIMEOUT));  // silent while unchanged
    ASSERT_TRUE(e2e::SetWeight(scale.serial, 4, 2, 0, 7));                             // same reading: still silent
    EXPECT_EQ(ReadOne(handle.get(), 8, 400).error, static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(e2e::ReportsSent(scale.serial), sent);
    ASSERT_TRUE(e2e::SetWeight(scale.serial, 4, 2, 0, 8));
    ReadResult read = ReadOne(handle.get(), 8, 2000);
    EXPECT_EQ(read.bytes, Bytes({0x03, 0x04, 0x02, 0x00, 0x08, 0x00}));
}

TEST_F(VirtualScale, ZeroCommandWriteIsRecordedExactly) {
    e2e::ScaleOptions scale = Scale("1501");
    Plugged plugged({scale});
    ASSERT_TRUE(e2e::ClearOutputs(scale.serial));
    struct Row {
        int line;
        Bytes written;
    } rows[] = {
        {__LINE__, {0x02, 0x02, 0x00, 0x00, 0x00}},  // zero scale
        {__LINE__, {0x02, 0x01, 0x00, 0x00, 0x00}},  // enforced zero return
    };
    std::vector<Bytes> expected;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        // As Pesora sends it: a second, synchronous handle and one 5-byte write.
        base::unique_hfile handle = OpenScale(e2e::HidPath(scale), 0);
        ASSERT_TRUE(handle) << GetLastError();
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(handle.get(), row.written.data(), 5, &written, nullptr)) << GetLastError();
        EXPECT_EQ(written, 5u);
        expected.push_back(row.written);
        EXPECT_EQ(e2e::Outputs(scale.serial), expected);
    }
    ASSERT_TRUE(e2e::ClearOutputs(scale.serial));
    EXPECT_TRUE(e2e::Outputs(scale.serial).empty());
}

TEST_F(VirtualScale, HidRequestsSeeTheScalesStringsAndRecordOutputReports) {
    e2e::ScaleOptions given = Scale("1551");
    given.product = "Parcel Scale 15";
    e2e::ScaleOptions plain = Scale("1552");
    Plugged plugged({given, plain});
    using Getter = BOOLEAN(__stdcall*)(HANDLE, PVOID, ULONG);
    struct Row {
        int line;
        e2e::ScaleOptions scale;
        Getter get;
        std::wstring expected;
    } rows[] = {
        {__LINE__, given, HidD_GetProductString, L"Parcel Scale 15"},
        {__LINE__, plain, HidD_GetProductString, L"Virtual POS Scale"},
        {__LINE__, given, HidD_GetManufacturerString, L"Pesora Virtual Devices"},
        {__LINE__, plain, HidD_GetSerialNumberString, L"1552"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        base::unique_hfile handle = OpenScale(e2e::HidPath(row.scale), 0);
        ASSERT_TRUE(handle) << GetLastError();
        wchar_t text[127] = {};
        ASSERT_TRUE(row.get(handle.get(), text, sizeof(text))) << GetLastError();
        EXPECT_EQ(std::wstring(text), row.expected);
    }
    // The other way to send an output report; it is recorded like a write.
    ASSERT_TRUE(e2e::ClearOutputs(plain.serial));
    base::unique_hfile handle = OpenScale(e2e::HidPath(plain), 0);
    ASSERT_TRUE(handle);
    uint8_t zero[5] = {0x02, 0x02, 0x00, 0x00, 0x00};
    EXPECT_TRUE(HidD_SetOutputReport(handle.get(), zero, sizeof(zero))) << GetLastError();
    EXPECT_EQ(e2e::Outputs(plain.serial), std::vector<Bytes>({Bytes(zero, zero + 5)}));
}

TEST_F(VirtualScale, PlugAndUnplugAreAnnouncedWithTheInterfaceName) {
    e2e::ScaleOptions scale = Scale("1601");
    scale.friendlyName = "Announced Scale";
    const std::string path = e2e::HidPath(scale);
    // A program that lists scales when one arrives must find it named already.
    DeviceEvents events([&](const std::string& name) {
        if (Lower(name) != Lower(path)) {
            return std::string();
        }
        auto node = FindNode("USB", vscale::UsbInstanceId(scale));
        return node ? node->friendlyName : std::string("(no node)");
    });
    ASSERT_TRUE(events.Registered());

    for (int cycle = 1; cycle <= 3; ++cycle) {
        SCOPED_TRACE(cycle);
        auto plugAt = Clock::now();
        std::string error;
        ASSERT_TRUE(e2e::Plug(scale, &error)) << error;
        auto arrival = events.WaitFor(DBT_DEVICEARRIVAL, path, plugAt);
        ASSERT_TRUE(arrival) << "no arrival for " << path;
        EXPECT_EQ(arrival->probed, "Announced Scale");
        std::printf("[ figure ] cycle %d: plug to arrival %.1f ms (name delivered as %s)\n", cycle,
                    std::chrono::duration<double, std::milli>(arrival->at - plugAt).count(),
                    arrival->wide ? "UTF-16, a _W record" : "ANSI, an _A record");
        auto listed = WaitForRaw(path, true);
        ASSERT_TRUE(listed);
        std::printf("[ figure ] cycle %d: raw-input list shows the scale %.0f ms after Plug returned\n", cycle,
                    *listed);

        base::unique_hfile before = OpenScale(path, FILE_FLAG_OVERLAPPED);
        ASSERT_TRUE(before) << GetLastError();
        auto unplugAt = Clock::now();
        ASSERT_TRUE(e2e::Unplug(scale.serial, &error)) << error;
        auto removal = events.WaitFor(DBT_DEVICEREMOVECOMPLETE, path, unplugAt);
        ASSERT_TRUE(removal) << "no removal for " << path;
        std::printf("[ figure ] cycle %d: unplug to removal %.1f ms\n", cycle,
                    std::chrono::duration<double, std::milli>(removal->at - unplugAt).count());

        // The gone scale: the old handle reads nothing, a new open fails, the lists drop it.
        EXPECT_NE(ReadOne(before.get(), 8, 1000).error, static_cast<DWORD>(ERROR_SUCCESS));
        EXPECT_FALSE(OpenScale(path, FILE_FLAG_OVERLAPPED));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        EXPECT_FALSE(FindNode("USB", vscale::UsbInstanceId(scale)));
        EXPECT_FALSE(FindNode(nullptr, vscale::HidInstanceId(scale)));
        auto dropped = WaitForRaw(path, false);
        ASSERT_TRUE(dropped);
    }
}

// The tool itself, as people and scripts use it: exit codes and what it prints.
std::string ToolPath() {
    char module[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    std::string folder(module);
    folder.resize(folder.find_last_of("\\/"));  // .../e2e-bin
    return folder.substr(0, folder.find_last_of("\\/")) + "\\vscale\\vscale.exe";
}

struct ToolRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;  // stdout and stderr
};

ToolRun RunTool(const std::string& arguments) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    ToolRun run;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        return run;
    }
    base::unique_handle reader(readEnd);
    base::unique_handle writer(writeEnd);
    SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writer.get();
    startup.hStdError = writer.get();
    startup.hStdInput = nullptr;
    PROCESS_INFORMATION process{};
    std::string command = "\"" + ToolPath() + "\" " + arguments;
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process)) {
        run.output = "cannot start " + ToolPath();
        return run;
    }
    base::unique_handle processHandle(process.hProcess);
    base::unique_handle threadHandle(process.hThread);
    writer.reset();  // the child holds the only write end now: reading ends when it exits
    char buffer[512];
    DWORD got = 0;
    while (ReadFile(reader.get(), buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        run.output.append(buffer, got);
    }
    WaitForSingleObject(processHandle.get(), 30000);
    GetExitCodeProcess(processHandle.get(), &run.exitCode);
    return run;
}

TEST_F(VirtualScale, ToolReportsSuccessAndFailureByExitCode) {
    struct Row {
        int line;
        std::string arguments;
        DWORD exitCode;
        std::string outputHas;
    } rows[] = {
        {__LINE__, "install", 0, "already running"},
        {__LINE__, "plug --serial 1801 --len 8", 0, "plugged 1801: \\\\?\\HID#VID_0922&PID_8003#1801#"},
        {__LINE__, "plug --serial 1801", 1, "already plugged"},
        {__LINE__, "set --serial 1801 --status 4 --unit 2 --exp -1 --weight 1234", 0, ""},
        {__LINE__, "state", 0,
         "1801  USB\\VID_0922&PID_8003\\1801  len 8  every 100 ms  started  report 03 04 02 FF D2 04 00 00"},
        {__LINE__, "queue --serial 1801 03 04 02 00 01 00", 0, ""},
        {__LINE__, "outputs --serial 1801 --clear", 0, ""},
        {__LINE__, "unplug --serial 1801", 0, "unplugged 1801"},
        {__LINE__, "unplug --serial 1801", 1, "no scale with serial 1801 is plugged"},
        {__LINE__, "set --serial 1801 --weight 5", 1, "no scale with serial 1801"},
        {__LINE__, "plug --serial 1802 --len 7", 2, "--len wants 6 or 8"},
        {__LINE__, "weigh", 2, "unknown command"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        ToolRun run = RunTool(row.arguments);
        EXPECT_EQ(run.exitCode, row.exitCode) << run.output;
        EXPECT_NE(run.output.find(row.outputHas), std::string::npos) << run.output;
    }
}

TEST_F(VirtualScale, RefusesASerialThatIsAlreadyPlugged) {
    e2e::ScaleOptions scale = Scale("1701");
    Plugged plugged({scale});
    e2e::ScaleOptions twin = scale;
    twin.interfaceNumber = 2;  // even as another interface: the serial names one scale
    std::string error;
    EXPECT_FALSE(e2e::Plug(twin, &error));
    EXPECT_NE(error.find("already plugged"), std::string::npos) << error;
    EXPECT_FALSE(e2e::Unplug("1799", &error));
    EXPECT_FALSE(e2e::SetWeight("1799", 4, 2, 0, 1, &error));
}

}  // namespace
