#pragma once
// The former name of e2e::Target, for the programs not yet moved to the fixture.
#include "Fixture.h"

namespace e2e {

struct InProcessTarget : Target {
    using Target::Target;
    [[nodiscard]] HWND window() const { return Window(); }
};

}  // namespace e2e
