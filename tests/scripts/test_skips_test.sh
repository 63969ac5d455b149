#!/usr/bin/env bash
# What the test summary counts as skipped (scripts/test-skips.sh), from
# lines as the test runs print them, against the counts they must give.
set -euo pipefail
skips=$(realpath "$1")
here=$(mktemp -d)
trap 'rm -rf "$here"' EXIT
cd "$here" && mkdir build && source "$skips"
cat >run.log <<'LOG'
/src/a_test.cpp:12: Skipped
lame is not installed
/src/b_test.cpp:30: Skipped
[  SKIPPED ] B.NoReason (0 ms)
/src/w_test.cpp:5: Skipped
set QUARN_SDL_SMOKE=1 with a display
the row 'a: b' is skipped: only root can give a name away
skipped 'their folder': only root can make another user's folder
skipped: only root can give a name away
[  SKIPPED ] 1 test, listed below:
[quarn.io] warning: Object skipped.
Skip regular expression found in output. Regex=[\[  SKIPPED \]]
LOG
collect_skips release run.log
skip_step smoke "Xvfb could not start" >/dev/null
report_skips >/dev/null
diff - <(cut -f2- "$skip_list") <<'COUNTED'
test	lame is not installed
test	(no reason given)
test	set QUARN_SDL_SMOKE=1 with a display
row	only root can give a name away
row	only root can make another user's folder
row	only root can give a name away
step	Xvfb could not start
COUNTED
summary="2 tests, 3 rows, 1 step skipped, by reason above; 1 window test skipped by CTest, run by the smoke step in the release build"
[[ $skip_summary == "$summary" ]] || { echo "summary: $skip_summary" >&2; exit 1; }
