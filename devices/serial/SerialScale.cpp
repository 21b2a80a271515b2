#include "devices/serial/SerialScale.h"

#include <algorithm>
#include <chrono>
#include <system_error>

#include "devices/serial/SerialPorts.h"
#include "devices/serial/SerialReport.h"

namespace devices::serial {

namespace {
constexpr uint32_t kPauseStepMs = 50;
}  // namespace

ScaleNotice SerialNotice(SerialPhase phase, std::string_view port, const std::optional<StoredSerialScale>& found) {
    const std::string name(port);
    switch (phase) {
        case SerialPhase::Looking:
            return {"Looking for a scale on " + name + "...", true};
        case SerialPhase::Found:
            if (found) {
                return {std::string(Traits(found->protocol).name) + " scale on " + name + ", " + LineText(found->line),
                        false};
            }
            return {"Looking for a scale on " + name + "...", true};
        case SerialPhase::NoScale:
            return {"No scale answers on " + name, true};
        case SerialPhase::NotAnswering:
            return {"The scale on " + name + " does not answer", true};
        case SerialPhase::Gone:
            return {"Scale Not Found", true};  // what the read cycle says of a HID scale that is gone
    }
    return {};
}

bool SerialScale::Open(std::string_view devicePath) {
    const std::optional<std::string> port = SerialPortOfPath(devicePath);
    if (!port) {
        return false;
    }
    if (_worker.joinable() && *port == _port) {
        return true;  // a refresh re-selects the port being read: detection is not started over
    }
    Close();
    std::optional<StoredSerialScale> stored;
    if (const auto entry = _settings.SerialScales.find(*port); entry != _settings.SerialScales.end()) {
        stored = ParseSerialScaleEntry(entry->second);
    }
    {
        const std::scoped_lock lock(_lock);
        _phase = SerialPhase::Looking;
        _stored = stored;
        _found.reset();
        _foundToStore = false;
        _opened = false;
        _report = {};
        _fresh = false;
    }
    _line = _makeLine();
    if (!_line) {
        return false;
    }
    // While the port is away the session pauses between attempts: in short steps, so that a
    // new choice or the program's end is not held up by it.
    ISerialSessionSink& sink = *this;
    _session = std::make_unique<SerialSession>(*_line, *port, stored, sink, [this](uint32_t ms) {
        for (uint32_t waited = 0; waited < ms && !_stop; waited += kPauseStepMs) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(kPauseStepMs, ms - waited)));
        }
    });
    SetPollIntervalMs(_settings.SampleRate);
    _stop = false;
    try {
        _worker = std::thread([this] { _session->Run(_stop); });
    } catch (const std::system_error&) {
        _session.reset();
        _line.reset();
        return false;
    }
    _port = *port;
    return true;
}

void SerialScale::Close() {
    if (_worker.joinable()) {
        _stop = true;
        _worker.join();  // the session comes back within one read wait
    }
    _session.reset();
    if (_line) {
        _line->Close();
        _line.reset();
    }
    _port.clear();
}

ReadOutcome SerialScale::ReadNewest(std::span<uint8_t> dest, uint32_t /*waitMs*/) {
    const std::scoped_lock lock(_lock);
    if (_port.empty()) {
        return ReadOutcome::Failed;
    }
    if (_phase == SerialPhase::Gone) {
        return ReadOutcome::Gone;
    }
    if (!_fresh) {
        return ReadOutcome::NoReport;
    }
    _fresh = false;
    std::copy_n(_report.begin(), std::min(_report.size(), dest.size()), dest.begin());
    return ReadOutcome::Report;
}

void SerialScale::Zero(std::string_view /*devicePath*/) {
    if (_session && _session->CanZero()) {
        _session->RequestZero();
    }
}

bool SerialScale::CanZero() const {
    return _session && _session->CanZero();
}

ScaleNotice SerialScale::Notice() const {
    if (_port.empty()) {
        return {};
    }
    const std::scoped_lock lock(_lock);
    return SerialNotice(_phase, _port, _found);
}

void SerialScale::SetPollIntervalMs(int32_t sampleRate) {
    if (_session) {
        _session->SetPollIntervalMs(
            static_cast<uint32_t>(std::clamp<int32_t>(sampleRate, base::kMinSampleRateMs, 65535)));
    }
}

std::optional<std::pair<std::string, std::string>> SerialScale::TakeFound() {
    const std::scoped_lock lock(_lock);
    if (!_foundToStore || !_found || _port.empty()) {
        return std::nullopt;
    }
    _foundToStore = false;
    return std::pair(_port, SerialScaleEntryText(*_found));
}

// ---- the worker thread's news ------------------------------------------------------------

void SerialScale::Changed(const std::function<void()>& change) {
    {
        const std::scoped_lock lock(_lock);
        change();
    }
    if (_wake) {
        _wake();
    }
}

void SerialScale::Detected(const StoredSerialScale& found) {
    Changed([&] {
        _opened = true;
        _phase = SerialPhase::Found;
        _found = found;
        _foundToStore = found != _stored;
    });
}

void SerialScale::NoScaleAnswers() {
    Changed([&] {
        _opened = true;
        _phase = SerialPhase::NoScale;
    });
}

// A polled scale repeats its reading at every poll: only a reading that changes the report (or
// a scale that answers again) wakes the window, as a HID scale's repeated report does not.
void SerialScale::ReadingIn(const SerialReading& reading) {
    bool news = false;
    {
        const std::scoped_lock lock(_lock);
        _opened = true;
        if (_phase == SerialPhase::NotAnswering) {
            _phase = SerialPhase::Found;
            news = true;
        }
        const std::array<uint8_t, 8> report = WideReport(reading, _report);
        if (report != _report) {
            _report = report;
            _fresh = true;
            news = true;
        }
    }
    if (news && _wake) {
        _wake();
    }
}

void SerialScale::NotAnswering() {
    Changed([&] { _phase = SerialPhase::NotAnswering; });
}

// A port that has never opened (its device is not there at all, or it leads nowhere) has had no
// scale to lose: nothing answers on it. One that opened and went reads as an unplugged scale.
void SerialScale::PortGone() {
    Changed([&] {
        _phase = _opened ? SerialPhase::Gone : SerialPhase::NoScale;
        _report = {};  // the weight of before is no base for what the scale says once it is back
        _fresh = false;
    });
}

void SerialScale::PortBack() {
    Changed([&] {
        _opened = true;
        _phase = _found ? SerialPhase::Found : SerialPhase::Looking;
    });
}

}  // namespace devices::serial
