#!/usr/bin/env bash
# Who root's runs of the scripts build as (scripts/as-player.sh): each row
# gives a repository to an owner, starts a script there as root (SUDO_UID
# as sudo sets it, or none as after su) and names who must run its second
# start, or "none" when nothing may be built.
set -uo pipefail
if [[ $(id -u) -ne 0 ]]; then
  echo "the rows of root's runs are skipped: only root can give a repository away"
  exit 0
fi
as_player=$(realpath "$1") here=$(mktemp -d) no_account=4242 failed=0
trap 'rm -rf "$here"' EXIT
while getent passwd "$no_account" >/dev/null; do ((++no_account)); done
rows=(0 "" 0   65534 "" 65534   65534 65534 65534   "$no_account" "" none)
for ((i = 0; i < ${#rows[@]}; i += 3)); do
  repo=$here/repo$i && mkdir -p "$repo/scripts" && cd "$repo" || exit 1
  printf '%s\n' '[[ -z ${STARTED:-} ]] && source "$AS_PLAYER" && { export STARTED=1; continue_as_player "$0" || exit 3; }' \
    'id -u >started_as' >scripts/start.sh
  chown -R "${rows[i]}:${rows[i]}" .
  env ${rows[i + 1]:+SUDO_UID=${rows[i + 1]}} AS_PLAYER="$as_player" bash scripts/start.sh >said 2>&1
  status=$? who=$(cat started_as 2>/dev/null || echo none) want=0
  [[ ${rows[i + 2]} == none ]] && want=3
  if [[ $who != "${rows[i + 2]}" || $status -ne $want ]]; then
    echo "owner ${rows[i]}, SUDO_UID '${rows[i + 1]}': ran as $who, status $status: $(<said)" >&2
    failed=1
  fi
done
exit $failed
