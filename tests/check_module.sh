#!/usr/bin/env bash
# Checks the built module as a host and a Windows machine see it: a DLL of the
# word size its name promises (Vardelkist64.8bf PE32+ x86-64, any other PE32
# i386) that exports PluginMain by that exact name and imports only system DLLs.
set -euo pipefail
module="$1"
fail() { echo "FAIL: $*"; exit 1; }

case "$(basename "$module")" in
  *64.8bf) format='PE32\+ executable \(DLL\).*x86-64'; objdump=x86_64-w64-mingw32-objdump ;;
  *) format='PE32 executable \(DLL\).*Intel 80386'; objdump=i686-w64-mingw32-objdump ;;
esac
# Here-strings, not pipes, into grep -q: with pipefail a writer cut off by
# grep's early exit would fail the check at random.
kind="$(file "$module")"
grep -qE "$format" <<<"$kind" || fail "not the expected kind of DLL: $(file "$module")"
dump="$($objdump -p "$module")"
grep -qE '^\s*\[\s*[0-9]+\] PluginMain$' <<<"$dump" || fail "PluginMain is not exported by name"
exports=$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -cE '^\s*\[ *[0-9]+\] ') || true
[ "$exports" -eq 1 ] || fail "expected exactly one export, found $exports"

# Built the same every time: no link time in the file or export headers, no
# debug directory, and nothing of where the tree or the build lay.
pe_header=$(od -An -tu4 -j60 -N4 "$module" | tr -d ' ')
header_time=$(od -An -tx4 -j$((pe_header + 8)) -N4 "$module" | tr -d ' ')
[ "$header_time" = 00000000 ] || fail "the file header holds a link time: 0x$header_time"
grep -qE '^Time/Date stamp\s+0$' <<<"$dump" || fail "the export directory holds a link time"
grep -qE '^Entry 6 0+ 0+ Debug Directory$' <<<"$dump" || fail "the module has a debug directory"
root="$(cd "$(dirname "$0")/.." && pwd)"
built_in="$(cd "$(dirname "$module")/.." && pwd)"
paths="$(strings -a "$module" | grep -F -e "$root" -e "$built_in" | head -3)" || true
[ -z "$paths" ] || fail "names build paths: $paths"

system_dlls='^(KERNEL32|USER32|GDI32|COMCTL32|msvcrt|ADVAPI32)\.dll$'
while read -r dll; do
  grep -qiE "$system_dlls" <<<"$dll" || fail "imports a non-system DLL: $dll"
done < <(echo "$dump" | sed -n 's/^\s*DLL Name: //p')
echo "ok: $(file -b "$module" | cut -d, -f1); imports $(echo "$dump" | sed -n 's/^\s*DLL Name: //p' | tr '\n' ' ')"
