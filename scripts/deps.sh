#!/usr/bin/env bash
# Installs the Debian packages the build, the program, its Debian package and
# the tests need, skipping those already present.
# Usage: scripts/deps.sh [run|package|win32|test]
#   run      build and start the program
#   package  also make the .deb (scripts/package.sh)
#   win32    also cross-build for Windows and run it under Wine
#   test     all of it and the tests
set -euo pipefail

run_pkgs=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev libqt6svg6
    libx11-dev libxtst-dev libxi-dev libxrandr-dev libx11-xcb-dev libxcb1-dev
    libxkbcommon-dev libwayland-dev libwayland-bin wayland-protocols plasma-wayland-protocols
    qt6-wayland
    libglib2.0-dev libglib2.0-bin gsettings-desktop-schemas
    dconf-gsettings-backend
    xvfb openbox icewm trayer x11-xkb-utils x11-xserver-utils x11-utils xdotool xdg-utils
    fonts-dejavu-core imagemagick librsvg2-bin
)
# dpkg-shlibdeps reads the binary's libraries for the package's Depends;
# CPack finds the binary with file.
package_pkgs=(dpkg-dev file)
# locales: the Windows tests run Wine in a Russian locale (code page 1251),
# as the program's users run Windows.
win32_pkgs=(g++-mingw-w64-x86-64-posix wine wine64 locales)
test_pkgs=(
    libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-dev
    xterm zenity mousepad x11-apps
    desktop-file-utils appstream man-db libgtk-3-bin lintian
    sway wtype foot grim jq
    kwin-wayland xdg-desktop-portal xdg-desktop-portal-kde qtwayland5
    mutter pipewire pipewire-bin gnome-shell libglib2.0-bin nodejs
)

want=("${run_pkgs[@]}")
case ${1:-test} in
run) ;;
package) want+=("${package_pkgs[@]}") ;;
win32) want+=("${win32_pkgs[@]}") ;;
test) want+=("${package_pkgs[@]}" "${win32_pkgs[@]}" "${test_pkgs[@]}") ;;
*) echo "usage: $0 [run|package|win32|test]" >&2; exit 2 ;;
esac

missing=()
for p in "${want[@]}"; do
    if [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" != "install ok installed" ]; then
        missing+=("$p")
    fi
done
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo=sudo
fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" || exit 1
fi
case ${1:-test} in
win32 | test)
    if ! locale -a 2>/dev/null | grep -qix 'ru_RU.utf8'; then
        echo "Generating the locale ru_RU.UTF-8"
        $sudo sed -i 's/^# *\(ru_RU.UTF-8 UTF-8\)/\1/' /etc/locale.gen
        grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen ||
            echo 'ru_RU.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
        $sudo locale-gen >/dev/null || exit 1
    fi
    ;;
esac
