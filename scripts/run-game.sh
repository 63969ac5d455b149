#!/usr/bin/env bash
# Installs what is missing, builds the Release configuration and starts the
# game. Extra arguments go to the game.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
export CCACHE_DIR=${CCACHE_DIR:-$PWD/build/.ccache}
mkdir -p build
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >build/release.configure.log
cmake --build build/release -j "$(nproc 2>/dev/null || echo 2)"

game=build/release/game/race
if [[ -x $game ]]; then
  exec "$game" "$@"
fi
echo "Everything that exists so far is built (build/release). The game itself is not written yet, so there is nothing to start."
