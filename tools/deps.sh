#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need, if missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  zlib1g-dev nettle-dev libre2-dev libxlsxwriter-dev
  libgtest-dev libgmock-dev libcli11-dev
  qt6-base-dev qt6-translations-l10n
  python3 python3-dbfread python3-dbf python3-openpyxl
  clang libclang-rt-14-dev
  xvfb xauth
  poppler-utils libreoffice-writer-nogui
  dpkg-dev fakeroot lintian
  chromium chromium-driver python3-selenium
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" = 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
