#!/usr/bin/env bash
# Checks a PE image for the hardening flags and for imports of DLLs that Windows does not ship.
set -u
exe=$1
dump=$(x86_64-w64-mingw32-objdump -p "$exe") || { echo "cannot read $exe"; exit 1; }
fail=0
chars=$(printf '%s\n' "$dump" | awk '/^DllCharacteristics/ {print $2}')
for bit in 0x20:HIGH_ENTROPY_VA 0x40:DYNAMIC_BASE 0x100:NX_COMPAT; do
  v=${bit%%:*}; name=${bit#*:}
  if (( (16#$chars & v) == 0 )); then echo "missing $name in DllCharacteristics $chars"; fail=1; fi
done
# No section may be both writable and executable.
wx=$(x86_64-w64-mingw32-objdump -h "$exe" | awk '/^ *[0-9]+ /{name=$2; getline; if ($0 ~ /CODE/ && $0 !~ /READONLY/) print name}')
if [ -n "$wx" ]; then echo "writable code sections: $wx"; fail=1; fi
allowed='^(KERNEL32|USER32|GDI32|ADVAPI32|SHELL32|COMCTL32|COMDLG32|OLE32|OLEAUT32|SETUPAPI|HID|MSVCRT|HHCTRL\.OCX|WINMM|SHLWAPI|UXTHEME|NTDLL|CFGMGR32|VERSION|WS2_32|MSWSOCK|api-ms-win-crt-[a-z0-9-]+)\.(DLL|dll)$'
while read -r dll; do
  up=$(printf '%s' "$dll" | tr a-z A-Z)
  if ! printf '%s\n' "$up" | grep -Eiq "$allowed"; then echo "imports $dll, which Windows does not ship"; fail=1; fi
done < <(printf '%s\n' "$dump" | awk '/DLL Name:/ {print $3}')
[ $fail -eq 0 ] && echo "PE flags $chars, imports: $(printf '%s\n' "$dump" | awk '/DLL Name:/ {printf "%s ", $3}')"
exit $fail
