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
# The build, or the checkout's own folder, is closed to it; the folders
# above it are not.
[[ $1 == test && $2 == -r && ${FAKE_CLOSED:-} == build ]] && exit 1
[[ $1 == test && $2 == -x && $3 == "$PWD" && ${FAKE_CLOSED:-} == checkout ]] && exit 1
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
  lasts) exec lasting ctest ;;
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
  [[ ${rows[i + 3]} == closed ]] && fake_closed=build
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
# One SIGINT or SIGTERM ends the whole run at once, sent to the script's
# process group as a terminal's Ctrl-C is or to the script alone as `kill`
# is: no later step starts, the status is a shell's for that signal, the
# tests' temporary folder and the plain user's folder are gone, the
# checkout has its ACL back, and nothing the run started is left, not even
# a program started with `&`, which ignores SIGINT and outlives the shell
# that started it, nor one stopped at that moment. The fake programs below
# note their name and process id as they start and the signal that ends
# them, which must be one they can act on, never SIGKILL. The moments:
# "holder", the window tests run on a display beside the X connection
# holder; "wm", on the private X server, the full-screen row has stopped
# the window manager; "plain", the plain user's tests run.
cat >"$here/bin/lasting" <<'FAKE'
#!/usr/bin/env bash
for signal in INT TERM; do
  trap "echo '$1 $signal' >>\"\$NOTES/ended\"; kill \$!; trap - $signal; kill -$signal \$\$" "$signal"
