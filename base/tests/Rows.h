#pragma once
// Table tests of a function of one input: each row's input gives the row's output.
#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

namespace base::testing {

template <typename In, typename Out, typename Fn>
void ExpectRows(const Fn& fn, std::initializer_list<std::pair<In, Out>> rows) {
    for (const auto& [in, out] : rows) {
        EXPECT_EQ(fn(in), out) << "input " << ::testing::PrintToString(in);
    }
}

}  // namespace base::testing
