#include "devices/HidInterface_win.h"

#include <winioctl.h>

#include <algorithm>

#include "base/win/WinText_win.h"

namespace devices::win {

namespace {
// How long a cancelled read may take to end before its handle is closed under it. The HID class
// driver completes cancelled reads at once; the bound only guards a driver that never does.
constexpr DWORD kCancelSettleMs = 1000;
// The reader may be between two reads when it is told to end: the cancel is repeated this often.
constexpr DWORD kCancelRetryMs = 10;
// The reader runs little more than a read and a comparison.
constexpr SIZE_T kReaderStack = 64 * 1024;
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
    _state.newsEvent.reset(::CreateEventA(&_state.securityAttributes, /* bManualReset */ TRUE,
                                          /* bInitialState */ FALSE, /* lpName */ nullptr));
    _state.reportEvent.reset(::CreateEventA(/* lpEventAttributes */ nullptr, /* bManualReset */ TRUE,
                                            /* bInitialState */ FALSE, /* lpName */ nullptr));
}

HidPortWin::~HidPortWin() {
    DropAsk();
    StopReader();
}

bool HidPortWin::ReadRunning() const {
    const std::scoped_lock lock(_readLock);
    return static_cast<bool>(_reader);
}

bool HidPortWin::OpenRead(std::string_view devicePath) {
    FillSecurityAttributes(_state.securityAttributes);
    if (!_state.newsEvent) {
        return false;  // no way to wait for a report
    }
    base::unique_hfile handle = OpenDevice(devicePath, &_state.securityAttributes, /* flags */ 0);
    if (!handle) {
        return false;
    }
    // The caller closed the old handle; make sure nothing of it is still running.
    CloseRead();
    // Without it the scale is never asked and is read as one that reports by itself.
    base::unique_hfile askHandle = OpenDevice(devicePath, &_state.securityAttributes, FILE_FLAG_OVERLAPPED);
    const std::scoped_lock lock(_readLock);
    _state.readHandle = std::move(handle);
    _state.askHandle = std::move(askHandle);
    return true;
}

// The reader reads from the first call on, until the read is cancelled or closed; later calls
// only set the length of the reads to come.
bool HidPortWin::StartRead(size_t length) {
    const std::scoped_lock lock(_readLock);
    _readLength = std::min(length, kStagingBufferSize);
    if (_reader) {
        return !_readFailed;
    }
    if (!_state.readHandle) {
        return false;
    }
    _readerStop = false;
    _reader.reset(
        ::CreateThread(nullptr, kReaderStack, &HidPortWin::Reader, this, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    return static_cast<bool>(_reader);
}

DWORD WINAPI HidPortWin::Reader(void* context) noexcept {
    static_cast<HidPortWin*>(context)->ReadLoop();
    return 0;
}

// The handle outlives the reader: it is closed only after the reader has ended.
void HidPortWin::ReadLoop() noexcept {
    std::array<uint8_t, kStagingBufferSize> incoming{};
    HANDLE handle = nullptr;
    DWORD length = 0;
    {
        const std::scoped_lock lock(_readLock);
        handle = _state.readHandle.get();
    }
    for (;;) {
        {
            const std::scoped_lock lock(_readLock);
            if (_readerStop) {
                return;
            }
            length = static_cast<DWORD>(_readLength);
        }
        DWORD count = 0;
        const BOOL read = ::ReadFile(handle, incoming.data(), length, &count, /* lpOverlapped */ nullptr);
        const uint64_t now = ::GetTickCount64();
        const std::scoped_lock lock(_readLock);
        if (_readerStop) {
            return;
        }
        // Only we cancel the read, so a failed read means the device was pulled out or broke. A
        // read that brings nothing would go round at once, for ever.
        if (read == FALSE || count == 0) {
            _readFailed = true;
            (void)::SetEvent(_state.newsEvent.get());
            return;
        }
        _lastHeardMs.store(now, std::memory_order_relaxed);
        switch (_newest.Offer(std::span<const uint8_t>(incoming).first(std::min<size_t>(count, incoming.size())))) {
            case NewestReport::Change::Waiting:
                (void)::SetEvent(_state.newsEvent.get());
                break;
            case NewestReport::Change::Withdrawn:
                (void)::ResetEvent(_state.newsEvent.get());
                break;
            case NewestReport::Change::None:
                break;
        }
    }
}

// The newest report the reader holds for the window, taken at once; the wait is only for a caller
// that wants one to come first. The event is reset under the lock the reader sets it under, so a
// report that comes just after the take still wakes the window.
ReadWait HidPortWin::WaitRead(uint32_t ms, size_t* transferred) {
    if (ms > 0) {
        (void)::WaitForSingleObject(_state.newsEvent.get(), ms);
    }
    const std::scoped_lock lock(_readLock);
    if (!_reader) {
        return ReadWait::Failed;
    }
    const std::optional<size_t> count = _newest.Take(_state.takenBuffer);
    if (count) {
        if (!_readFailed) {
            (void)::ResetEvent(_state.newsEvent.get());
        }
        if (transferred != nullptr) {
            *transferred = *count;
        }
        return ReadWait::Report;  // a failure behind it is told by the next wait
    }
    return _readFailed ? ReadWait::Failed : ReadWait::TimedOut;
}

// A report that came after the window's last take is the scale's newest weight, so it is handed
// back rather than dropped.
std::optional<size_t> HidPortWin::CancelRead() {
    StopReader();
    const std::scoped_lock lock(_readLock);
    const std::optional<size_t> count = _newest.Take(_state.takenBuffer);
    _readFailed = false;
    (void)::ResetEvent(_state.newsEvent.get());
    return count;
}

// The reader may be between its check and its read when told to end, so the cancel is repeated
// until it has ended. Both cancels are made: the one documented for a blocking read on another
// thread, and the one by handle.
void HidPortWin::StopReader() {
    HANDLE thread = nullptr;
    {
        const std::scoped_lock lock(_readLock);
        if (!_reader) {
            return;
        }
        _readerStop = true;
        thread = _reader.get();
    }
    const uint64_t giveUp = ::GetTickCount64() + kCancelSettleMs;
    while (::WaitForSingleObject(thread, 0) == WAIT_TIMEOUT) {
        (void)::CancelSynchronousIo(thread);
        (void)::CancelIoEx(_state.readHandle.get(), /* lpOverlapped */ nullptr);
        if (::WaitForSingleObject(thread, kCancelRetryMs) == WAIT_OBJECT_0) {
            break;
        }
        if (::GetTickCount64() >= giveUp) {
            // A driver that ignores the cancel: the close ends the read all the same.
            _state.readHandle.reset();
            (void)::WaitForSingleObject(thread, INFINITE);
            break;
        }
    }
    const std::scoped_lock lock(_readLock);
    _reader.reset();
    _readerStop = false;
}

void HidPortWin::CloseRead() {
    DropAsk();
    (void)CancelRead();  // a caller that keeps a late report cancels first and takes it
    const std::scoped_lock lock(_readLock);
    _newest.Forget();
    _lastHeardMs.store(0, std::memory_order_relaxed);
    _state.readHandle.reset();
    _state.askHandle.reset();
}

// What HidD_GetInputReport sends, on the overlapped handle with a request record. Nothing waits
// for the answer here: its event wakes the window when it is in.
bool HidPortWin::AskInputReport(std::span<const uint8_t> request) {
    DropAsk();
    if (!_state.askHandle || !_state.reportEvent || request.empty()) {
        return false;
    }
    const size_t length = std::min(request.size(), _state.reportBuffer.size());
    std::copy_n(request.begin(), length, _state.reportBuffer.begin());  // the report ID asked for
    (void)::ResetEvent(_state.reportEvent.get());
    _state.reportRequest = {};
    _state.reportRequest.hEvent = _state.reportEvent.get();
    DWORD count = 0;
    if (!::DeviceIoControl(_state.askHandle.get(), kIoctlHidGetInputReport, /* lpInBuffer */ nullptr, 0,
                           _state.reportBuffer.data(), static_cast<DWORD>(length), &count, &_state.reportRequest) &&
        ::GetLastError() != ERROR_IO_PENDING) {
        (void)::ResetEvent(_state.reportEvent.get());
        return false;  // refused: such a scale reports by itself
    }
    _state.askOut = true;
    return true;
}

std::optional<size_t> HidPortWin::TakeAnswer(std::span<uint8_t> report) {
    if (!_state.askOut || !_state.askHandle) {
        return std::nullopt;
    }
    DWORD count = 0;
    if (!::GetOverlappedResult(_state.askHandle.get(), &_state.reportRequest, &count, /* bWait */ FALSE)) {
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
    if (_state.askHandle && !HasOverlappedIoCompleted(&_state.reportRequest)) {
        (void)::CancelIoEx(_state.askHandle.get(), &_state.reportRequest);
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
