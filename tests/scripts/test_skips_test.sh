#!/usr/bin/env bash
# What the test summary counts as skipped, from output as the test runs
# print it: each row of the table is a line (two for GoogleTest's skips)
# and what it must count as, "-" for nothing. Runs in a folder of its own.
set -euo pipefail
skips_script=$(realpath "$1")
here=$(mktemp -d)
trap 'rm -rf "$here"' EXIT
cd "$here"
mkdir build
source "$skips_script"

rows=(
  $'/src/a_test.cpp:12: Skipped\nlame is not installed'              $'test\tlame is not installed'
  $'/src/b_test.cpp:30: Skipped\n[  SKIPPED ] B.NoReason (0 ms)'     $'test\t(no reason given)'
  $'/src/w_test.cpp:5: Skipped\nset QUARN_SDL_SMOKE=1 with a display' $'test\tset QUARN_SDL_SMOKE=1 with a display'
  "the row 'a: b' is skipped: only root can give a name away"        $'row\tonly root can give a name away'
  "skipped 'their folder': only root can make another user's folder" $'row\tonly root can make another user\'s folder'
  "skipped: only root can give a file away"                          $'row\tonly root can give a file away'
  "[  SKIPPED ] 1 test, listed below:"                               -
  "[quarn.io] warning: Object skipped."                              -
  "Skip regular expression found in output. Regex=[\\[  SKIPPED \\]]" -
  "[ RUN      ] Registry.SkipTagPassesOverReferences"                -
)
failed=0
for ((i = 0; i < ${#rows[@]}; i += 2)); do
  : >"$skip_list"
  printf '%s\n' "${rows[i]}" >run.log
  collect_skips release run.log
  expected=${rows[i + 1]}
  [[ $expected == - ]] && expected="" || expected=$'release\t'$expected
  if [[ $(<"$skip_list") != "$expected" ]]; then
    echo "row '${rows[i]}': counted as '$(<"$skip_list")', not '$expected'" >&2
    failed=1
  fi
done

# All rows in one run, and a step: the summary's count and its window tests.
for ((i = 0; i < ${#rows[@]}; i += 2)); do printf '%s\n' "${rows[i]}"; done >run.log
: >"$skip_list"
collect_skips release run.log
skip_step smoke "Xvfb could not start" >/dev/null
report_skips >report.txt
summary="2 tests, 3 rows, 1 step skipped, by reason above; 1 window test left by CTest to the smoke step"
if [[ $skip_summary != "$summary" ]]; then
  echo "summary: '$skip_summary', not '$summary'" >&2
  failed=1
fi
exit $failed
