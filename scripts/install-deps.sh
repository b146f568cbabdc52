#!/usr/bin/env bash
# Installs the Debian packages that building, testing and demonstrating the
# driver package need. Safe to run again: it only installs what is missing.
set -euo pipefail

PACKAGES=(
  g++ cmake make pkg-config ninja-build
  libcups2-dev libcupsimage2-dev cups cups-client cups-filters cups-bsd
  libgtest-dev libgmock-dev
  qtbase5-dev qttools5-dev qttools5-dev-tools libqt5svg5-dev
  libusb-1.0-0-dev umockdev libumockdev-dev
  libjbig-dev jbigkit-bin libpng-dev zlib1g-dev
  xvfb xauth trayer imagemagick fonts-wqy-microhei
  poppler-utils ghostscript
  dpkg-dev file
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
