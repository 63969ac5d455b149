#!/usr/bin/env bash
# The test command's own steps (scripts/run-tests.sh, sourced for its
# functions): its step sequence and summary run on a fake repository whose
# builds are stubs, with a fake ctest for the plain user's run. setpriv and
# `id -u` are faked too, so that the rows run alike as root or not: the fake
# setpriv notes the user id it was asked for and runs the command as is.
# The fuzz step's rows (the second table) run it with a fake cmake whose
# build makes two fake targets, or fails as a compile error does.
# Each row of the first table: its name, whether it needs a private /tmp (root with mount
# namespaces), CI, whether the plain user may read the build ("above": it
# may, but not enter the two folders above the checkout, the real setpriv
# then taking that user's rights), what the fake ctest does, the user id
# `id -u` gives, the status wanted, whether the summary must name the plain
# user's run, and a text that must be in the output ("-" for none).
set -uo pipefail
run_tests=$(realpath "$1") skips=$(realpath "$(dirname "$1")/test-skips.sh")
fuzz_targets=$(realpath "$(dirname "$1")/fuzz-targets.sh")
here=$(mktemp -d) bad=0
trap 'rm -rf "$here"' EXIT
mkdir "$here/bin"
cat >"$here/bin/setpriv" <<'EOF'
#!/usr/bin/env bash
[[ ${FAKE_SETPRIV:-} == real ]] && exec "$(PATH=${PATH#*:} command -v setpriv)" "$@"
while [[ $1 == --* ]]; do [[ $1 == --reuid=* ]] && export FAKE_REUID=${1#--reuid=}; shift; done
# The build is closed to it; the folders above it are not.
[[ $1 == test && $2 == -r && -n ${FAKE_CLOSED:-} ]] && exit 1
exec "$@"
EOF
cat >"$here/bin/id" <<'EOF'
#!/usr/bin/env bash
[[ $1 == -u ]] && { echo "$FAKE_UID"; exit 0; }
PATH=${PATH#*:} exec id "$@"
EOF
cat >"$here/bin/ctest" <<'EOF'
#!/usr/bin/env bash
echo "user ${FAKE_REUID:-$EUID} TMPDIR $TMPDIR TEST_TMPDIR $TEST_TMPDIR" >>"$NOTES/ctest-ran"
case $FAKE_CTEST in
  # As a test reading the shared data beside the checkout does.
  shared) [[ $(<../shared/data) == data && -r build/release/CTestTestfile.cmake ]] ||
    { echo "cannot read the build or ../shared from $PWD" >&2; exit 9; } ;;
  fails) exit 8 ;;
  leaves) touch "$TMPDIR/left" ;;
  # As GoogleTest does, in /tmp; only when /tmp is the run's own folder.
  captures) [[ /tmp -ef $TMPDIR ]] || { echo "/tmp is not the plain user's own folder" >&2; exit 9; }
    touch /tmp/gtest_captured_stream.row ;;
  # As an X server started by a test does: its socket, removed at its end.
  xserver) [[ /tmp -ef $TMPDIR ]] || { echo "/tmp is not the plain user's own folder" >&2; exit 9; }
    mkdir -p /tmp/.X11-unix && touch /tmp/.X11-unix/X9 && rm /tmp/.X11-unix/X9 ;;
esac
exit 0
EOF
cat >"$here/bin/cmake" <<'EOF'
#!/usr/bin/env bash
[[ $1 == --build ]] || exit 0
[[ $FAKE_FUZZ == "build fails" ]] && { echo "fuzz/x.cpp:1:1: error: a compile error" >&2; exit 1; }
# Each target notes how it was run, checks that its corpus is a copy of
# fuzz/corpus's and adds an input to it, as libFuzzer does.
for name in alpha beta; do
  mkdir -p "$2/fuzz/$name"
  cat >"$2/fuzz/$name/fuzz_$name" <<TARGET
#!/usr/bin/env bash
echo "$name \$*" >>"\$NOTES/fuzz-ran"
corpus=\${*: -1}
[[ \$corpus == build/fuzz-ci/$name && \$(<"\$corpus/seed") == $name ]] || exit 9
touch "\$corpus/new-input"
[[ \$FAKE_FUZZ != "$name fails" ]]
TARGET
  chmod +x "$2/fuzz/$name/fuzz_$name"
