#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "devices/serial/SerialReport.h"
#include "devices/serial/SerialSession.h"

namespace devices::serial {
namespace {

// A scale behind the port: it answers the requests it knows, on its own line only, "|" parting
// answers that come apart; the request "" means it streams its answer every 100 ms, heard at
// any framing of its rate (a 7E1 scale read at 8 bits shows its parity in the top bit).
struct FakeScale {
    LineSettings line;
    std::vector<std::pair<std::string, std::string>> answers;
    [[nodiscard]] const std::string* Answer(std::string_view request) const {
        const auto it = std::find_if(answers.begin(), answers.end(), [&](const auto& a) { return a.first == request; });
        return it == answers.end() ? nullptr : &it->second;
    }
};

// A port whose clock moves only with the session's waits: a read takes its whole wait, or 30 ms
// when an answer is waiting (`piece` bytes of it at a time). `script` acts at given times.
class FakeLine final : public ISerialLine {
  public:
    FakeScale scale;
    bool present = true, answering = true;
    size_t piece = 64;
    uint64_t now = 0, until = 0;
    std::multimap<uint64_t, std::function<void()>> script;
    std::atomic<bool> stop{false};
    std::vector<std::string> writes;
    std::deque<std::string> pending;
    LineSettings current;

    void Advance(uint64_t ms) {
        now += ms;
        for (auto due = script.begin(); due != script.end() && due->first <= now; due = script.erase(due)) {
            due->second();
        }
        stop = now >= until;
    }
    bool Open(std::string_view) override { return present; }
    void Close() override {}
    bool Configure(const LineSettings& line) override { return current = line, present; }
    void Queue(const std::string& answer) {  // in reads of at most `piece` bytes, parted at "|"
        for (size_t from = 0, end = 0; from < answer.size(); from = end + (answer[end] == '|')) {
            end = std::min({answer.find('|', from), from + piece, answer.size()});
            pending.push_back(answer.substr(from, end - from));
        }
    }
    bool Write(std::string_view bytes) override {
        writes.emplace_back(bytes);
        if (const std::string* answer = scale.Answer(bytes); answer && present && answering && current == scale.line) {
            Queue(*answer);
        }
        return present;
    }
    std::optional<std::string> Read(uint32_t waitMs) override {
        const std::string* stream = scale.Answer("");
        if (stream && present && answering && current.baud == scale.line.baud && waitMs >= 100) {
            std::string sent;
            for (const char c : *stream) {
                const bool parity = scale.line.dataBits == 7 && current.dataBits == 8 && std::popcount(uint8_t(c)) % 2;
                sent += static_cast<char>(c | (parity ? 0x80 : 0));
            }
            Queue(sent), Advance(70);
        }
        Advance(pending.empty() ? waitMs : 30);
        std::string bytes = pending.empty() ? "" : pending.front();
        if (!pending.empty()) {
            pending.pop_front();
        }
        return present ? std::optional(bytes) : std::nullopt;
    }
    uint64_t NowMs() const override { return now; }
};

// The sink's calls in order, a run of right readings written once as "R".
struct Sink final : ISerialSessionSink {
    std::string log;
    void Add(const std::string& event) {
        if (event != "R" || !(log == "R" || log.ends_with("|R"))) {
            log += (log.empty() ? "" : "|") + event;
        }
    }
    void Detected(const StoredSerialScale& found) override { Add("Detected " + SerialScaleEntryText(found)); }
    void NoScaleAnswers() override { Add("NoScaleAnswers"); }
    void ReadingIn(const SerialReading& r) override {  // every fake scale weighs 1.25 lb, stable
        const bool right = r.hasWeight && r.unitCode == 12 && r.status == SerialStatus::Stable &&
                           (r.exponent == -2 ? r.digits == 125 : r.exponent == -3 && r.digits == 1250);
        Add(right ? "R" : "wrong " + std::to_string(r.digits) + "e" + std::to_string(r.exponent));
    }
    void NotAnswering() override { Add("NotAnswering"); }
    void PortGone() override { Add("PortGone"); }
    void PortBack() override { Add("PortBack"); }
};

// 1.25 lb, stable, as each protocol sends it.
const std::string kNci = "\n01.250LB\r\nS00\r\x03", kSma = "\n 1G        1.25lb \r", k8217 = "\00201.25\r";
const std::string kLine = "ST,GS,+0001.25lb\r\n", kToledo = "\x02$  000125000000\rE";
const FakeScale kNciScale{{9600, 7, 'E', 1}, {{"W\r", kNci}, {"Z\r", ""}}};

using Action = std::function<void(FakeLine&, SerialSession&)>;
Action Set(bool FakeLine::*flag, bool value) {
    return [=](FakeLine& line, SerialSession&) { line.*flag = value; };
}
const Action kMute = Set(&FakeLine::answering, false), kUnmute = Set(&FakeLine::answering, true);
const Action kUnplug = Set(&FakeLine::present, false), kPlug = Set(&FakeLine::present, true);
const Action kHalve = [](FakeLine& line, SerialSession&) { line.piece = 3; };
const Action kZero = [](FakeLine& line, SerialSession& session) {
    EXPECT_EQ(session.CanZero(), !line.scale.Answer(""));  // a streaming scale takes no commands
    session.RequestZero();
};

struct Scenario {
    const char* name;
    FakeScale scale;
    std::optional<StoredSerialScale> stored;
    std::vector<std::pair<uint64_t, Action>> script;
    uint64_t until;
    std::string log;
};

TEST(SerialSession, DetectsReadsAndRecovers) {
    // clang-format off
    const Scenario scenarios[] = {
        // Each protocol is found at its own line, by listening or by a request that only reads;
        // the CR after the probe's W draws a second 8217 answer (here: in motion) that is no reading.
        {"NCI", {{4800, 7, 'E', 1}, {{"W\r", kNci}}}, {}, {}, 20000, "Detected NCI 4800 7E1|R"},
        {"SMA", {{9600, 8, 'N', 1}, {{"\nW\r", kSma}}}, {}, {}, 20000, "Detected SMA 9600 8N1|R"},
        {"8217", {{19200, 7, 'E', 1}, {{"W\r", k8217 + "|\x02?A\r"}, {"W", k8217}}}, {}, {}, 20000,
         "Detected 8217 19200 7E1|R"},
        {"MT-SICS", {{2400, 8, 'N', 1}, {{"SI\r\n", "S S      1.25 lb\r\n"}}}, {}, {}, 30000,
         "Detected MT-SICS 2400 8N1|R"},
        {"Continuous 7E1", {{1200, 7, 'E', 1}, {{"", kLine}}}, {}, {}, 30000, "Detected Continuous 1200 8N1|R"},
        {"Toledo", {{9600, 7, 'E', 1}, {{"", kToledo}}}, {}, {}, 5000, "Detected Toledo 9600 8N1|R"},
        // Nothing answers: every rate is tried, then all again some seconds later.
        {"silent", {{9600, 8, 'N', 1}, {}}, {}, {}, 70000, "NoScaleAnswers|NoScaleAnswers"},
        // A stored entry is used as it stands, at a rate detection would reach late.
        {"stored", {{38400, 8, 'N', 1}, {{"\nW\r", kSma}}}, StoredSerialScale{Protocol::Sma, {38400, 8, 'N', 1}}, {},
         1000, "Detected SMA 38400 8N1|R"},
        // Each silence is told once however long it lasts; polling goes on to hear the scale again.
        {"silence", kNciScale, {}, {{3000, kMute}, {9000, kUnmute}, {10000, kMute}, {13000, kUnmute}}, 14000,
         "Detected NCI 9600 7E1|R|NotAnswering|R|NotAnswering|R"},
        {"gone", kNciScale, {}, {{3000, kUnplug}, {9000, kPlug}}, 10000, "Detected NCI 9600 7E1|R|PortGone|PortBack|R"},
        {"zero", kNciScale, {}, {{2000, kZero}}, 5000, "Detected NCI 9600 7E1|R"},
        {"zero, streaming", {{9600, 8, 'N', 1}, {{"", kLine}}}, {}, {{2000, kZero}}, 5000,
         "Detected Continuous 9600 8N1|R"},
        {"half frames", kNciScale, {}, {{0, kHalve}}, 5000, "Detected NCI 9600 7E1|R"},
    };
    // clang-format on
    for (const Scenario& s : scenarios) {
        FakeLine line;
        line.scale = s.scale, line.until = s.until;
        Sink sink;
        SerialSession session(line, "COM5", s.stored, sink, [&](uint32_t ms) { line.Advance(ms); });
        for (const auto& [ms, action] : s.script) {
            line.script.emplace(ms, [&] { action(line, session); });
        }
        session.Run(line.stop);
        EXPECT_EQ(sink.log, s.log) << s.name;
        // Nothing is sent that zeros, tares, prints or powers off, but the one zero asked for.
        const auto unsafe = [](const std::string& w) { return w.find_first_of("ZTCXP") != std::string::npos; };
        const long zeroAsked = s.name == std::string("zero");
        EXPECT_EQ(std::count_if(line.writes.begin(), line.writes.end(), unsafe), zeroAsked) << s.name;
        EXPECT_EQ(std::count(line.writes.begin(), line.writes.end(), "Z\r"), zeroAsked) << s.name;
    }
}

TEST(SerialScaleEntry, ReadsWhatItWritesAndRefusesTheRest) {
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {"NCI 9600 7E1", "NCI 9600 7E1"}, {" mt-sics\t19200  8n2 ", "MT-SICS 19200 8N2"},
        {"toledo 2400 7O1", "Toledo 2400 7O1"}, {"", ""}, {"NCI 9600", ""}, {"NCI 9600 7E1 x", ""},
        {"HID 9600 8N1", ""}, {"NCI 96OO 7E1", ""}, {"NCI 0 7E1", ""}, {"NCI 99999999999 8N1", ""},
        {"NCI -9600 7E1", ""}, {"NCI 9600 6E1", ""}, {"NCI 9600 7X1", ""}, {"NCI 9600 7E3", ""}, {"NCI 9600 7E", ""},
    };
    // clang-format on
    for (const auto& [text, canonical] : cases) {
        const auto entry = ParseSerialScaleEntry(text);
        EXPECT_EQ(entry ? SerialScaleEntryText(*entry) : "", canonical) << text;
    }
}

// Status codes as the HID report names them; a frame without a weight keeps the weight shown
// only in motion (never a HID scale's bytes), an overload shows none; digits beyond 32 bits lose decimals, rounded,
// rather than wrap.
TEST(WideReport, KeepsStatusUnitAndEveryDigitThatFits) {
    using S = SerialStatus;
    const std::array<uint8_t, 8> none{}, shown{0xFF, 4, 12, 0xFD, 0xE2, 0x04, 0, 0}, hid{3, 4, 12, 0xFE, 0x10, 0, 9, 9};
    struct Case {
        SerialReading reading;
        std::array<uint8_t, 8> previous, report;
    };
    const Case cases[] = {
        {{S::Stable, true, 1250, -3, 12}, none, shown},
        {{S::Motion, false}, shown, {0xFF, 3, 12, 0xFD, 0xE2, 0x04, 0, 0}},
        {{S::OverCapacity, false}, hid, {0xFF, 6, 0, 0, 0, 0, 0, 0}},
        {{S::OverCapacity, false}, shown, {0xFF, 6, 12, 0xFD, 0, 0, 0, 0}},
        {{S::UnderZero, true, -1250, -3, 3}, none, {0xFF, 5, 3, 0xFD, 0x1E, 0xFB, 0xFF, 0xFF}},
        {{S::Zero, true, 0, -2, 12}, shown, {0xFF, 2, 12, 0xFE, 0, 0, 0, 0}},
        {{S::NotInitialised, false}, none, {0xFF, 8, 0, 0, 0, 0, 0, 0}},
        {{S::Error, false}, none, {0xFF, 1, 0, 0, 0, 0, 0, 0}},
        {{S::Stable, true, 123456789012, -6, 2}, none, {0xFF, 4, 2, 0xFC, 0xD2, 0x02, 0x96, 0x49}},
        {{S::Stable, true, 21474836475, -3, 3}, none, {0xFF, 4, 3, 0xFF, 0xCD, 0xCC, 0xCC, 0x0C}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WideReport(c.reading, c.previous), c.report) << c.reading.digits;
    }
}

}  // namespace
}  // namespace devices::serial
