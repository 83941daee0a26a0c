#!/usr/bin/env bash
# Checks what a user downloads. The plug-ins built once more, from a copy of
# the tree at another path and later, must be the same bytes as the ones in
# build/plugins/; the release zip must hold exactly those plug-ins, the two
# guides and SHA256SUMS, with checksums that match, and come out the same
# bytes from either tree.
#   tests/check_release.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir="$(cd "$1" && pwd)"
build_dir="$(cd "$2" && pwd)"
fail() { echo "FAIL: $*"; exit 1; }

work="$(mktemp -d "${TMPDIR:-/tmp}/vardelkist-again.XXXXXX")"
trap 'rm -rf "$work"' EXIT
python3 "$source_dir/tools/package.py" --plugins "$build_dir/plugins" --dist "$work/dist" >/dev/null
zip=("$work"/dist/Vardelkist-*.zip)
[ -f "${zip[0]}" ] || fail "no release zip written"

# The tree as it stands, edits included, without builds and outputs.
mkdir "$work/tree"
if git -C "$source_dir" rev-parse --git-dir >/dev/null 2>&1; then
  git -C "$source_dir" ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' file; do [ -e "$source_dir/$file" ] && printf '%s\0' "$file"; done |
    (cd "$source_dir" && xargs -0 cp --parents -t "$work/tree")
else
  tar -C "$source_dir" --exclude='./build*' --exclude=./dist --exclude=./out -cf - . | tar -C "$work/tree" -xf -
fi

# Only the plug-in targets: the rest of the Windows builds does not ship.
mkdir "$work/plugins"
for arch in i686 x86_64; do
  cmake -S "$work/tree" -B "$work/$arch" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$work/tree/cmake/mingw-$arch.cmake" >/dev/null
  cmake --build "$work/$arch" --target Vardelkist >/dev/null
  cp "$work/$arch"/*.8bf "$work/plugins/"
done

[ "$(ls "$build_dir/plugins")" = "$(ls "$work/plugins")" ] ||
  fail "built $(ls "$work/plugins" | tr '\n' ' ')but build/plugins holds $(ls "$build_dir/plugins" | tr '\n' ' ')"
for plugin in "$build_dir"/plugins/*; do
  name="$(basename "$plugin")"
  cmp -s "$plugin" "$work/plugins/$name" ||
    fail "$name differs when built again at another path: $(cmp "$plugin" "$work/plugins/$name" | head -1)"
done

python3 "$work/tree/tools/package.py" --plugins "$work/plugins" --dist "$work/dist-again" >/dev/null
cmp -s "${zip[0]}" "$work/dist-again/$(basename "${zip[0]}")" || fail "the release zip differs when made again"

# Its contents: the plug-ins as built, the guides, and SHA256SUMS over all of them.
listing="$(python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "${zip[0]}")"
expected="$( (ls "$build_dir/plugins"; printf '%s\n' README-en.txt README-ja.txt SHA256SUMS) | sort)"
[ "$(sort <<<"$listing")" = "$expected" ] || fail "the zip holds $(tr '\n' ' ' <<<"$listing")"
python3 -m zipfile -e "${zip[0]}" "$work/unpacked"
for plugin in "$build_dir"/plugins/*; do
  cmp -s "$plugin" "$work/unpacked/$(basename "$plugin")" || fail "$(basename "$plugin") in the zip is not the built one"
done
summed="$(sed -E 's/^[0-9a-f]{64}  //' "$work/unpacked/SHA256SUMS" | sort)"
[ "$summed" = "$(grep -vx SHA256SUMS <<<"$expected")" ] || fail "SHA256SUMS lists $(tr '\n' ' ' <<<"$summed")"
(cd "$work/unpacked" && sha256sum --strict --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the files"
echo "ok: $(basename "${zip[0]}"): $(tr '\n' ' ' <<<"$listing")the same bytes from a second tree"
