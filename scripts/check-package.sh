#!/bin/sh
# Builds the Debian package from a Release build folder and checks it as a
# user would meet it: lintian and desktop-file-validate find no error, and the
# vexalo-fetch unpacked from it (dpkg -x into a scratch root, whose programs'
# folder the user cannot write) answers --help and completes a run against a
# private Dovecot on 127.0.0.1 with its files in ~/.local/share/vexalo,
# made with mode 0700. As root the programs run as "nobody", for whom folder
# permissions hold.
#
#   scripts/check-package.sh [BUILD_DIR]    (default build/release)
#
# Needs a built BUILD_DIR (vexalo, vexalo-fetch and vexalo-test-dovecot),
# cpack, dpkg-dev, lintian, desktop-file-utils, python3 and util-linux's
# setpriv (scripts/deps.sh installs them).
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/release}" && pwd)
support=$root/bench/support
password=kamome-2024

die() {
  echo "check-package.sh: $*" >&2
  exit 1
}

[ -x "$build/bin/vexalo-fetch" ] || die "$build is not built"

work=$(mktemp -d /tmp/vexalo-package.XXXXXX)
chmod 755 "$work" # the server's account and "nobody" must reach inside
server_started=no
cleanup() {
  if [ "$server_started" = yes ]; then
    VEXALO_BIN=$build/bin sh "$support/dovecot.sh" stop "$work/maildir" || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

echo "building the package ..."
(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log" >&2; die "cpack failed"; }
deb=$(ls "$work"/out/vexalo_*.deb)
echo "$deb" | sed "s|$work/out/||"

lintian_ok=yes
lintian --fail-on error --tag-display-limit 0 "$deb" >"$work/lintian" 2>&1 || lintian_ok=no
grep -v 'root privileges' "$work/lintian" || true
[ "$lintian_ok" = yes ] || die "lintian reports errors"

dpkg -x "$deb" "$work/root"
installed=$work/root/usr
desktop-file-validate "$installed/share/applications/vexalo.desktop" ||
  die "the menu entry is not valid"
for file in bin/vexalo bin/vexalo-fetch share/vexalo/index.html \
  share/icons/hicolor/scalable/apps/vexalo.svg share/man/man1/vexalo-fetch.1.gz \
  lib/systemd/user/vexalo-fetch.service lib/systemd/user/vexalo-fetch.timer \
  lib/systemd/user/vexalo-fetch@.service lib/systemd/user/vexalo-fetch@.timer; do
  [ -f "$installed/$file" ] || die "the package holds no /usr/$file"
done
# Installed programs never write beside themselves; for the owner of the
# unpacked tree that needs saying.
chmod 555 "$installed/bin"

home=$work/home
mkdir "$home"
if [ "$(id -u)" = 0 ]; then
  chown 65534:65534 "$home"
  as_user() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }
else
  as_user() { "$@"; }
fi
# The installed program as a user starts it: a clean environment, HOME at the
# scratch folder, no XDG_DATA_HOME.
fetch() { as_user env -i HOME="$home" PATH=/usr/bin:/bin "$installed/bin/vexalo-fetch" "$@"; }

fetch --help >"$work/help" || die "vexalo-fetch --help failed"
grep -q '^Usage: vexalo-fetch' "$work/help" || die "--help shows no usage"
grep -qF "The data folder now: $home/.local/share/vexalo/" "$work/help" ||
  die "--help names another data folder: $(grep 'data folder now' "$work/help")"
[ ! -e "$home/.local" ] || die "--help made a folder"

python3 "$support/make_mailbox.py" "$work/maildir" --count 3 --size 1024 >/dev/null
port=$(VEXALO_BIN=$build/bin VEXALO_DOVECOT_LIFETIME=600 sh "$support/dovecot.sh" start "$work/maildir")
server_started=yes

# As a user would set up unattended fetching: the password first, which
# makes the data folder, then the server.
echo "$password" | fetch --set-password || die "the password was not stored"
data=$home/.local/share/vexalo
[ -f "$data/Vexalo.ini" ] || die "Vexalo.ini is not in $data"
printf 'HOST=127.0.0.1\r\nPORT=%s\r\nUSERNAME=vexalo\r\n' "$port" >>"$data/Vexalo.ini"

fetch >"$work/run.out" 2>"$work/run.err" ||
  { cat "$work/run.out" "$work/run.err" >&2; die "the run failed"; }
cat "$work/run.out"
[ ! -s "$work/run.err" ] || { cat "$work/run.err" >&2; die "the run printed errors"; }
[ "$(wc -l <"$work/run.out")" = 1 ] || die "a run prints one line"
grep -Eq '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8} 3 mails looked at, 3 rows taken, [0-9]+ deleted$' \
  "$work/run.out" || die "unexpected summary line"

[ "$(wc -l <"$data/AllData.csv")" = 3 ] || die "AllData.csv does not hold the 3 rows"
[ -f "$data/FirstRow.csv" ] || die "FirstRow.csv is not in $data"
for dir in "$home/.local" "$home/.local/share" "$data"; do
  mode=$(stat -c %a "$dir")
  [ "$mode" = 700 ] || die "$dir has mode $mode, not 700"
done
[ "$(ls "$installed/bin")" = "$(printf 'vexalo\nvexalo-fetch')" ] ||
  die "files were written beside the installed programs"
echo "package checked: $data holds the run's files"
