#!/bin/sh
# Installs the build into an empty prefix and checks the tree a desktop reads:
# exactly the expected files, icons of the size their folder names, and a
# desktop entry, metainfo and icons that agree with one another.
#   install_test.sh <build-dir> <app-id> <executable>
set -eu
build=$1 id=$2 exe=$3
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

expected=$(LC_ALL=C sort <<EOF_LIST
bin/$exe
share/applications/$id.desktop
share/doc/dravenlok/changelog.gz
share/doc/dravenlok/copyright
share/icons/hicolor/16x16/apps/$id.png
share/icons/hicolor/32x32/apps/$id.png
share/icons/hicolor/48x48/apps/$id.png
share/icons/hicolor/128x128/apps/$id.png
share/icons/hicolor/256x256/apps/$id.png
share/icons/hicolor/scalable/apps/$id.svg
share/man/man1/$exe.1.gz
share/metainfo/$id.metainfo.xml
EOF_LIST
)
actual=$(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
if [ "$actual" != "$expected" ]; then
    echo "install: the installed files differ from the expected ones (- expected, + installed):" >&2
    printf '%s\n' "$expected" > "$prefix/.expected"
    printf '%s\n' "$actual" | diff -u "$prefix/.expected" - | tail -n +3 >&2
    exit 1
fi

[ -x "$prefix/bin/$exe" ] || { echo "install: bin/$exe is not executable" >&2; exit 1; }
for size in 16 32 48 128 256; do
    png="$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png"
    file -b "$png" | grep -q "^PNG image data, $size x $size," ||
        { echo "install: $png is not a $size x $size PNG: $(file -b "$png")" >&2; exit 1; }
done
grep -qx "Exec=$exe" "$prefix/share/applications/$id.desktop" ||
    { echo "install: the desktop entry does not start $exe" >&2; exit 1; }
gzip -t "$prefix/share/man/man1/$exe.1.gz" "$prefix/share/doc/dravenlok/changelog.gz"

# The metainfo's launchable, the desktop entry and its icon, as software
# centres read them from the installed tree.
appstreamcli validate-tree --no-net "$prefix"
echo "install: $(printf '%s\n' "$actual" | wc -l) files in place"
