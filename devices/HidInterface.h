#pragma once
// The one scale being read: opening its HID path, one input report per read cycle with a
// short wait, the zero output report, closing. The order of steps lives here; the handle
// work is behind IHidPort (HidInterface_win.cpp on Windows, a recording fake in the tests).
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace devices {

// The longest report a read can take: 256 bytes after the report ID.
inline constexpr size_t kStagingBufferSize = 257;
inline constexpr std::array<uint8_t, 5> kZeroReport{2, 2, 0, 0, 0};

class IHidPort {
  public:
    virtual ~IHidPort() = default;
    // Opens `devicePath` for overlapped reading; false when it cannot be opened.
    virtual bool OpenRead(std::string_view devicePath) = 0;
    // Starts a read of `length` bytes into the port's own staging buffer (it must outlive a
    // cancelled read). Whether the start succeeded is decided by the wait alone.
    virtual void StartRead(size_t length) = 0;
    // Waits up to `ms` for the read; the count of bytes it transferred, or nothing when no
    // report arrived (time-out, failed start, failed read).
    virtual std::optional<size_t> WaitRead(uint32_t ms) = 0;
    [[nodiscard]] virtual std::span<const uint8_t> Staging() const = 0;
    virtual void CancelRead() = 0;
    // Closes the read handle when one is open; harmless otherwise.
    virtual void CloseRead() = 0;
    // Opens `devicePath` synchronously, writes `report` in one write and closes it again.
    virtual void WriteOnce(std::string_view devicePath, std::span<const uint8_t> report) = 0;
};

class HidInterface {
  public:
    explicit HidInterface(IHidPort& port) noexcept : _port(port) {}

    [[nodiscard]] bool OpenScaleDevice(std::string_view devicePath);

    // Reads the newest report into `dest` (report ID first; at most 257 bytes are asked for):
    // one report within `waitMs`, then any already queued behind it. True when a report
    // arrived: only the bytes transferred are copied, the rest of `dest` keeps its values. False when none came within `waitMs`: the read is cancelled and the device
    // closed, `dest` untouched; the caller re-selects the scale.
    [[nodiscard]] bool ReadReport(std::span<uint8_t> dest, uint32_t waitMs);

    // Releases the read handle when a scale is open, then sends the zero report to
    // `devicePath` through a handle of its own. Reading resumes through the next read's
    // time-out, which opens the scale again.
    void SendZeroReport(bool deviceOpen, std::string_view devicePath);

    // Safe to repeat.
    void CloseScaleDevice();

    // Reports already queued beyond the first are read in the same cycle, up to this many;
    // the system's default queue holds 32.
    static constexpr int kMaxQueuedReports = 64;

  private:
    void CopyStaging(size_t transferred, size_t length, std::span<uint8_t> dest) const;
    IHidPort& _port;
};

}  // namespace devices
