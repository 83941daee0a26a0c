#!/usr/bin/env bash
# Checks the built module as a host and a Windows machine see it: a PE32 DLL
# that exports PluginMain by that exact name and imports only system DLLs.
set -euo pipefail
module="$1"
dump="$(i686-w64-mingw32-objdump -p "$module")"
fail() { echo "FAIL: $*"; exit 1; }

file "$module" | grep -q 'PE32 executable (DLL).*Intel 80386' || fail "not a 32-bit DLL: $(file "$module")"
echo "$dump" | grep -qE '^\s*\[\s*[0-9]+\] PluginMain$' || fail "PluginMain is not exported by name"
exports=$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -cE '^\s*\[ *[0-9]+\] ') || true
[ "$exports" -eq 1 ] || fail "expected exactly one export, found $exports"

system_dlls='^(KERNEL32|USER32|GDI32|COMCTL32|msvcrt|ADVAPI32)\.dll$'
while read -r dll; do
  echo "$dll" | grep -qiE "$system_dlls" || fail "imports a non-system DLL: $dll"
done < <(echo "$dump" | sed -n 's/^\s*DLL Name: //p')
echo "ok: $(echo "$dump" | sed -n 's/^\s*DLL Name: //p' | tr '\n' ' ')"
