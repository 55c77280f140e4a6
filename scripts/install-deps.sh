#!/bin/sh
# Installs the Debian packages the build, the demo and the test suite need, and only those
# that are missing. Runs as root, or through sudo when it is available.
#   scripts/install-deps.sh              what `make run` and `make test` need
#   scripts/install-deps.sh --packaging  that, and the tools `make deb` builds and checks with
set -eu

# libpulse-dev: the demo plays through the sound server's own client library where a server
# answers, for its queue and play position.
# pulseaudio, pulseaudio-utils: a test plays the show through a sound server of its own, as a
# desktop plays it, and reads the queue the server granted with pactl.
# xfonts-base: the start-up and error message boxes draw with X core fonts, and Xvfb has none
# that match without it, so every box fails to show and the demo cannot be answered.
# libegl-dev, libegl-mesa0: the show recorder draws without a display through Mesa's EGL.
# libav*-dev: the show recorder encodes (and its test decodes) through FFmpeg's libraries.
# emscripten: builds the page (`make web`); chromium, chromium-driver, python3-selenium: the
# page's tests drive it in a headless browser.
packages="cmake make g++ pkg-config
  libsdl2-dev libpulse-dev libfreetype-dev libfontconfig-dev fontconfig fonts-liberation2
  libgl-dev libglu1-mesa-dev libgl1-mesa-dri libpng-dev zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  xvfb xfonts-base xauth xdotool x11-utils sox
  libegl-dev libegl-mesa0
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
  pulseaudio pulseaudio-utils
  emscripten chromium chromium-driver python3-selenium"

# The Debian package build and its checks: the desktop entry, the AppStream file, the man pages.
if [ "${1:-}" = "--packaging" ]; then
  packages="$packages build-essential debhelper dpkg-dev fakeroot lintian
  desktop-file-utils appstream man-db groff-base"
fi

missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then sudo=""; elif command -v sudo >/dev/null; then sudo="sudo"; else
  echo "install-deps: missing packages:$missing (run as root or install sudo)" >&2
  exit 1
fi
echo "install-deps: installing$missing"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
  -o DPkg::Lock::Timeout=600 $missing
