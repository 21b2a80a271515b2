#include "web/Sse.h"

#include "web/Reading.h"

namespace web {

std::string SseStreamStart() {
    return "retry: 2000\n\n";
}

std::string SseEvent(std::string_view payload) {
    std::string out = "data: ";
    for (size_t i = 0; i < payload.size(); ++i) {
        const char c = payload[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < payload.size() && payload[i + 1] == '\n') {
                ++i;
            }
            out += "\ndata: ";
        } else {
            out += c;
        }
    }
    out += "\n\n";
    return out;
}

std::string SseEvent(std::string_view type, std::string_view payload) {
    return "event: " + std::string(type) + "\n" + SseEvent(payload);
}

std::string SseHeartbeat(int64_t msSinceEpoch) {
    return SseEvent("heartbeat", "{\"time\":" + JsonString(IsoUtc(msSinceEpoch)) + "}");
}

}  // namespace web
