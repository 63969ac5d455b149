# Sourced by the scripts that build, from the repository's folder, once
# what is missing is installed. The build folder and the game's files in it
# (race.cfg, race.log, screenshots) belong to whoever builds: the player's
# own program cannot save into root's, and root's program refuses the
# player's data. So root, through sudo or a root login (su), builds and
# runs as the player who owns the repository; in a repository of root's,
# root builds as before.

# Runs scripts/<name of $1> again, with the arguments after it, as the
# repository's owner when root runs it in a repository of another user's;
# returns otherwise. Fails, having touched nothing, when that owner has no
# account here to run as.
continue_as_player() {
  local script=$1
  shift
  [[ $(id -u) -eq 0 ]] || return 0
  local owner
  owner=$(stat -c %u .)
  [[ $owner -ne 0 ]] || return 0
  local entry name group home
  if ! entry=$(getent passwd "$owner"); then
    echo "$(basename "$script"): this repository belongs to user id $owner, who has no account here, so it is not built as root nor as them." >&2
    echo "Make it root's, then run this again:  chown -R root: $(printf %q "$PWD")" >&2
    return 1
  fi
  IFS=: read -r name _ _ group _ home _ <<<"$entry"
  # The player's session folder, where the sound server is; sudo drops it,
  # and a root login names root's, which the player cannot use.
  local session=(-u XDG_RUNTIME_DIR)
  if [[ -d /run/user/$owner && $(stat -c %u "/run/user/$owner") == "$owner" ]]; then
    session=(XDG_RUNTIME_DIR="/run/user/$owner")
  fi
  echo "$(basename "$script"): run as root in $name's repository; installed as root, building and running as $name" >&2
  exec setpriv --reuid="$owner" --regid="$group" --init-groups \
    env -u SUDO_UID -u SUDO_GID -u SUDO_USER -u SUDO_COMMAND "${session[@]}" \
    HOME="$home" USER="$name" LOGNAME="$name" \
    bash "scripts/$(basename "$script")" "$@"
}

# Fails, saying how to mend it, when build/ holds files of another user's
# (most often root's, from a build as root): the build could not write
# there, and the game could not save its settings nor write its log.
require_own_build_folder() {
  [[ $(id -u) -ne 0 && -d build ]] || return 0
  local foreign
  foreign=$(find build -maxdepth 2 ! -user "$(id -u)" -print -quit 2>/dev/null)
  [[ -z $foreign ]] && return 0
  echo "$foreign belongs to $(stat -c %U "$foreign"), not to you: a build as another user (root?) left it." >&2
  echo "Give build/ back to yourself, then run this again, from this folder:" >&2
  echo "  sudo chown -R \"\$USER\": build" >&2
  echo "or, without sudo, with root's password:" >&2
  echo "  su -c 'chown -R $(id -un): build'" >&2
  return 1
}
