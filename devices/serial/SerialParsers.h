#pragma once
// One parser per serial scale protocol, each an explicit state machine fed one byte at a time.
// Every parser drops a frame it cannot read whole (garbage, a half frame, a line longer than the
// protocol sends) and starts again at the next frame start, so nothing it is fed shows a wrong
// weight. Callers use MakeParser(); the classes are here for the reader of the protocols.
#include <cstdint>
#include <optional>

#include "devices/serial/FrameText.h"
#include "devices/serial/SerialProtocol.h"

namespace devices::serial {

// NCI: LF <weight><unit> CR LF <status> CR ETX, or LF <status> CR ETX alone. Both the classic
// status ("00") and the S-prefixed one ("S00"), lb:oz weights, and the unknown-command answers.
class NciParser final : public IFrameParser {
  public:
    std::optional<SerialReading> Feed(uint8_t byte) override;
    void Reset() override;

  private:
    enum class State : uint8_t {
        WaitStart,  // until LF
        InLine,     // a line's characters, until CR
        LineEnded,  // after CR: LF starts the status line, ETX ends the frame
    };
    void StartFrame() noexcept;
    [[nodiscard]] std::optional<SerialReading> EndFrame() const;

    State _state = State::WaitStart;
    LineBuffer<24> _lines[2];
    int _lineCount = 0;  // lines ended by CR so far
};

// SMA level 1: LF s r n m f <10 weight> <3 unit> CR, 20 bytes.
class SmaParser final : public IFrameParser {
  public:
    std::optional<SerialReading> Feed(uint8_t byte) override;
    void Reset() override;

  private:
    enum class State : uint8_t {
        WaitStart,  // until LF
        InFrame,    // the 18 bytes between LF and CR
    };
    State _state = State::WaitStart;
    LineBuffer<18> _frame;
};

// 8217: STX <weight> [N] CR, or STX ? <status> CR when there is no valid weight.
class Mt8217Parser final : public IFrameParser {
  public:
    std::optional<SerialReading> Feed(uint8_t byte) override;
    void Reset() override;

  private:
    enum class State : uint8_t {
        WaitStart,  // until STX
        InFrame,    // until CR
    };
    State _state = State::WaitStart;
    LineBuffer<10> _frame;
};

// MT-SICS level 0 answers: "S S   100.00 g" CR LF and the status-only ones.
class SicsParser final : public IFrameParser {
  public:
    std::optional<SerialReading> Feed(uint8_t byte) override;
    void Reset() override;

  private:
    LineReader<40> _lines;  // ended by LF
};

// Streamed lines "ST,GS,+0012.34kg" CR LF (header, gross/net, weight with unit), with CAS's
// ID and lamp field, A&D's form without the gross/net field, and blanks anywhere between.
class ContinuousLineParser final : public IFrameParser {
  public:
    static constexpr size_t kMaxLine = 40;

    std::optional<SerialReading> Feed(uint8_t byte) override;
    void Reset() override;

  private:
    LineReader<kMaxLine> _lines;  // ended by CR or LF
};

// Toledo continuous: STX SWA SWB SWC <6 weight> <6 tare> CR [checksum], streamed.
class ToledoParser final : public IFrameParser {
  public:
    std::optional<SerialReading> Feed(uint8_t byte) override;
    void Reset() override;

  private:
    enum class State : uint8_t {
        WaitStart,  // until STX
        InFrame,    // the 15 bytes between STX and CR
        AfterCr,    // the frame is whole: is the next byte its checksum or the next STX?
    };
    // Scales send the checksum or never do; which one is learnt from the byte after the CR.
    enum class Checksum : uint8_t { Unknown, Sent, NotSent };
    void StartFrame() noexcept;
    [[nodiscard]] std::optional<SerialReading> ReadFrame() const;

    State _state = State::WaitStart;
    Checksum _checksum = Checksum::Unknown;
    LineBuffer<15> _frame;
    uint8_t _sum = 0;  // 7-bit sum of the frame's bytes from STX to CR
    std::optional<SerialReading> _pending;
};

}  // namespace devices::serial
