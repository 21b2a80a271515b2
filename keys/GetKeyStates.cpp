#include "keys/GetKeyStates.h"

namespace keys {

namespace {

bool Down(const IKeyStateSource& source, int32_t vk) {
    return (static_cast<uint16_t>(source.GetKeyState(vk)) & 0x8000) != 0;
}

// `left` and `left + 1` are the two sided codes of the modifier `either`.
bool SidedDown(const IKeyStateSource& source, int32_t side, int32_t either, int32_t left) {
    switch (side) {
        case 0:
            return Down(source, left) && Down(source, left + 1);
        case 1:
            return Down(source, left);
        case 2:
            return Down(source, left + 1);
        default:
            return Down(source, either);
    }
}

}  // namespace

bool IsShiftDown(const IKeyStateSource& source, int32_t side) {
    return SidedDown(source, side, 16, 160);
}

bool IsCtrlDown(const IKeyStateSource& source, int32_t side) {
    return SidedDown(source, side, 17, 162);
}

bool IsAltDown(const IKeyStateSource& source, int32_t side) {
    return SidedDown(source, side, 18, 164);
}

bool IsKeyDown(const IKeyStateSource& source, int32_t key) {
    return Down(source, key & 0xFF);
}

}  // namespace keys
