#!/usr/bin/env bash
# Installs what Zelkora needs to build, test and run on Debian 12. Safe to run again:
# packages already present are left alone, and apt is only asked when something is missing.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config ccache
    qt6-base-dev qt6-qpa-plugins libgl-dev
    fonts-dejavu-core
    libgtest-dev libgmock-dev libbenchmark-dev
    libsndfile1-dev
    # the memory-card test formats and mounts a FAT32 image (it skips without FUSE)
    dosfstools fusefat
    # the map command's test checks its GPX with xmllint
    libxml2-utils
    # the render test makes a German locale of its own (localedef) to draw under
    locales
    # scripts/fuzz.sh builds the parsers' libFuzzer targets
    clang-14 libclang-rt-14-dev
    # scripts/package.sh makes the Debian package (dpkg-shlibdeps finds its dependencies);
    # its test checks the desktop entry and renders the manual pages
    dpkg-dev desktop-file-utils groff-base
    # scripts/clock-check.sh moves the clock; scripts/stress-check.sh loads the machine
    faketime stress-ng
    # a recording test slows the disk down with strace
    strace
    # the package test runs Debian's checker on the package, and asks the desktop's file-type
    # database what a sequence file is
    lintian shared-mime-info libglib2.0-bin
    # the station's web page: its HTTP server, and the browser its test drives (with node)
    libcpp-httplib-dev chromium nodejs
    # the window tests run on a virtual X display, without a window manager and under the
    # two that touch boards and desktops use; xwininfo tells which windows cover the screen
    xvfb matchbox-window-manager openbox x11-utils
    # and under a Wayland compositor without a screen, with Qt's Wayland plugin
    weston qt6-wayland
    # Qt's on-screen keyboard over a dialog (test_onscreen_keyboard); Debian's plugin does not
    # bring the QML modules its keyboard is drawn with
    qt6-virtualkeyboard-plugin qml6-module-qtquick-virtualkeyboard qml6-module-qtqml-workerscript
    qml6-module-qt-labs-folderlistmodel qml6-module-qtquick-window qml6-module-qtquick-layouts
    qml6-module-qtquick-controls qml6-module-qtquick-templates
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi

# npm comes with some builds of nodejs and as a package of its own with Debian's.
if ! command -v npm >/dev/null; then
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq npm
fi
# playwright-core for the page's browser test, at the locked version; it never downloads a
# browser (the test uses /usr/bin/chromium).
web_tests="$(dirname "$0")/../tests/web"
if [ ! -d "$web_tests/node_modules/playwright-core" ]; then
    npm ci --prefix "$web_tests" --no-audit --no-fund
fi
