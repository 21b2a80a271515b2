#include "base/UniqueResource.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

// Every close is recorded, so a double close or a leak shows as a wrong list.
std::vector<int> g_closed;
void RecordClose(int value) noexcept {
    g_closed.push_back(value);
}
int MinusOne() noexcept {
    return -1;
}

// Two kinds as the Win32 aliases have them: "nothing" is 0 for one, -1 for the other (like a
// file handle's INVALID_HANDLE_VALUE).
using ZeroEmpty = base::UniqueResource<int, &RecordClose>;
using MinusOneEmpty = base::UniqueResource<int, &RecordClose, &MinusOne>;

class UniqueResourceTest : public ::testing::Test {
  protected:
    void SetUp() override { g_closed.clear(); }
};

TEST_F(UniqueResourceTest, EmptyValueIsTheKindsOwn) {
    EXPECT_FALSE(ZeroEmpty{}.valid());
    EXPECT_EQ(ZeroEmpty{}.get(), 0);
    EXPECT_FALSE(MinusOneEmpty{}.valid());
    EXPECT_EQ(MinusOneEmpty{}.get(), -1);
    // 0 is a real value for the kind whose empty value is -1, and is closed like any other.
    {
        MinusOneEmpty zero{0};
        EXPECT_TRUE(zero.valid());
    }
    {
        ZeroEmpty minusOne{-1};
        EXPECT_TRUE(minusOne.valid());
    }
    {
        ZeroEmpty none{0};
        MinusOneEmpty alsoNone{-1};
    }
    EXPECT_EQ(g_closed, (std::vector<int>{0, -1}));
}

TEST_F(UniqueResourceTest, MoveHandsOverWithoutClosing) {
    {
        ZeroEmpty a{7};
        ZeroEmpty b{std::move(a)};
        EXPECT_FALSE(a.valid());  // NOLINT(bugprone-use-after-move): the moved-from state is the point
        EXPECT_EQ(b.get(), 7);
        EXPECT_TRUE(g_closed.empty());

        ZeroEmpty c{8};
        c = std::move(b);  // closes what c held, takes b's
        EXPECT_EQ(g_closed, (std::vector<int>{8}));
        EXPECT_EQ(c.get(), 7);
        c = std::move(c);  // self-move keeps the value
        EXPECT_EQ(c.get(), 7);
    }
    EXPECT_EQ(g_closed, (std::vector<int>{8, 7}));
}

TEST_F(UniqueResourceTest, ResetReleaseAndPut) {
    MinusOneEmpty h{3};
    h.reset(4);
    EXPECT_EQ(g_closed, (std::vector<int>{3}));
    EXPECT_EQ(h.release(), 4);  // released: never closed by us
    EXPECT_FALSE(h.valid());
    h.reset();  // nothing held: nothing closed
    EXPECT_EQ(g_closed, (std::vector<int>{3}));

    h.reset(5);
    int* slot = h.put();  // an out-parameter slot: what was held is closed first
    EXPECT_EQ(g_closed, (std::vector<int>{3, 5}));
    EXPECT_EQ(*slot, -1);
    *slot = 6;
    EXPECT_EQ(h.get(), 6);
    h.reset();
    EXPECT_EQ(g_closed, (std::vector<int>{3, 5, 6}));
}

TEST(ScopeExit, RunsOnceAtScopeEndUnlessDismissed) {
    int runs = 0;
    {
        const base::ScopeExit cleanup{[&] { ++runs; }};
        EXPECT_EQ(runs, 0);
    }
    EXPECT_EQ(runs, 1);
    {
        base::ScopeExit cleanup{[&] { ++runs; }};
        cleanup.Dismiss();
    }
    EXPECT_EQ(runs, 1);
}

}  // namespace
