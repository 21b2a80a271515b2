#include "app/DdeLink.h"

#include <gtest/gtest.h>

namespace {

TEST(DdeLink, LinkFormatIsZeroSeparatedWithFinalZero) {
    using namespace std::string_literals;
    EXPECT_EQ(app::BuildLinkFormat("Pesora"), "Pesora\0Pesora\0Weight\0\0"s);
    EXPECT_EQ(app::BuildLinkFormat("Scale2"), "Pesora\0Scale2\0Weight\0\0"s);
    EXPECT_EQ(app::LinkNotation("Scale2"), "Pesora|Scale2!Weight");
}

TEST(DdeLink, NamesCompareWithoutCase) {
    struct Row {
        int line;
        const char* a;
        const char* b;
        bool equal;
    } rows[] = {
        {__LINE__, "Weight", "WEIGHT", true},
        {__LINE__, "scale2", "Scale2", true},
        {__LINE__, "Weight", "Weigh", false},
        {__LINE__, "", "", true},
        {__LINE__, "Pesora", "Pesorb", false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        EXPECT_EQ(app::DdeNameEquals(r.a, r.b), r.equal);
    }
}

} // namespace
