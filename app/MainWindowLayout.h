#pragma once
// The main window's controls as data: kind, text, place in twips, font and visibility. MainWindow
// creates them from this table at the window's real resolution.
#include <optional>
#include <span>
#include <string_view>

namespace app {

inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kClientWidthTwips = 5445;
inline constexpr int kClientHeightTwips = 3810;

enum class ControlKind { Label, ListBox, Button, TextBox, CheckBox };

struct FontSpec {
    std::string_view face;  // empty: the window's default font
    double points = 0;
    bool bold = false;
};

struct ControlSpec {
    std::string_view name;
    int id;
    ControlKind kind;
    std::string_view text;
    int left, top, width, height;  // twips
    FontSpec font;
    bool visible;
    std::string_view tooltip;
};

// Every control of the main window, in creation (tab) order.
[[nodiscard]] std::span<const ControlSpec> MainWindowControls();
[[nodiscard]] const ControlSpec* FindControl(std::string_view name);

// Twips to pixels at `dpi` dots per inch, rounded to the nearest pixel.
[[nodiscard]] int TwipsToPixels(int twips, int dpi);
[[nodiscard]] int PixelsToTwips(int pixels, int dpi);
// A font's cell height in pixels for CreateFont (negative: character height).
[[nodiscard]] int FontHeightPixels(double points, int dpi);

// The width the scale list and Weight take for a window `outerWidthTwips` wide; nullopt leaves them as
// they are (a narrow window does not shrink them).
[[nodiscard]] std::optional<int> StretchedControlWidth(int outerWidthTwips);

// The width the weight caption takes, in twips, for a caption `textWidthTwips` wide: its design width at
// least, wide enough for the text, but never reaching under the zero button beside it.
[[nodiscard]] int WeightCaptionWidth(int textWidthTwips);

}  // namespace app
