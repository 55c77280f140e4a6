#!/bin/sh
# `cmake --install` into a DESTDIR: exactly the expected files land, the installed xm_render
# renders the embedded song, and the menu entry, AppStream file and man pages check clean.
#   tests/package/install_test.sh [BUILD_DIR]
set -eu
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
fail() { echo "install test: $*" >&2; exit 1; }

DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null

# Every file of installed-files; show_record's two only when the build has that program.
here=$(dirname "$0")
grep -v "$([ -e "$build/show_record" ] && echo '^$' || echo show_record)" "$here/installed-files" |
  sort >"$work/expected"
(cd "$root" && find . -type f -o -type l) | sed 's|^\./||' | sort >"$work/installed"
diff "$work/expected" "$work/installed" || fail "installed files differ from the list (> extra)"

# Five seconds at 8000 Hz: a 44-byte header and 8000 * 5 frames of 4 bytes (16-bit stereo).
wav=$root/song.wav
"$root/usr/bin/xm_render" --rate 8000 --seconds 5 --embedded "$wav"
[ "$(stat -c %s "$wav")" -eq $((44 + 8000 * 5 * 4)) ] || fail "wrong WAV size $(stat -c %s "$wav")"
# Not silence: some sample byte past the header is not zero.
tail -c +45 "$wav" | od -An -tx1 -v | grep -q '[1-9a-f]' || fail "the render is silent"

desktop-file-validate "$root/usr/share/applications/tirvalex3.desktop"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml >/dev/null
for page in "$root"/usr/share/man/man*/*; do
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$page: $warnings"
done
echo "install test: passed"
