#!/usr/bin/env bash
# Installs the Debian packages that building and testing Velmo needs.
# Only packages that are missing are installed, so a second run is quick.
set -euo pipefail

packages=(
  g++ cmake ninja-build ccache pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 qt6-qpa-plugins
  nlohmann-json3-dev libcli11-dev libsystemd-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang clang-format libclang-rt-14-dev
  xvfb xauth fonts-dejavu-core dbus-daemon
  # the benchmarks beside lm-sensors, and the window host's benchmark and screenshots on Xvfb:
  # a notification area, a window manager, input and capture
  lm-sensors time trayer openbox xdotool x11-utils imagemagick
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
