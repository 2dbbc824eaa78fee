#!/usr/bin/env bash
# portable-zip-test.sh ZIP BUILT_EXE UNPACK_DIR VERSION
# The portable zip holds one Surfkeep folder with the program that the build made and its readme,
# and unpacks whole; it is left unpacked in UNPACK_DIR for release_install_test to run.
set -euo pipefail
zip=$1 exe=$2 dir=$3 version=$4
fail() { echo "FAIL: $*" >&2; exit 1; }

[ -f "$zip" ] || fail "no package $zip"
[ "$(basename "$zip")" = "Surfkeep-$version-portable.zip" ] || fail "unexpected name $(basename "$zip")"
unzip -tq "$zip" >/dev/null || fail "the zip does not test whole"

expected=$'Surfkeep/\nSurfkeep/readme.txt\nSurfkeep/surfkeep.exe'
listed=$(unzip -Z1 "$zip" | sort)
[ "$listed" = "$expected" ] || fail "the zip holds:"$'\n'"$listed"$'\n'"expected:"$'\n'"$expected"

rm -rf "$dir"
mkdir -p "$dir"
unzip -q "$zip" -d "$dir"
cmp -s "$dir/Surfkeep/surfkeep.exe" "$exe" || fail "surfkeep.exe in the zip is not the one the build made"
readme="$dir/Surfkeep/readme.txt"
grep -q "^Surfkeep $version"$'\r'"$" "$readme" || fail "readme.txt does not start with the version"
if grep -q $'[^\r]$' "$readme"; then fail "readme.txt has lines without CR LF"; fi
grep -q "config\\\\config.ini" "$readme" || fail "readme.txt does not say where the settings are"
