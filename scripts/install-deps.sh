#!/usr/bin/env bash
# Installs the Debian packages that building and testing Velmo needs.
# Only packages that are missing are installed, so a second run is quick.
# --i386 (or --all) also installs what the 32-bit x86 cross build needs (cmake/i686-linux-gnu.cmake):
# the i686 cross compiler, the multi-arch i386 packages of the libraries and qemu-i386 for kernels
# that run no 32-bit programs. That is the one step that changes how dpkg sees the machine (it adds
# the architecture i386), so it is taken only when asked for, and said.
set -euo pipefail
i386=false
case "${1:-}" in
  --i386 | --all) i386=true ;;
  "") ;;
  *)
    echo "usage: $0 [--i386|--all]" >&2
    exit 2
    ;;
esac

packages=(
  g++ cmake ninja-build ccache pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 qt6-qpa-plugins
  nlohmann-json3-dev libcli11-dev libsystemd-dev libsensors-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang clang-format libclang-rt-14-dev
  xvfb xauth fonts-dejavu-core dbus-daemon
  dpkg-dev file lintian desktop-file-utils scdoc man-db
  # the icon's sizes drawn at build time; the checks of units, polkit rule, AppStream file and
  # the package on a clean Debian root
  librsvg2-bin systemd duktape appstream debootstrap
  # only the measurement scripts in bench/ use these; no test depends on them
  hyperfine lm-sensors time
  # the peer that bench/generic_cost.sh measures the idle monitor beside
  psensor
  # the window host's benchmark and screenshots on Xvfb: a notification area, a window
  # manager, input and capture
  trayer openbox xdotool x11-utils imagemagick
  # promtool, which checks the metrics file in the tests (from the prometheus package)
  prometheus
)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
updated=false
if $i386; then
  packages+=(g++-i686-linux-gnu qt6-base-dev:i386 qt6-svg-dev:i386 libgtest-dev:i386
    libgmock-dev:i386 libsystemd-dev:i386 libsensors-dev:i386 qemu-user-static)
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "adding the architecture i386 to dpkg (dpkg --add-architecture i386) for the 32-bit libraries"
    $sudo dpkg --add-architecture i386
    $sudo apt-get update -qq
    updated=true
  fi
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $updated || $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
