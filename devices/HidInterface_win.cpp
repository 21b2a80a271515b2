#include "devices/HidInterface_win.h"

#include <algorithm>

#include "base/win/WinText_win.h"

namespace devices::win {

namespace {
// How long a cancelled read may take to finish before its request record is reused. The HID
// class driver completes cancelled reads at once; the bound only guards a driver that never does.
constexpr DWORD kCancelSettleMs = 1000;

base::unique_hfile OpenDevice(std::string_view devicePath, SECURITY_ATTRIBUTES* sa, DWORD flags) {
    const std::string ansiPath = base::win::Utf8ToAnsi(devicePath);
    return base::unique_hfile(::CreateFileA(ansiPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, sa, OPEN_EXISTING, flags,
                                           /* hTemplateFile */ nullptr));
}
void FillSecurityAttributes(SECURITY_ATTRIBUTES& sa) {
    sa = {sizeof(SECURITY_ATTRIBUTES), /* lpSecurityDescriptor */ nullptr, /* bInheritHandle */ TRUE};
}
}  // namespace

HidPortWin::~HidPortWin() {
    CancelRead();
}

bool HidPortWin::OpenRead(std::string_view devicePath) {
    FillSecurityAttributes(_state.securityAttributes);
    base::unique_hfile handle = OpenDevice(devicePath, &_state.securityAttributes, FILE_FLAG_OVERLAPPED);
    if (!handle) {
        return false;
    }
    if (!_state.completionEvent) {
        _state.completionEvent.reset(::CreateEventA(&_state.securityAttributes, /* bManualReset */ TRUE,
                                                    /* bInitialState */ TRUE, /* lpName */ nullptr));
        if (!_state.completionEvent) {
            return false;  // no way to wait for a report
        }
    }
    CancelRead();  // the caller closed the old handle; make sure no read of it is still running
    _state.readHandle = std::move(handle);
    _state.readRequest = {};
    _state.readRequest.hEvent = _state.completionEvent.get();
    return true;
}

void HidPortWin::StartRead(size_t length) {
    if (!_state.readHandle || !_state.completionEvent) {
        return;  // the wait finds no report and the caller re-opens the scale
    }
    DWORD bytesRead = 0;
    const DWORD toRead = static_cast<DWORD>(std::min(length, _state.stagingBuffer.size()));
    const BOOL done =
        ::ReadFile(_state.readHandle.get(), _state.stagingBuffer.data(), toRead, &bytesRead, &_state.readRequest);
    _state.readStarted = done != FALSE || ::GetLastError() == ERROR_IO_PENDING;
}

std::optional<size_t> HidPortWin::WaitRead(uint32_t ms) {
    if (!_state.completionEvent) {
        return std::nullopt;
    }
    const DWORD waited = ::WaitForSingleObject(_state.completionEvent.get(), ms);
    (void)::ResetEvent(_state.completionEvent.get());
    if (waited != WAIT_OBJECT_0 || !_state.readStarted) {
        return std::nullopt;
    }
    // A read that completed with an error (the device was pulled out) brought no report.
    DWORD transferred = 0;
    if (!::GetOverlappedResult(_state.readHandle.get(), &_state.readRequest, &transferred, /* bWait */ FALSE)) {
        if (::GetLastError() == ERROR_IO_INCOMPLETE) {
            return std::nullopt;  // still running: cancelled by the caller
        }
        _state.readStarted = false;
        return std::nullopt;
    }
    _state.readStarted = false;
    return transferred;
}

void HidPortWin::CancelRead() {
    if (!_state.readStarted || !_state.readHandle) {
        _state.readStarted = false;
        return;
    }
    (void)::CancelIo(_state.readHandle.get());
    // The request record and the buffer are reused by the next read: let the cancelled one
    // finish first. WaitRead may have reset the event of a read that completed just after its
    // wait timed out, so ask the record itself before waiting for the event.
    if (!HasOverlappedIoCompleted(&_state.readRequest)) {
        (void)::WaitForSingleObject(_state.completionEvent.get(), kCancelSettleMs);
    }
    (void)::ResetEvent(_state.completionEvent.get());
    _state.readStarted = false;
}

void HidPortWin::CloseRead() {
    CancelRead();
    _state.readHandle.reset();
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
