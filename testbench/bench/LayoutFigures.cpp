// Prints, per keyboard layout, how many of the tried characters arrive right in the receiving
// program: with the mapping the program uses and with the one it used before.
#include <cstdio>

#include "keys/tests/LayoutTyping.h"

int main() {
    using namespace keys::testing;
    std::printf("%-28s %5s %7s %7s\n", "layout", "tried", "before", "after");
    for (const TableLayout& layout : AllLayoutTables()) {
        const int before = ArrivedRight(layout, TypedBefore);
        const int after = ArrivedRight(layout, TypedNow);
        std::printf("%-28s %5zu %7d %7d\n", layout.name.c_str(), kTriedCharacters.size(), before, after);
    }
    std::printf("tried: %s (each followed by \"a\")\n", ToUtf8(kTriedCharacters).c_str());
    return 0;
}
