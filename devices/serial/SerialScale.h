#pragma once
// The chosen serial port as the scale being read. A worker thread runs the port's session (one
// per chosen port, started when the row is chosen and joined when another is chosen, the port
// leaves the list, or the program ends); the session's news is kept here under a lock and the
// window is woken, and the read cycle takes the newest reading without waiting.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>

#include "base/model/Settings.h"
#include "devices/ChosenScale.h"
#include "devices/serial/SerialLine.h"
#include "devices/serial/SerialSession.h"

namespace devices::serial {

// Where the session stands, as the status line tells it.
enum class SerialPhase : uint8_t { Looking, Found, NoScale, NotAnswering, Gone };

// "Looking for a scale on COM5...", "NCI scale on COM5, 9600 7E1", "No scale answers on COM5",
// "The scale on COM5 does not answer"; a port that is gone reads as a HID scale that is,
// "Scale Not Found". Only the found scale's line leaves the report's own status text shown.
[[nodiscard]] ScaleNotice SerialNotice(SerialPhase phase,
                                       std::string_view port,
                                       const std::optional<StoredSerialScale>& found);

class SerialScale final : public IChosenScale, private ISerialSessionSink {
  public:
    using LineFactory = std::function<std::unique_ptr<ISerialLine>()>;
    // `settings` gives the stored scale of each port (SerialScales) and the poll interval
    // (SampleRate) when a port is opened. `wake` runs on the worker thread after every piece of
    // news; it must not block.
    SerialScale(const base::Settings& settings, LineFactory makeLine, std::function<void()> wake)
        : _settings(settings), _makeLine(std::move(makeLine)), _wake(std::move(wake)) {}
    SerialScale(const SerialScale&) = delete;
    SerialScale& operator=(const SerialScale&) = delete;
    ~SerialScale() override { Close(); }

    // Starts the worker for the port `devicePath` names; the port itself is opened (and opened
    // again while it is gone) by the session. The port being read already goes on as it is.
    [[nodiscard]] bool Open(std::string_view devicePath) override;
    [[nodiscard]] ReadOutcome ReadNewest(std::span<uint8_t> dest, uint32_t waitMs) override;
    void Zero(std::string_view devicePath) override;
    void Close() override;
    [[nodiscard]] bool CanZero() const override;
    [[nodiscard]] ScaleNotice Notice() const override;

    void SetPollIntervalMs(int32_t sampleRate);
    // A scale that detection found since the last call, as its settings entry: port and text
    // ("COM5", "NCI 9600 7E1"). Nothing for the stored entry the port was opened with.
    [[nodiscard]] std::optional<std::pair<std::string, std::string>> TakeFound();

  private:
    void Detected(const StoredSerialScale& found) override;
    void NoScaleAnswers() override;
    void ReadingIn(const SerialReading& reading) override;
    void NotAnswering() override;
    void PortGone() override;
    void PortBack() override;
    void Changed(const std::function<void()>& change);

    const base::Settings& _settings;
    LineFactory _makeLine;
    std::function<void()> _wake;

    // The window thread's own.
    std::unique_ptr<ISerialLine> _line;
    std::unique_ptr<SerialSession> _session;
    std::thread _worker;
    std::atomic<bool> _stop{false};
    std::string _port;  // empty: nothing open

    // Shared with the worker thread.
    mutable std::mutex _lock;
    SerialPhase _phase = SerialPhase::Looking;
    std::optional<StoredSerialScale> _stored;  // the port's entry when it was opened
    std::optional<StoredSerialScale> _found;
    bool _foundToStore = false;
    // The newest reading as a report, built on the one before (see WideReport), taken by the
    // window or not.
    std::array<uint8_t, 8> _report{};
    bool _fresh = false;   // _report has not been taken yet
    bool _opened = false;  // the session has had the port open since it was chosen
};

}  // namespace devices::serial
