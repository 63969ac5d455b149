#!/usr/bin/env bash
# Installs what is missing, builds the Release configuration and starts the
# game. Extra arguments go to the game. On a machine without a desktop the
# program says so and exits non-zero.
source "$(dirname "$0")/common.sh"
# The program alone: it brings the data tool and the data it writes, and
# none of the tests or benchmarks.
build_release race

game=build/release/race
if [[ ! -x $game ]]; then
  echo "build/release/race was not built." >&2
  exit 1
fi
exec "$game" "$@"
