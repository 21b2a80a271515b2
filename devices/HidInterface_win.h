#pragma once
// The scale's device handles: a thread of its own reads reports with blocking reads and hands the
// window only the newest change; the question for the current report goes out on a second,
// overlapped handle; the zero report is one synchronous write.
#include <windows.h>

#include <array>
#include <atomic>
#include <mutex>

#include "base/win/Handles_win.h"
#include "devices/HidInterface.h"
#include "devices/NewestReport.h"

namespace devices::win {

// The one device state of the open scale (the deviceOpen flag lives in base::AppState).
struct HidDeviceState {
    // Synchronous, and read by the reader thread alone: under Wine a blocking read costs about half
    // the CPU time of an overlapped read and its wait, twenty times a second while a scale streams.
    base::unique_hfile readHandle;
    // Overlapped, for the question: on a synchronous handle it would wait behind the running read.
    base::unique_hfile askHandle;
    // Manual reset; created with the port and kept: set while a report waits for the window or
    // the read has failed.
    base::unique_handle newsEvent;
    SECURITY_ATTRIBUTES securityAttributes{};
    std::array<uint8_t, kStagingBufferSize> takenBuffer{};  // the window's copy of the report it took
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
    [[nodiscard]] std::span<const uint8_t> Staging() const override { return _state.takenBuffer; }
    std::optional<size_t> CancelRead() override;
    void CloseRead() override;
    bool AskInputReport(std::span<const uint8_t> request) override;
    std::optional<size_t> TakeAnswer(std::span<uint8_t> report) override;
    void WriteOnce(std::string_view devicePath, std::span<const uint8_t> report) override;
    [[nodiscard]] uint64_t NowMs() const override { return ::GetTickCount64(); }

    // Set while a report the window has not taken waits (or the read failed), and when the answer
    // to a request is in: what the window waits on instead of asking the device. They live as
    // long as the port.
    [[nodiscard]] HANDLE ReadEvent() const noexcept { return _state.newsEvent.get(); }
    [[nodiscard]] HANDLE AnswerEvent() const noexcept { return _state.reportEvent.get(); }
    [[nodiscard]] bool AnswerAwaited() const noexcept { return _state.askOut; }

    // GetTickCount64 when the scale last sent anything, repeats included (0: nothing since it was
    // opened). Any thread may ask: a scale that only repeats itself is not a silent one.
    [[nodiscard]] uint64_t LastHeardMs() const noexcept { return _lastHeardMs.load(std::memory_order_relaxed); }

  private:
    static DWORD WINAPI Reader(void* context) noexcept;
    void ReadLoop() noexcept;
    void StopReader();
    void DropAsk();

    HidDeviceState _state;
    // Shared with the reader thread: what it hands over, whether it failed, when to end.
    mutable std::mutex _readLock;
    NewestReport _newest;
    size_t _readLength = 0;    // what each read asks for
    bool _readFailed = false;  // the reader ended on a failed read: the device is gone or broke
    bool _readerStop = false;  // the reader ends at its next step
    base::unique_handle _reader;
    std::atomic<uint64_t> _lastHeardMs{0};
};

}  // namespace devices::win
