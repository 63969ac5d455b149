#!/usr/bin/env bash
# Builds the Release configuration and runs every benchmark program. Each
# prints our code beside its outside reference. Pass --csv for CSV output.
source "$(dirname "$0")/common.sh"
build_release

format=console
[[ ${1:-} == --csv ]] && format=csv
echo "machine: $(uname -m), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores"
for b in $(find build/release/bench -maxdepth 3 -type f -name 'bench_*' -perm -u+x | sort); do
  echo "=== $b"
  "$b" --benchmark_format=$format
done
