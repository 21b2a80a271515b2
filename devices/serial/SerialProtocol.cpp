#include "devices/serial/SerialProtocol.h"

#include <array>

#include "base/TextUtil.h"
#include "devices/serial/SerialParsers.h"

namespace devices::serial {
namespace {

constexpr LineSettings kLine7E1{.baud = 9600, .dataBits = 7, .parity = 'E', .stopBits = 1};
constexpr LineSettings kLine8N1{.baud = 9600, .dataBits = 8, .parity = 'N', .stopBits = 1};

// In the order of the Protocol enum. The streaming protocols are listened to at 8N1: their
// parsers drop the eighth bit where it can only be a parity bit, so a 7E1 scale reads as well.
constexpr std::array<ProtocolTraits, kProtocolCount> kTraits{{
    {Protocol::Nci, "NCI", kLine7E1, "W\r", "Z\r"},
    {Protocol::Sma, "SMA", kLine8N1, "\nW\r", "\nZ\r"},
    {Protocol::Mt8217, "8217", kLine7E1, "W", "Z"},
    {Protocol::Sics, "MT-SICS", kLine8N1, "SI\r\n", "Z\r\n"},
    {Protocol::ContinuousLine, "Continuous", kLine8N1, "", ""},
    {Protocol::ToledoContinuous, "Toledo", kLine8N1, "", ""},
}};

}  // namespace

const ProtocolTraits& Traits(Protocol protocol) {
    return kTraits[static_cast<size_t>(protocol)];
}

std::optional<Protocol> ProtocolByName(std::string_view name) {
    for (const ProtocolTraits& traits : kTraits) {
        if (base::EqualsIgnoreCase(name, traits.name)) {
            return traits.protocol;
        }
    }
    return std::nullopt;
}

std::unique_ptr<IFrameParser> MakeParser(Protocol protocol) {
    switch (protocol) {
        case Protocol::Nci:
            return std::make_unique<NciParser>();
        case Protocol::Sma:
            return std::make_unique<SmaParser>();
        case Protocol::Mt8217:
            return std::make_unique<Mt8217Parser>();
        case Protocol::Sics:
            return std::make_unique<SicsParser>();
        case Protocol::ContinuousLine:
            return std::make_unique<ContinuousLineParser>();
        case Protocol::ToledoContinuous:
            return std::make_unique<ToledoParser>();
    }
    return nullptr;
}

}  // namespace devices::serial
