#!/usr/bin/env bash
# Builds the Release configuration and runs every benchmark program. Each
# prints our code beside its outside reference. Pass --csv for CSV output.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
export CCACHE_DIR=${CCACHE_DIR:-$PWD/build/.ccache}
mkdir -p build
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >build/release.configure.log
cmake --build build/release -j "$(nproc 2>/dev/null || echo 2)"

format=console
[[ ${1:-} == --csv ]] && format=csv
echo "machine: $(uname -m), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores"
for b in $(find build/release/bench -maxdepth 3 -type f -name 'bench_*' -perm -u+x | sort); do
  echo "=== $b"
  "$b" --benchmark_format=$format
done
