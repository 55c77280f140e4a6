#!/bin/sh
# Installs the Debian packages the build, the demo and the test suite need, and only those
# that are missing. Runs as root, or through sudo when it is available.
set -eu

# pulseaudio, pulseaudio-utils: a test plays the show through a sound server of its own and
# records it with parec, as a desktop plays it.
# xfonts-base: the start-up and error message boxes draw with X core fonts, and Xvfb has none
# that match without it, so every box fails to show and the demo cannot be answered.
packages="cmake make g++ pkg-config
  libsdl2-dev libfreetype-dev libfontconfig-dev fontconfig fonts-liberation2
  libgl-dev libglu1-mesa-dev libgl1-mesa-dri libpng-dev zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  xvfb xfonts-base xauth xdotool x11-utils sox
  pulseaudio pulseaudio-utils"

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
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
