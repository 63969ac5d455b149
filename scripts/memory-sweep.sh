#!/usr/bin/env bash
# Starts the built game under a range of memory limits and prints how each
# start ended, to check the figures the start holds the limits to
# (engine/app/ga_start.cpp): every start at or above its backend's figure
# runs, every start under it ends with the memory message. It cannot find
# what a start needs under the figures, since the start refuses every
# limit under them first: measuring them again takes a build whose
# room_to_start lets every start through.
#
#   bash scripts/memory-sweep.sh v|d FROM TO STEP [window]
#
# v is the address-space limit (`ulimit -v`), d the data limit
# (`ulimit -d`), in KB, set as soft limits. Headless unless `window` is
# given; a window needs a display (`xvfb-run -a bash scripts/...`). Each
# start runs in a folder of its own with a copy of the game and its data,
# answers every box with Ignore (as a player playing on would), and is
# asked to end (SIGTERM) once its log shows the whole start done. A line
# ends in "ran" (status 0, nothing said), "refused" (status 1 and the
# memory message) or "WRONG" followed by what it said.
set -u
kind=$1 from=$2 to=$3 step=$4 mode=${5:-headless}
game=${GAME:-build/release/race}
[[ -x $game && -d $(dirname "$game")/DATA ]] || { echo "build the game first: $game and its DATA" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for ((limit = from; limit <= to; limit += step)); do
  dir=$work/$limit
  mkdir "$dir" && cp "$game" "$dir/race" && cp -rL "$(dirname "$game")/DATA" "$dir/DATA"
  printf 'WND_NAME = memory sweep %s %s\n' $$ "$limit" > "$dir/race.cfg"
  (
    cd "$dir" || exit 1
    if [[ $mode == window ]]; then unset QUARN_PLATFORM; export SDL_AUDIODRIVER=dummy; else export QUARN_PLATFORM=headless; fi
    QUARN_BOX_ANSWER=ignore bash -c "ulimit -S -$kind $limit && exec ./race" > said 2>&1 &
    pid=$! asked=0
    for ((i = 0; i < 1200 && asked < 2; i++)); do
      kill -0 $pid 2> /dev/null || break
      if ((asked == 0)) && grep -qs car.obst race.log; then kill -TERM $pid; asked=1; fi
      sleep 0.05
    done
    kill -0 $pid 2> /dev/null && kill -KILL $pid
    wait $pid 2> /dev/null
    status=$?
    # The memory box, and its line when it cannot be shown, are the refusal.
    boxes=$(grep '^\[message box\]' said | grep -v -e '^\[message box\] Out of memory$' -e 'could not be shown')
    if ((status == 0 && asked == 1)) && [[ ! -s said ]]; then end=ran
    elif ((status == 1)) && [[ -z $boxes ]] && grep -q 'Not enough memory to run the game\.' said; then end=refused
    else end="WRONG: $(head -c 200 said | tr '\n' '|')"
    fi
    echo "$kind $limit status $status $end"
  )
  rm -rf "$dir"
done
