#!/bin/sh
# Builds the Debian package, checks what it holds and what it depends on, and
# runs the program unpacked from it on an empty home.
set -eu
build=$1 version=$2
deb=$build/vexlor_${version}_amd64.deb
rm -f "$deb"
(cd "$build" && cpack -G DEB >/dev/null)
contents=$(dpkg-deb -c "$deb")
for f in ./usr/bin/vexlor ./usr/share/applications/vexlor.desktop ./usr/share/icons/hicolor/scalable/apps/vexlor.svg; do
  echo "$contents" | grep -q " $f\$" || { echo "missing $f"; exit 1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
for d in libqt6quick6 libqt6dbus6 libqt6network6 libsqlite3-0 qml6-module-qtquick qml6-module-qtqml-workerscript; do
  echo "$depends" | grep -q "$d" || { echo "Depends lacks $d: $depends"; exit 1; }
done
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
mkdir "$root/home"
out=$(HOME=$root/home XDG_CONFIG_HOME=$root/home/.config XDG_DATA_HOME=$root/home/.local/share \
  "$root/usr/bin/vexlor" --headless --passes 1 --interval 0.1)
echo "$out" | grep -q '"version":1' || { echo "no snapshot: $out"; exit 1; }
echo "package ok: $deb"
