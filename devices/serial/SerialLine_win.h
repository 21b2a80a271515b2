#pragma once
// A COM port as the serial session reads it: synchronous reads and writes with time-outs, never
// comm events (WaitCommEvent returns at once, over and over, under Wine on a pseudo-terminal).
#include <windows.h>

#include <optional>

#include "base/win/Handles_win.h"
#include "devices/serial/SerialLine.h"

namespace devices::serial::win {

class SerialLineWin final : public ISerialLine {
  public:
    SerialLineWin() = default;
    SerialLineWin(const SerialLineWin&) = delete;
    SerialLineWin& operator=(const SerialLineWin&) = delete;
    ~SerialLineWin() override = default;

    bool Open(std::string_view portName) override;
    void Close() override { _port.reset(); }
    bool Configure(const LineSettings& line) override;
    bool Write(std::string_view bytes) override;
    std::optional<std::string> Read(uint32_t waitMs) override;
    [[nodiscard]] uint64_t NowMs() const override { return ::GetTickCount64(); }

  private:
    bool SetReadWait(DWORD waitMs);
    [[nodiscard]] bool StillThere() const;

    base::unique_hfile _port;
    DWORD _readWaitMs = MAXDWORD;          // the read time-out the port has; MAXDWORD: none set yet
    std::optional<LineSettings> _applied;  // what the port was last set to through this handle
};

}  // namespace devices::serial::win
