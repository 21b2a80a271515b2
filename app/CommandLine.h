#pragma once
#include <string_view>

namespace app {

// True when the upper-cased arguments hold "-H" anywhere ("-h", "/x -HIDE" too; "H" does not).
[[nodiscard]] bool HasHideSwitch(std::string_view arguments);

} // namespace app
