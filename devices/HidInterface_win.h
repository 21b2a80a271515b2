#pragma once
// The scale's device handle: overlapped reads into a staging buffer that outlives any
// cancelled read, and one-shot synchronous writes.
#include <windows.h>

#include <array>
#include <mutex>

#include "base/win/Handles_win.h"
#include "devices/HidInterface.h"
#include "devices/RepeatedReport.h"

namespace devices::win {

// The one device state of the open scale (the deviceOpen flag lives in base::AppState).
struct HidDeviceState {
    base::unique_hfile readHandle;
    base::unique_handle completionEvent;  // manual reset; created at the first open, then reused
    OVERLAPPED readRequest{};
    SECURITY_ATTRIBUTES securityAttributes{};
    std::array<uint8_t, kStagingBufferSize> stagingBuffer{};
    bool readStarted = false;  // a read on readHandle may still write to stagingBuffer
    DWORD readLength = 0;      // what the last read started asked for
    // The request for the current input report has a record and an event of its own, so that
    // it can be left running, and cancelled, without touching the running read.
    base::unique_handle reportEvent;  // manual reset; set when the answer is in
    OVERLAPPED reportRequest{};
    std::array<uint8_t, kStagingBufferSize> reportBuffer{};  // outlives a request that never settles
    bool askOut = false;                                     // a request was made and its answer not taken
};

class HidPortWin final : public IHidPort {
  public:
    HidPortWin();
    HidPortWin(const HidPortWin&) = delete;
    HidPortWin& operator=(const HidPortWin&) = delete;
    ~HidPortWin() override;

    bool OpenRead(std::string_view devicePath) override;
    bool StartRead(size_t length) override;
    [[nodiscard]] bool ReadRunning() const override;
    ReadWait WaitRead(uint32_t ms, size_t* transferred) override;
    [[nodiscard]] std::span<const uint8_t> Staging() const override { return _state.stagingBuffer; }
    std::optional<size_t> CancelRead() override;
    void CloseRead() override;
    bool AskInputReport(std::span<const uint8_t> request) override;
    std::optional<size_t> TakeAnswer(std::span<uint8_t> report) override;
    void WriteOnce(std::string_view devicePath, std::span<const uint8_t> report) override;
    [[nodiscard]] uint64_t NowMs() const override { return ::GetTickCount64(); }

    // Set when a read completes (or fails), and when the answer to a request is in: what the
    // window waits on instead of asking the device. They live as long as the port.
    [[nodiscard]] HANDLE ReadEvent() const noexcept { return _state.completionEvent.get(); }
    [[nodiscard]] HANDLE AnswerEvent() const noexcept { return _state.reportEvent.get(); }
    [[nodiscard]] bool AnswerAwaited() const noexcept { return _state.askOut; }

    // From the thread that waits on ReadEvent(): when the read completed with the same report the
    // read cycle took last, starts the next read and says so; the window need not hear of it.
    // False when the window must run a cycle (another report, a failure, no read running).
    bool SkipRepeatedReport();

  private:
    void DropAsk();
    bool StartReadLocked(DWORD length);
    std::optional<size_t> CancelReadLocked();

    HidDeviceState _state;
    // The read (its handle, record, staging buffer and started flag) is shared with the thread
    // that skips repeats; the request for the current report is the window's alone.
    mutable std::mutex _readLock;
    RepeatedReport _lastTaken;
};

}  // namespace devices::win
