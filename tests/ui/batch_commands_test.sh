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

# The library commands, on a program directory of their own; no per-user copy interferes.
export XDG_DATA_HOME="$dir/share"
lib="$dir/lib"
mkdir "$lib"
printf 'head\r\n<$$$1\r\nStroje\r\n<$$$2\r\nPopis\r\n<$$$3\r\n3\r\n<$$$4\r\n7\r\n<$$$1\r\nElektro\r\n<*-*-*-*>\r\n' >"$dir/import.txt"
out=$("$orvenda" --import-text "$dir/import.txt" --library builtin --program-dir "$lib" 2>&1) ||
  fail "--import-text failed: $out"
listing=$("$orvenda" --list-library builtin --program-dir "$lib" 2>&1)
[ "$(echo "$listing" | grep -c "Stroje	Popis		3	5")" -eq 1 ] || fail "--import-text stored: $listing"
echo "$listing" | grep -q "^2	1	0		.*Elektro	Popis		3	5" || fail "--import-text second record: $listing"

cp "$lib/RiskLib.LIB" "$dir/before.LIB"
printf 'head\r\n<$$$1\r\nA\r\n<$$$3\r\nx\r\n' >"$dir/bad.txt"
out=$("$orvenda" --import-text "$dir/bad.txt" --library builtin --program-dir "$lib" 2>&1) &&
  fail "--import-text of a bad rating succeeded"
echo "$out" | grep -q "řádek 5" || fail "--import-text did not name the line: $out"
cmp -s "$lib/RiskLib.LIB" "$dir/before.LIB" || fail "--import-text wrote the library after failing"

"$orvenda" --export-branch builtin 99 --output "$dir/none.akt" --program-dir "$lib" >/dev/null 2>&1 &&
  fail "--export-branch of a missing item succeeded"
[ -e "$dir/none.akt" ] && fail "--export-branch wrote a file after failing"
out=$("$orvenda" --export-branch builtin 2 --output "$dir/one.akt" --program-dir "$lib" 2>&1) ||
  fail "--export-branch failed: $out"
out=$("$orvenda" --update-library "$dir/import.txt" --program-dir "$lib" 2>&1) &&
  fail "--update-library of a text file succeeded"
cmp -s "$lib/RiskLib.LIB" "$dir/before.LIB" || fail "--update-library changed the library after failing"
out=$("$orvenda" --update-library "$dir/one.akt" --program-dir "$lib" 2>&1) ||
  fail "--update-library failed: $out"
listing=$("$orvenda" --list-library builtin --program-dir "$lib" 2>&1)
echo "$listing" | grep -q "^3	1	0		.*Elektro" || fail "--update-library did not append: $listing"

"$orvenda" --take-from-library builtin --tick 1,99 --output "$dir/none.RSK" --program-dir "$lib" \
  >/dev/null 2>&1 && fail "--take-from-library of a missing item succeeded"
[ -e "$dir/none.RSK" ] && fail "--take-from-library wrote a project after failing"
out=$("$orvenda" --take-from-library builtin --tick 1,3 --output "$dir/taken.RSK" \
  --program-dir "$lib" 2>&1) || fail "--take-from-library failed: $out"
"$orvenda" --report "$dir/taken.RSK" --output "$dir/taken.htm" >/dev/null 2>&1 ||
  fail "--report of the taken project failed"
grep -q "Elektro" "$dir/taken.htm" || fail "--take-from-library project lacks the risk"

"$orvenda" --no-such-option >/dev/null 2>&1
[ $? -eq 2 ] || fail "an unknown option did not end with status 2"
out=$("$orvenda" --report "$dir/taken.RSK" --outptu "$dir/x.htm" 2>&1)
[ $? -eq 2 ] || fail "a misspelt option did not end with status 2: $out"
echo "$out" | grep -q -- "did you mean --output?" || fail "a misspelt option got no suggestion: $out"
[ -e "$dir/x.htm" ] && fail "a misspelt option wrote a page"

# The help names the commands of the core and the Qt side alike; the version is the About one.
out=$("$orvenda" --help) || fail "--help did not end with status 0"
for command in --report --report-pdf --convert --take-from-library --import-text; do
  echo "$out" | grep -q -- "^orvenda $command " || fail "--help does not list $command: $out"
done
out=$("$orvenda" --version) || fail "--version did not end with status 0"
echo "$out" | grep -qx "Orvenda [0-9][0-9.]*" || fail "--version printed: $out"
# The language file the window would read (here the per-user one) gives the batch commands
# their texts too; --language overrides it for one run.
mkdir -p "$XDG_DATA_HOME/Tumbek/Orvenda"
cp "$(dirname "$orvenda")/Language.en.lng" "$XDG_DATA_HOME/Tumbek/Orvenda/Language.lng"
out=$("$orvenda" --report "$dir/missing.RSK" --output "$dir/page.htm" 2>&1) &&
  fail "--report of a missing file succeeded in English"
echo "$out" | grep -q "File not found." || fail "--report did not speak the language file: $out"
"$orvenda" --report "$dir/taken.RSK" --output "$dir/english.htm" >/dev/null 2>&1 ||
  fail "--report in English failed"
grep -q "Key:" "$dir/english.htm" || fail "--report wrote no English legend"
"$orvenda" --export-table "$dir/taken.RSK" --output "$dir/english.csv" >/dev/null 2>&1 ||
  fail "--export-table in English failed"
head -n 1 "$dir/english.csv" | grep -q "Hazard" || fail "--export-table wrote no English titles"
# So are the texts raised deep in the program, here the refusal of a file that is no project.
out=$("$orvenda" --convert "$dir/english.htm" "$dir/converted.RSK" 2>&1) &&
  fail "--convert of a page succeeded"
echo "$out" | grep -q "is not a risk project" || fail "--convert refused in another language: $out"
printf '[Translations]\r\nMainForm.MessagesBox.Items=\r\n' >"$dir/czech.lng"
out=$("$orvenda" --language "$dir/czech.lng" --report "$dir/missing.RSK" --output "$dir/page.htm" 2>&1)
echo "$out" | grep -q "Soubor nenalezen." || fail "--language did not override the language file: $out"
rm "$XDG_DATA_HOME/Tumbek/Orvenda/Language.lng"
echo "batch commands: 11 passed, 0 failed"
