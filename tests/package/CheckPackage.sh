#!/usr/bin/env bash
# Builds the .deb from the build tree, checks its dependencies and desktop files, unpacks it into
# a temporary root and starts the installed program there: it must find its share files in the
# installed tree (not in the build or source tree) and start and end cleanly on the offscreen
# platform.
#
#     CheckPackage.sh <build folder>
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack -G DEB -B "$work/out" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$work"/out/rufwart_*.deb)

depends=$(dpkg-deb -f "$deb" Depends)
for need in libcapi20-3 qt6-qpa-plugins qt6-translations-l10n libmosquitto1 libqt6core6 libqt6gui6 libqt6widgets6 libqt6multimedia6; do
  grep -qE "(^|, )$need( |,|$)" <<<"$depends" || fail "Depends lacks $need: $depends"
done
dpkg-deb -f "$deb" Recommends | grep -qE "(^|, )mosquitto( |,|$)" || fail "Recommends lacks mosquitto"

root="$work/root"
dpkg-deb -x "$deb" "$root"
for f in usr/bin/rufwart usr/bin/isdnsim usr/bin/rufwart-dinfo usr/share/rufwart/readme.txt usr/share/rufwart/bitmaps/himmel.bmp \
         usr/share/applications/de.elbwerk.rufwart.desktop usr/share/metainfo/de.elbwerk.rufwart.metainfo.xml \
         usr/share/icons/hicolor/scalable/apps/de.elbwerk.rufwart.svg \
         usr/share/icons/hicolor/48x48/apps/de.elbwerk.rufwart.png \
         usr/share/man/man1/rufwart.1 usr/share/man/man1/isdnsim.1 usr/share/man/man1/rufwart-dinfo.1 \
         usr/share/man/de/man1/rufwart.1 usr/share/man/de/man1/isdnsim.1 usr/share/man/de/man1/rufwart-dinfo.1 \
         usr/lib/systemd/user/rufwart.service; do
  [ -s "$root/$f" ] || fail "the package lacks $f"
done
grep -qx "ExecStart=rufwart --headless" "$root/usr/lib/systemd/user/rufwart.service" ||
  fail "the user service does not start the headless monitor"
desktop-file-validate "$root/usr/share/applications/de.elbwerk.rufwart.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$root/usr/share/metainfo/de.elbwerk.rufwart.metainfo.xml" >/dev/null ||
  fail "AppStream metainfo"

# The installed program, with folders of its own.
home="$work/home"
mkdir -p "$home/runtime" && chmod 700 "$home/runtime"
export HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/runtime"
export QT_QPA_PLATFORM=offscreen RUFWART_CAPI_REMOTE=127.0.0.1:9
version=$("$root/usr/bin/rufwart" --version)
[ "$version" = "Rufwart 32 $(dpkg-deb -f "$deb" Version)" ] || fail "--version says '$version'"
"$root/usr/bin/rufwart" --help | grep -qF "release notes     $root/usr/share/rufwart/readme.txt" ||
  fail "the installed program does not find its release notes in the installed tree"

"$root/usr/bin/rufwart" >"$work/run.log" 2>&1 &
pid=$!
sleep 3
kill -0 "$pid" 2>/dev/null || { cat "$work/run.log" >&2; fail "the installed program ended by itself"; }
kill -TERM "$pid"
wait "$pid" || { cat "$work/run.log" >&2; fail "the installed program did not end cleanly"; }
# With the automatic D-Info look-up on, the installed program puts the installed stand-in into
# its D-Info folder and starts it; the stand-in ends with the program. (Against the packaged
# exchange, so that no "no CAPI" notice holds the start.)
"$root/usr/bin/isdnsim" serve --port 0 --port-file "$work/port" --die-with-parent >/dev/null 2>&1 &
sim=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
export RUFWART_CAPI_REMOTE="127.0.0.1:$(cat "$work/port")"
mkdir -p "$XDG_CONFIG_HOME/Elbwerk"
printf '[General]\nISDN_Update20=1\nISDN_RunDInfo=1\n' >"$XDG_CONFIG_HOME/Elbwerk/Zahlwerk.ini"
"$root/usr/bin/rufwart" >"$work/dinfo.log" 2>&1 &
pid=$!
for _ in $(seq 100); do [ -S "$XDG_RUNTIME_DIR/dde-D-Info-3.0" ] && break; sleep 0.1; done
[ "$(readlink "$XDG_DATA_HOME/rufwart/dinfo/dinfowin.exe")" = "$root/usr/bin/rufwart-dinfo" ] ||
  { cat "$work/dinfo.log" >&2; fail "the D-Info folder does not hold the installed stand-in"; }
[ -S "$XDG_RUNTIME_DIR/dde-D-Info-3.0" ] || { cat "$work/dinfo.log" >&2; fail "the stand-in does not serve"; }
kill -TERM "$pid"
wait "$pid" || { cat "$work/dinfo.log" >&2; fail "the installed program did not end cleanly"; }
kill "$sim"
[ ! -e "$XDG_RUNTIME_DIR/dde-D-Info-3.0" ] || fail "the stand-in outlived the program"
echo "package check passed: $(basename "$deb")"
