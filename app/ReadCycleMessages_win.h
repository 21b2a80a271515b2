#pragma once
// What the read cycle's message pass may run. A menu, dialog or message box opened from inside a
// cycle would keep that cycle from finishing for as long as it is open, and every tick meanwhile
// would be dropped: the weight would freeze under it. So a message that would open one is held
// back during the pass and posted again, in its order, once the cycle is over. And a cycle that
// runs under an open menu or dialog leaves the messages to that menu's or dialog's own loop,
// which would otherwise lose its keys and clicks to the pass.
#include <windows.h>

#include <vector>

namespace app {

class ReadCycleMessages {
  public:
    // Every message of the main window passes here first, to follow its menu and move loops.
    void Observe(UINT msg);
    // True while a menu, a move or size, or a dialog or message box owned by `mainWindow` is open.
    [[nodiscard]] bool ModalLoopOpen(HWND mainWindow) const;
    // True when `msg`, bound for `mainWindow` or one of its controls, was taken to be posted later.
    bool Hold(const MSG& msg, HWND mainWindow);
    // Posts what was held, oldest first.
    void Release();

  private:
    std::vector<MSG> _held;
    bool _inMenuLoop = false;
    bool _inSizeMove = false;
};

}  // namespace app
