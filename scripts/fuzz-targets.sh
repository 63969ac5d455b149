# Sourced by run-fuzzers.sh and run-tests.sh, from the repository's folder:
# the fuzz targets' build, by clang with libFuzzer, and their runs.

# Configures and builds the fuzz targets in the folder <$1> with <$2> jobs;
# the configure step's output goes to <$1>.configure.log, and is shown when
# it fails.
build_fuzz_targets() {
  local dir=$1 jobs=$2
  mkdir -p "$(dirname "$dir")"
  if ! CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARN_FUZZ=ON \
      >"$dir.configure.log" 2>&1; then
    cat "$dir.configure.log"; return 1
  fi
  cmake --build "$dir" -j "$jobs"
}

# Runs each fuzz target built in the folder <$1> for <$2> seconds, every
# single allocation capped at 2 GB (an input that asks for more fails the
# run), on the corpus folder <$3>/<name>, first given the files of
# fuzz/corpus/<name> it lacks: new inputs and crashes land there, never in
# fuzz/corpus. <$4>, when given, names the one target to run. Returns
# non-zero when a target fails, with their names in fuzz_failed.
run_fuzz_targets() {
  local dir=$1 seconds=$2 work_root=$3 only=${4:-} f name work
  fuzz_failed=()
  for f in $(find "$dir/fuzz" -type f -name 'fuzz_*' -perm -u+x | sort); do
    name=${f##*/fuzz_}
    [[ -n $only && $name != "$only" ]] && continue
    work=$work_root/$name
    mkdir -p "$work"
    cp -n fuzz/corpus/"$name"/* "$work"/ 2>/dev/null
    echo "=== $name for ${seconds}s"
    QUARN_PLATFORM=headless "$f" -max_total_time="$seconds" -malloc_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$work/" "$work" || fuzz_failed+=("$name")
  done
  ((${#fuzz_failed[@]} == 0))
}
