#!/usr/bin/env bash
# Installs, with apt-get, every Debian package that the build, the tests, the
# fuzzers, the benchmarks and the game need; only what is missing. Quick when
# everything is there, and then needs no root rights. Meant for Debian 12:
# run as the player, it installs through sudo; run as root, directly.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libminizip-dev libjpeg62-turbo-dev
  libvorbis-dev libogg-dev libsdl2-dev libx11-dev liblz4-dev
  libpixman-1-dev libstb-dev imagemagick
  lame twolame libavcodec-dev libavutil-dev
  xvfb xauth xdotool jwm openbox icewm x11-utils acl xfonts-base
  libfluidsynth-dev timgm6mb-soundfont
  libbox2d-dev
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "install-deps: sudo is not installed; install the packages as root once:" >&2
    echo "  su -c 'bash scripts/install-deps.sh'" >&2
    exit 1
  fi
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
# A fresh machine may have no package lists yet; refresh them once if the
# first attempt cannot find a package.
if ! "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"; then
  "${sudo_cmd[@]}" apt-get update
  "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
