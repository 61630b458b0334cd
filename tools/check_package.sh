#!/usr/bin/env bash
# Checks a built orvenda .deb: its control fields and that every file the program needs is in
# it where the program looks for it. Usage: tools/check_package.sh ORVENDA.deb
set -euo pipefail
deb="$1"
failed=0
fail() { echo "check_package: $*" >&2; failed=1; }

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = orvenda ] || fail "Package is '$(field Package)'"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is '$(field Architecture)'"
[[ "$(field Version)" =~ ^[0-9]+(\.[0-9]+)+$ ]] || fail "Version is '$(field Version)'"
[[ "$(basename "$deb")" == "orvenda_$(field Version)_$(field Architecture).deb" ]] ||
  fail "file name $(basename "$deb") does not match the control fields"
depends="$(field Depends)"
# Qt's translations of its own texts, and the libraries from dpkg-shlibdeps (with versions).
for wanted in qt6-translations-l10n 'libqt6widgets6 (>=' 'libqt6printsupport6 (>=' 'libc6 (>=' \
  'zlib1g (>='; do
  [[ "$depends" == *"$wanted"* ]] || fail "Depends lacks '$wanted': $depends"
done
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Description)" ] || fail "no Description"

listing="$(dpkg-deb --contents "$deb")"
has() {  # has TYPE PATH: a file (-) or link (l) at PATH
  echo "$listing" | awk -v t="$1" -v p="./$2" '$6 == p && substr($1, 1, 1) == t { found = 1 }
    END { exit !found }' || fail "no $2 (type $1)"
}
has - usr/lib/orvenda/orvenda
has - usr/lib/orvenda/RiskLib.LIB
has - usr/lib/orvenda/Hanvik.htm
has - usr/lib/orvenda/Hanvik.en.htm
has - usr/lib/orvenda/Language.en.lng
has - usr/share/applications/orvenda.desktop
has - usr/share/mime/packages/orvenda.xml
has - usr/share/metainfo/cz.tumbek.orvenda.metainfo.xml
has - usr/share/icons/hicolor/256x256/apps/orvenda.png
has - usr/share/icons/hicolor/48x48/apps/orvenda.png
has - usr/share/doc/orvenda/copyright
has l usr/bin/orvenda
echo "$listing" | grep -q '^-rwxr-xr-x root/root .* ./usr/lib/orvenda/orvenda$' ||
  fail "the executable is not root's with mode 755"
echo "$listing" | grep -q ' ./usr/bin/orvenda -> \.\./lib/orvenda/orvenda$' ||
  fail "usr/bin/orvenda does not lead to the program directory"
# The language file switches the program to English only when copied; none is active as shipped.
echo "$listing" | grep -q '/Language\.lng$' && fail "the package ships an active Language.lng"

exit "$failed"
