#pragma once
// What the main window last wrote into its controls. The read cycle hands the window its texts
// on every tick, and a control repaints on every text it is given, changed or not (under Wine at
// once): a text that is already shown is not written again.
#include <string>
#include <string_view>

namespace app {

// One control's text as last written. Set says whether the control needs the new text; the
// first text is always written, as the control starts with its design caption.
class ShownText {
  public:
    [[nodiscard]] bool Set(std::string_view text) {
        if (_written && text == _text) {
            return false;
        }
        _text = text;
        _written = true;
        return true;
    }
    [[nodiscard]] const std::string& Text() const noexcept { return _text; }

  private:
    std::string _text;
    bool _written = false;
};

// The Weight box is editable: what the user types there stays only until the next reading, which
// puts the weight back even when it has not changed. Other programs (DDE advise links, the web
// endpoint) hear only of a weight that changed, never of the user's typing or of its undoing.
class WeightBoxText {
  public:
    struct Update {
        bool write = false;    // the box needs the weight written
        bool changed = false;  // the weight differs from the one shown before
    };
    [[nodiscard]] Update Show(std::string_view weight) {
        const bool changed = weight != _weight;
        const Update update{changed || _edited, changed};
        if (changed) {
            _weight = weight;
        }
        _edited = false;
        return update;
    }
    // The box's text changed other than by Show: the user typed, pasted or cut.
    void Edited() noexcept { _edited = true; }
    // The weight as last shown, never what the user typed over it.
    [[nodiscard]] const std::string& Weight() const noexcept { return _weight; }

  private:
    std::string _weight;  // the box starts empty
    bool _edited = false;
};

}  // namespace app
