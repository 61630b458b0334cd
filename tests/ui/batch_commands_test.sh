#!/bin/sh
# The orvenda executable runs its batch commands without a window or a display.
# Usage: batch_commands_test.sh ORVENDA
orvenda="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

out=$("$orvenda" --convert "$dir/missing.RSK" "$dir/new.RSK" 2>&1) && fail "--convert of a missing file succeeded"
echo "$out" | grep -q "Soubor nenalezen." || fail "--convert did not say the file is missing: $out"
[ -e "$dir/new.RSK" ] && fail "--convert wrote a target after failing"

out=$("$orvenda" --report "$dir/missing.RSK" --output "$dir/page.htm" 2>&1) && fail "--report of a missing file succeeded"
echo "$out" | grep -q "Soubor nenalezen." || fail "--report did not say the file is missing: $out"
[ -e "$dir/page.htm" ] && fail "--report wrote a page after failing"

mkdir "$dir/prog"
out=$("$orvenda" --list-library user --program-dir "$dir/prog" 2>&1) || fail "--list-library failed: $out"
echo "$out" | grep -q "^Index	Type	UpLink" || fail "--list-library printed no header: $out"
[ -e "$dir/prog/UserLib.LIB" ] || fail "--list-library did not create the missing archive"

"$orvenda" --no-such-option >/dev/null 2>&1
[ $? -eq 2 ] || fail "an unknown option did not end with status 2"
echo "batch commands: 4 passed, 0 failed"
