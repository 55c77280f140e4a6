#!/bin/sh
# The Debian package built by `make deb`: it holds the expected files, installs, and the
# installed demo starts under a virtual X server with its start-up question; then the package is
# removed.
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

# Under a virtual X server the installed demo puts its start-up question, "HEJDÅ!", on screen.
xvfb-run -a -s "-screen 0 640x480x16 -nolisten tcp" sh -u -c '
  LIBGL_ALWAYS_SOFTWARE=1 SDL_AUDIODRIVER=dummy tirvalex3 & demo=$!
  for i in $(seq 600); do  # up to 120 s
    xwininfo -root -tree | grep -q "\"HEJDÅ!\":" && { kill $demo; exit 0; }
    sleep 0.2
  done
  kill $demo; echo "package test: no start-up question on screen" >&2; exit 1
'
echo "package test: passed"
