#!/bin/sh
# The batch commands as a careless or unlucky user runs them: an output named like an input, a
# misspelt program directory, empty and random input, two runs on one library at once, and
# what killed runs left behind. Every refusal is non-zero, names the file, and changes nothing.
# Usage: batch_safety_test.sh ORVENDA
orvenda="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export XDG_DATA_HOME="$dir/share" TMPDIR="$dir/tmp"
mkdir "$TMPDIR" "$dir/lib" "$dir/sub"
lib="$dir/lib"

printf 'head\r\n<$$$1\r\nStroje\r\n<$$$2\r\nPopis\r\n<$$$3\r\n3\r\n<$$$4\r\n4\r\n<*-*-*-*>\r\n' >"$dir/one.txt"
"$orvenda" --import-text "$dir/one.txt" --library builtin --program-dir "$lib" >/dev/null 2>&1 ||
  fail "setting up the library"
"$orvenda" --take-from-library builtin --tick 1 --output "$dir/P.RSK" --program-dir "$lib" \
  >/dev/null 2>&1 || fail "setting up the project"
"$orvenda" --report "$dir/P.RSK" --output "$dir/page.htm" --hide-column 8 >/dev/null 2>&1 ||
  fail "setting up the page"
ln -s "$dir/P.RSK" "$dir/link.RSK"
mkdir -p "$dir/site/data" && cp "$dir/P.RSK" "$dir/site/data/Q.RSK"
cp "$dir/P.RSK" "$dir/P.before" && cp "$lib/RiskLib.LIB" "$dir/lib.before"
cp "$dir/site/data/Q.RSK" "$dir/Q.before"

unchanged() {
  cmp -s "$dir/P.RSK" "$dir/P.before" || fail "$1 changed the project"
  cmp -s "$lib/RiskLib.LIB" "$dir/lib.before" || fail "$1 changed the library"
  cmp -s "$dir/site/data/Q.RSK" "$dir/Q.before" || fail "$1 changed the project in data"
}

# Output = input, through a second spelling: refused before anything is written.
while IFS='|' read -r name named args; do
  # shellcheck disable=SC2086
  out=$(eval "\"\$orvenda\" $args" 2>&1) && fail "$name over its input succeeded"
  echo "$out" | grep -q "$named" || fail "$name did not name the file: $out"
  unchanged "$name"
done <<TABLE
--report|P.RSK|--report "$dir/P.RSK" --output "$dir/sub/../P.RSK"
--report-pdf|link.RSK|--report-pdf "$dir/P.RSK" --output "$dir/link.RSK"
--flat-export|P.RSK|--flat-export "$dir/P.RSK" --output "$dir/./P.RSK"
--export-table|P.RSK|--export-table "$dir/P.RSK" --output "$dir/sub/../P.RSK"
--export-branch|RiskLib.LIB|--export-branch builtin 1 --output "$lib/./RiskLib.LIB" --program-dir "$lib"
--take-from-library|link.RSK|--take-from-library builtin --tick 1 --project "$dir/P.RSK" --output "$dir/link.RSK" --program-dir "$lib"
--import-html|P.RSK|--import-html "$dir/page.htm" --output "$dir/P.RSK"
--import-table|P.RSK|--import-table "$dir/P.RSK" --output "$dir/P.RSK"
--web-export|Q.RSK|--web-export "$dir/site/data/Q.RSK" --output "$dir/site"
TABLE

# A misspelt program directory: a usage error, and no library appears anywhere.
for args in "--update-library $dir/one.txt" "--import-text $dir/one.txt --library user" \
  "--export-branch builtin 1 --output $dir/x.akt" "--list-library user" \
  "--take-from-library builtin --tick 1 --output $dir/x.RSK"; do
  # shellcheck disable=SC2086
  "$orvenda" $args --program-dir "$dir/nonexistent" >/dev/null 2>&1
  [ $? -eq 2 ] || fail "$args with a missing --program-dir did not exit 2"
done
[ -n "$(find "$dir/share" -name '*.LIB' 2>/dev/null)" ] &&
  fail "a per-user library was created by a failed command"
[ -e "$dir/x.akt" ] || [ -e "$dir/x.RSK" ] && fail "a failed command wrote its output"

# Empty and random input: refused, naming the file; nothing written.
: >"$dir/empty.htm"
head -c 4096 /dev/urandom >"$dir/random.bin"
for input in "$dir/empty.htm" "$dir/random.bin" "$lib/RiskLib.LIB"; do
  out=$("$orvenda" --import-html "$input" --output "$dir/new.RSK" 2>&1) &&
    fail "--import-html of $input succeeded"
  [ -e "$dir/new.RSK" ] && fail "--import-html of $input wrote a project"
  out=$("$orvenda" --import-text "$input" --library builtin --program-dir "$lib" 2>&1) &&
    fail "--import-text of $input succeeded"
  echo "$out" | grep -q "$input" || fail "--import-text did not name $input: $out"
  out=$("$orvenda" --convert "$input" "$dir/new.RSK" 2>&1) && fail "--convert of $input succeeded"
  unchanged "$input"
done
cp "$dir/random.bin" "$dir/random.RSK"
out=$("$orvenda" --report "$dir/random.RSK" --output "$dir/r.htm" 2>&1) && fail "--report of noise"
echo "$out" | grep -q "random.RSK" || fail "a damaged project was not named: $out"

# Two runs on one library at once: both updates arrive.
for round in 1 2 3; do
  printf 'head\r\n<$$$1\r\nA%s\r\n<*-*-*-*>\r\n' "$round" >"$dir/a.txt"
  printf 'head\r\n<$$$1\r\nB%s\r\n<*-*-*-*>\r\n' "$round" >"$dir/b.txt"
  "$orvenda" --import-text "$dir/a.txt" --library user --program-dir "$lib" >/dev/null 2>&1 &
  first=$!
  "$orvenda" --import-text "$dir/b.txt" --library user --program-dir "$lib" >/dev/null 2>&1 ||
    fail "the second of two imports failed"
  wait $first || fail "the first of two imports failed"
done
listing=$("$orvenda" --list-library user --program-dir "$lib" 2>&1)
for text in A1 B1 A2 B2 A3 B3; do
  echo "$listing" | grep -q "	$text	" || fail "an import was lost ($text): $listing"
done

# What killed runs left: a dead run's working folder and a half-written archive go at the next
# start; a live one's stay.
mkdir "$TMPDIR/RZKDEAD0001.TMP" && : >"$TMPDIR/RZKDEAD0001.TMP/Orvenda.lock"
: >"$dir/P.RSK.ZLBabc123"
"$orvenda" --convert "$dir/P.RSK" "$dir/Copy.RSK" >/dev/null 2>&1 || fail "--convert failed"
[ -e "$TMPDIR/RZKDEAD0001.TMP" ] && fail "a dead run's working folder was left"
[ -e "$dir/P.RSK.ZLBabc123" ] && fail "a killed save's temporary file was left"
[ -e "$dir/Copy.RSK" ] || fail "--convert wrote nothing"
ls "$TMPDIR" | grep -q '^RZK' && fail "a batch run left its working folder: $(ls "$TMPDIR")"
echo "batch safety: all passed"
