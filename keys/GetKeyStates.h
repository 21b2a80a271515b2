#pragma once
// Whether Shift, Ctrl, Alt or a given key is held, as the calling thread sees the keyboard.
#include <cstdint>

namespace keys {

class IKeyStateSource {
  public:
    virtual ~IKeyStateSource() = default;
    // GetKeyState: the high-order bit is set while the key is down.
    [[nodiscard]] virtual int16_t GetKeyState(int32_t vk) const = 0;
};

// Side 0: both keys of the pair down; 1: the left one; 2: the right one; any other value:
// either of them.
bool IsShiftDown(const IKeyStateSource& source, int32_t side);
bool IsCtrlDown(const IKeyStateSource& source, int32_t side);
bool IsAltDown(const IKeyStateSource& source, int32_t side);
// The low byte of `key` is the key code.
bool IsKeyDown(const IKeyStateSource& source, int32_t key);

}  // namespace keys
