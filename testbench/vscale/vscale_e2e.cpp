// End to end under Wine: the virtual scale looks, to a Win32 program, the way a USB HID POS
// scale does on Windows, in every respect Pesora relies on. The rhythm of the reports is held by
// the pacer's unit tests; here the driver is shown to follow it. The bench installs the bus.
#include <windows.h>

#include <dbt.h>
// mingw-w64's hidsdi.h declares its functions without C linkage.
extern "C" {
#include <hidsdi.h>
}
#include <setupapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

#include "Fixture.h"
#include "base/win/Handles_win.h"
#include "testbench/vscale/VScaleClient_win.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

std::string Lower(std::string text) {
    CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// The raw-input device with this name (any case), as Pesora lists scales.
std::optional<RID_DEVICE_INFO> FindRaw(const std::string& path) {
    UINT count = 0;
    (void)GetRawInputDeviceList(nullptr, &count, sizeof(RAWINPUTDEVICELIST));
    std::vector<RAWINPUTDEVICELIST> list(count);
    count = GetRawInputDeviceList(list.data(), &count, sizeof(RAWINPUTDEVICELIST));
    for (UINT i = 0; i < count && count != static_cast<UINT>(-1); ++i) {
        wchar_t name[512] = {};
        UINT chars = 512;
        RID_DEVICE_INFO info{};
        UINT size = info.cbSize = sizeof(info);
        if (list[i].dwType == RIM_TYPEHID &&
            GetRawInputDeviceInfoW(list[i].hDevice, RIDI_DEVICENAME, name, &chars) > 0 &&
            Lower(e2e::Utf8(name)) == Lower(path) &&
            GetRawInputDeviceInfoW(list[i].hDevice, RIDI_DEVICEINFO, &info, &size) > 0) {
            return info;
        }
    }
    return std::nullopt;
}

// Wine refreshes a process's raw-input device list at most every 2 seconds.
bool WaitForRaw(const std::string& path, bool present) {
    return e2e::WaitUntil([&] { return FindRaw(path).has_value() == present; }, 5s);
}

struct SetupNode {
    std::string hardwareId, className, friendlyName, deviceDesc;
    bool operator==(const SetupNode&) const = default;
};

// The walk Pesora does: all classes, present, profile, with an enumerator or none.
std::optional<SetupNode> FindNode(const char* enumerator, const std::string& instanceId) {
    base::unique_hdevinfo set(
        SetupDiGetClassDevsA(nullptr, enumerator, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES | DIGCF_PROFILE));
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    for (DWORD i = 0; set && SetupDiEnumDeviceInfo(set.get(), i, &device); ++i) {
        char id[512] = {};
        SetupDiGetDeviceInstanceIdA(set.get(), &device, id, sizeof(id), nullptr);
        if (Lower(id) != Lower(instanceId)) {
            continue;
        }
        const auto property = [&](DWORD which) {
            char buffer[1024] = {};
            (void)SetupDiGetDeviceRegistryPropertyA(set.get(), &device, which, nullptr, reinterpret_cast<BYTE*>(buffer),
                                                    sizeof(buffer) - 2, nullptr);
            return std::string(buffer);  // a multi-string's first entry
        };
        return SetupNode{property(SPDRP_HARDWAREID), property(SPDRP_CLASS), property(SPDRP_FRIENDLYNAME),
                         property(SPDRP_DEVICEDESC)};
    }
    return std::nullopt;
}

base::unique_hfile OpenScale(const e2e::ScaleOptions& scale, DWORD flags = FILE_FLAG_OVERLAPPED) {
    return base::unique_hfile(CreateFileA(vscale::HidInterfacePath(scale).c_str(), GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags, nullptr));
}

// One overlapped read the way Pesora does it, with a bounded wait: the bytes, or the error.
std::pair<DWORD, Bytes> ReadOne(HANDLE handle, DWORD size, DWORD timeoutMs = 1000) {
    base::unique_handle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED request{};
    request.hEvent = event.get();
    Bytes buffer(size);
    DWORD got = 0;
    if (!ReadFile(handle, buffer.data(), size, &got, &request) && GetLastError() != ERROR_IO_PENDING) {
        return {GetLastError(), {}};
    }
    if (WaitForSingleObject(event.get(), timeoutMs) != WAIT_OBJECT_0) {
        CancelIo(handle);  // the read ends as aborted
    }
    if (!GetOverlappedResult(handle, &request, &got, TRUE)) {
        return {GetLastError() == ERROR_OPERATION_ABORTED ? DWORD{WAIT_TIMEOUT} : GetLastError(), {}};
    }
    buffer.resize(got);
    return {ERROR_SUCCESS, buffer};
}

// Reads until the expected report comes (the scale keeps repeating the older one meanwhile).
bool ReadUntil(HANDLE handle, const Bytes& expected, DWORD size = 8) {
    const std::pair<DWORD, Bytes> wanted{ERROR_SUCCESS, expected};
    return e2e::WaitUntil([&] { return ReadOne(handle, size, 500) == wanted; }, 3s);
}

// Each scale is a POS scale in the raw-input list and a named USB node with its HID child in
// setupapi, spelt as Windows spells them (two scales that differ only in their serial are two),
// and reads as one.
TEST(VirtualScale, ListedAsWindowsListsAUsbPosScaleAndReadsLikeOne) {
    e2e::ScaleOptions named = e2e::Scale::Options("1001", "Shipping Scale");
    named.product = "Parcel Scale 15";
    e2e::ScaleOptions composite = e2e::Scale::Options("1003", {}, 0xABCD);
    composite.vendorId = 0x1234;  // not in the minidriver's INF: installed through the compatible ID
    composite.interfaceNumber = 1;
    composite.reportLength = 8;
    e2e::Scale plugged[] = {e2e::Scale(named), e2e::Scale(e2e::Scale::Options("1002")), e2e::Scale(composite)};
    struct Row {
        int line;
        e2e::ScaleOptions scale;
        std::string usbId;
        SetupNode usb;
    } rows[] = {
        {__LINE__,
         named,
         "USB\\VID_0922&PID_8003\\1001",
         {"USB\\VID_0922&PID_8003&REV_0100", "HIDClass", "Shipping Scale", "Virtual USB Scale"}},
        {__LINE__,
         e2e::Scale::Options("1002"),
         "USB\\VID_0922&PID_8003\\1002",
         {"USB\\VID_0922&PID_8003&REV_0100", "HIDClass", "Test Scale 1002", "Virtual USB Scale"}},
        {__LINE__,
         composite,
         "USB\\VID_1234&PID_ABCD&MI_01\\1003",
         {"USB\\VID_1234&PID_ABCD&REV_0100&MI_01", "HIDClass", "Test Scale 1003", "Virtual USB Scale"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        const std::string path = vscale::HidInterfacePath(row.scale);
        ASSERT_TRUE(WaitForRaw(path, true)) << path;
        const RID_DEVICE_INFO raw = *FindRaw(path);
        EXPECT_EQ(raw.dwType, static_cast<DWORD>(RIM_TYPEHID));
        EXPECT_EQ(raw.hid.usUsagePage, 0x8D);
        EXPECT_EQ(raw.hid.usUsage, 0x01);
        EXPECT_EQ(raw.hid.dwVendorId, row.scale.vendorId);
        EXPECT_EQ(raw.hid.dwProductId, row.scale.productId);
        EXPECT_EQ(FindNode("USB", row.usbId), row.usb);
        EXPECT_EQ(FindNode(nullptr, row.usbId), row.usb);
        const auto hid = FindNode(nullptr, vscale::HidInstanceId(row.scale));
        ASSERT_TRUE(hid) << vscale::HidInstanceId(row.scale);
        EXPECT_EQ(hid->className, "HIDClass");
        EXPECT_FALSE(FindNode("USB", vscale::HidInstanceId(row.scale)));
    }
    // An overlapped read gets exactly one report, the one set last; Pesora asks for 8 bytes whatever
    // the report's length. A buffer shorter than the report is refused rather than given a cut one.
    struct Read {
        int line;
        e2e::Scale& scale;
        DWORD bufferSize;
        DWORD error;
        Bytes expected;
    } reads[] = {
        {__LINE__, plugged[0], 8, ERROR_SUCCESS, {0x03, 0x04, 0x02, 0xFF, 0xD2, 0x04}},
        {__LINE__, plugged[2], 8, ERROR_SUCCESS, {0x03, 0x04, 0x02, 0xFF, 0xD2, 0x04, 0x00, 0x00}},
        {__LINE__, plugged[0], 5, ERROR_INVALID_USER_BUFFER, {}},
        {__LINE__, plugged[2], 6, ERROR_INVALID_USER_BUFFER, {}},
    };
    for (const auto& read : reads) {
        SCOPED_TRACE(read.line);
        base::unique_hfile handle = OpenScale(read.scale.options());
        ASSERT_TRUE(handle) << GetLastError();
        ASSERT_TRUE(read.scale.SetGrams(0));
        ASSERT_TRUE(ReadUntil(handle.get(), vscale::EncodeScaleReport(4, 2, 0, 0, read.scale.options().reportLength)));
        ASSERT_TRUE(read.scale.Set(4, 2, -1, 1234));
        if (read.error != ERROR_SUCCESS) {
            EXPECT_EQ(ReadOne(handle.get(), read.bufferSize).first, read.error);
        } else {
            EXPECT_TRUE(ReadUntil(handle.get(), read.expected, read.bufferSize));
        }
    }
    wchar_t product[127] = {};
    ASSERT_TRUE(HidD_GetProductString(OpenScale(named, 0).get(), product, sizeof(product))) << GetLastError();
    EXPECT_EQ(std::wstring(product), L"Parcel Scale 15");
}

// A repeating scale sends at its own interval; queued reports go first, in order, then the
// repeated one resumes; an on-change scale stays silent until the reading changes; what is
// written to a scale is recorded.
TEST(VirtualScale, RepeatsAtItsIntervalQueuesInOrderOrSendsOnChangeAndRecordsOutputs) {
    e2e::ScaleOptions fast = e2e::Scale::Options("1301");
    fast.intervalMs = 25;
    e2e::ScaleOptions slow = e2e::Scale::Options("1302");
    slow.intervalMs = 100;
    e2e::ScaleOptions onChange = e2e::Scale::Options("1401");
    onChange.onChangeOnly = true;
    onChange.intervalMs = 20;
    e2e::Scale scales[] = {e2e::Scale(fast), e2e::Scale(slow), e2e::Scale(onChange)};
    // Counted side by side, so that a slow machine slows both alike.
    const uint32_t fast0 = *scales[0].ReportsSent();
    const uint32_t slow0 = *scales[1].ReportsSent();
    ::Sleep(1000);
    const uint32_t fastSent = *scales[0].ReportsSent() - fast0;
    const uint32_t slowSent = *scales[1].ReportsSent() - slow0;
    EXPECT_GE(slowSent, 4u);
    EXPECT_GT(fastSent, 2 * slowSent) << slowSent;

    base::unique_hfile handle = OpenScale(fast);
    ASSERT_TRUE(handle);
    ASSERT_TRUE(scales[0].SetGrams(500));
    const Bytes repeated = {0x03, 0x04, 0x02, 0x00, 0xF4, 0x01};
    ASSERT_TRUE(ReadUntil(handle.get(), repeated));
    const std::vector<Bytes> script = {
        {0x03, 0x03, 0x02, 0x00, 0x0A, 0x00},  // in motion
        {0x03, 0x04, 0x0B, 0xFF, 0x7B, 0x04},  // stable, ounces, exponent -1
        {0x03, 0x05, 0x02, 0x00, 0xF6, 0xFF},  // under zero
    };
    for (const Bytes& report : script) {
        ASSERT_TRUE(vscale::Queue(fast.serial, report).ok);
    }
    ASSERT_TRUE(ReadUntil(handle.get(), script[0]));  // what the scale sent before the script is skipped
    EXPECT_EQ(ReadOne(handle.get(), 8).second, script[1]);
    EXPECT_EQ(ReadOne(handle.get(), 8).second, script[2]);
    EXPECT_EQ(ReadOne(handle.get(), 8).second, repeated);

    handle = OpenScale(onChange);
    ASSERT_TRUE(scales[2].SetGrams(7));
    ASSERT_TRUE(ReadUntil(handle.get(), {0x03, 0x04, 0x02, 0x00, 0x07, 0x00}));
    const auto sent = scales[2].ReportsSent();
    ASSERT_TRUE(scales[2].SetGrams(7));  // the same reading
    EXPECT_EQ(ReadOne(handle.get(), 8, 400).first, static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(scales[2].ReportsSent(), sent);
    ASSERT_TRUE(scales[2].SetGrams(8));
    EXPECT_EQ(ReadOne(handle.get(), 8, 2000).second, Bytes({0x03, 0x04, 0x02, 0x00, 0x08, 0x00}));

    // As Pesora sends its zero command: a second, synchronous handle and one 5-byte write,
    // recorded byte for byte and in order until cleared.
    ASSERT_TRUE(scales[2].ClearOutputs());
    const std::vector<Bytes> written = {{0x02, 0x02, 0x00, 0x00, 0x00}, {0x02, 0x01, 0x00, 0x00, 0x00}};
    for (const Bytes& bytes : written) {
        base::unique_hfile handle = OpenScale(onChange, 0);
        DWORD done = 0;
        EXPECT_TRUE(WriteFile(handle.get(), bytes.data(), 5, &done, nullptr)) << GetLastError();
        EXPECT_EQ(done, 5u);
    }
    EXPECT_EQ(vscale::Outputs(onChange.serial, true, nullptr), written);
    EXPECT_EQ(vscale::Outputs(onChange.serial, false, nullptr), std::vector<Bytes>{});
}

// The interface notifications naming one path, each with the name its USB node had while it was
// being handled, as a program's own handler would see it (Pesora enumerates there). They go to the fixture's
// Target window, whose thread keeps pumping (Wine sends them with a 2-second time-out).
std::string g_path;
std::string g_usbId;
WNDPROC g_targetProc = nullptr;
std::mutex g_eventsLock;
std::vector<std::pair<WPARAM, std::string>> g_events;

LRESULT CALLBACK RecordDeviceEvent(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto* ansi = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(lParam);
    if (message != WM_DEVICECHANGE || ansi == nullptr || ansi->dbcc_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
        return CallWindowProcW(g_targetProc, window, message, wParam, lParam);
    }
    // The record's form is not always the window's: read the one delivered.
    const bool wide = ansi->dbcc_name[0] != 0 && ansi->dbcc_name[1] == 0;
    if (Lower(wide ? e2e::Utf8(reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(lParam)->dbcc_name)
                   : ansi->dbcc_name) == g_path) {
        const auto node = FindNode("USB", g_usbId);
        std::lock_guard lock(g_eventsLock);
        g_events.emplace_back(wParam, node ? node->friendlyName : "(no node)");
    }
    return TRUE;
}

// The node's name at the next notification of that type, if one comes.
std::optional<std::string> NextEvent(WPARAM type) {
    std::optional<std::string> found;
    (void)e2e::WaitUntil(
        [&] {
            std::lock_guard lock(g_eventsLock);
            const auto it = std::find_if(g_events.begin(), g_events.end(), [&](auto& e) { return e.first == type; });
            if (it != g_events.end()) {
                found = it->second;
                g_events.erase(g_events.begin(), it + 1);
            }
            return found.has_value();
        },
        5s);
    return found;
}

// Plugged, the scale is announced under its interface name and already listed, named, when the
// arrival is handled; unplugged, its removal is announced and it is gone everywhere. Twice, so
// that a scale comes back after an unplug.
TEST(VirtualScale, PlugAndUnplugAreAnnouncedWithTheInterfaceName) {
    const e2e::ScaleOptions scale = e2e::Scale::Options("1601", "Announced Scale");
    const std::string path = vscale::HidInterfacePath(scale);
    g_path = Lower(path);
    g_usbId = vscale::UsbInstanceId(scale);
    const e2e::Target target("Device events");
    g_targetProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(target.Window(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordDeviceEvent)));
    DEV_BROADCAST_DEVICEINTERFACE_A filter{sizeof(filter), DBT_DEVTYP_DEVICEINTERFACE, 0, {}, {}};
    base::unique_hdevnotify notify(RegisterDeviceNotificationA(
        target.Window(), &filter, DEVICE_NOTIFY_WINDOW_HANDLE | DEVICE_NOTIFY_ALL_INTERFACE_CLASSES));
    ASSERT_TRUE(notify);
    for (int cycle = 1; cycle <= 2; ++cycle) {
        SCOPED_TRACE(cycle);
        ASSERT_TRUE(vscale::Plug(scale).ok);
        EXPECT_EQ(NextEvent(DBT_DEVICEARRIVAL), "Announced Scale");
        ASSERT_TRUE(WaitForRaw(path, true));
        base::unique_hfile before = OpenScale(scale);
        ASSERT_TRUE(before) << GetLastError();
        ASSERT_TRUE(vscale::Unplug(scale.serial).ok);
        EXPECT_TRUE(NextEvent(DBT_DEVICEREMOVECOMPLETE));
        // The gone scale: the old handle reads nothing, a new open fails, the lists drop it.
        EXPECT_NE(ReadOne(before.get(), 8).first, static_cast<DWORD>(ERROR_SUCCESS));
        EXPECT_FALSE(OpenScale(scale));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        EXPECT_FALSE(FindNode("USB", vscale::UsbInstanceId(scale)));
        EXPECT_FALSE(FindNode(nullptr, vscale::HidInstanceId(scale)));
        EXPECT_TRUE(WaitForRaw(path, false));
    }
}

// Runs vscale.exe (beside e2e-bin) through the command interpreter: its exit code, and what it
// printed on stdout and stderr.
std::pair<DWORD, std::string> RunTool(const std::string& arguments) {
    const std::string out = e2e::JoinPath(e2e::FreshFolder("vscale-tool"), "out.txt");
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    e2e::Process tool =
        e2e::Start(e2e::JoinPath(system, "cmd.exe"), "/c " + e2e::JoinPath(e2e::WinBuildDir(), "vscale\\vscale.exe") +
                                                         " " + arguments + " > " + out + " 2>&1");
    return {tool.Wait(30s).value_or(0xFFFFFFFF), e2e::ReadFileBytes(out).value_or("")};
}

// The tool itself, as people and scripts use it: exit codes and what it prints (stdout and
// stderr). A serial names one scale, even as another interface.
TEST(VirtualScale, ToolReportsSuccessAndFailureByExitCode) {
    struct Row {
        int line;
        std::string arguments;
        DWORD exitCode;
        std::string outputHas;
    } rows[] = {
        {__LINE__, "install", 0, "already running"},
        {__LINE__, "plug --serial 1801 --len 8", 0, "plugged 1801: \\\\?\\HID#VID_0922&PID_8003#1801#"},
        {__LINE__, "plug --serial 1801 --mi 02", 1, "already plugged"},
        {__LINE__, "set --serial 1801 --status 4 --unit 2 --exp -1 --weight 1234", 0, ""},
        {__LINE__, "state", 0,
         "1801  USB\\VID_0922&PID_8003\\1801  len 8  every 100 ms  started  report 03 04 02 FF D2 04 00 00"},
        {__LINE__, "queue --serial 1801 03 04 02 00 01 00", 0, ""},
        {__LINE__, "outputs --serial 1801 --clear", 0, ""},
        {__LINE__, "unplug --serial 1801", 0, "unplugged 1801"},
        {__LINE__, "unplug --serial 1801", 1, "no scale with serial 1801 is plugged"},
        {__LINE__, "set --serial 1801 --weight 5", 1, "no scale with serial 1801"},
        {__LINE__, "weigh", 2, "unknown command"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        const auto [exitCode, output] = RunTool(row.arguments);
        EXPECT_EQ(exitCode, row.exitCode) << output;
        EXPECT_NE(output.find(row.outputHas), std::string::npos) << output;
    }
}

}  // namespace
