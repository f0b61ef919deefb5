#!/bin/sh
# Checks every systemd user unit the package installs with systemd-analyze,
# the templates through an instance, as systemd would load them.
# Usage: verify-units.sh VEXALO_FETCH UNIT_DIR
set -eu
fetch=$1
units=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# systemd looks a bare command up on its own path, where a build's program
# is not: the copy names the program built.
for unit in "$units"/*.service "$units"/*.timer; do
  sed "s|^ExecStart=vexalo-fetch|ExecStart=$fetch|" "$unit" >"$work/$(basename "$unit")"
done
cd "$work"
for template in *@.service *@.timer; do
  ln -s "$template" "$(echo "$template" | sed 's/@\./@shop./')"
done
# A template is only loaded through an instance; the manual pages are not
# installed in a build, so they are not looked for.
set -- ./vexalo-fetch.service ./vexalo-fetch.timer ./*@shop.service ./*@shop.timer
systemd-analyze verify --man=no "$@"
echo "units verified: $*"
