#pragma once
#include <windows.h>

#include "base/model/Settings.h"

namespace dialogs {

class HelpViewer;

// The modal settings dialog over `owner`. Returns true on "OK", after copying the controls
// into `inOut`; the caller then gives ReadTimer the new SampleRate and registers the hotkey
// again. "Cancel" and the close box leave `inOut` untouched. F1 in the dialog opens the help
// file's settings topic through `help` when one is given.
bool ShowSettingsDialog(HWND owner, base::Settings& inOut, HelpViewer* help = nullptr);

}  // namespace dialogs
