#include "keys/GetKeyStates.h"

#include <gtest/gtest.h>

#include <map>

namespace keys {
namespace {

class FakeKeyState : public IKeyStateSource {
  public:
    explicit FakeKeyState(std::map<int32_t, int16_t> states) : _states(std::move(states)) {}
    int16_t GetKeyState(int32_t vk) const override {
        const auto it = _states.find(vk);
        return it == _states.end() ? 0 : it->second;
    }

  private:
    std::map<int32_t, int16_t> _states;
};

constexpr int16_t kDown = static_cast<int16_t>(0xFF80);  // what GetKeyState gives for a held key
constexpr int16_t kToggled = 0x0001;

TEST(GetKeyStates, SideSelectsWhichKeysCount) {
    struct Case {
        int line;
        std::map<int32_t, int16_t> states;
        int32_t side;
        bool shift, ctrl, alt;
    };
    const Case cases[] = {
        {__LINE__, {{16, kDown}, {160, kDown}}, 3, true, false, false},
        {__LINE__, {{16, kDown}, {160, kDown}}, 0, false, false, false},
        {__LINE__, {{16, kDown}, {160, kDown}, {161, kDown}}, 0, true, false, false},
        {__LINE__, {{16, kDown}, {160, kDown}}, 1, true, false, false},
        {__LINE__, {{16, kDown}, {160, kDown}}, 2, false, false, false},
        {__LINE__, {{17, kDown}, {163, kDown}}, 2, false, true, false},
        {__LINE__, {{17, kDown}, {163, kDown}}, 1, false, false, false},
        {__LINE__, {{18, kDown}, {164, kDown}}, -1, false, false, true},
        {__LINE__, {{18, kDown}, {164, kDown}, {165, kDown}}, 0, false, false, true},
        {__LINE__, {{165, kDown}}, 2, false, false, true},
        {__LINE__, {{16, kToggled}, {17, 0x7FFF}}, 3, false, false, false},
        {__LINE__, {{16, static_cast<int16_t>(0x8000)}}, 99, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const FakeKeyState source(c.states);
        EXPECT_EQ(IsShiftDown(source, c.side), c.shift);
        EXPECT_EQ(IsCtrlDown(source, c.side), c.ctrl);
        EXPECT_EQ(IsAltDown(source, c.side), c.alt);
    }
}

TEST(GetKeyStates, IsKeyDownUsesTheLowByte) {
    struct Case {
        int line;
        int32_t key;
        bool down;
    };
    const FakeKeyState source({{120, kDown}, {65, kToggled}});
    const Case cases[] = {
        {__LINE__, 120, true}, {__LINE__, 888, true},  {__LINE__, 0x1078, true},
        {__LINE__, 65, false}, {__LINE__, 121, false}, {__LINE__, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(IsKeyDown(source, c.key), c.down);
    }
}

}  // namespace
}  // namespace keys
