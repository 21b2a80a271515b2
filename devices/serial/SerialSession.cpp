#include "devices/serial/SerialSession.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <thread>
#include <utility>
#include <vector>

namespace devices::serial {
namespace {

// Detection tries the rates scales ship with, the most common first.
constexpr std::array<uint32_t, 8> kRates = {9600, 19200, 4800, 2400, 1200, 38400, 57600, 115200};

// One step of detection at a rate: the request (none: listen for a streaming scale), the
// framing it is sent in, how long the answer may take, and the parsers that read it. Only
// requests that read the weight are sent: a port may hold any scale, and Z, T, C, P or X would
// zero, tare, print or power it off.
struct DetectStep {
    std::string_view request;
    uint8_t dataBits;
    char parity;
    uint32_t waitMs;
    std::array<Protocol, 2> protocols;
    size_t protocolCount;
};
constexpr std::array<DetectStep, 4> kDetectSteps = {{
    {"", 8, 'N', 1200, {Protocol::ContinuousLine, Protocol::ToledoContinuous}, 2},
    {"W\r", 7, 'E', 800, {Protocol::Nci, Protocol::Mt8217}, 2},  // NCI ends in ETX, 8217 in CR
    {"\nW\r", 8, 'N', 800, {Protocol::Sma, Protocol::Sma}, 1},
    {"SI\r\n", 8, 'N', 800, {Protocol::Sics, Protocol::Sics}, 1},
}};

constexpr uint32_t kDefaultPollMs = 50;
constexpr uint32_t kMinAnswerWaitMs = 300;  // a polled scale's answer; longer when polled more slowly
constexpr uint32_t kSilenceMs = 2000;       // no frame this long: the scale does not answer
constexpr int kUnansweredPolls = 3;         // ... or this many polls in a row without an answer
constexpr uint32_t kReopenMs = 1000;        // a port that cannot be opened is tried again
constexpr uint32_t kRedetectMs = 10000;     // after detection found nothing
constexpr uint32_t kDrainMs = 300;          // 8217's extra answer to the probe's CR
// The longest single wait: stop is noticed within it.
constexpr uint32_t kMaxWaitMs = 200;

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::string LineText(const LineSettings& line) {
    return std::to_string(line.baud) + ' ' + std::to_string(line.dataBits) + line.parity +
           std::to_string(line.stopBits);
}

std::string SerialScaleEntryText(const StoredSerialScale& scale) {
    return std::string(Traits(scale.protocol).name) + ' ' + LineText(scale.line);
}

std::optional<StoredSerialScale> ParseSerialScaleEntry(std::string_view text) {
    // Three words: the protocol's name, the rate, and data bits, parity and stop bits.
    std::array<std::string_view, 3> words;
    size_t count = 0;
    text = Trimmed(text);
    while (!text.empty()) {
        if (count == words.size()) {
            return std::nullopt;
        }
        const auto end = std::min(text.find_first_of(" \t"), text.size());
        words[count++] = text.substr(0, end);
        text = Trimmed(text.substr(end));
    }
    if (count != words.size()) {
        return std::nullopt;
    }
    const std::optional<Protocol> protocol = ProtocolByName(words[0]);
    uint32_t baud = 0;
    const std::string_view rate = words[1];
    const auto [end, error] = std::from_chars(rate.data(), rate.data() + rate.size(), baud);
    const std::string_view frame = words[2];
    if (!protocol || error != std::errc{} || end != rate.data() + rate.size() || baud < 50 || baud > 4000000 ||
        frame.size() != 3) {
        return std::nullopt;
    }
    const char parity = static_cast<char>(frame[1] & ~0x20);  // upper case
    if ((frame[0] != '7' && frame[0] != '8') || (parity != 'N' && parity != 'E' && parity != 'O') ||
        (frame[2] != '1' && frame[2] != '2')) {
        return std::nullopt;
    }
    return StoredSerialScale{
        *protocol, {baud, static_cast<uint8_t>(frame[0] - '0'), parity, static_cast<uint8_t>(frame[2] - '0')}};
}

struct SerialSession::Impl {
    ISerialLine& line;
    std::string portName;
    ISerialSessionSink& sink;
    std::function<void(uint32_t)> pause;

    std::optional<StoredSerialScale> scale;  // stored, or found by detection
    bool announced = false;                  // Detected() told for the scale
    std::atomic<uint32_t> pollMs{kDefaultPollMs};
    std::atomic<bool> zeroWanted{false};
    std::atomic<bool> canZero{false};

    bool open = false;
    bool configured = false;   // the line is set for the scale
    bool failed = false;       // a call on the open line failed: the port is gone
    bool goneTold = false;     // PortGone() told, PortBack() not yet
    bool silenceTold = false;  // NotAnswering() told, no reading since
    uint64_t lastFrameMs = 0;
    int unanswered = 0;
    std::unique_ptr<IFrameParser> parser;

