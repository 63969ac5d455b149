#!/usr/bin/env bash
# Installs what is missing, builds the Release configuration and starts the
# game. Extra arguments go to the game.
source "$(dirname "$0")/common.sh"
build_release

game=build/release/game/race
if [[ -x $game ]]; then
  exec "$game" "$@"
fi
echo "Everything that exists so far is built (build/release). The game itself is not written yet, so there is nothing to start."
