# Shell routines the benchmark scripts share. A script sets `script` (its
# name, for messages) and `support` (bench/support) and sources this file. It
# then has: die; $bin, the build's bin folder (VEXALO_BIN, default
# build/dev/bin of this checkout, exported for dovecot.sh); $password of the
# mailbox account "vexalo"; $work, a fresh folder removed at exit together
# with every server still running; and the routines below.

die() {
  echo "$script: $*" >&2
  exit 1
}

bin=${VEXALO_BIN:-$support/../../build/dev/bin}
VEXALO_BIN=$bin
export VEXALO_BIN
password=kamome-2024
work=$(mktemp -d "/tmp/vexalo-${script%.sh}.XXXXXX")
# As root the server runs as its own account, which must reach the maildirs
# inside.
chmod 755 "$work"

served=""
cleanup() {
  for maildir in $served; do sh "$support/dovecot.sh" stop "$maildir" || true; done
  [ -z "${relay_pid:-}" ] || kill "$relay_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# Serves MAILDIR with a private Dovecot on 127.0.0.1; sets $served_port.
serve() {
  served_port=$(VEXALO_DOVECOT_LIFETIME=${VEXALO_DOVECOT_LIFETIME:-3600} \
    sh "$support/dovecot.sh" start "$1")
  served="$served $1"
}

# Stops the server of MAILDIR.
unserve() {
  sh "$support/dovecot.sh" stop "$1"
  rest=""
  for maildir in $served; do [ "$maildir" = "$1" ] || rest="$rest $maildir"; done
  served=$rest
}

# Times vexalo-fetch polling an empty mailbox on a second private server:
# the start-up, the greeting, the login and QUIT that every poll pays,
# whatever the mailbox holds. Sets $floor_seconds, the median of three.
measure_empty_poll() {
  mkdir -p "$work/empty/cur" "$work/empty/new" "$work/empty/tmp"
  serve "$work/empty"
  make_fetch_dir "$work/empty-fetch" "$served_port"
  : >"$work/floor.s"
  for _ in 1 2 3; do
    measure "$bin/vexalo-fetch" --dir "$work/empty-fetch"
    echo "$seconds" >>"$work/floor.s"
  done
  floor_seconds=$(median <"$work/floor.s")
}

# Starts a relay to the server on port $1 that appends the bytes the server
# sent in each connection to $work/relay.bytes; sets $relay_port.
start_relay() {
  : >"$work/relay.bytes"
  python3 "$support/count_relay.py" "$1" "$work/relay.bytes" 3600 >"$work/relay.port" &
  relay_pid=$!
  while [ ! -s "$work/relay.port" ]; do sleep 0.1; done
  read -r relay_port <"$work/relay.port"
}

# Makes folder $1 a vexalo-fetch data folder for the server on port $2:
# deleting after reading when $3 is 1 (default 0, mail kept on the server),
# the password stored by the vexalo-fetch of bin folder $4 (default $bin).
make_fetch_dir() {
  mkdir -p "$1"
  printf '[POP3]\r\nHOST=127.0.0.1\r\nPORT=%s\r\nUSERNAME=vexalo\r\n[MAIL]\r\nDELETE=%s\r\n' \
    "$2" "${3:-0}" >"$1/Vexalo.ini"
  echo "$password" | "${4:-$bin}/vexalo-fetch" --dir "$1" --set-password
}

# Runs a command under /usr/bin/time; sets $seconds and $kilobytes, and
# $cpu_seconds (user and system time: on a shared machine what the command
# itself cost, apart from waiting for a busy peer).
measure() {
  /usr/bin/time -f '%e %M %U %S' -o "$work/time" "$@" >"$work/output" 2>&1 ||
    { cat "$work/output" >&2; die "failed: $*"; }
  read -r seconds kilobytes user_seconds system_seconds <"$work/time"
  cpu_seconds=$(awk -v u="$user_seconds" -v s="$system_seconds" 'BEGIN { print u + s }')
}

# The bytes the server sent in the last connection through the relay.
last_relayed() {
  # The relay writes its count once the connection is over on both sides.
  tries=0
  while [ "$(wc -l <"$work/relay.bytes")" -lt "$1" ] && [ "$tries" -lt 100 ]; do
    tries=$((tries + 1))
    sleep 0.1
  done
  tail -n 1 "$work/relay.bytes"
}

# The largest of the numbers on standard input.
maximum() {
  sort -n | tail -n 1
}

# The median of the numbers on standard input.
median() {
  sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# $1 / $2, or 0 when $2 is 0.
ratio() {
  awk -v a="$1" -v b="$2" 'BEGIN { print (b > 0 ? a / b : 0) }'
}
