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
  xvfb xauth fonts-dejavu-core
  dpkg-dev file lintian desktop-file-utils scdoc man-db
  # only the measurement scripts in bench/ use these; no test depends on them
  hyperfine lm-sensors time
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
