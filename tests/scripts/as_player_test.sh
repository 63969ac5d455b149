#!/usr/bin/env bash
# Who the scripts build as when root runs them (scripts/as-player.sh): each
# row gives a repository of its own to an owner and says who must run the
# script's second start, or that none must run. Not root: the rows skip.
set -uo pipefail
as_player=$(realpath "$1")
if [[ $(id -u) -ne 0 ]]; then
  echo "the rows of root's runs are skipped: only root can give a repository away"
  exit 0
fi
no_account=4242
while getent passwd "$no_account" >/dev/null; do ((++no_account)); done
here=$(mktemp -d)
trap 'rm -rf "$here"' EXIT

# owner of the repository, SUDO_UID, who runs the second start ("none": it
# does not start, and the first says why)
rows=(
  0 "" 0
  65534 "" 65534        # a root login (su) in a player's repository
  65534 65534 65534     # sudo in the player's own repository
  65534 0 65534
  "$no_account" "" none # an owner without an account: nothing is built
)
failed=0
for ((i = 0; i < ${#rows[@]}; i += 3)); do
  repo=$here/repo$i
  mkdir -p "$repo/scripts"
  cat >"$repo/scripts/second.sh" <<'SCRIPT'
[[ -n ${STARTED:-} ]] && { id -u >started_as; exit 0; }
source "$AS_PLAYER"
export STARTED=1
continue_as_player "$0" || exit 3
id -u >started_as
SCRIPT
  chown -R "${rows[i]}:${rows[i]}" "$repo"
  (cd "$repo" && env ${rows[i + 1]:+SUDO_UID=${rows[i + 1]}} AS_PLAYER="$as_player" \
     bash scripts/second.sh >said 2>&1)
  status=$?
  who=$(cat "$repo/started_as" 2>/dev/null || echo none)
  expected_status=0
  [[ ${rows[i + 2]} == none ]] && expected_status=3
  if [[ $who != "${rows[i + 2]}" || $status -ne $expected_status ]]; then
    echo "owner ${rows[i]}, SUDO_UID '${rows[i + 1]}': ran as $who, status $status, not as ${rows[i + 2]}: $(cat "$repo/said")" >&2
    failed=1
  fi
done
exit $failed
