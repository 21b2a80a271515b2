#include "devices/HidInterface_win.h"

#include <winioctl.h>

#include <algorithm>

#include "base/win/WinText_win.h"

namespace devices::win {

namespace {
// How long a cancelled read may take to finish before its request record is reused. The HID
// class driver completes cancelled reads at once; the bound only guards a driver that never does.
constexpr DWORD kCancelSettleMs = 1000;
// IOCTL_HID_GET_INPUT_REPORT: CTL_CODE(FILE_DEVICE_KEYBOARD, 104, METHOD_OUT_DIRECT, FILE_ANY_ACCESS);
// mingw-w64's headers do not carry it.
constexpr DWORD kIoctlHidGetInputReport = CTL_CODE(FILE_DEVICE_KEYBOARD, 104, METHOD_OUT_DIRECT, FILE_ANY_ACCESS);

base::unique_hfile OpenDevice(std::string_view devicePath, SECURITY_ATTRIBUTES* sa, DWORD flags) {
    const std::wstring widePath = base::win::Utf8ToWide(devicePath);
    return base::unique_hfile(::CreateFileW(widePath.c_str(), GENERIC_READ | GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, sa, OPEN_EXISTING, flags,
                                            /* hTemplateFile */ nullptr));
}
void FillSecurityAttributes(SECURITY_ATTRIBUTES& sa) {
    sa = {sizeof(SECURITY_ATTRIBUTES), /* lpSecurityDescriptor */ nullptr, /* bInheritHandle */ TRUE};
}
}  // namespace

// Both events exist before the first open, so the window can wait on them from the start.
HidPortWin::HidPortWin() {
    FillSecurityAttributes(_state.securityAttributes);
    _state.completionEvent.reset(::CreateEventA(&_state.securityAttributes, /* bManualReset */ TRUE,
                                                /* bInitialState */ TRUE, /* lpName */ nullptr));
    _state.reportEvent.reset(::CreateEventA(/* lpEventAttributes */ nullptr, /* bManualReset */ TRUE,
                                            /* bInitialState */ FALSE, /* lpName */ nullptr));
}

HidPortWin::~HidPortWin() {
    DropAsk();
    (void)CancelRead();
}

bool HidPortWin::ReadRunning() const {
    const std::scoped_lock lock(_readLock);
    return _state.readStarted;
}

bool HidPortWin::OpenRead(std::string_view devicePath) {
    FillSecurityAttributes(_state.securityAttributes);
    if (!_state.completionEvent) {
        return false;  // no way to wait for a report
    }
    base::unique_hfile handle = OpenDevice(devicePath, &_state.securityAttributes, FILE_FLAG_OVERLAPPED);
    if (!handle) {
        return false;
    }
    // The caller closed the old handle; make sure nothing of it is still running.
    DropAsk();
    const std::scoped_lock lock(_readLock);
    (void)CancelReadLocked();
    _lastTaken.Forget();
    _state.readHandle = std::move(handle);
    _state.readRequest = {};
    _state.readRequest.hEvent = _state.completionEvent.get();
    return true;
}

bool HidPortWin::StartRead(size_t length) {
    const std::scoped_lock lock(_readLock);
    return StartReadLocked(static_cast<DWORD>(std::min(length, _state.stagingBuffer.size())));
}

bool HidPortWin::StartReadLocked(DWORD length) {
    if (!_state.readHandle || !_state.completionEvent) {
        _state.readStarted = false;
        return false;
    }
    // Wine does not clear the event when a read starts, as Windows does: left signalled by the
    // last report, it would end every wait at once and a slow rate would show reports up to a
    // whole tick late.
    (void)::ResetEvent(_state.completionEvent.get());
    DWORD bytesRead = 0;
    _state.readLength = length;
    const BOOL done =
        ::ReadFile(_state.readHandle.get(), _state.stagingBuffer.data(), length, &bytesRead, &_state.readRequest);
    _state.readStarted = done != FALSE || ::GetLastError() == ERROR_IO_PENDING;
    return _state.readStarted;
}

// The request record, not the wait, says whether the read is done: a read that completes just
// after the wait timed out is then taken by the next wait instead of being lost with a reset
// event.
ReadWait HidPortWin::WaitRead(uint32_t ms, size_t* transferred) {
    const std::scoped_lock lock(_readLock);
    if (!_state.readStarted || !_state.readHandle || !_state.completionEvent) {
        return ReadWait::Failed;
    }
    (void)::WaitForSingleObject(_state.completionEvent.get(), ms);
    DWORD count = 0;
    if (!::GetOverlappedResult(_state.readHandle.get(), &_state.readRequest, &count, /* bWait */ FALSE)) {
        if (::GetLastError() == ERROR_IO_INCOMPLETE) {
            return ReadWait::TimedOut;  // still running; waited for again next time
        }
        _state.readStarted = false;  // the device was pulled out or broke
        return ReadWait::Failed;
    }
    _state.readStarted = false;
    if (transferred != nullptr) {
        *transferred = count;
    }
    _lastTaken.Taken(std::span<const uint8_t>(_state.stagingBuffer).first(std::min<size_t>(count, kStagingBufferSize)));
    return ReadWait::Report;
}

// Runs on the thread that waits on the read. A completed read is left for the window unless it
// only repeats: the record says it is done, so the window's next wait collects it as before.
bool HidPortWin::SkipRepeatedReport() {
    const std::scoped_lock lock(_readLock);
    if (!_state.readStarted || !_state.readHandle) {
        return false;
    }
    DWORD count = 0;
    if (!::GetOverlappedResult(_state.readHandle.get(), &_state.readRequest, &count, /* bWait */ FALSE)) {
        return false;
    }
    const auto completed =
        std::span<const uint8_t>(_state.stagingBuffer).first(std::min<size_t>(count, kStagingBufferSize));
    if (count == 0 || !_lastTaken.Repeats(completed)) {
        return false;
    }
    return StartReadLocked(_state.readLength);
}

std::optional<size_t> HidPortWin::CancelRead() {
    const std::scoped_lock lock(_readLock);
    return CancelReadLocked();
}

std::optional<size_t> HidPortWin::CancelReadLocked() {
    if (!_state.readStarted || !_state.readHandle) {
        _state.readStarted = false;
        return std::nullopt;
    }
    // By its record: the read may have been started by the thread that skips repeats, and
    // CancelIo cancels only the calling thread's.
    (void)::CancelIoEx(_state.readHandle.get(), &_state.readRequest);
    // The request record and the buffer are reused by the next read: let the cancelled one
    // finish first.
    if (!HasOverlappedIoCompleted(&_state.readRequest)) {
        (void)::WaitForSingleObject(_state.completionEvent.get(), kCancelSettleMs);
    }
    _state.readStarted = false;
    // A report can complete the read between the last wait and the cancel: it is the scale's
    // newest weight, so it is handed back rather than dropped.
    DWORD count = 0;
    if (::GetOverlappedResult(_state.readHandle.get(), &_state.readRequest, &count, /* bWait */ FALSE)) {
        return count;
    }
    return std::nullopt;
}

void HidPortWin::CloseRead() {
    DropAsk();
    const std::scoped_lock lock(_readLock);
    (void)CancelReadLocked();
    _lastTaken.Forget();
    _state.readHandle.reset();
}

// What HidD_GetInputReport sends, with a request record: the read handle is overlapped, and a
// synchronous request on it would wait on the handle itself, which the running read also
// signals. Nothing waits for the answer here: its event wakes the window when it is in.
bool HidPortWin::AskInputReport(std::span<const uint8_t> request) {
    DropAsk();
    if (!_state.readHandle || !_state.reportEvent || request.empty()) {
        return false;
    }
    const size_t length = std::min(request.size(), _state.reportBuffer.size());
    std::copy_n(request.begin(), length, _state.reportBuffer.begin());  // the report ID asked for
    (void)::ResetEvent(_state.reportEvent.get());
    _state.reportRequest = {};
    _state.reportRequest.hEvent = _state.reportEvent.get();
    DWORD count = 0;
    if (!::DeviceIoControl(_state.readHandle.get(), kIoctlHidGetInputReport, /* lpInBuffer */ nullptr, 0,
                           _state.reportBuffer.data(), static_cast<DWORD>(length), &count, &_state.reportRequest) &&
        ::GetLastError() != ERROR_IO_PENDING) {
        (void)::ResetEvent(_state.reportEvent.get());
        return false;  // refused: such a scale reports by itself
    }
    _state.askOut = true;
    return true;
}

std::optional<size_t> HidPortWin::TakeAnswer(std::span<uint8_t> report) {
    if (!_state.askOut || !_state.readHandle) {
        return std::nullopt;
    }
    DWORD count = 0;
    if (!::GetOverlappedResult(_state.readHandle.get(), &_state.reportRequest, &count, /* bWait */ FALSE)) {
        if (::GetLastError() == ERROR_IO_INCOMPLETE) {
            return std::nullopt;  // still out
        }
        count = 0;  // refused after all
    }
    _state.askOut = false;
    (void)::ResetEvent(_state.reportEvent.get());  // a set event would wake the window for nothing
    if (count == 0) {
        return std::nullopt;
    }
    const size_t got = std::min({static_cast<size_t>(count), report.size(), _state.reportBuffer.size()});
    std::copy_n(_state.reportBuffer.begin(), got, report.begin());
    return got;
}

// A question nobody will take the answer of: cancelled, and let settle, since its record and
// buffer are reused by the next one.
void HidPortWin::DropAsk() {
    if (!_state.askOut) {
        return;
    }
    _state.askOut = false;
    if (_state.readHandle && !HasOverlappedIoCompleted(&_state.reportRequest)) {
        (void)::CancelIoEx(_state.readHandle.get(), &_state.reportRequest);
        (void)::WaitForSingleObject(_state.reportEvent.get(), kCancelSettleMs);
    }
    (void)::ResetEvent(_state.reportEvent.get());
}

void HidPortWin::WriteOnce(std::string_view devicePath, std::span<const uint8_t> report) {
    FillSecurityAttributes(_state.securityAttributes);
    base::unique_hfile handle = OpenDevice(devicePath, &_state.securityAttributes, /* flags */ 0);
    if (!handle) {
        return;  // a failed zero command is silent; reading resumes all the same
    }
    DWORD written = 0;
    (void)::WriteFile(handle.get(), report.data(), static_cast<DWORD>(report.size()), &written,
                      /* lpOverlapped */ nullptr);
}

}  // namespace devices::win
