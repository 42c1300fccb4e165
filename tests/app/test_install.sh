#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop gets from it: the
# files, that the desktop entry and metainfo validate, and the installed program's
# command line, up to a scan of a folder whose name is not UTF-8.
#     test_install.sh BUILD_DIR
set -euo pipefail
build=$1
id=io.github.lumisort.Lumisort
work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# The component's own manifest leaves the one of a real `make install` alone.
prefix=$work/prefix
cmake --install "$build" --component Unspecified --prefix "$prefix" > /dev/null

expected="bin/lumisort
share/applications/$id.desktop
share/icons/hicolor/128x128/apps/$id.png
share/icons/hicolor/256x256/apps/$id.png
share/icons/hicolor/48x48/apps/$id.png
share/icons/hicolor/scalable/apps/$id.svg
share/man/man1/lumisort.1
share/metainfo/$id.metainfo.xml"
actual=$(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
[ "$actual" = "$expected" ] || fail "installed files:"$'\n'"$actual"
for size in 48 128 256; do
    png=$prefix/share/icons/hicolor/${size}x$size/apps/$id.png
    dims=$(od -An -j16 -N8 --endian=big -tu4 "$png" | xargs)
    [ "$dims" = "$size $size" ] || fail "$png is $dims"
done

desktop=$prefix/share/applications/$id.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" || fail "appstreamcli"
for line in "Exec=lumisort %F" "Icon=$id" "MimeType=inode/directory;"; do
    grep -qxF "$line" "$desktop" || fail "no '$line' in the desktop entry"
done
grep -qF "<launchable type=\"desktop-id\">$id.desktop</launchable>" \
    "$prefix/share/metainfo/$id.metainfo.xml" || fail "metainfo launches another id"

exe=$prefix/bin/lumisort
[ "$("$exe" --version)" = "Lumisort 1.0" ] || fail "--version"

# A path that is not a readable folder: one line on stderr, status 2, no window.
for bad in /no/such/folder "$desktop" ""; do
    status=0
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$exe" "$bad" > "$work/out" 2> "$work/err" || status=$?
    [ "$status" = 2 ] || fail "$bad: status $status"
    [ -s "$work/out" ] && fail "$bad: printed on stdout"
    [ "$(wc -l < "$work/err")" = 1 ] && grep -q "^lumisort: cannot scan $bad: " "$work/err" \
        || fail "$bad: $(cat "$work/err")"
done

# A folder given on the command line is scanned at once. Two pairs of equal photos: the
# duplicate summary is logged after the window showed "Ready - 4 photos".
folder=$work/$'Fotos \xff'
mkdir -p "$folder/sub"
printf 'one' > "$folder/a.jpg"; printf 'one' > "$folder/sub/b.JPG"
printf 'two' > "$folder/c.png"; printf 'two' > "$folder/sub/d.png"
printf 'one' > "$folder/notes.txt"
cd "$work"
QT_QPA_PLATFORM=offscreen "$exe" $'Fotos \xff/' > "$work/log" 2> "$work/err" &
pid=$!
for _ in $(seq 600); do
    grep -q "Found 2 duplicate groups (4 photos)" "$work/log" && break
    kill -0 "$pid" 2>/dev/null || fail "exited: $(cat "$work/log" "$work/err")"
    sleep 0.1
done
grep -q "Found 2 duplicate groups (4 photos)" "$work/log" || fail "no scan: $(cat "$work/log")"
grep -qF "] Selected folders: [\"$work/Fotos "$'\xef\xbf\xbd'"\"]" "$work/log" || fail "$(cat "$work/log")"
grep -qF "] Starting scan of 1 location(s)" "$work/log" || fail "$(cat "$work/log")"
kill "$pid"; wait "$pid" 2>/dev/null || true; pid=
echo "PASS"
