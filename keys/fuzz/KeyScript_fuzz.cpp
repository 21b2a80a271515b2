// Feeds arbitrary bytes to the script parser and reads the resulting queue back as events.
// Any crash, sanitizer report, hang, or broken invariant below is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "keys/KeyPlayer.h"
#include "keys/tests/FakeLayouts.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

const keys::testing::TableLayout& German() {
    static const keys::testing::TableLayout layout = keys::testing::GermanLayoutTable();
    return layout;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view script(reinterpret_cast<const char*>(data), size);
    const keys::CharMapping mapping =
        size > 0 && (data[0] & 1) ? keys::testing::MappingOn(German()) : keys::CharMapping(keys::testing::UsLayout);
    keys::KeyQueue queue;
    const int16_t code = keys::ParseKeys(script, mapping, queue);
    Check(code >= keys::kParseOk && code <= keys::kParseUnmappableChar);
    Check(queue.count >= 0 && queue.count <= keys::KeyQueue::kCapacity);
    if (code != keys::kParseOk) {
        return 0;
    }
    // Every ordinary key is released right after its press; modifiers toggle.
    keys::KeyReader reader(queue);
    int32_t key = -1;
    bool down = false;
    Check(keys::NextKeyEvent(reader, key, down));
    key = 0;
    int events = 0;
    int32_t pressed = 0;
    while (keys::NextKeyEvent(reader, key, down)) {
        ++events;
        const bool modifier = key == keys::kVkShift || key == keys::kVkControl || key == keys::kVkMenu;
        if (!modifier) {
            Check(down == (pressed == 0));
            Check(down || key == pressed);
            pressed = down ? key : 0;
        }
        Check(events <= 2 * keys::KeyQueue::kCapacity);
    }
    return 0;
}