done
EOF
chmod +x "$here"/bin/*
private=yes
unshare --mount --propagation private true 2>/dev/null || private=no

plain="release tests again as a user without root's rights"
# name, private /tmp, CI, build, ctest, id -u, status, plain run named, output
rows=(
  "runs as a plain user"  any "" open passes 0 0 yes -
  "a failing test fails"  any "" open fails 0 1 no "FAILED (release as a plain user tests)"
  "closed build skips"    any "" closed passes 0 0 no "release as a plain user: skipped (user id"
  "closed build under CI" any true closed passes 0 1 no "cannot run under CI: user id"
  "files left fail"       any "" open leaves 0 1 no "files left in the plain user's temporary folder"
  "captured output kept"  yes "" open captures 0 1 no "./gtest_captured_stream.row"
  "an X server's sockets" yes "" open xserver 0 0 yes -
  "not root: no such run" any "" open passes 1000 0 no -
  "closed folders above"  yes true above shared 0 0 yes -
)
for ((i = 0; i < ${#rows[@]}; i += 9)); do
  name=${rows[i]}
  if [[ ${rows[i + 1]} == yes && $private == no ]]; then
    why="give the tests a /tmp of their own"
    [[ ${rows[i + 3]} == above ]] && why="let the plain user past folders closed to it"
    echo "the row '$name' is skipped: only root with mount namespaces can $why"
    continue
  fi
  ROW=$here/row$i NOTES=$here/row$i bin=$here/bin repo=$here/row$i/repo setpriv=fake fake_closed=""
  [[ ${rows[i + 3]} == closed ]] && fake_closed=yes
  if [[ ${rows[i + 3]} == above ]]; then
    # Two folders closed to others above the checkout, as a clone in a
    # folder of /root's has; what the plain user runs and the shared data
    # lie beside the checkout, and a folder open to all takes its notes.
    beside=$ROW/closed/checkouts
    repo=$beside/repo bin=$beside/bin NOTES=$beside/notes setpriv=real
    mkdir -p "$repo" "$NOTES" "$beside/shared" && cp -r "$here/bin" "$bin" && echo data >"$beside/shared/data" &&
      chmod 1777 "$NOTES" && chmod 700 "$ROW/closed" "$beside" || exit 1
  fi
  mkdir -p "$repo/build/release/tests" && cd "$repo" || exit 1
  touch build/release/CTestTestfile.cmake
  (
    export ROW NOTES PATH=$bin:$PATH CI=${rows[i + 2]} FAKE_CLOSED=$fake_closed \
      FAKE_CTEST=${rows[i + 4]} FAKE_UID=${rows[i + 5]} FAKE_SETPRIV=$setpriv
    source "$skips"
    source "$run_tests"
    tests_tmp=$ROW/tests-tmp shared_tmp=$ROW/shared-tmp jobs=1 failed=() ran=()
    mkdir "$tests_tmp" "$shared_tmp"
    # The builds and the other steps are stubs; the plain user's step and the
    # sequence around it are the script's own.
    run_build() { ran+=("$1 build's tests and fuzz corpora"); }
    run_smoke() { :; }
    run_tsan() { :; }
    run_clang_base() { :; }
    run_fuzz() { :; }
    run_steps && finish
  ) >"$ROW/said" 2>&1 </dev/null
  status=$? said=$(<"$ROW/said") ctest_ran=$(cat "$NOTES/ctest-ran" 2>/dev/null)
  summary=$(grep '^SUMMARY:' "$ROW/said")
  wrong=()
  [[ $status == "${rows[i + 6]}" ]] || wrong+=("status $status")
  named=no
  [[ $summary == *"$plain"* ]] && named=yes
  [[ $named == "${rows[i + 7]}" ]] || wrong+=("the summary names the plain user's run: $named")
  [[ ${rows[i + 8]} == - || $said == *"${rows[i + 8]}"* ]] || wrong+=("no '${rows[i + 8]}'")
  # The fake ctest ran once exactly when the step could run, asked for
  # another user id than root's, in the plain user's own temporary folder.
  if [[ ${rows[i + 3]} != closed && ${rows[i + 5]} == 0 ]]; then
    [[ $ctest_ran =~ ^user\ [1-9][0-9]*\ TMPDIR\ ([^ ]+)\ TEST_TMPDIR\ ([^ ]+)$ &&
       ${BASH_REMATCH[2]} == "${BASH_REMATCH[1]}/" && ${BASH_REMATCH[1]} == "$repo"/build/plain-user.*/tmp ]] ||
      wrong+=("ctest ran as '$ctest_ran'")
  elif [[ -n $ctest_ran ]]; then
    wrong+=("ctest ran: $ctest_ran")
  fi
  [[ -z $(find "$repo/build" -name 'plain-user.*') ]] || wrong+=("the plain user's folder is left")
  if ((${#wrong[@]})); then
    printf "row '%s': %s\n" "$name" "${wrong[*]}" >&2
    echo "$said" | sed 's/^/    /' >&2
    bad=1
  fi
done
# The fuzz step: name, what the fake build and targets do, the status
# wanted, whether the summary must name the step, and a text that must be
# in the output.
fuzz_step="fuzz targets built by clang and run"
fuzz_rows=(
  "the targets build and run" "" 0 yes "=== beta for 2s"
  "a compile error fails"     "build fails" 1 no "FAILED (fuzz build)"
  "a failing target fails"    "beta fails" 1 no "FAILED (fuzz targets beta)"
)
for ((i = 0; i < ${#fuzz_rows[@]}; i += 5)); do
  name=${fuzz_rows[i]} ROW=$here/fuzz$i
  NOTES=$ROW repo=$ROW/repo
  mkdir -p "$repo/build" && cd "$repo" || exit 1
  for target in alpha beta; do mkdir -p "fuzz/corpus/$target" && echo "$target" >"fuzz/corpus/$target/seed"; done
  (
    export NOTES PATH=$here/bin:$PATH FAKE_FUZZ=${fuzz_rows[i + 1]}
    source "$skips"
    source "$fuzz_targets"
    source "$run_tests"
    tests_tmp=$ROW/tests-tmp jobs=1 failed=() ran=()
    mkdir "$tests_tmp"
    # The fuzz step is the script's own, in the script's sequence.
    run_build() { ran+=("$1 build's tests and fuzz corpora"); }
    run_as_plain_user() { :; }
    run_smoke() { :; }
    run_tsan() { :; }
    run_clang_base() { :; }
    run_steps && finish
  ) >"$ROW/said" 2>&1 </dev/null
  status=$? said=$(<"$ROW/said") fuzz_ran=$(sort "$NOTES/fuzz-ran" 2>/dev/null)
  summary=$(grep '^SUMMARY:' "$ROW/said")
  wrong=()
  [[ $status == "${fuzz_rows[i + 2]}" ]] || wrong+=("status $status")
  named=no
  [[ $summary == *"$fuzz_step"* ]] && named=yes
  [[ $named == "${fuzz_rows[i + 3]}" ]] || wrong+=("the summary names the fuzz step: $named")
  [[ $said == *"${fuzz_rows[i + 4]}"* ]] || wrong+=("no '${fuzz_rows[i + 4]}'")
  # Each target ran once for two seconds on its own copy of its corpus
  # when the build was made; fuzz/corpus holds its seed alone.
  want=""
  if [[ ${fuzz_rows[i + 1]} != "build fails" ]]; then
    want=$(for target in alpha beta; do
      echo "$target -max_total_time=2 -malloc_limit_mb=2048 -print_final_stats=1 -artifact_prefix=build/fuzz-ci/$target/ build/fuzz-ci/$target"
    done)
  fi
  [[ $fuzz_ran == "$want" ]] || wrong+=("the targets ran as '$fuzz_ran'")
  [[ $(cd fuzz/corpus && find . -type f | sort | tr '\n' ' ') == "./alpha/seed ./beta/seed " ]] ||
    wrong+=("fuzz/corpus changed")
  if ((${#wrong[@]})); then
    printf "row '%s': %s\n" "$name" "${wrong[*]}" >&2
    echo "$said" | sed 's/^/    /' >&2
    bad=1
  fi
done
# The X fonts SDL's boxes need: under CI their absence fails the run,
# elsewhere it is said. A fake xlsfonts, asked for those fonts on :9, lists
# 100,000 of them or none: a reader that stops at the first leaves it to die
# of SIGPIPE, as the real one does, and the check must not take that for
# "none".
for row in "fonts CI=true 0" "none CI=true 1" "none CI= 0"; do
  read -r fonts ci want <<<"$row"
  cat >"$here/bin/xlsfonts" <<EOF
#!/bin/sh
[ "\$*" = "-display :9 -fn -*-*-medium-r-normal--*-120-*-*-*-*-*-*" ] || exit 2
[ $fonts = fonts ] && exec seq -f '-misc-fixed-medium-r-normal--13-120-75-75-c-%.0f-iso8859-1' 100000
exit 0
EOF
  chmod +x "$here/bin/xlsfonts"
  said=$(export PATH=$here/bin:$PATH "$ci"; source "$run_tests"; failed=(); check_box_fonts :9 2>&1; exit ${#failed[@]})
  status=$?
  if [[ $status != "$want" || ($fonts == none && $said != *"install xfonts-base"*) ]]; then
    echo "the X fonts, $fonts, $ci: status $status, said '$said'" >&2
    bad=1
  fi
done
# One SIGINT or SIGTERM, sent to the script alone during the smoke step,
# ends the whole run at once: no later step starts, the status is a
# shell's for that signal, and the tests' temporary folder and the
# processes the step started (a fake Xvfb that names display 7, and a fake
# window test) are gone. Each fake notes its process id, the window test
# once it runs, which is when the signal goes; all are ended here if the
# script left them.
cat >"$here/bin/Xvfb" <<'EOF'
#!/usr/bin/env bash
echo $$ >"$NOTES/xvfb"
echo 7 >&3
exec sleep 600
EOF
chmod +x "$here/bin/Xvfb"
# Whether process <$1> runs, a zombie being an ended one.
runs() { [[ $(ps -o stat= -p "$1" 2>/dev/null) == [^Z]* ]]; }
for row in "INT 130" "TERM 143"; do
  read -r signal want <<<"$row"
  ROW=$here/signal-$signal NOTES=$here/signal-$signal repo=$here/signal-$signal/repo
  mkdir -p "$repo/build/release/tests/platform" && cd "$repo" || exit 1
  printf '#!/usr/bin/env bash\necho $$ >"$NOTES/smoke"\nexec sleep 600\n' >build/release/tests/platform/test_platform
  chmod +x build/release/tests/platform/test_platform
  (
    unset DISPLAY
    export NOTES PATH=$here/bin:$PATH CI=
    source "$skips"
    source "$run_tests"
    tests_tmp=$ROW/tests-tmp jobs=1 failed=() ran=()
    mkdir "$tests_tmp"
    # The steps around the smoke step note that they ran.
    run_build() { echo "$1" >>"$NOTES/steps"; }
    run_as_plain_user() { :; }
    run_tsan() { echo tsan >>"$NOTES/steps"; }
    run_clang_base() { echo clang-base >>"$NOTES/steps"; }
    run_fuzz() { echo fuzz >>"$NOTES/steps"; }
    run_guarded
  ) >"$ROW/said" 2>&1 </dev/null &
  script=$!
  for _ in $(seq 400); do [[ -s $NOTES/smoke ]] || ! runs "$script" && break; sleep 0.05; done
  kill -"$signal" "$script"
  for _ in $(seq 400); do runs "$script" || break; sleep 0.05; done
  wrong=()
  if runs "$script"; then
    wrong+=("still running")
    kill -KILL "$script"
  fi
  wait "$script"
  status=$?
  [[ $status == "$want" ]] || wrong+=("status $status")
  [[ $(tr '\n' ' ' <"$NOTES/steps") == "release " ]] || wrong+=("the steps that ran: $(tr '\n' ' ' <"$NOTES/steps")")
  [[ ! -e $ROW/tests-tmp ]] || wrong+=("the tests' temporary folder is left")
  for fake in xvfb smoke; do
    pid=$(cat "$NOTES/$fake" 2>/dev/null)
    if [[ -z $pid ]]; then
      wrong+=("no $fake started")
    elif runs "$pid"; then
      wrong+=("the $fake is left")
      kill "$pid"
    fi
  done
  if ((${#wrong[@]})); then
    printf "the run stopped by SIG%s: %s\n" "$signal" "${wrong[*]}" >&2
    sed 's/^/    /' "$ROW/said" >&2
    bad=1
  fi
done
# Root's and a player's own runs: GoogleTest's TEST_TMPDIR names the tests'
# folder too, ending in a slash as GoogleTest makes it.
env=$(cd "$here" && source "$run_tests" && TEST_TMPDIR=/elsewhere/ in_tmp "$here/t" env | grep -E '^(TEST_)?TMPDIR=' | sort)
if [[ $env != "TEST_TMPDIR=$here/t/"$'\n'"TMPDIR=$here/t" ]]; then
  echo "the tests' temporary folder: $env" >&2
  bad=1
fi
exit $bad
