#pragma once
// The serial port as the session sees it: open, set the line, write, and read with a time-out.
// The session never waits on comm events (they spin under Wine on a pseudo-terminal); it only
// reads with time-outs, so the worker thread always comes back within one read wait.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "devices/serial/SerialProtocol.h"

namespace devices::serial {

class ISerialLine {
  public:
    virtual ~ISerialLine() = default;
    virtual bool Open(std::string_view portName) = 0;      // "COM5"; false: no such port / it fails
    virtual void Close() = 0;                              // harmless when closed
    virtual bool Configure(const LineSettings& line) = 0;  // false: the port is gone
    virtual bool Write(std::string_view bytes) = 0;        // false: the port is gone
    // What arrives within waitMs; returns early once bytes came and the line went quiet for a
    // character gap (~20 ms). Empty string: nothing came. nullopt: the port is gone.
    virtual std::optional<std::string> Read(uint32_t waitMs) = 0;
    [[nodiscard]] virtual uint64_t NowMs() const = 0;
};

}  // namespace devices::serial
