#pragma once
// A recording injector: every event and every wait lands in one log, on a fake clock.
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "keys/KeyPlayer.h"

namespace keys::testing {

class FakeInjector : public IKeyInjector {
  public:
    // What the layout gives as scan code: anything the player could not have made up.
    static uint32_t ScanOf(uint32_t vk) { return (vk ^ 0x55) & 0xFF; }

    void Inject(const KeyEvent& e) override {
        events.push_back(e);
        const uint32_t flags = e.flags;
        Add((flags & kKeyEventKeyUp) ? "-" : "+");
        if (flags & kKeyEventUnicode) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "U%04X", static_cast<unsigned>(e.scan));
            log += hex;
            if (e.vk != 0) {
                log += "?vk";
            }
        } else {
            log += std::to_string(e.vk);
            if (flags & kKeyEventExtended) {
                log += 'x';
            }
            if (e.scan != ScanOf(e.vk)) {
                log += '/' + std::to_string(e.scan);
            }
        }
        if (flags & ~(kKeyEventKeyUp | kKeyEventExtended | kKeyEventUnicode)) {
            log += "?flags";
        }
        if (state != KeyboardState{}) {
            ++injectedWithStateSet;
        }
        now += injectCostMicroseconds;
        if (onInject) {
            onInject(e.vk, (flags & kKeyEventKeyUp) == 0);
        }
    }
    uint32_t MapVirtualKey(uint32_t vk) override { return ScanOf(vk); }
    KeyboardState GetKeyboardState() override {
        ++stateReads;
        return state;
    }
    void SetKeyboardState(const KeyboardState& s) override {
        ++stateWrites;
        state = s;
    }
    int64_t NowMicroseconds() override { return now; }
    void WaitUntil(int64_t deadline) override {
        const int64_t length = deadline - now;
        Add("w");
        log += length % 1000 == 0 ? std::to_string(length / 1000) + "ms" : std::to_string(length) + "us";
        if (onWait) {
            onWait();
        }
        now = std::max(now, deadline) + oversleepMicroseconds;
    }

    std::string log;
    std::vector<KeyEvent> events;
    KeyboardState state{};
    int stateReads = 0;
    int stateWrites = 0;
    int injectedWithStateSet = 0;  // events sent while the thread's key state was not cleared
    int64_t now = 1'000'000;
    int64_t injectCostMicroseconds = 0;
    int64_t oversleepMicroseconds = 0;
    std::function<void(uint16_t vk, bool down)> onInject;
    std::function<void()> onWait;

  private:
    void Add(const char* item) {
        if (!log.empty()) {
            log += ' ';
        }
        log += item;
    }
};

}  // namespace keys::testing
