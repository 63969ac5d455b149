#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer and runs each one for
# FUZZ_SECONDS (default 60) on a copy of its corpus, with every single
# allocation capped at 2 GB (an input that asks for more fails the run).
# New inputs land in build/fuzz-work/<name>; minimise and copy the useful
# ones into fuzz/corpus/<name>/ by hand. Merged by edge alone, a corpus
# keeps every covered edge in a few hundred files where a merge by
# libFuzzer's finer features keeps thousands:
#   build/fuzz/fuzz/<folder>/fuzz_<name> -merge=1 -use_counters=0 \
#     fuzz/corpus/<name> build/fuzz-work/<name>
# An argument names the one target to run. Exits non-zero when the build
# or a target fails.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
source scripts/as-player.sh
continue_as_player "$0" "$@"
require_own_build_folder
source scripts/fuzz-targets.sh
build_fuzz_targets build/fuzz "$(nproc 2>/dev/null || echo 2)"
if ! run_fuzz_targets build/fuzz "${FUZZ_SECONDS:-60}" build/fuzz-work "${1:-}"; then
  echo "run-fuzzers: failed: ${fuzz_failed[*]}" >&2
  exit 1
fi
