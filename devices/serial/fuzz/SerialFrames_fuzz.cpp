// Any bytes a serial port delivers, fed to every protocol's parser. Each reading must be one a
// scale could mean (a known unit, the decimals a weight field holds, no weight beside an
// overload, no settled status without a weight); Reset must leave nothing of what came before;
// the 7-bit protocols must not see the top bit; and whatever came before, a whole frame sent
// twice must read as that frame.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "devices/serial/SerialProtocol.h"

namespace {

using devices::serial::IFrameParser;
using devices::serial::MakeParser;
using devices::serial::Protocol;
using devices::serial::SerialReading;
using devices::serial::SerialStatus;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void CheckReading(const SerialReading& r) {
    if (r.hasWeight) {
        Require(r.unitCode == 2 || r.unitCode == 3 || r.unitCode == 11 || r.unitCode == 12);
        Require(r.exponent >= -8 && r.exponent <= 0);
        Require(r.digits >= -999'999'999 && r.digits <= 999'999'999);
        Require(r.status != SerialStatus::OverCapacity);
        Require(r.status != SerialStatus::Stable || r.digits >= 0);
    } else {
        Require(r.digits == 0 && r.exponent == 0 && r.unitCode == 0);
        Require(r.status != SerialStatus::Stable && r.status != SerialStatus::Zero);
    }
}

std::vector<SerialReading> Feed(IFrameParser& parser, std::string_view bytes) {
    std::vector<SerialReading> out;
    for (const char c : bytes) {
        if (const auto reading = parser.Feed(static_cast<uint8_t>(c))) {
            CheckReading(*reading);
            out.push_back(*reading);
        }
    }
    return out;
}

struct Sample {
    Protocol protocol;
    std::string_view frame;
    bool sevenBit;
};
constexpr Sample kSamples[] = {
    {Protocol::Nci, "\n01.250LB\r\nS00\r\x03", true},
    {Protocol::Sma, "\n 1GM      1.250lb \r", true},
    {Protocol::Mt8217, "\00200.600\r", true},
    {Protocol::Sics, "S D     -0.600 kg\r\n", true},
    {Protocol::ContinuousLine, "ST,NT,+0012.34kg\r\n", false},
    {Protocol::ToledoContinuous, "\x02%0 000600000000\r6", true},
};

}  // namespace

// The first byte splits the rest: what comes before a Reset, and what comes after it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string_view before = input.substr(0, data[0] % (input.size() + 1));
    const std::string_view after = input.substr(before.size());
    std::string flipped(input);
    for (char& c : flipped) {
        c = static_cast<char>(c ^ 0x80);
    }
    for (const Sample& sample : kSamples) {
        const auto fresh = MakeParser(sample.protocol);
        const auto reset = MakeParser(sample.protocol);
        (void)Feed(*reset, before);
        reset->Reset();
        Require(Feed(*reset, after) == Feed(*fresh, after));

        if (sample.sevenBit) {
            const auto plain = MakeParser(sample.protocol);
            const auto topBit = MakeParser(sample.protocol);
            Require(Feed(*plain, input) == Feed(*topBit, flipped));
        }

        const auto clean = MakeParser(sample.protocol);
        const std::vector<SerialReading> expected = Feed(*clean, sample.frame);
        Require(expected.size() == 1);
        const auto parser = MakeParser(sample.protocol);
        (void)Feed(*parser, input);
        const std::string twice = std::string(sample.frame) + std::string(sample.frame);
        const std::vector<SerialReading> got = Feed(*parser, twice);
        Require(!got.empty() && got.back() == expected.front());
    }
    return 0;
}
