#!/bin/sh
# The RiskLib.LIB that the build puts beside the executable holds exactly the shipped source.
# Usage: shipped_library_test.sh ORVENDA SOURCE.tsv
orvenda="$1"
source="$2"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export XDG_DATA_HOME="$dir/home"
mkdir "$dir/prog"
cp "$(dirname "$orvenda")/RiskLib.LIB" "$dir/prog/" || fail "no RiskLib.LIB beside $orvenda"
"$orvenda" --list-library builtin --program-dir "$dir/prog" >"$dir/listing.tsv" ||
  fail "--list-library of the shipped library failed"
cmp -s "$dir/listing.tsv" "$source" || fail "the shipped library differs from $source"
cmp -s "$dir/prog/RiskLib.LIB" "$(dirname "$orvenda")/RiskLib.LIB" ||
  fail "opening the shipped library rewrote it"
echo "shipped library: $(($(wc -l <"$source") - 1)) records as in the source"
