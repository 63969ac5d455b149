#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: once in
# the Release build and once built with AddressSanitizer and
# UndefinedBehaviorSanitizer (halting on the first error). Both runs replay
# every fuzz target's corpus; the release build also builds the benchmarks,
# so those keep compiling. The release build's SDL2 smoke tests then open a
# real window, in a private Xvfb when there is no display. A third build
# runs the tests labelled "threads" under ThreadSanitizer, clang builds
# the base library's tests once more, and last the fuzz targets are built
# by clang with libFuzzer and each run for a few seconds. Run by root, the release build's
# tests also run as a user without root's rights (under CI, a failure when
# that user cannot read the build). Exits non-zero on any
# failure; the last line sums up, with how many tests and rows were
# skipped, listed by reason just above it (scripts/test-skips.sh). The test
# programs' compile time is kept down by a shared precompiled header and
# unity batches (cmake/QuarnBuild.cmake).
set -uo pipefail

# The system's temporary folder, where GoogleTest 1.12 makes its files
# (the rows of tests/scripts name a folder of their own).
shared_tmp=/tmp

# Everything before the steps: what they need installed, who runs them, and
# the environment every test runs in.
prepare() {
  cd "$(dirname "$0")/.." || return 1
  bash scripts/install-deps.sh || { echo "SUMMARY: FAILED (installing dependencies)"; exit 1; }
  source scripts/as-player.sh
  continue_as_player "$0" "$@" || { echo "SUMMARY: FAILED (the repository's owner has no account here)"; exit 1; }
  require_own_build_folder || { echo "SUMMARY: FAILED (build/ holds another user's files)"; exit 1; }

  jobs=$(nproc 2>/dev/null || echo 2)
  # A process the sanitizers stop ends with status 86, which no test expects:
  # with their default of 1, a death test expecting a failure status would
  # pass on a memory fault or a leak in its child. Options already in the
  # environment come after it, so they still win.
  export ASAN_OPTIONS=exitcode=86:${ASAN_OPTIONS:-halt_on_error=1:detect_leaks=1:abort_on_error=0}
  export UBSAN_OPTIONS=exitcode=86:${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
  export LSAN_OPTIONS=exitcode=86${LSAN_OPTIONS:+:$LSAN_OPTIONS}
  export QUARN_PLATFORM=headless
  export CCACHE_DIR=${CCACHE_DIR:-$PWD/build/.ccache}

  # The tests' own temporary folder: every test and corpus replay runs with
  # TMPDIR naming it, and anything left in it at the end fails the run, so
  # no test or fuzz target leaves files in a user's temporary folder.
  tests_tmp=$(mktemp -d "${TMPDIR:-/tmp}/quarn-tests.XXXXXX") || { echo "SUMMARY: FAILED (no temporary folder)"; exit 1; }
  mkdir -p build
  source scripts/test-skips.sh
  source scripts/fuzz-targets.sh
}

# Runs a command with TMPDIR naming the folder <$1>. GoogleTest's
# testing::TempDir() reads TEST_TMPDIR before TMPDIR, and takes its value as
# it is when it ends in a slash: one set by a caller would send the tests'
# files elsewhere.
in_tmp() {
  local tmp=$1; shift
  TMPDIR=$tmp TEST_TMPDIR=${tmp%/}/ "$@"
}

failed=() ran=()
run_build() {
  local name=$1; shift
  local dir=build/$name
  echo "=== $name: configure and build"
  if ! cmake -S . -B "$dir" -G Ninja "$@" >"$dir.configure.log" 2>&1; then
    mkdir -p build; cat "$dir.configure.log"; failed+=("$name build"); return
  fi
  if ! cmake --build "$dir" -j "$jobs"; then failed+=("$name build"); return; fi
  echo "=== $name: tests"
  # The fuzz targets log nothing (fuzz/quiet_log.cpp), so a corpus replay
  # that leaves a log beside its executable fails the run; a log of an
  # earlier build goes first.
  find "$dir/fuzz" -name 'fuzz_*.log' -type f -delete 2>/dev/null
  if ! in_tmp "$tests_tmp" ctest --test-dir "$dir" -j "$jobs" --output-on-failure --timeout 600; then failed+=("$name tests"); fi
  ran+=("${name/sanitize/sanitizer} build's tests and fuzz corpora")
  local logs
  logs=$(find "$dir/fuzz" -name 'fuzz_*.log' -type f 2>/dev/null)
  if [[ -n $logs ]]; then
    echo "=== $name: fuzz replays wrote logs:"; echo "$logs"
    failed+=("$name fuzz replays wrote logs")
  fi
  collect_skips "$name" "$dir/Testing/Temporary/LastTest.log"
}

# When root runs this (as CI does), the release build's tests run once more
# as a user id with no account and none of root's rights, so that a test
# only root can pass fails here as it fails for every player. That user
# reads the build and writes only in a folder of its own (build/plain-user.*,
# removed after): its TMPDIR, its HOME and CTest's log, which CTest keeps
# where it starts (a CTestTestfile there names the release build). A
# checkout in a folder closed to others, as `mktemp -d` makes it, lets that
# user through its own top folder for the run, by an ACL entry for that
# user alone, and then has the ACL it had. A folder above the checkout that
# is closed to others (a clone under /root) is left as it is on disk: the
# run's mount namespace hides it behind a way through (with_private_view).
# When the build still cannot be read, the step fails the run under CI
# (CI=true), which must see what a player sees, and is a skip elsewhere,
# with the reason either way.
run_as_plain_user() {
  [[ $(id -u) -eq 0 ]] || return 0
  local uid=65533
  while getent passwd "$uid" >/dev/null; do ((--uid)); done
  local as_user=(setpriv --reuid="$uid" --regid="$uid" --clear-groups) acl=""
  if ! "${as_user[@]}" test -x "$PWD" && acl=$(getfacl -c -p "$PWD" 2>/dev/null) &&
     ! setfacl -m "u:$uid:x" "$PWD" 2>/dev/null; then
    acl=""
  fi
  # Where the script finds it to put back if a signal ends the run meanwhile.
  [[ -z $acl ]] || printf '%s\n' "$acl" >"$tests_tmp/checkout.acl"
  plain_user_tests "$uid"
  [[ -z $acl ]] || setfacl --set-file=- "$PWD" <<<"$acl"
  rm -f "$tests_tmp/checkout.acl"
}

plain_user_tests() {
  local uid=$1 name="release as a plain user" dir=$PWD/build/release own top closed
  top=$(tmp_top)
  local as_user=(setpriv --reuid="$uid" --regid="$uid" --clear-groups)
  echo "=== $name: tests as user id $uid"
  own=$(mktemp -d "$PWD/build/plain-user.XXXXXX") || { failed+=("$name: no folder of its own in build/"); return; }
  mkdir "$own/tmp" "$own/home" "$own/ctest"
  printf 'subdirs("%s")\n' "$dir" >"$own/ctest/CTestTestfile.cmake"
  chown -R "$uid:$uid" "$own"
  closed=$(closed_above "$uid")
  # Where no view can be made, the run goes without one, as that user sees
  # the disk.
  local private=()
  if unshare --mount --propagation private true 2>/dev/null; then
    if with_private_view "$own/tmp" "$closed" true; then
      private=(with_private_view "$own/tmp" "$closed")
      # The X servers that tests start put their sockets there, as in /tmp.
      mkdir -m 1777 "$own/tmp/.X11-unix"
    else
      echo "=== $name: no view of its own, so it sees the disk as it is"
    fi
  fi
  # Asked in the view the tests will run in: there a closed folder above
  # the checkout no longer bars the way.
  if ! "${private[@]}" "${as_user[@]}" test -r "$dir/CTestTestfile.cmake" -a -x "$dir/tests" -a -w "$own/tmp"; then
    plain_user_cannot_run "$name" "user id $uid cannot read $dir: let others read it and enter the folders on its way (chmod o+rX)"
    rm -rf "$own"; return
  fi
  if ! "${private[@]}" "${as_user[@]}" env -u XDG_RUNTIME_DIR -u USER -u LOGNAME HOME="$own/home" \
       TMPDIR="$own/tmp" TEST_TMPDIR="$own/tmp/" ctest --test-dir "$own/ctest" -j "$jobs" --output-on-failure --timeout 600; then
    failed+=("$name tests")
  fi
  ran+=("release tests again as a user without root's rights")
  # The folders that held the checkout's place and the X servers' sockets
  # in the private /tmp, when they are empty: every view made makes the
  # first, the one that only tried whether it could be made too.
  rmdir "$own/tmp/.X11-unix" ${top:+"$own/tmp/$top"} 2>/dev/null
  local left
  left=$(cd "$own/tmp" && find . -mindepth 1 -maxdepth 2 | sort | head -50)
  # Without the namespace, what this user id, unique to the run, left in
  # /tmp is the run's too.
  [[ -n ${private[*]} ]] || left+=$(find "$shared_tmp" -mindepth 1 -maxdepth 1 -user "$uid" -printf '\n%p' 2>/dev/null | head -50)
  left=${left#$'\n'}
  if [[ -n $left ]]; then
    echo "=== $name: left in its temporary folder:"; echo "$left"
    failed+=("files left in the plain user's temporary folder")
  fi
  collect_skips "$name" "$own/ctest/Testing/Temporary/LastTest.log"
  rm -rf "$own"
}

# GoogleTest 1.12 makes the files that hold a test's captured output, each
# death test's included, in /tmp whatever TMPDIR or TEST_TMPDIR say. Run as
# root: <command> in a mount namespace of its own whose /tmp is the folder
# <$1>, so that they land there. A checkout under /tmp keeps its place: the
# folder of /tmp that holds it is bound back at its name, with what lies
# beside the checkout in it (the shared test data, ../shared).
# <$2>, when not empty, is the topmost folder above the checkout that the
# plain user cannot enter (closed_above): it is hidden behind a tmpfs open
# to all, in which the path down to the checkout's parent is made anew and
# each entry of that parent bound back at its name, so the checkout, and
# ../shared beside it, keep their paths (the build's CTest files name them)
# while no folder on disk changes its mode.
with_private_view() {
  local tmp=$1 closed=$2 top
  top=$(tmp_top)
  shift 2
  unshare --mount --propagation private -- bash -c '
    # Mounts the rest of the arguments on the folder <$1>, and brings the
    # folder <$2> below it back at its place in the new view: bound as it
    # is when <$3> is "whole", else made anew with its entries bound in it.
    # The folder to bring back is held as the working folder, as no path
    # leads to it once hidden; hence --no-canonicalize and relative paths.
    hide() {
      local hidden=$1 keep=$2 how=$3 entry; shift 3
      [[ -z $keep ]] || cd "$keep" || return 1
      mount --no-canonicalize "$@" "$hidden" || return 1
      [[ -n $keep ]] || return 0
      mkdir -p "$keep" || return 1
      if [[ $how == whole ]]; then mount --no-canonicalize --bind . "$keep"; return; fi
      shopt -s dotglob nullglob
      for entry in *; do
        if [[ -L $entry ]]; then
          ln -s "$(readlink "$entry")" "$keep/$entry" || return 1
        elif [[ -d $entry ]]; then
          mkdir "$keep/$entry" && mount --no-canonicalize --bind "$entry" "$keep/$entry" || return 1
        else
          : >"$keep/$entry" && mount --no-canonicalize --bind "$entry" "$keep/$entry" || return 1
        fi
      done
    }
    tmp=$1 top=$2 closed=$3 here=$PWD; shift 3
    umask 022
    if ! hide /tmp "${top:+/tmp/$top}" whole --bind "$tmp"; then
      echo "cannot give the tests a /tmp of their own that leads to $here" >&2; exit 125
    fi
    if [[ -n $closed ]] && ! hide "$closed" "${here%/*}" entries -t tmpfs -o mode=0755 quarn-view; then
      echo "cannot make a way through $closed to $here" >&2; exit 125
    fi
    cd "$here" || exit 125
    exec "$@"' with_private_view "$tmp" "$top" "$closed" "$@"
}

# The topmost folder above the checkout that user id <$1> cannot enter, if
# any (/ aside: nothing could run without it).
closed_above() {
  local dir="" part parts
  IFS=/ read -ra parts <<<"${PWD#/}"
  for part in "${parts[@]:0:${#parts[@]}-1}"; do
    dir+=/$part
    setpriv --reuid="$1" --regid="$1" --clear-groups test -x "$dir" || { echo "$dir"; return; }
  done
}

# The name in /tmp of the folder that holds the checkout, if it is there.
tmp_top() {
  [[ $PWD == /tmp/?* ]] || return 0
  local top=${PWD#/tmp/}
  echo "${top%%/*}"
}

# A plain-user step that cannot run, <$1> its name and <$2> why, with the
# way out: a failure under CI, a skip elsewhere.
plain_user_cannot_run() {
  if [[ ${CI:-} == true || ${CI:-} == 1 ]]; then
    echo "$1: cannot run under CI: $2" >&2
    failed+=("$1 could not run: $2")
  else
    skip_step "$1" "$2"
  fi
}

# A third, small build: only the tests labelled "threads" (and what they
# link), with ThreadSanitizer.
run_tsan() {
  local dir=build/tsan
  echo "=== tsan: configure and build (tests labelled threads)"
  if ! cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=None -DQUARN_TSAN=ON -DQUARN_BENCH=OFF >"$dir.configure.log" 2>&1; then
    cat "$dir.configure.log"; failed+=("tsan build"); return
  fi
  if ! cmake --build "$dir" -j "$jobs" --target quarn_tsan_tests; then failed+=("tsan build"); return; fi
  echo "=== tsan: tests"
  if ! TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1} in_tmp "$tests_tmp" \
       ctest --test-dir "$dir" -L threads -j "$jobs" --output-on-failure --timeout 600; then failed+=("tsan tests"); fi
  ran+=("threaded tests under ThreadSanitizer")
  collect_skips tsan "$dir/Testing/Temporary/LastTest.log"
}

# The base library's tests once more, built by clang at -O1: clang merges
# equal string literals where gcc keeps them apart, so code that tells
# results apart by a literal's address fails here and nowhere else.
run_clang_base() {
  local dir=build/clang-base
  echo "=== clang-base: configure and build"
  if ! CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_C_FLAGS=-O1 \
      -DCMAKE_CXX_FLAGS=-O1 -DQUARN_BENCH=OFF >"$dir.configure.log" 2>&1; then
    cat "$dir.configure.log"; failed+=("clang-base build"); return
  fi
  if ! cmake --build "$dir" -j "$jobs" --target test_engine_base test_engine_base_files; then
    failed+=("clang-base build"); return
  fi
  echo "=== clang-base: tests"
  {
    in_tmp "$tests_tmp" "$dir/tests/engine/base/test_engine_base" --gtest_brief=1 &&
      in_tmp "$tests_tmp" "$dir/tests/engine/base/test_engine_base_files" --gtest_brief=1
  } 2>&1 | tee "$dir.tests.log"
  ((PIPESTATUS[0] == 0)) || failed+=("clang-base tests")
  ran+=("base library under clang")
  collect_skips clang-base "$dir.tests.log"
}

# The fuzz targets as `make fuzz` builds them, by clang with libFuzzer,
# so that CI compiles every build the documents name; each then runs for
# FUZZ_SECONDS (default 2) on a copy of its corpus, made afresh in
# build/fuzz-ci/<name>, to show that it runs. A target that fails leaves
# its crash there.
run_fuzz() {
  local dir=build/fuzz seconds=${FUZZ_SECONDS:-2} log=build/fuzz-ci.log
  echo "=== fuzz: configure and build (clang, libFuzzer)"
  if ! build_fuzz_targets "$dir" "$jobs"; then failed+=("fuzz build"); return; fi
  echo "=== fuzz: each target for ${seconds}s"
  rm -rf build/fuzz-ci
  # libFuzzer's own lines go to the log, each target's first line here.
  if in_tmp "$tests_tmp" run_fuzz_targets "$dir" "$seconds" build/fuzz-ci >"$log" 2>&1; then
    grep '^=== ' "$log"
  else
    cat "$log"
    echo "=== fuzz: failed: ${fuzz_failed[*]}"
    failed+=("fuzz targets ${fuzz_failed[*]}")
  fi
  ran+=("fuzz targets built by clang and run")
}

# The opt-in smoke tests of the SDL2 backend open real windows. With a
# display they use it; without one a private Xvfb is started for them (it
# picks a free display number itself and reports it), and when none can
# start they are skipped with a message rather than failed.
# After the backend's own, the program's window goes through start-up, a
# frame, Alt+Enter and a close request (its sound on SDL's dummy driver),
# and the game runs 300 frames by autopilot.
# An X server resets when its last client leaves, and a test that connects
# during the reset cannot open the display and skips: one connection is
# held open for the whole step (a private Xvfb is also told not to reset).
smoke_tests() {
  local holder="" rc=0
  if command -v xprop >/dev/null 2>&1; then
    xprop -root -spy >/dev/null 2>&1 &
    holder=$!
  fi
  smoke_test_runs || rc=1
  [[ -z $holder ]] || { kill "$holder" 2>/dev/null; wait "$holder" 2>/dev/null; }
  return $rc
}

smoke_test_runs() {
  local app=build/release/tests/engine/app/test_engine_app
  env QUARN_SDL_SMOKE=1 QUARN_PLATFORM=sdl2 build/release/tests/platform/test_platform \
      --gtest_filter='Sdl2*.Smoke*' --gtest_brief=1 || return 1
  if [[ -x $app ]]; then
    env QUARN_SDL_SMOKE=1 SDL_AUDIODRIVER=dummy "$app" --gtest_filter='RealWindow.Sdl2*' --gtest_brief=1 || return 1
  fi
  # Then the game itself: 300 frames driven by the autopilot.
  local game=build/release/tests/game/test_game_e2e
  [[ -x $game ]] || return 0
  env QUARN_GAME_SMOKE=1 QUARN_PLATFORM=sdl2 SDL_AUDIODRIVER=dummy "$game" --gtest_filter='GameSmoke.*' --gtest_brief=1
}

# The window tests once more under a window manager that frames windows
# (jwm), on the private X server only: where a window's frame lands and how
# full screen is made differ there. Skipped with a message without jwm.
smoke_under_window_manager() {
  if ! command -v jwm >/dev/null 2>&1 || ! command -v xprop >/dev/null 2>&1; then
    skip_step "smoke under a window manager" "jwm or xprop is not installed"; return 0
  fi
  local home wm rc=0
  home=$(mktemp -d) # jwm reads its settings from the home folder: none, its defaults
  HOME=$home jwm >/dev/null 2>&1 &
  wm=$!
  for _ in $(seq 50); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
  done
  # The full-screen test stops this window manager for a while, to be a
  # slow one.
  env QUARN_SDL_SMOKE=1 QUARN_PLATFORM=sdl2 SDL_AUDIODRIVER=dummy QUARN_SMOKE_WM_PID="$wm" \
      build/release/tests/platform/test_platform --gtest_filter='Sdl2Window.Smoke*' --gtest_brief=1 || rc=1
  kill "$wm" 2>/dev/null; wait "$wm" 2>/dev/null
  rm -rf "$home"
  return $rc
}

# SDL2 draws its boxes on X with a font of 120 decipoints, medium, upright
# and of normal width (xfonts-base has them). Without one a box cannot be
# drawn and takes its default at once, where on a player's desktop it
# opens and waits: a test would see what no player sees. So CI (CI=true),
# which must see what a player's desktop shows, fails without them on the
# display <$1>; elsewhere it is said.
# The list is read whole before it is looked at: a reader that stopped at
# the first name would leave xlsfonts to die of SIGPIPE, and under pipefail
# the check would then say "none" now and then.
check_box_fonts() {
  local fonts
  fonts=$(xlsfonts -display "$1" -fn '-*-*-medium-r-normal--*-120-*-*-*-*-*-*' 2>/dev/null)
  [[ -n $fonts ]] && return 0
  local why="the X server $1 has no font for SDL's boxes: install xfonts-base (scripts/install-deps.sh)"
  if [[ ${CI:-} == true || ${CI:-} == 1 ]]; then
    echo "smoke: under CI, $why" >&2
    failed+=("X fonts: $why")
  else
    echo "smoke: $why, so a box there takes its default instead of waiting"
  fi
}

run_smoke() {
  local bin=build/release/tests/platform/test_platform
  [[ -x $bin ]] || return
  echo "=== smoke: the SDL2 backend in a real window"
  local run=(smoke_tests) log=build/smoke.tests.log
  if [[ -n "${DISPLAY:-}" ]]; then
    check_box_fonts "$DISPLAY"
    "${run[@]}" 2>&1 | tee "$log"
    ((PIPESTATUS[0] == 0)) || failed+=("smoke tests")
    ran+=("window tests in a real window")
    collect_skips smoke "$log"
    return
  fi
  if ! command -v Xvfb >/dev/null 2>&1; then
    skip_step smoke "Xvfb is not installed"; return
  fi
  local number_file display="" xpid
  number_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$number_file" >/dev/null 2>&1 &
  xpid=$!
  for _ in $(seq 50); do
    display=$(tr -dc 0-9 <"$number_file")
    [[ -n $display ]] && break
    kill -0 "$xpid" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$number_file"
  if [[ -z $display ]]; then
    kill "$xpid" 2>/dev/null; wait "$xpid" 2>/dev/null
    skip_step smoke "Xvfb could not start"; return
  fi
  check_box_fonts ":$display"
  DISPLAY=:$display "${run[@]}" 2>&1 | tee "$log"
  ((PIPESTATUS[0] == 0)) || failed+=("smoke tests")
  DISPLAY=:$display smoke_under_window_manager 2>&1 | tee -a "$log"
  ((PIPESTATUS[0] == 0)) || failed+=("smoke tests under a window manager")
  ran+=("window tests in a real window")
  collect_skips smoke "$log"
  kill "$xpid" 2>/dev/null; wait "$xpid" 2>/dev/null
}

# The steps, in order. The release build's tests run as a plain user too
# when root runs this, once they are built.
run_steps() {
  run_build release -DCMAKE_BUILD_TYPE=Release
  [[ " ${failed[*]} " == *" release build "* ]] || run_as_plain_user
  in_tmp "$tests_tmp" run_smoke
  run_build sanitize -DCMAKE_BUILD_TYPE=None -DQUARN_SANITIZE=ON -DQUARN_BENCH=OFF
  run_tsan
  run_clang_base
  run_fuzz
}

# The leftovers, the skips and the summary, which names the steps that ran
# and no other. Returns non-zero on any failure.
finish() {
  if [[ -n $(ls -A "$tests_tmp") ]]; then
    echo "=== left in the tests' temporary folder:"
    (cd "$tests_tmp" && find . -mindepth 1 -maxdepth 2 | sort | head -50)
    failed+=("files left in the temporary folder")
  fi
  rm -rf "$tests_tmp"

  report_skips
  if ((${#failed[@]})); then
    echo "SUMMARY: FAILED (${failed[*]}); $skip_summary"
    return 1
  fi
  local steps
  printf -v steps '%s, ' "${ran[@]}"
  echo "SUMMARY: all tests passed (${steps%, }); $skip_summary"
}

# The steps and the summary run as a job of their own, which the script
# waits for: a signal then reaches the script at once (a shell running a
# command in the foreground answers a signal only once the command ends,
# and ninja and CTest end on Ctrl-C with a status of their own, after which
# the next step would start). One SIGINT or SIGTERM ends the whole run:
# the job and everything it started (the builds, the tests, the private X
# server, the window manager, the X connection holder) end, the tests'
# temporary folder goes (and the plain user's folder and the checkout's
# ACL entry for that user, when that step ran), and the status is 130 or
# 143, as a shell's is. Every program the job starts carries the run's
# mark in its environment, by which the script finds it when the shell
# that started it has gone: a terminal's Ctrl-C reaches the whole process
# group, and ends a step's shell but not what it started with `&`, which
# ignores SIGINT.
run_guarded() {
  plain_user_folders_before=$(echo build/plain-user.*)
  run_mark=$BASHPID.$EPOCHREALTIME
  trap 'stop_run INT 130' INT
  trap 'stop_run TERM 143' TERM
  # A Ctrl-C reaches the job too, and ends the step it runs (ninja, CTest);
  # the job then stops rather than go on to the next step, until the
  # script ends it with all it started.
  {
    export QUARN_TEST_RUN=$run_mark
    trap 'kill -STOP "$BASHPID"' INT
    run_steps
    finish
  } &
  steps_job=$!
  steps_job_key=$(process_key "$steps_job")
  # wait returns early when a trapped signal arrives; the trap then ends
  # the script.
  wait "$steps_job"
}

# Process <$1> as "pid:start", its start time telling it from a later
# process given the same id; nothing once it has ended (a zombie has: it
# waits to be reaped by whoever took it in).
process_key() {
  local stat fields
  read -r stat 2>/dev/null <"/proc/$1/stat" || return 0
  read -ra fields <<<"${stat##*) }"
  [[ ${fields[0]} == Z ]] || echo "$1:${fields[19]}"
}

# Whether the process <$1> ("pid:start") still runs.
still_runs() {
  [[ $(process_key "${1%:*}") == "$1" ]]
}

# The processes below <$1> and <$1>, deepest last, as "pid:start", each
# stopped before its children are listed, so that none starts another
# meanwhile. A stopped process reaps none of its children, so none of
# their ids goes to another process meanwhile.
stop_tree() {
  local child
  kill -STOP "$1" 2>/dev/null || return 0
  process_key "$1"
  for child in $(pgrep -P "$1"); do stop_tree "$child"; done
}

# The processes that carry the run's mark in their environment.
marked_processes() {
  grep -lzxF "QUARN_TEST_RUN=$run_mark" /proc/[0-9]*/environ 2>/dev/null | cut -d/ -f3
}

# Whether process <$1> is the steps' job or carries the run's mark.
of_the_run() {
  [[ -n $steps_job_key && $(process_key "$1") == "$steps_job_key" ]] ||
    grep -qzxF "QUARN_TEST_RUN=$run_mark" "/proc/$1/environ" 2>/dev/null
}

# Every process the run started, stopped, as "pid:start": the job and the
# marked ones, with all below them. Each of those is asked again once
# stopped whether it is the run's, as its id may have gone to another
# process since it was found, which then goes on at once. Listed again
# until no new one appears.
stop_run_processes() {
  local listed=" " key pid more=yes
  while [[ -n $more ]]; do
    more=""
    for key in $(for pid in "$steps_job" $(marked_processes); do
                   kill -STOP "$pid" 2>/dev/null || continue
                   if of_the_run "$pid"; then stop_tree "$pid"; else kill -CONT "$pid"; fi
                 done); do
      [[ $listed == *" $key "* ]] || listed+="$key " more=yes
    done
  done
  echo "$listed"
}

# Ends the processes <$@> ("pid:start"), stopped or not: each takes
# SIGTERM as it goes on again (an X server then removes its socket and
# lock), and SIGKILL if it still runs ten seconds later. Prints those left.
end_processes() {
  local signal key left
  for signal in TERM KILL; do
    for key; do still_runs "$key" && kill -"$signal" "${key%:*}" 2>/dev/null && kill -CONT "${key%:*}" 2>/dev/null; done
    for _ in $(seq 100); do
      left=""
      for key; do still_runs "$key" && left+=" ${key%:*}"; done
      [[ -n $left ]] || return 0
      sleep 0.1
    done
  done
  echo "$left"
}

# Ends the run on signal <$1>, with status <$2>.
stop_run() {
  trap '' INT TERM
  local left pid processes="gone"
  left=$(end_processes $(stop_run_processes))
  wait "$steps_job" 2>/dev/null
  if [[ -n $left ]]; then
    processes="left:"
    for pid in $left; do processes+=" $pid ($(ps -o comm= -p "$pid"))"; done
  fi
  # What the plain user's step changed or made, if it ran.
  [[ ! -f $tests_tmp/checkout.acl ]] || setfacl --set-file="$tests_tmp/checkout.acl" "$PWD"
  local dir
  for dir in build/plain-user.*; do
    [[ ! -d $dir || " $plain_user_folders_before " == *" $dir "* ]] || rm -rf "$dir"
  done
  rm -rf "$tests_tmp"
  echo "SUMMARY: STOPPED by SIG$1; the tests' temporary folder is gone, and the processes the run started are $processes" >&2
  exit "$2"
}

main() {
  prepare "$@"
  run_guarded
}

# The rows of tests/scripts source this file for its steps alone.
[[ ${BASH_SOURCE[0]} == "$0" ]] || return 0
main "$@"
