#pragma once
// The keyboard layout of the window that receives the typed keys, asked through the system.
#include <windows.h>

#include "keys/KeyLayout.h"

namespace keys {

// The layout of the foreground window's thread: the one that turns the injected keys into
// characters. The calling thread's own layout when no window is in the foreground.
HKL ForegroundKeyboardLayout();

class KeyboardLayoutWin final : public IKeyboardLayout {
  public:
    explicit KeyboardLayoutWin(HKL layout) : _layout(layout) {}
    [[nodiscard]] std::optional<LayoutKey> KeyFor(char32_t c) const override;

  private:
    HKL _layout;
};

}  // namespace keys
