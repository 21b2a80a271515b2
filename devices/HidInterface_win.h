#pragma once
// The scale's device handle: overlapped reads into a staging buffer that outlives any
// cancelled read, and one-shot synchronous writes.
#include <windows.h>

#include <array>

#include "base/win/Handles_win.h"
#include "devices/HidInterface.h"

namespace devices::win {

// The one device state of the open scale (the deviceOpen flag lives in base::AppState).
struct HidDeviceState {
    base::unique_hfile readHandle;
    base::unique_handle completionEvent;  // manual reset; created at the first open, then reused
    OVERLAPPED readRequest{};
    SECURITY_ATTRIBUTES securityAttributes{};
    std::array<uint8_t, kStagingBufferSize> stagingBuffer{};
    bool readStarted = false;  // a read on readHandle may still write to stagingBuffer
    // The request for the current input report has a record and an event of its own, so that
    // it can be waited for, and cancelled, without touching the running read.
    base::unique_handle reportEvent;
    OVERLAPPED reportRequest{};
    std::array<uint8_t, kStagingBufferSize> reportBuffer{};  // outlives a request that never settles
};

class HidPortWin final : public IHidPort {
  public:
    HidPortWin() = default;
    HidPortWin(const HidPortWin&) = delete;
    HidPortWin& operator=(const HidPortWin&) = delete;
    ~HidPortWin() override;

    bool OpenRead(std::string_view devicePath) override;
    bool StartRead(size_t length) override;
    [[nodiscard]] bool ReadRunning() const override { return _state.readStarted; }
    ReadWait WaitRead(uint32_t ms, size_t* transferred) override;
    [[nodiscard]] std::span<const uint8_t> Staging() const override { return _state.stagingBuffer; }
    std::optional<size_t> CancelRead() override;
    void CloseRead() override;
    std::optional<size_t> GetInputReport(std::span<uint8_t> report) override;
    void WriteOnce(std::string_view devicePath, std::span<const uint8_t> report) override;
    [[nodiscard]] uint64_t NowMs() const override { return ::GetTickCount64(); }

  private:
    HidDeviceState _state;
};

}  // namespace devices::win
