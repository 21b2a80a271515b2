#!/usr/bin/env bash
# Lines of product, tests and test bench, and their shares, over the tracked files.
# Product: C and C++ outside the test folders. Tests: everything in */tests/, */e2e/, */fuzz/
# and testbench/harness/ (C, C++, Python, shell, Perl). Test bench: the rest of testbench/.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -z | xargs -0 awk '
  function kind(f) {
    if (f ~ /(^|\/)(tests|e2e|fuzz)\// || f ~ /^testbench\/harness\//) return "tests"
    if (f ~ /^testbench\//) return "bench"
    return "product"
  }
  FNR == 1 {
    k = ""
    if (FILENAME ~ /\.(c|cc|cpp|cxx|h|hpp|hxx|inl)$/) k = kind(FILENAME)
    else if (FILENAME ~ /\.(py|sh|pl|pm)$/ && kind(FILENAME) != "product") k = kind(FILENAME)
  }
  k != "" { n[k]++ }
  END {
    total = n["product"] + n["tests"] + n["bench"]
    printf "%-10s %8s %7s\n", "", "lines", "share"
    split("product tests bench", order, " ")
    for (i = 1; i <= 3; i++)
      printf "%-10s %8d %6.1f%%\n", order[i], n[order[i]], 100 * n[order[i]] / total
    printf "%-10s %8d %6.1f%%\n", "tests+bench", n["tests"] + n["bench"], 100 * (n["tests"] + n["bench"]) / total
  }'
