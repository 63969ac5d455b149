# Sourced by the scripts that build, from the repository's folder, once
# what is missing is installed. The build folder and the game's files in it
# (race.cfg, race.log, screenshots) belong to whoever builds: the player's
# own program cannot save into root's. So a script started through sudo in a
# repository of the player's builds and runs as that player; a root login,
# or a repository of root's, builds as root as before.

# Runs scripts/<name of $1> again, with the arguments after it, as the user
# who called sudo, when there is one to go back to; returns otherwise.
continue_as_player() {
  local script=$1
  shift
  [[ $(id -u) -eq 0 && ${SUDO_UID:-0} =~ ^[1-9][0-9]*$ ]] || return 0
  [[ $(stat -c %u .) == "$SUDO_UID" ]] || return 0
  local entry name home
  entry=$(getent passwd "$SUDO_UID") || return 0
  name=${entry%%:*}
  home=$(cut -d: -f6 <<<"$entry")
  local session=()
  # sudo drops the session's runtime folder, where the sound server is.
  if [[ -d /run/user/$SUDO_UID && $(stat -c %u "/run/user/$SUDO_UID") == "$SUDO_UID" ]]; then
    session=(XDG_RUNTIME_DIR="/run/user/$SUDO_UID")
  fi
  echo "$(basename "$script"): installed as root; building and running as $name" >&2
  exec setpriv --reuid="$SUDO_UID" --regid="${SUDO_GID:-$SUDO_UID}" --init-groups \
    env -u SUDO_UID -u SUDO_GID -u SUDO_USER -u SUDO_COMMAND \
    HOME="$home" USER="$name" LOGNAME="$name" "${session[@]}" \
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
  echo "Give build/ back to yourself, then run this again:  sudo chown -R \"\$USER\": build" >&2
  return 1
}
