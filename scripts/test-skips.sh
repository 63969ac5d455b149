# Sourced by scripts/run-tests.sh: what the test runs skipped, and why, for
# its summary. A test that GoogleTest skipped prints "<file>:<line>:
# Skipped" and its reason on the next line; a row that a passing test
# skipped prints one line ending in "skipped: <reason>" (or "skipped
# '<row>': <reason>"); a step of this script that cannot run says
# "<step>: skipped (<reason>)". Each skip is one line of $skip_list:
# "<run>", "test", "row" or "step", and the reason, split by tabs.

skip_list=build/skipped.txt
: >"$skip_list"

# The skips that a run printed: <run's name> <its output, a file>. CTest
# keeps each test's output in its build's Testing/Temporary/LastTest.log.
collect_skips() {
  [[ -f $2 ]] || return 0
  awk -v run="$1" '
    reason { print run "\ttest\t" ($0 ~ /^\[  SKIPPED \]/ ? "(no reason given)" : $0); reason = 0; next }
    /:[0-9]+: Skipped$/ { reason = 1; next }
    /^[^[]/ && /skipped( \047[^\047]*\047)?: ./ {
      sub(/^.*skipped( \047[^\047]*\047)?: /, "")
      print run "\trow\t" $0
    }' "$2" >>"$skip_list"
}

# A step of this script that did not run: <step's name> <reason>.
skip_step() {
  printf '%s\tstep\t%s\n' "$1" "$2" >>"$skip_list"
  echo "$1: skipped ($2)"
}

# Lists the skips by reason, most first, with the runs they were in, and
# sets skip_summary to their count for the summary line. The release
# build's window tests, which CTest leaves for the smoke step, are counted
# apart when that step ran: it runs them. Those of the other runs, and
# the release build's when the smoke step could not run, are skipped.
report_skips() {
  skip_summary="nothing skipped"
  [[ -s $skip_list ]] || return 0
  echo "=== skipped, by reason (tests skipped whole, rows skipped inside a passing test, steps not run)"
  awk -F'\t' '
    { key = $2 FS $3; if (!(key in n)) order[++keys] = key; n[key]++
      if (!((key, $1) in in_run)) runs[key] = runs[key] (runs[key] == "" ? "" : ", ") $1
      in_run[key, $1]++ }
    END {
      for (k = 1; k <= keys; ++k) {
        split(order[k], part, FS)
        line = sprintf("%5d %s%s: %s (%s)", n[order[k]], part[1], n[order[k]] == 1 ? "" : "s", part[2], runs[order[k]])
        print n[order[k]] "\t" line
      }
    }' "$skip_list" | sort -t$'\t' -k1,1nr | cut -f2-
  local counts
  counts=$(awk -F'\t' '
    $1 == "release" && $2 == "test" && $3 ~ /QUARN_(SDL|GAME)_SMOKE=1/ { ++window; next }
    $1 == "smoke" && $2 == "step" { smoke_skipped = 1 }
    { ++n[$2] }
    END {
      if (smoke_skipped) { n["test"] += window; window = 0 }
      out = ""
      if (n["test"]) out = n["test"] " test" (n["test"] == 1 ? "" : "s")
      if (n["row"]) out = out (out == "" ? "" : ", ") n["row"] " row" (n["row"] == 1 ? "" : "s")
      if (n["step"]) out = out (out == "" ? "" : ", ") n["step"] " step" (n["step"] == 1 ? "" : "s")
      printf "%s", (out == "" ? "nothing skipped" : out " skipped, by reason above")
      if (window) printf "; %d window test%s of the release build skipped by CTest, run by the smoke step", window, (window == 1 ? "" : "s")
    }' "$skip_list")
  skip_summary=$counts
}
