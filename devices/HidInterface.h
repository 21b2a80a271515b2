#pragma once
// The one scale being read: opening its HID path, reading its input reports with a short wait,
// asking it for its current report, the zero output report, closing. The order of steps lives
// here; the handle work is behind IHidPort (HidInterface_win.cpp on Windows, a recording fake in
// the tests).
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/model/AppState.h"

#include "devices/ChosenScale.h"

namespace devices {

// The longest report a read can take: 256 bytes after the report ID.
inline constexpr size_t kStagingBufferSize = 257;
inline constexpr std::array<uint8_t, 5> kZeroReport{2, 2, 0, 0, 0};
// The scale data report's ID in the point-of-sale usage tables: what the current report is asked
// for by until the scale has sent a report of its own.
inline constexpr uint8_t kScaleDataReportId = 3;

// How a wait for the running read ended.
enum class ReadWait {
    Report,    // the read completed with a report
    TimedOut,  // nothing yet: the read is still running
    Failed,    // the read failed or could not start: the device is gone or broken
};

class IHidPort {
  public:
    virtual ~IHidPort() = default;
    // Opens `devicePath` for reading (and asking); false when it cannot be opened.
    virtual bool OpenRead(std::string_view devicePath) = 0;
    // Starts a read of `length` bytes into the port's own staging buffer (it must outlive a
    // cancelled read). False when the read could not be started.
    virtual bool StartRead(size_t length) = 0;
    // A started read has not been collected yet: it may still be running.
    [[nodiscard]] virtual bool ReadRunning() const = 0;
    // Waits up to `ms` for the running read; with ReadWait::Report, *transferred holds its count.
    // A time-out leaves the read running.
    virtual ReadWait WaitRead(uint32_t ms, size_t* transferred) = 0;
    [[nodiscard]] virtual std::span<const uint8_t> Staging() const = 0;
    // Cancels the running read and waits for it to settle. When it completed with a report
    // before the cancel took, its byte count (the report is in the staging buffer).
    virtual std::optional<size_t> CancelRead() = 0;
    // Closes the read handle when one is open; harmless otherwise.
    virtual void CloseRead() = 0;
    // Asks the open device for its current input report (what HidD_GetInputReport sends) without
    // waiting for the answer; `request[0]` is the report ID asked for, its size the length. An
    // earlier question still unanswered is given up. False when the device refuses at once or
    // has no handle open.
    virtual bool AskInputReport(std::span<const uint8_t> request) = 0;
    // The answer once it is in: its bytes in `report`, the count returned, once. Nothing while
    // it is out, when the device refused, or when there is no question.
    virtual std::optional<size_t> TakeAnswer(std::span<uint8_t> report) = 0;
    // Opens `devicePath` synchronously, writes `report` in one write and closes it again.
    virtual void WriteOnce(std::string_view devicePath, std::span<const uint8_t> report) = 0;
    // A millisecond clock.
    [[nodiscard]] virtual uint64_t NowMs() const = 0;
};

class HidInterface final : public IChosenScale {
  public:
    explicit HidInterface(IHidPort& port) noexcept : _port(port) {}

    // The scale being read, as the selection sees every kind of it.
    [[nodiscard]] bool Open(std::string_view devicePath) override {
        CloseScaleDevice();  // every open starts from a fresh handle
        return OpenScaleDevice(devicePath);
    }
    // A HID scale that numbers its data report 0xFF would read as a serial scale's wide report,
    // its weight taken from bytes it never sent: its report keeps the HID layout under the ID
    // below it (nothing after the read looks at a HID report's ID).
    [[nodiscard]] ReadOutcome ReadNewest(std::span<uint8_t> dest, uint32_t waitMs) override {
        const ReadOutcome outcome = ReadReport(dest, waitMs);
        if (outcome == ReadOutcome::Report && !dest.empty() && dest[0] == base::kWideReportId) {
            dest[0] = base::kWideReportId - 1;
        }
        return outcome;
    }
    void Zero(std::string_view devicePath) override { SendZeroReport(devicePath); }
    void Close() override { CloseScaleDevice(); }
    [[nodiscard]] bool CanZero() const override { return true; }

    // Opens the scale and asks it for the report it holds now, which the read after the answer
    // delivers.
    [[nodiscard]] bool OpenScaleDevice(std::string_view devicePath);

    // Reads the newest report into `dest` (report ID first; at most 257 bytes are asked for):
    // one report within `waitMs`, then any already queued behind it. Only the bytes transferred
    // are copied, the rest of `dest` keeps its values. A time-out is not a failure: the handle
    // and its running read stay open, so nothing the scale sends meanwhile is lost; after
    // kSilenceAskMs without a report the scale is asked for its current one. Never waits for an
    // answer: one that is in is delivered first, and the reports the scale sent after it win.
    [[nodiscard]] ReadOutcome ReadReport(std::span<uint8_t> dest, uint32_t waitMs);

    // Sends the zero report to `devicePath` through a handle of its own; the read handle stays
    // open (both are opened shared), so the report that follows the zero is read as any other.
    void SendZeroReport(std::string_view devicePath);

    // Safe to repeat. A report that completes while the running read is being cancelled is kept
    // and delivered by the next read, should the same scale be opened again.
    void CloseScaleDevice();

    // Reports already queued beyond the first are read in the same cycle, up to this many;
    // the system's default queue holds 32.
    static constexpr int kMaxQueuedReports = 64;
    // After this long without a report the scale is asked for its current one.
    static constexpr uint64_t kSilenceAskMs = 3000;

  private:
    void Hold(std::span<const uint8_t> report);
    bool TakeHeld(std::span<uint8_t> dest, size_t length);
    void AskCurrentReport();
    void CollectAnswer();
    void NoteReportId(uint8_t id);
    void CopyStaging(size_t transferred, size_t length, std::span<uint8_t> dest);
    ReadOutcome Fail();

    IHidPort& _port;
    std::string _openPath;
    uint8_t _reportId = kScaleDataReportId;
    size_t _readLength = 0;  // what the last read asked for; 0 before the first
    uint64_t _lastReportMs = 0;
    // A report received outside a read (asked for, or saved from a cancelled read) that the next
    // read delivers first.
    std::array<uint8_t, kStagingBufferSize> _held{};
    size_t _heldLength = 0;
    std::string _heldPath;
};

}  // namespace devices
