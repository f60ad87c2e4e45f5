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
# Depends comes from the binaries: every Qt library they link is named.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 \
           libqt6serialport6 libqt6sql6 libqt6charts6 libqt6sql6-sqlite \
           qt6-qpa-plugins qt6-translations-l10n; do
    echo "$depends" | grep -q "$lib" || { echo "Depends lacks $lib: $depends"; exit 1; }
done
dpkg -x "$deb" "$scratch/root"
for f in usr/bin/orvant2 usr/bin/orvant2-cli usr/bin/orvant2-sim \
         usr/share/orvant2/help/tsProp.html usr/share/applications/orvant2.desktop \
         usr/share/applications/orvant2-demo.desktop \
         usr/share/icons/hicolor/scalable/apps/orvant2.svg; do
    test -e "$scratch/root/$f" || { echo "missing $f"; exit 1; }
done
# Stripped: neither debug information nor a symbol table in the programs.
for f in orvant2 orvant2-cli orvant2-sim; do
    if readelf -S "$scratch/root/usr/bin/$f" | grep -q -e '\.debug_' -e '\.symtab'; then
        echo "not stripped: $f"
        exit 1
    fi
done
demo="$scratch/root/usr/share/applications/orvant2-demo.desktop"
grep -qx 'Name\[ru\]=ORVANT II — демонстрация' "$demo" || { echo "demo entry name"; exit 1; }
# A Russian desktop shows Russian names and comments.
for entry in orvant2 orvant2-demo; do
    for key in Name GenericName Comment; do
        grep -q "^$key\[ru\]=" "$scratch/root/usr/share/applications/$entry.desktop" ||
            { echo "$entry.desktop lacks $key[ru]"; exit 1; }
    done
done
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$scratch/root/usr/share/applications/"*.desktop
fi
grep -qx 'Exec=orvant2 --simulate' "$demo" || { echo "demo entry command"; exit 1; }
out=$("$scratch/root/usr/bin/orvant2-cli" --simulate scan)
echo "$out" | grep -q '^KIP_NUM=3,' || { echo "scan from the package: $out"; exit 1; }
# The size the README states (about 3.6 MB), within reason.
size=$(dpkg-deb -f "$deb" Installed-Size)
if [ "$size" -lt 3000 ] || [ "$size" -gt 4500 ]; then
    echo "installed size $size KiB, the README says about 3.6 MB"
    exit 1
fi
echo "package ok: $(basename "$deb"), installed size $size KiB"
