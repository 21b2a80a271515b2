#pragma once
// One chosen serial port, read on a worker thread: open it (and again while it is gone), find
// the scale's protocol and line (or take the one the settings file names), then poll or listen
// and hand every reading to the sink. Portable: it sees the port only through ISerialLine.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "devices/serial/SerialLine.h"
#include "devices/serial/SerialProtocol.h"

namespace devices::serial {

struct StoredSerialScale {
    Protocol protocol;
    LineSettings line;
    bool operator==(const StoredSerialScale&) const = default;
};

// "NCI 9600 7E1" <-> StoredSerialScale; nullopt for anything else (a hand-edited entry that is
// not understood means: detect). Protocol names as in Traits().name, without regard to case.
[[nodiscard]] std::optional<StoredSerialScale> ParseSerialScaleEntry(std::string_view text);
[[nodiscard]] std::string SerialScaleEntryText(const StoredSerialScale& scale);
[[nodiscard]] std::string LineText(const LineSettings& line);  // "9600 7E1"

class ISerialSessionSink {  // called on the session's (worker) thread
  public:
    virtual ~ISerialSessionSink() = default;
    virtual void Detected(const StoredSerialScale& found) = 0;  // also when a stored entry was used
    virtual void NoScaleAnswers() = 0;                          // detection found nothing; it is retried later
    virtual void ReadingIn(const SerialReading& reading) = 0;   // every reading (newest wins on the reader side)
    virtual void NotAnswering() = 0;                            // a detected scale went silent; polling goes on
    virtual void PortGone() = 0;                                // the port failed; re-opened until it is back
    virtual void PortBack() = 0;
};

class SerialSession {
  public:
    // `pause` waits while the port cannot be opened (there is no line to wait on then); by
    // default it sleeps the thread.
    SerialSession(ISerialLine& line,
                  std::string portName,
                  std::optional<StoredSerialScale> stored,
                  ISerialSessionSink& sink,
                  std::function<void(uint32_t ms)> pause = {});
    ~SerialSession();
    SerialSession(const SerialSession&) = delete;
    SerialSession& operator=(const SerialSession&) = delete;

    // The worker thread's body; returns soon (<= one read wait) after stop is set.
    void Run(const std::atomic<bool>& stop);
    void SetPollIntervalMs(uint32_t ms);  // SampleRate; thread-safe
    void RequestZero();                   // thread-safe; sent at the next turn, once
    [[nodiscard]] bool CanZero() const;   // false until detected, and for streaming protocols

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace devices::serial
