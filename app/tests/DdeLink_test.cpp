#include "app/DdeLink.h"

#include <gtest/gtest.h>

namespace {

TEST(DdeLink, LinkFormatIsZeroSeparatedWithFinalZero) {
    using namespace std::string_literals;
    EXPECT_EQ(app::BuildLinkFormat("Pesora"), "Pesora\0Pesora\0Weight\0\0"s);
    EXPECT_EQ(app::BuildLinkFormat("Scale2"), "Pesora\0Scale2\0Weight\0\0"s);
}

}  // namespace
