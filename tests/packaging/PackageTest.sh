#!/usr/bin/env bash
# Makes the Debian package from the build tree, unpacks it into a fresh folder as dpkg would
# install it, and runs the installed programs from there. Skips (exit 77) without cpack or
# dpkg-deb. Usage: PackageTest.sh BUILD_DIR
set -uo pipefail
build=$1
for program in cpack dpkg-deb dpkg-shlibdeps; do
    if ! command -v "$program" >/dev/null; then
        echo "SKIP: needs $program (cmake, dpkg-dev; scripts/setup.sh installs them)"
        exit 77
    fi
done
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! (cd "$build" && cpack -G DEB -B "$work/out") >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    exit 1
fi
debs=("$work"/out/zelkora_*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || { echo "FAIL: no single package: ${debs[*]}"; exit 1; }
deb=${debs[0]}

# The control file: the libraries the programs link, and no script that could enable the
# station or change groups behind the user's back.
control=$(dpkg-deb -f "$deb")
for library in libqt6core6 libqt6gui6 libqt6widgets6 libqt6dbus6 libsndfile1; do
    grep -q "^Depends:.*\b$library\b" <<<"$control" || fail "Depends lacks $library"
done
grep -qx "Section: science" <<<"$control" || fail "not in section science"
grep -q "^Recommends:.*\bqt6-wayland\b" <<<"$control" || fail "Recommends lacks qt6-wayland"
grep -q "^Suggests:.*\bqt6-virtualkeyboard-plugin\b.*\bqml6-module-qtquick-controls\b" <<<"$control" ||
    fail "Suggests lacks the on-screen keyboard"
grep -q "dialout" <<<"$control" || fail "the description does not tell about dialout"
dpkg-deb -e "$deb" "$work/control"
for script in preinst postinst prerm postrm; do
    [[ ! -e $work/control/$script ]] || fail "the package has a $script script"
done

# Debian's own checker, where it is installed (as root only when told that this is meant):
# no error, no warning, nothing pedantic.
if command -v lintian >/dev/null; then
    report=$(lintian --pedantic --allow-root --no-tag-display-limit "$deb" 2>&1) ||
        fail "lintian failed: $report"
    ! grep -E '^[EWP]: ' <<<"$report" || fail "lintian has complaints (above)"
else
    echo "lintian is not installed: the package is not checked by it"
fi

root=$work/root
dpkg-deb -x "$deb" "$root"
for file in usr/bin/zelkora usr/bin/zelkora-tool; do
    [[ -x $root/$file ]] || fail "$file is missing or not executable"
    if ldd "$root/$file" | grep -q "not found"; then
        fail "$file needs libraries that are not there: $(ldd "$root/$file" | grep 'not found')"
    fi
done
for file in usr/share/applications/zelkora.desktop \
    usr/share/icons/hicolor/scalable/apps/zelkora.svg \
    usr/share/man/man1/zelkora.1.gz usr/share/man/man1/zelkora-tool.1.gz \
    usr/share/bash-completion/completions/zelkora-tool \
    usr/lib/systemd/system/zelkora-station.service; do
    [[ -s $root/$file ]] || fail "$file is missing"
done
[[ ! -e $root/etc/systemd ]] || fail "the package enables a unit itself"

# The entry and the icon are well formed where the checkers are installed.
desktop=$root/usr/share/applications/zelkora.desktop
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate --no-hints "$desktop" || fail "the desktop entry does not validate"
fi
grep -qx "Exec=zelkora %f" "$desktop" || fail "the desktop entry does not start zelkora"
grep -qx "Icon=zelkora" "$desktop" || fail "the desktop entry names another icon"
if command -v xmllint >/dev/null; then
    xmllint --noout "$root/usr/share/icons/hicolor/scalable/apps/zelkora.svg" ||
        fail "the icon is not well-formed XML"
fi
for page in zelkora zelkora-tool; do
    warnings=$(zcat "$root/usr/share/man/man1/$page.1.gz" | groff -man -Tutf8 -ww 2>&1 >/dev/null)
    [[ -z $warnings ]] || fail "$page.1 renders with warnings: $warnings"
done
unit=$root/usr/lib/systemd/system/zelkora-station.service
grep -qx "ExecStart=/usr/bin/zelkora-tool station --config /etc/zelkora/station.conf" "$unit" ||
    fail "the unit starts something else"
grep -qx "User=zelkora" "$unit" || fail "the unit does not run as zelkora"
grep -qx "SupplementaryGroups=dialout" "$unit" || fail "the unit cannot reach serial ports"
grep -qx "RestartPreventExitStatus=2 64" "$unit" || fail "the unit restarts a station whose config is bad"

# The installed programs run, on a settings folder of their own.
export XDG_CONFIG_HOME=$work/config HOME=$work/home QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=$work/run
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
tool=$root/usr/bin/zelkora-tool
"$tool" --help >"$work/help" || fail "zelkora-tool --help failed"
grep -q "^  render " "$work/help" || fail "zelkora-tool --help lists no render"
"$root/usr/bin/zelkora" --help >"$work/window-help" 2>&1 || fail "zelkora --help failed"
grep -q -- "--record-monitor" "$work/window-help" || fail "zelkora --help lacks --record-monitor"
# Over ssh, with no display and no platform chosen, the options are printed all the same.
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/zelkora" --help \
    >"$work/window-help" 2>&1 || fail "zelkora --help without a display failed"
grep -q -- "--record-monitor" "$work/window-help" || fail "zelkora --help without a display"
# Both name the package's version, the window's also without a display.
version=$(dpkg-deb -f "$deb" Version)
version=${version%-*}  # without the Debian revision
[[ $("$tool" --version) == "zelkora-tool $version" ]] || fail "zelkora-tool --version"
[[ $(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/zelkora" --version) == \
    "zelkora $version" ]] || fail "zelkora --version without a display"
seq 1 40 | awk '{ print 30 + ($1 % 8) * 5 }' >"$work/intervals"
file=$("$tool" encode --ratio 16 --start "2026-06-12 22:14:03" --dir "$work/seq" <"$work/intervals") ||
    fail "the installed zelkora-tool encode failed"
# A file manager knows a sequence file by its name, or renamed by its first bytes, and offers
# the window for it.
grep -qx "MimeType=application/x-zelkora-sequence;" "$desktop" || fail "the entry takes no file type"
if command -v update-mime-database >/dev/null && command -v gio >/dev/null; then
    mkdir -p "$work/data/mime/packages"
    cp /usr/share/mime/packages/freedesktop.org.xml "$root/usr/share/mime/packages/zelkora.xml" \
        "$work/data/mime/packages/"
    update-mime-database "$work/data/mime" >/dev/null 2>&1 || fail "the file type is refused"
    cp "$file" "$work/renamed.bin"
    for f in "$file" "$work/renamed.bin"; do
        type=$(XDG_DATA_HOME=$work/data XDG_DATA_DIRS=$work/data gio info -a standard::content-type "$f" |
            sed -n 's/^ *standard::content-type: //p')
        [[ $type == application/x-zelkora-sequence ]] || fail "$f is taken for '$type'"
    done
fi
if "$tool" render "$file" --png "$work/picture.png" --size 320x240 --mode all; then
    [[ $(head -c 8 "$work/picture.png" | od -An -tx1 | tr -d ' ') == 89504e470d0a1a0a ]] ||
        fail "render wrote no PNG"
else
    fail "the installed zelkora-tool render failed"
fi

[[ $failures -eq 0 ]] || exit 1
echo "$(basename "$deb"): $(dpkg-deb -f "$deb" Installed-Size) KiB installed, every check passed"
