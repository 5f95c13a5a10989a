#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Rufwart need.
# Safe to run again: when everything is present it only checks and returns.
set -euo pipefail

PACKAGES=(
  cmake g++ ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-tools-dev-tools qt6-tools-dev
  qt6-l10n-tools qt6-translations-l10n python3
  libqt6svg6 qt6-qpa-plugins libgl-dev
  libcapi20-3 libcapi20-dev
  libmosquitto-dev mosquitto
  libgtest-dev
  xvfb xauth dbus
  weston qt6-wayland
  desktop-file-utils appstream dpkg-dev
  clang-14 libclang-rt-14-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
