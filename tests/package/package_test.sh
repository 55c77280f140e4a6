#!/bin/sh
# The Debian package built by `make deb`: it holds the expected files, installs, and the
# installed demo starts under a virtual X server with its start-up question, whose Yes gives
# the full-screen show window that Escape closes with code 0; then the package is removed.
#   tests/package/package_test.sh tirvalex3_VERSION_amd64.deb
set -eu
deb=$(realpath "$1")
fail() { echo "package test: $*" >&2; exit 1; }
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
# apt waits for the package database while other installs hold it, where dpkg would give up.
apt="$sudo env DEBIAN_FRONTEND=noninteractive apt-get -y -qq -o DPkg::Lock::Timeout=600"

# The installed files (show_record's two when the package has that program), the man pages
# compressed, and the two documents every Debian package carries.
contents=$(dpkg -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
expected=$( (grep -v "$(echo "$contents" | grep -q show_record && echo '^$' || echo show_record)" \
  "$(dirname "$0")/installed-files" | sed 's|^|./|; s|/man[16]/.*|&.gz|'
  printf './usr/share/doc/tirvalex3/%s\n' changelog.gz copyright) | sort)
[ "$contents" = "$expected" ] || fail "the package holds:
$contents"

$apt install "$deb" >/dev/null
trap '$apt remove tirvalex3 >/dev/null' EXIT
[ "$(command -v tirvalex3)" = /usr/bin/tirvalex3 ] || fail "tirvalex3 is not on the PATH"

# On a 640x480 screen at 16 bits per pixel, Yes gets full screen. The question's box and the
# show's window are found by their names, "HEJDÅ!" and "Tirvalex3".
xvfb-run -a -s "-screen 0 640x480x16 -nolisten tcp" sh -eu -c '
  wait_for() {  # the id of the window with that name, waiting up to 120 s for it
    for i in $(seq 600); do
      id=$(xwininfo -root -tree | awk -v name="\"$1\":" "\$2 == name {print \$1; exit}")
      [ -n "$id" ] && return 0
      sleep 0.2
    done
    echo "package test: no window \"$1\" on screen" >&2; return 1
  }
  LIBGL_ALWAYS_SOFTWARE=1 SDL_AUDIODRIVER=dummy tirvalex3 & demo=$!
  wait_for "HEJDÅ!"
  xdotool windowfocus --sync "$id" key Return
  wait_for Tirvalex3
  xdotool windowfocus --sync "$id" keydown Escape
  (sleep 120; kill $demo 2>/dev/null) & watchdog=$!
  status=0; wait $demo || status=$?
  xdotool keyup Escape; kill $watchdog 2>/dev/null || true
  [ $status -eq 0 ] || { echo "package test: tirvalex3 ended with $status" >&2; exit 1; }
'
echo "package test: passed"
