# Shell routines the whole-run benchmark scripts share; sourced after they
# set `bin` (the build's bin folder), `support` (bench/support), `work` (a
# fresh folder that is removed at exit) and `script` (their name).

password=kamome-2024

die() {
  echo "$script: $*" >&2
  exit 1
}

server_started=no
empty_server_started=no
cleanup() {
  if [ "$server_started" = yes ]; then
    VEXALO_BIN=$bin sh "$support/dovecot.sh" stop "$work/maildir" || true
  fi
  if [ "$empty_server_started" = yes ]; then
    VEXALO_BIN=$bin sh "$support/dovecot.sh" stop "$work/empty" || true
  fi
  [ -z "${relay_pid:-}" ] || kill "$relay_pid" 2>/dev/null || true
  rm -rf "$work"
}

# Serves $work/maildir with a private Dovecot; sets $port.
start_server() {
  chmod 755 "$work"  # the server's account must reach the maildir inside
  port=$(VEXALO_BIN=$bin VEXALO_DOVECOT_LIFETIME=3600 sh "$support/dovecot.sh" start "$work/maildir")
  server_started=yes
}

# Times vexalo-fetch polling an empty mailbox on a second private server:
# the start-up, the greeting, the login and QUIT that every poll pays,
# whatever the mailbox holds. Sets $floor_seconds, the median of three.
measure_empty_poll() {
  mkdir -p "$work/empty/cur" "$work/empty/new" "$work/empty/tmp"
  empty_port=$(VEXALO_BIN=$bin VEXALO_DOVECOT_LIFETIME=3600 sh "$support/dovecot.sh" start "$work/empty")
  empty_server_started=yes
  make_fetch_dir "$work/empty-fetch" "$empty_port"
  : >"$work/floor.s"
  for _ in 1 2 3; do
    measure "$bin/vexalo-fetch" --dir "$work/empty-fetch"
    echo "$seconds" >>"$work/floor.s"
  done
  floor_seconds=$(median <"$work/floor.s")
}

# Starts a relay to the server that appends the bytes the server sent in
# each connection to $work/relay.bytes; sets $relay_port.
start_relay() {
  : >"$work/relay.bytes"
  python3 "$support/count_relay.py" "$port" "$work/relay.bytes" 3600 >"$work/relay.port" &
  relay_pid=$!
  while [ ! -s "$work/relay.port" ]; do sleep 0.1; done
  read -r relay_port <"$work/relay.port"
}

# Makes folder $1 a vexalo-fetch data folder for the server on port $2,
# mail kept on the server.
make_fetch_dir() {
  mkdir -p "$1"
  printf '[POP3]\r\nHOST=127.0.0.1\r\nPORT=%s\r\nUSERNAME=vexalo\r\n[MAIL]\r\nDELETE=0\r\n' \
    "$2" >"$1/Vexalo.ini"
  echo "$password" | "${3:-$bin}/vexalo-fetch" --dir "$1" --set-password
}

# Runs a command under /usr/bin/time; sets $seconds and $kilobytes.
measure() {
  /usr/bin/time -f '%e %M' -o "$work/time" "$@" >"$work/output" 2>&1 ||
    { cat "$work/output" >&2; die "failed: $*"; }
  read -r seconds kilobytes <"$work/time"
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
