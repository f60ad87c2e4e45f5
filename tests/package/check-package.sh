#!/bin/sh
# Builds the Debian package, unpacks it into a scratch root and runs the
# programs from there.
set -e
build="$1"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$build"
cpack -G DEB -B "$scratch/out" >/dev/null
deb=$(ls "$scratch"/out/*.deb)
dpkg-deb -f "$deb" Depends | grep -q libqt6serialport6
dpkg -x "$deb" "$scratch/root"
for f in usr/bin/orvant2 usr/bin/orvant2-cli usr/bin/orvant2-sim \
         usr/share/orvant2/help/tsProp.html usr/share/applications/orvant2.desktop \
         usr/share/icons/hicolor/scalable/apps/orvant2.svg; do
    test -e "$scratch/root/$f" || { echo "missing $f"; exit 1; }
done
out=$("$scratch/root/usr/bin/orvant2-cli" --simulate scan)
echo "$out" | grep -q '^KIP_NUM=3,' || { echo "scan from the package: $out"; exit 1; }
echo "package ok: $(basename "$deb")"
