#pragma once
#include <string_view>

namespace app {

// True when the upper-cased arguments hold "-H" anywhere ("-h", "/x -HIDE" too; "H" does not).
[[nodiscard]] bool HasHideSwitch(std::string_view arguments);

// The arguments of a full command line: what follows the program's own name (quoted or not),
// without the blanks in between.
[[nodiscard]] std::string_view ArgumentsOf(std::string_view commandLine);

}  // namespace app
