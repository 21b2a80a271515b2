#pragma once
// What the portable handlers of the main window need of the window itself. Form1 implements
// it over its Win32 controls; the unit tests implement it with a recording fake.
#include <cstdint>
#include <string>
#include <string_view>

namespace app {

class IMainView {
  public:
    virtual ~IMainView() = default;

    // The Weight text box, the Status label and the lblWeight label.
    virtual void SetWeightBox(std::string_view text) = 0;
    [[nodiscard]] virtual std::string WeightBox() const = 0;
    virtual void SetStatus(std::string_view text) = 0;
    virtual void SetWeightCaption(std::string_view text) = 0;

    // Timer1, the read timer. An interval of 0 never ticks.
    virtual void SetTimerEnabled(bool enabled) = 0;
    [[nodiscard]] virtual bool TimerEnabled() const = 0;
    virtual void SetTimerInterval(int32_t ms) = 0;

    // List2, the scale list. SetListIndex only moves the selection; the caller runs the
    // selection handler itself.
    virtual void ClearList() = 0;
    virtual void AddListRow(std::string_view text) = 0;
    [[nodiscard]] virtual int ListCount() const = 0;
    [[nodiscard]] virtual int ListIndex() const = 0; // -1 when no row is selected
    virtual void SetListIndex(int index) = 0;

    // One pass over the messages already queued for the window thread; returns at once.
    virtual void DoEvents() = 0;
};

} // namespace app
