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
printf '%s\n' '/src/w_test.cpp:5: Skipped' 'set QUARN_SDL_SMOKE=1 with a display' >sanitize.log
collect_skips sanitize sanitize.log
skip_step "smoke under a window manager" "jwm is not installed" >/dev/null
report_skips >/dev/null
diff - <(cut -f2- "$skip_list") <<'COUNTED'
test	lame is not installed
test	(no reason given)
test	set QUARN_SDL_SMOKE=1 with a display
row	only root can give a name away
row	only root can make another user's folder
row	only root can give a name away
test	set QUARN_SDL_SMOKE=1 with a display
step	jwm is not installed
COUNTED
# Only the release build's window tests are run by the smoke step, and only
# when that step itself ran.
summary="3 tests, 3 rows, 1 step skipped, by reason above; 1 window test of the release build skipped by CTest, run by the smoke step"
[[ $skip_summary == "$summary" ]] || { echo "summary: $skip_summary" >&2; exit 1; }
skip_step smoke "Xvfb could not start" >/dev/null
report_skips >/dev/null
summary="4 tests, 3 rows, 2 steps skipped, by reason above"
[[ $skip_summary == "$summary" ]] || { echo "summary without the smoke step: $skip_summary" >&2; exit 1; }
