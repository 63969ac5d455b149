#!/usr/bin/env bash
# Who root's runs of the scripts build as (scripts/as-player.sh): each row
# gives a repository to an owner, starts a script there as root (SUDO_UID
# as sudo sets it, or none as after su) and names who must run its last
# start, with which group, or "none" when nothing may be built, and how
# many starts there must be. The script asks to go on as the player at each
# start, as the scripts do, up to a third one: a start again as root, in a
# repository of root's, would go on without end.
set -uo pipefail
if [[ $(id -u) -ne 0 ]]; then
  echo "the rows of root's runs are skipped: only root can give a repository away"
  exit 0
fi
as_player=$(realpath "$1") here=$(mktemp -d) no_account=4242 failed=0
trap 'rm -rf "$here"' EXIT
while getent passwd "$no_account" >/dev/null; do ((++no_account)); done
# owner, SUDO_UID, who runs the last start, its group, starts
rows=(0 "" 0 0 1   65534 "" 65534 65534 2   65534 65534 65534 65534 2   "$no_account" "" none none 1)
# An owner whose group is not their user id: the start goes on in their group.
if read -r uid gid < <(getent passwd | awk -F: '$3 != 0 && $3 != $4 { print $3, $4; exit }'); then
  rows+=("$uid" "" "$uid" "$gid" 2)
else
  echo "the row of an owner whose group is not their user id is skipped: no account here has one"
fi
for ((i = 0; i < ${#rows[@]}; i += 5)); do
  repo=$here/repo$i && mkdir -p "$repo/scripts" && cd "$repo" || exit 1
  # The script sits in the repository, as the scripts do: the owner may
  # not enter the folders that hold the checkout.
  cp "$as_player" scripts/as-player.sh || exit 1
  printf '%s\n' 'echo $(($(<starts) + 1)) >starts' \
    '(($(<starts) < 3)) && { source "$AS_PLAYER" && continue_as_player "$0" || exit 3; }' \
    'echo "$(id -u) $(id -g)" >started_as' >scripts/start.sh
  echo 0 >starts
  chown -R "${rows[i]}:${rows[i]}" .
  env ${rows[i + 1]:+SUDO_UID=${rows[i + 1]}} AS_PLAYER=scripts/as-player.sh bash scripts/start.sh >said 2>&1
  status=$? who=$(cat started_as 2>/dev/null || echo none none) want=0
  [[ ${rows[i + 2]} == none ]] && want=3
  if [[ $who != "${rows[i + 2]} ${rows[i + 3]}" || $(<starts) != "${rows[i + 4]}" || $status -ne $want ]]; then
    echo "owner ${rows[i]}, SUDO_UID '${rows[i + 1]}': ran as user and group $who, $(<starts) starts, status $status: $(<said)" >&2
    failed=1
  fi
done
exit $failed
