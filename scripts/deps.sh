#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need,
# skipping those already present. Usage: scripts/deps.sh [run|test]
set -euo pipefail

run_pkgs=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev libqt6svg6
    libx11-dev libxtst-dev libxi-dev libxrandr-dev libx11-xcb-dev libxcb1-dev
    libxkbcommon-dev libglib2.0-dev libglib2.0-bin gsettings-desktop-schemas
    dconf-gsettings-backend
    xvfb openbox icewm trayer x11-xkb-utils x11-xserver-utils x11-utils xdotool xdg-utils
    fonts-dejavu-core imagemagick librsvg2-bin
)
test_pkgs=(
    libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-dev
    xterm zenity mousepad x11-apps
)

want=("${run_pkgs[@]}")
if [ "${1:-test}" = test ]; then
    want+=("${test_pkgs[@]}")
fi

missing=()
for p in "${want[@]}"; do
    if [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" != "install ok installed" ]; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo=sudo
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
