#!/usr/bin/env bash
# Fails when the product creates a window, dialog or window class through the ANSI functions.
# On Windows an ANSI dialog's edit boxes hand text back through the ANSI code page, so a
# character outside it comes back as "?"; Wine makes such controls Unicode anyway, which is
# why no end-to-end test can see it. With an executable as argument its imports are checked
# as well, which also catches a call through an unsuffixed macro in a non-Unicode build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
ansi='CreateWindowA|CreateWindowExA|RegisterClassA|RegisterClassExA|DialogBoxA|DialogBoxParamA|DialogBoxIndirectA|DialogBoxIndirectParamA|CreateDialogA|CreateDialogParamA|CreateDialogIndirectA|CreateDialogIndirectParamA|PropertySheetA'
fail=0
mapfile -t files < <(git ls-files 'app/*' 'base/*' 'devices/*' 'dialogs/*' 'keys/*' 'web/*' 'weighing/*' |
                     grep -E '\.(cpp|h)$' | grep -Ev '/(e2e|tests|fuzz)/')
if hits=$(grep -nwE "$ansi" "${files[@]}"); then
  printf '%s\n' "$hits" >&2
  fail=1
fi
if [ $# -gt 0 ]; then
  if imports=$(x86_64-w64-mingw32-objdump -p "$1" | grep -owE "$ansi"); then
    echo "$1 imports: $(printf '%s ' $imports)" >&2
    fail=1
  fi
fi
if [ $fail -ne 0 ]; then
  echo "unicode windows: create windows, dialogs and window classes with the W functions" >&2
  exit 1
fi
echo "unicode windows: no ANSI window, dialog or class creation${1:+ (also checked: $1)}"
