#pragma once

namespace devices {

// The scale list's two commands, as the device-change handlers run them.
class IScaleListCommands {
  public:
    virtual ~IScaleListCommands() = default;
    virtual void Command2_Click() = 0;  // "Refresh Device List"
    virtual void List2_Click() = 0;     // open the selected row's scale
};

}  // namespace devices
