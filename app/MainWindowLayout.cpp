#include "app/MainWindowLayout.h"

#include <algorithm>
#include <cmath>

#include "app/resource.h"

namespace app {

namespace {

constexpr FontSpec kDefault{};
constexpr FontSpec kSansBold825{"MS Sans Serif", 8.25, true};
constexpr FontSpec kSansBold975{"MS Sans Serif", 9.75, true};
constexpr FontSpec kSansBold135{"MS Sans Serif", 13.5, true};
constexpr FontSpec kArialBold36{"Arial", 36, true};
constexpr FontSpec kArialBold12{"Arial", 12, true};
constexpr FontSpec kArial9{"Arial", 9, false};

using K = ControlKind;

// Most hidden controls also lie below the client area; they are kept because other parts of
// the program address them by name.
constexpr ControlSpec kControls[] = {
    {"SelectScaleLabel",
     IDC_SELECT_SCALE_LABEL,
     K::Label,
     "Select Scale:",
     120,
     360,
     1155,
     195,
     kSansBold825,
     true,
     {}},
    {"ScaleList", IDC_SCALE_LIST, K::ListBox, "", 120, 600, 5175, 1035, kDefault, true, {}},
    {"ZeroButton", IDC_ZERO_BUTTON, K::Button, "Zero Scale", 2040, 1680, 1215, 375, kDefault, true,
     "Note: Not all scales support the Zero function."},
    {"WeightCaption", IDC_WEIGHT_CAPTION, K::Label, "Weight:", 120, 1920, 675, 195, kSansBold825, true, {}},
    {"Weight", IDC_WEIGHT, K::TextBox, "", 120, 2160, 5175, 930, kArialBold36, true, {}},
    {"Status", IDC_STATUS, K::Label, "Status", 120, 3240, 6375, 375, kSansBold135, true, {}},
    {"RefreshButton", IDC_REFRESH_BUTTON, K::Button, "Refresh Device List", 720, 6960, 1575, 495, kDefault, false, {}},
    {"SpareList", IDC_SPARE_LIST, K::ListBox, "", 2520, 6840, 2415, 645, kDefault, false, {}},
    {"ContinuousRead",
     IDC_CONTINUOUS_READ,
     K::CheckBox,
     "Continuous weight display",
     720,
     6240,
     3975,
     375,
     kDefault,
     false,
     {}},
    {"ReadInput", IDC_READ_INPUT, K::Button, "Read Input", 600, 5520, 1452, 375, kSansBold825, false, {}},
    {"TimeoutCount", IDC_TIMEOUT_COUNT, K::Label, "0", 5760, 4080, 1095, 375, kDefault, false, {}},
    {"ConnectionLabel", IDC_CONNECTION_LABEL, K::Label, "Connection:", 1440, 8280, 1335, 255, kSansBold975, false, {}},
    {"DeviceStatus",
     IDC_DEVICE_STATUS,
     K::Label,
     "USB Device Not Found",
     1440,
     8520,
     3135,
     375,
     kArialBold12,
     false,
     {}},
    {"Serial", IDC_SERIAL, K::Label, "", 720, 4800, 4095, 255, kArial9, false, {}},
    {"Manufact", IDC_MANUFACTURER, K::Label, "Manufact", 720, 4080, 4095, 255, kArial9, false, {}},
    {"Device", IDC_DEVICE, K::Label, "Device", 720, 4440, 2775, 255, kArial9, false, {}},
    {"DevVersion", IDC_DEVICE_VERSION, K::Label, "DevVersion", 3480, 4440, 1335, 255, kArial9, false, {}},
};

}  // namespace

std::span<const ControlSpec> MainWindowControls() {
    return kControls;
}

const ControlSpec* FindControl(std::string_view name) {
    for (const ControlSpec& c : kControls) {
        if (c.name == name) {
            return &c;
        }
    }
    return nullptr;
}

int TwipsToPixels(int twips, int dpi) {
    return static_cast<int>(std::lround(static_cast<double>(twips) * dpi / kTwipsPerInch));
}

int PixelsToTwips(int pixels, int dpi) {
    return dpi > 0 ? static_cast<int>(std::lround(static_cast<double>(pixels) * kTwipsPerInch / dpi)) : 0;
}

int FontHeightPixels(double points, int dpi) {
    return -static_cast<int>(std::lround(points * dpi / 72.0));
}

int WeightCaptionWidth(int textWidthTwips) {
    const ControlSpec* caption = FindControl("WeightCaption");
    const ControlSpec* zero = FindControl("ZeroButton");
    if (caption == nullptr || zero == nullptr) {
        return textWidthTwips;
    }
    constexpr int kGapTwips = 60;  // keeps the caption clear of the button's edge
    const int widest = std::max(caption->width, zero->left - kGapTwips - caption->left);
    return std::clamp(textWidthTwips, caption->width, widest);
}

std::optional<int> StretchedControlWidth(int outerWidthTwips) {
    if (outerWidthTwips > 3550) {
        return outerWidthTwips - 500;
    }
    return std::nullopt;
}

}  // namespace app
