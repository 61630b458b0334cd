#!/usr/bin/env bash
# Builds the Debian package orvenda_VERSION_amd64.deb in the source directory (or OUTDIR) from a
# build of its own (build-package/): `cmake --install --strip` into a staging root, Depends from
# dpkg-shlibdeps, then dpkg-deb, a check of the package's contents and lintian.
# The build has the flags of tools/test.sh's (RelWithDebInfo, stripped on install) so that ccache
# hands it the objects of that build instead of compiling the tree again.
# Usage: tools/package.sh [OUTDIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
outdir="$(mkdir -p "${1:-$root}" && cd "${1:-$root}" && pwd)"

# The packaging tools, as tools/deps.sh installs the build's.
missing=()
for p in build-essential cmake ninja-build qt6-base-dev dpkg-dev lintian; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  "$root/tools/deps.sh"
fi

build="${ORVENDA_PACKAGE_BUILD_DIR:-$root/build-package}"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  # The debug information is stripped, so the build directory's name need not match.
  export CCACHE_NOHASHDIR=1 CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}"
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_INSTALL_LIBDIR=lib \
  -DORVENDA_BUILD_TESTS=OFF -DORVENDA_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" --target orvenda risk_library -j "$(nproc)"

stage="$build/deb"
rm -rf "$stage"
umask 022
DESTDIR="$stage" cmake --install "$build" --strip >/dev/null

version="$("$build/src/ui/orvenda" --version | sed -n 's/^Orvenda //p')"
[ -n "$version" ] || { echo "package.sh: no version from the program" >&2; exit 1; }
arch="$(dpkg --print-architecture)"
maintainer="${DEBFULLNAME:-Tumbek} <${DEBEMAIL:-orvenda@example.com}>"

doc="$stage/usr/share/doc/orvenda"
mkdir -p "$doc"
cat >"$doc/copyright" <<COPYRIGHT
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Orvenda

Files: *
Copyright: Tumbek
License: proprietary
 All rights reserved.
COPYRIGHT
{
  echo "orvenda ($version) unstable; urgency=medium"
  echo
  echo "  * Release $version."
  echo
  echo " -- $maintainer  $(date -R -d "@${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || date +%s)}")"
} | gzip -9n >"$doc/changelog.gz"

# Depends: the libraries the executable links, plus Qt's translations of its own texts.
mkdir -p "$build/shlibdeps/debian"
: >"$build/shlibdeps/debian/control"
shlibs="$(cd "$build/shlibdeps" && dpkg-shlibdeps -O "$stage/usr/lib/orvenda/orvenda" |
  sed -n 's/^shlibs:Depends=//p')"
[ -n "$shlibs" ] || { echo "package.sh: dpkg-shlibdeps found no libraries" >&2; exit 1; }
mkdir -p "$stage/DEBIAN"
cat >"$stage/DEBIAN/control" <<CONTROL
Package: orvenda
Version: $version
Architecture: $arch
Maintainer: $maintainer
Installed-Size: $(du -sk --exclude=DEBIAN "$stage" | cut -f1)
Depends: $shlibs, qt6-translations-l10n
Section: misc
Priority: optional
Description: occupational health and safety risk assessment
 Orvenda records and evaluates workplace risks: a project is a tree of the
 assessed object, its workplaces and subsystems whose leaves are risks rated
 into a risk level and category. Risks are typed in or taken from risk
 libraries; the program writes, prints and exports reports.
CONTROL

deb="$outdir/orvenda_${version}_${arch}.deb"
rm -f "$deb"
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null

"$root/tools/check_package.sh" "$deb"
lintian --fail-on error "$deb"
echo "$deb"
