#!/usr/bin/env bash
# An install into a temporary prefix has every file in place, its desktop files validate, and
# the installed program keeps its files in the per-user config folder, never beside itself.
set -euo pipefail
build=$1
tmp=$(mktemp -d)
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    chmod -R u+w "$tmp" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
id=org.quillrack.Quillrack
for f in bin/quillrack bin/quillrack-thumbnailer share/quillrack/help/Quillrack_Help.htm \
         share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
         share/icons/hicolor/scalable/apps/$id.svg share/thumbnailers/quillrack.thumbnailer; do
    [ -e "$prefix/$f" ] || fail "missing $f"
done
for size in 16 32 48 64 128 256; do
    [ -e "$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png" ] || fail "missing ${size}px icon"
done
# ./test installs both validators.
desktop-file-validate "$prefix/share/applications/$id.desktop" || fail "desktop entry"
appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/$id.metainfo.xml" >/dev/null \
    || appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" || fail "metainfo"

# The installed program, its bin folder read-only, a library and a config in the user's folder.
config=$tmp/home/.config/quillrack
mkdir -p "$config" "$tmp/lib/Shelf"
printf 'x' > "$tmp/lib/Shelf/Book.txt"
printf 'book=%s\r\nread=\r\n' "$tmp/lib" > "$config/config.ini"
printf -- '-Book.txt,2,\n' > "$config/marked.dat"
chmod a-w "$prefix/bin"
HOME=$tmp/home XDG_CONFIG_HOME=$tmp/home/.config XDG_RUNTIME_DIR=$tmp \
    "$prefix/bin/quillrack" >"$tmp/out.log" 2>&1 &
pid=$!
# Ending the session (SIGTERM) saves the marks: the file comes back with CR LF.
sleep 2
kill -0 "$pid" 2>/dev/null || { cat "$tmp/out.log"; fail "the program ended by itself"; }
kill -TERM "$pid"
if ! timeout 10 tail --pid="$pid" -f /dev/null; then
    # What each thread waits in, for the report.
    for t in /proc/"$pid"/task/*; do echo "thread ${t##*/}: $(cat "$t/wchan" 2>/dev/null) $(cat "$t/comm")"; done
    command -v gdb >/dev/null && gdb -batch -p "$pid" -ex "thread apply all bt 8" 2>/dev/null | grep "^#\|^Thread"
    cat "$tmp/out.log"
    kill -KILL "$pid"
    fail "the program did not end on SIGTERM"
fi
wait "$pid" || true
pid=""
[ "$(od -An -c "$config/marked.dat" | tr -d ' \n')" = '-Book.txt,2,\r\n' ] \
    || fail "marked.dat was not saved in the per-user folder: $(od -c "$config/marked.dat")"
ls "$prefix/bin" | grep -q -v -x -e quillrack -e quillrack-thumbnailer \
    && fail "files written beside the installed program"
echo "install: every file in place; the installed program keeps its files in $config"
