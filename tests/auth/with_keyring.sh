#!/bin/sh
# Runs the command given on a session bus of its own with an unlocked
# gnome-keyring (Secret Service) in a fresh home, so the keyring of whoever
# runs the tests is never touched. Both end with the command.
set -eu
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_DATA_HOME="$home/share" XDG_RUNTIME_DIR="$home"
status=0
# shellcheck disable=SC2016
dbus-run-session -- sh -c \
  'printf vexalo | gnome-keyring-daemon --unlock --components=secrets >/dev/null && "$@"' \
  sh "$@" || status=$?
exit "$status"
