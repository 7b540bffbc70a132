#!/usr/bin/env bash
# Installs what building, running and testing Rostrel needs on Debian 12 (as root).
# Skips apt entirely when everything is already there.
set -euo pipefail
PKGS=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-multimedia-dev libgsf-1-dev zlib1g-dev libxml2-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-noto-cjk qt6-translations-l10n python3-xlrd python3-olefile python3-openpyxl python3-odf libreoffice-calc-nogui
  appstream desktop-file-utils clang-format
)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}"
fi
