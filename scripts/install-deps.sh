#!/bin/bash
# Installs the Debian 12 packages needed to build, run and test the
# recorder. Does nothing (and touches no network) when all are present.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config
  # Qt 5
  qtbase5-dev qtbase5-dev-tools qttools5-dev-tools libqt5svg5-dev
  qt5-image-formats-plugins
  # FFmpeg
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev
  libswresample-dev libavdevice-dev libavfilter-dev
  # X11 through XCB
  libxcb1-dev libxcb-randr0-dev libxcb-shm0-dev libxcb-xfixes0-dev
  libxcb-composite0-dev libxcb-damage0-dev libxcb-shape0-dev libxcb-icccm4-dev libxcb-ewmh-dev
  libxkbcommon-x11-dev libxcb-xkb-dev
  # sound, network
  libpulse-dev libcurl4-openssl-dev
  # the private test environment and the tools its tests use
  xvfb xauth openbox pulseaudio pulseaudio-utils x11-utils x11-apps
  xdotool x11-xkb-utils trayer imagemagick fonts-dejavu-core dbus-daemon
)

# One query for all: a package dpkg has never heard of is simply absent.
installed=" $(dpkg-query -W -f='${Package}:${Status}\n' "${packages[@]}" 2>/dev/null |
  sed -n 's/:install ok installed$//p' | tr '\n' ' ' || true) "
missing=()
for p in "${packages[@]}"; do
  [[ "$installed" == *" $p "* ]] || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}" >&2
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    sudo=(sudo)
  else
    echo "install-deps: need root (or sudo) to install: ${missing[*]}" >&2
    exit 1
  fi
fi

export DEBIAN_FRONTEND=noninteractive
# Wait for a concurrent apt/dpkg run instead of failing at once.
apt_opts=(-o DPkg::Lock::Timeout=300)
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get "${apt_opts[@]}" update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get "${apt_opts[@]}" install -y -q \
  --no-install-recommends "${missing[@]}"
