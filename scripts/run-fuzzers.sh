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
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
source scripts/as-player.sh
continue_as_player "$0" "$@"
require_own_build_folder
seconds=${FUZZ_SECONDS:-60}
mkdir -p build
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARN_FUZZ=ON >build/fuzz.configure.log
cmake --build build/fuzz -j "$(nproc 2>/dev/null || echo 2)"
only=${1:-}
for f in $(find build/fuzz/fuzz -type f -name 'fuzz_*' -perm -u+x | sort); do
  name=${f##*/fuzz_}
  [[ -n $only && $name != "$only" ]] && continue
  work=build/fuzz-work/$name
  mkdir -p "$work"
  cp -n fuzz/corpus/"$name"/* "$work"/ 2>/dev/null || true
  echo "=== $name for ${seconds}s"
  QUARN_PLATFORM=headless "$f" -max_total_time="$seconds" -malloc_limit_mb=2048 -print_final_stats=1 "$work"
done