    Impl(ISerialLine& l,
         std::string port,
         std::optional<StoredSerialScale> stored,
         ISerialSessionSink& s,
         std::function<void(uint32_t)> p)
        : line(l), portName(std::move(port)), sink(s), pause(std::move(p)), scale(std::move(stored)) {
        if (!pause) {
            pause = [](uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
        }
    }

    void Run(const std::atomic<bool>& stop);
    bool OpenPort(const std::atomic<bool>& stop);
    void LosePort();
    bool Configure(const LineSettings& settings);
    bool Write(std::string_view bytes);
    std::optional<std::string> Read(uint64_t deadline);
    void Detect(const std::atomic<bool>& stop);
    void UseScale();
    void PollTurn(const std::atomic<bool>& stop);
    void StreamTurn(const std::atomic<bool>& stop);
    bool Collect(uint64_t deadline, bool untilFrame, const std::atomic<bool>& stop);
    void Idle(uint64_t deadline, const std::atomic<bool>& stop);
};

void SerialSession::Impl::Run(const std::atomic<bool>& stop) {
    while (!stop) {
        if (!open && !OpenPort(stop)) {
            continue;
        }
        if (!scale) {
            Detect(stop);
        } else {
            if (!configured) {
                UseScale();
            }
            if (configured && Traits(scale->protocol).pollCommand.empty()) {
                StreamTurn(stop);
            } else if (configured) {
                PollTurn(stop);
            }
        }
        if (failed) {
            LosePort();
        }
    }
    line.Close();
    open = false;
}

bool SerialSession::Impl::OpenPort(const std::atomic<bool>& stop) {
    if (!line.Open(portName)) {
        // A port that cannot be opened reads as an unplugged scale, whether it went away while
        // read or was never there (or another program holds it).
        if (!goneTold) {
            goneTold = true;
            sink.PortGone();
        }
        for (uint32_t waited = 0; waited < kReopenMs && !stop; waited += kMaxWaitMs) {
            pause(kMaxWaitMs);
        }
        return false;
    }
    open = true;
    failed = false;
    configured = false;
    if (goneTold) {
        goneTold = false;
        sink.PortBack();
    }
    return true;
}

void SerialSession::Impl::LosePort() {
    line.Close();
    open = false;
    failed = false;
    configured = false;
    if (!goneTold) {
        goneTold = true;
        sink.PortGone();
    }
}

bool SerialSession::Impl::Configure(const LineSettings& settings) {
    failed = failed || !line.Configure(settings);
    return !failed;
}

bool SerialSession::Impl::Write(std::string_view bytes) {
    failed = failed || !line.Write(bytes);
    return !failed;
}

// One read, never past the deadline and never longer than kMaxWaitMs.
std::optional<std::string> SerialSession::Impl::Read(uint64_t deadline) {
    const uint64_t now = line.NowMs();
    const auto wait = static_cast<uint32_t>(std::min<uint64_t>(deadline > now ? deadline - now : 0, kMaxWaitMs));
    std::optional<std::string> bytes = line.Read(wait);
    failed = failed || !bytes;
    return bytes;
}

// Listens, then asks with each safe request, at each rate in turn; the first whole frame any
// parser reads tells the protocol and the line. A status-only frame counts: a scale in motion
// still answers.
void SerialSession::Impl::Detect(const std::atomic<bool>& stop) {
    for (const uint32_t baud : kRates) {
        for (const DetectStep& step : kDetectSteps) {
            LineSettings settings{baud, step.dataBits, step.parity, 1};
            if (stop || !Configure(settings) || (!step.request.empty() && !Write(step.request))) {
                return;
            }
            std::vector<std::pair<Protocol, std::unique_ptr<IFrameParser>>> parsers;
            for (size_t i = 0; i < step.protocolCount; ++i) {
                parsers.emplace_back(step.protocols[i], MakeParser(step.protocols[i]));
            }
            const uint64_t deadline = line.NowMs() + step.waitMs;
            while (!stop && line.NowMs() < deadline) {
                const std::optional<std::string> bytes = Read(deadline);
                if (!bytes) {
                    return;
                }
                for (const char c : *bytes) {
                    std::optional<SerialReading> reading;
                    for (auto& [protocol, parser] : parsers) {
                        if ((reading = parser->Feed(static_cast<uint8_t>(c)))) {
                            scale = StoredSerialScale{protocol, settings};
                            break;
                        }
                    }
                    if (reading) {
                        if (scale->protocol == Protocol::Mt8217) {
                            // The probe's CR draws a second, status-only answer: not a reading.
                            Idle(line.NowMs() + kDrainMs, stop);
                        }
                        UseScale();
                        if (!failed) {
                            sink.ReadingIn(*reading);
                        }
                        return;
                    }
                }
            }
        }
    }
    if (!stop) {
        sink.NoScaleAnswers();
        Idle(line.NowMs() + kRedetectMs, stop);
    }
}

// Sets the line for the known scale and starts reading it afresh.
void SerialSession::Impl::UseScale() {
    if (!Configure(scale->line)) {
        return;
    }
    configured = true;
    parser = MakeParser(scale->protocol);
    const ProtocolTraits& traits = Traits(scale->protocol);
    canZero = !traits.pollCommand.empty() && !traits.zeroCommand.empty();
    if (!announced) {
        announced = true;
        zeroWanted = false;  // asked for before there was a scale to zero
        sink.Detected(*scale);
    }
    lastFrameMs = line.NowMs();
    unanswered = 0;
    silenceTold = false;
}

// One request, its answer, and the rest of the poll interval. One request at a time: the next
// is sent only after an answer or the answer's wait.
void SerialSession::Impl::PollTurn(const std::atomic<bool>& stop) {
    const ProtocolTraits& traits = Traits(scale->protocol);
    const uint32_t interval = pollMs.load();
    const uint32_t answerWait = std::max(kMinAnswerWaitMs, interval);
    if (zeroWanted.exchange(false)) {
        // Its answer, where the scale gives one, is read like any other.
        if (Write(traits.zeroCommand)) {
            Collect(line.NowMs() + kMinAnswerWaitMs, true, stop);
        }
        if (failed) {
            return;
        }
    }
    const uint64_t start = line.NowMs();
    if (!Write(traits.pollCommand)) {
        return;
    }
    unanswered = Collect(start + answerWait, true, stop) ? 0 : unanswered + 1;
    if (!failed && !silenceTold && (unanswered >= kUnansweredPolls || line.NowMs() - lastFrameMs >= kSilenceMs)) {
        silenceTold = true;
        sink.NotAnswering();
    }
    Idle(start + interval, stop);
}

void SerialSession::Impl::StreamTurn(const std::atomic<bool>& stop) {
    zeroWanted = false;  // a streaming scale takes no commands
    Collect(line.NowMs() + kMaxWaitMs, false, stop);
    if (!failed && !silenceTold && line.NowMs() - lastFrameMs >= kSilenceMs) {
        silenceTold = true;
        sink.NotAnswering();
    }
}

// Reads until the deadline (or the first frame), handing every reading to the sink; true when
// one came.
bool SerialSession::Impl::Collect(uint64_t deadline, bool untilFrame, const std::atomic<bool>& stop) {
    bool any = false;
    while (!stop && !(untilFrame && any) && line.NowMs() < deadline) {
        const std::optional<std::string> bytes = Read(deadline);
        if (!bytes) {
            return any;
        }
        for (const char c : *bytes) {
            // A parity bit read as an eighth data bit is the parsers' to drop.
            if (const std::optional<SerialReading> reading = parser->Feed(static_cast<uint8_t>(c))) {
                any = true;
                lastFrameMs = line.NowMs();
                silenceTold = false;
                sink.ReadingIn(*reading);
            }
        }
    }
    return any;
}

// Waits until the deadline. A streaming scale is read on meanwhile; what comes during
// detection's waits is dropped. Between a polled scale's answer and its next poll nothing is
// due: the thread sleeps rather than reads, since every read (and every change of its time-out)
// is a round trip to the system, many a second at a short SampleRate. What comes meanwhile waits
// in the port's buffer for the next poll's read, and a late answer is still read as its weight.
void SerialSession::Impl::Idle(uint64_t deadline, const std::atomic<bool>& stop) {
    if (configured && scale && parser && !Traits(scale->protocol).pollCommand.empty()) {
        if (const uint64_t now = line.NowMs(); !stop && now < deadline) {
            pause(static_cast<uint32_t>(deadline - now));
        }
        return;
    }
    while (!stop && !failed && line.NowMs() < deadline) {
        if (configured && scale && parser) {
            Collect(deadline, false, stop);
        } else {
            Read(deadline);
        }
    }
}

SerialSession::SerialSession(ISerialLine& line,
                             std::string portName,
                             std::optional<StoredSerialScale> stored,
                             ISerialSessionSink& sink,
                             std::function<void(uint32_t)> pause)
    : impl_(std::make_unique<Impl>(line, std::move(portName), std::move(stored), sink, std::move(pause))) {}

SerialSession::~SerialSession() = default;

void SerialSession::Run(const std::atomic<bool>& stop) {
    impl_->Run(stop);
}

void SerialSession::SetPollIntervalMs(uint32_t ms) {
    impl_->pollMs = ms == 0 ? kDefaultPollMs : ms;
}

void SerialSession::RequestZero() {
    impl_->zeroWanted = true;
}

bool SerialSession::CanZero() const {
    return impl_->canZero;
}

}  // namespace devices::serial