done
echo "$1 $$" >>"$NOTES/started"
sleep 600 &
wait
FAKE
printf '#!/usr/bin/env bash\necho 7 >&3\nexec lasting Xvfb\n' >"$here/bin/Xvfb"
printf '#!/usr/bin/env bash\nexec lasting jwm\n' >"$here/bin/jwm"
cat >"$here/bin/xprop" <<'FAKE'
#!/usr/bin/env bash
[[ $* == "-root -spy" ]] && exec lasting xprop
echo "_NET_SUPPORTING_WM_CHECK(WINDOW): window id # 0x200001"
FAKE
# The window tests last on a display; on the private X server they pass at
# once, but for the full-screen row, which stops the window manager once
# it has started.
cat >"$here/test_platform" <<'FAKE'
#!/usr/bin/env bash
[[ $MOMENT == holder ]] && exec lasting test_platform
[[ -n ${QUARN_SMOKE_WM_PID:-} ]] || exit 0
for _ in $(seq 400); do grep -q '^jwm ' "$NOTES/started" && break; sleep 0.05; done
kill -STOP "$QUARN_SMOKE_WM_PID"
exec lasting test_platform
FAKE
cat >"$here/guarded" <<'FAKE'
# The script's own run, its steps up to the smoke step's and the plain
# user's its own; the others note that they ran.
source "$1"
source "$2"
tests_tmp=$ROW/tests-tmp jobs=1 failed=() ran=()
mkdir "$tests_tmp"
run_build() { echo "$1" >>"$NOTES/steps"; }
[[ $MOMENT == plain ]] || run_as_plain_user() { :; }
run_tsan() { echo tsan >>"$NOTES/steps"; }
run_clang_base() { echo clang-base >>"$NOTES/steps"; }
run_fuzz() { echo fuzz >>"$NOTES/steps"; }
run_guarded
FAKE
chmod +x "$here"/bin/* "$here/test_platform"
# Whether process <$1> runs, a zombie being an ended one.
runs() { [[ $(ps -o stat= -p "$1" 2>/dev/null) == [^Z]* ]]; }
# Whether this shell's job <$1> runs: asked of the shell, which knows it
# ended even when its id has gone to another process.
job_runs() { [[ " $(jobs -rp | tr '\n' ' ') " == *" $1 "* ]]; }
# The processes row <$1>'s run left, as "pid command": they carry the
# row's mark in their environment.
left_by() {
  local file pid
  for file in $(grep -lzxF "ROW_MARK=$1" /proc/[0-9]*/environ 2>/dev/null); do
    pid=${file#/proc/} pid=${pid%/environ}
    runs "$pid" && echo "$pid $(ps -o args= -p "$pid")"
  done
}
# Whether the programs <$@> have started in this row.
started() { local name; for name; do grep -q "^$name " "$NOTES/started" 2>/dev/null || return 1; done; }
# signal, sent to, the moment, the status wanted, the programs that run
# then
signal_rows=(
  INT group holder 130 "xprop test_platform"
  INT group wm 130 "jwm test_platform"
  INT group plain 130 ctest
  TERM script wm 143 "jwm test_platform"
)
for ((i = 0; i < ${#signal_rows[@]}; i += 5)); do
  signal=${signal_rows[i]} to=${signal_rows[i + 1]} moment=${signal_rows[i + 2]} want=${signal_rows[i + 3]}
  read -ra wanted <<<"${signal_rows[i + 4]}"
  ROW=$here/signal$i NOTES=$here/signal$i repo=$here/signal$i/repo
  mkdir -p "$repo/build/release/tests/platform" && cd "$repo" || exit 1
  cp "$here/test_platform" build/release/tests/platform/ && touch build/release/CTestTestfile.cmake
  # A checkout closed to others, as `mktemp -d` makes it: the plain user's
  # step lets that user in by an ACL entry.
  chmod 700 "$repo"
  acl=$(getfacl -cp "$repo")
  (
    unset DISPLAY
    [[ $moment == holder ]] && export DISPLAY=:7
    export ROW NOTES MOMENT=$moment ROW_MARK=$ROW PATH=$here/bin:$PATH CI= FAKE_CTEST=lasts FAKE_UID=0 \
      FAKE_CLOSED=checkout FAKE_SETPRIV=fake
    exec setsid bash "$here/guarded" "$skips" "$run_tests"
  ) >"$ROW/said" 2>&1 </dev/null &
  script=$!
  for _ in $(seq 400); do
    started "${wanted[@]}" && [[ $moment != wm || $(ps -o stat= -p "$(awk '$1 == "jwm" { print $2 }' "$NOTES/started")") == T* ]] && break
    job_runs "$script" || break
    sleep 0.05
  done
  wrong=()
  started "${wanted[@]}" || wrong+=("not all of ${wanted[*]} started")
  [[ $(ps -o pgid= -p "$script") -eq $script ]] || wrong+=("the script leads no group of its own")
  [[ $moment != plain || $(getfacl -cp "$repo") == *user:[0-9]* ]] || wrong+=("the plain user had no ACL entry")
  target=$script
  [[ $to == group ]] && target=-$script
  kill -"$signal" -- "$target"
  for _ in $(seq 600); do job_runs "$script" || break; sleep 0.05; done
  if job_runs "$script"; then
    wrong+=("still running")
    kill -KILL "$script"
  fi
  wait "$script"
  status=$?
  [[ $status == "$want" ]] || wrong+=("status $status")
  [[ $(tr '\n' ' ' <"$NOTES/steps") == "release " ]] || wrong+=("the steps that ran: $(tr '\n' ' ' <"$NOTES/steps")")
  [[ ! -e $ROW/tests-tmp ]] || wrong+=("the tests' temporary folder is left")
  [[ -z $(find "$repo/build" -name 'plain-user.*') ]] || wrong+=("the plain user's folder is left")
  [[ $(getfacl -cp "$repo") == "$acl" ]] || wrong+=("the checkout's ACL is now $(getfacl -cp "$repo" | tr '\n' ' ')")
  left=$(left_by "$ROW")
  [[ -z $left ]] || wrong+=("left running: $(tr '\n' ';' <<<"$left")")
  [[ $(grep '^SUMMARY:' "$ROW/said") == *"processes the run started are gone" ]] || wrong+=("the summary")
  while read -r name pid; do
    grep -q "^$name " "$NOTES/ended" 2>/dev/null || wrong+=("the $name was not ended by a signal it could act on")
  done <"$NOTES/started"
  if ((${#wrong[@]})); then
    printf "the run stopped by SIG%s sent to the %s, moment %s: %s\n" "$signal" "$to" "$moment" "${wrong[*]}" >&2
    sed 's/^/    /' "$ROW/said" >&2
    bad=1
  fi
  for pid in $(cut -d' ' -f1 <<<"$left"); do
    grep -qzxF "ROW_MARK=$ROW" "/proc/$pid/environ" 2>/dev/null && kill -KILL "$pid"
  done
done
# Which of the run's processes still run, each known by its id and start
# time (the 22nd field of /proc/<pid>/stat): a running or a stopped one
# does; one that has ended does not, be it a zombie, reaped, or its id
# given to a later process, which started at another time.
start_of() { awk '{ sub(/.*\) /, ""); print $20 }' "/proc/$1/stat"; }
sleep 600 &
running=$!
sleep 600 &
stopped=$!
kill -STOP "$stopped"
sleep 600 & reaped=$!
reaped_key=$reaped:$(start_of "$reaped")
# SIGKILL, which the shell forked for it cannot trap before it runs sleep.
kill -KILL "$reaped"
wait "$reaped" 2>/dev/null
# A zombie: it ends once its parent is sleep, which never reaps it.
bash -c 'p=$$; { until [[ $(<"/proc/$p/comm") == sleep ]]; do sleep 0.01; done; } &
  echo $! >"$1"; exec sleep 600' - "$here/zombie" &
parent=$!
# Ended below without a word from this shell.
disown "$running" "$stopped" "$parent"
for _ in $(seq 400); do [[ -s $here/zombie && $(ps -o stat= -p "$(<"$here/zombie")") == Z* ]] && break; sleep 0.05; done
zombie=$(<"$here/zombie")
process_rows=(
  running "$running:$(start_of "$running")" 0
  stopped "$stopped:$(start_of "$stopped")" 0
  zombie "$zombie:$(start_of "$zombie")" 1
  reaped "$reaped_key" 1
  "a later one" "$running:$(($(start_of "$running") + 1))" 1
)
for ((i = 0; i < ${#process_rows[@]}; i += 3)); do
  (source "$run_tests" && still_runs "${process_rows[i + 1]}")
  status=$?
  [[ $status == "${process_rows[i + 2]}" ]] || { echo "whether a process runs, ${process_rows[i]}: $status" >&2; bad=1; }
done
kill -KILL "$running" "$stopped" "$parent"
# Root's and a player's own runs: GoogleTest's TEST_TMPDIR names the tests'
# folder too, ending in a slash as GoogleTest makes it.
env=$(cd "$here" && source "$run_tests" && TEST_TMPDIR=/elsewhere/ in_tmp "$here/t" env | grep -E '^(TEST_)?TMPDIR=' | sort)
if [[ $env != "TEST_TMPDIR=$here/t/"$'\n'"TMPDIR=$here/t" ]]; then
  echo "the tests' temporary folder: $env" >&2
  bad=1
fi
exit $bad
