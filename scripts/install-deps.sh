#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need.
# Does nothing (and needs no root) when every package is already present.
set -euo pipefail

packages=(
    cmake ninja-build g++ make pkgconf
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-image-formats-plugins
    libheif-dev zlib1g-dev libssl-dev libsqlite3-dev libcanberra-dev libasound2-dev sound-theme-freedesktop
    qt6-qpa-plugins fonts-dejavu-core
    xvfb xauth x11-utils util-linux
    trash-cli
    desktop-file-utils appstream
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"
