#!/bin/sh
# Starts and stops a private POP3 server (Dovecot, 127.0.0.1 only) on a
# maildir, for benchmark scripts.
#
#   dovecot.sh start MAILDIR   serve MAILDIR (e.g. from make_mailbox.py) and
#                              print the server's port
#   dovecot.sh tls MAILDIR     print that server's POP3S port and the file of
#                              the test authority its certificate comes from
#   dovecot.sh stop MAILDIR    stop that server
#
# Login: user "vexalo", password "kamome-2024" (USER/PASS or APOP). Before the
# port is printed the server has been logged into once, so it has indexed the
# mailbox and the first timed run does not pay for that. The server stops by
# itself after VEXALO_DOVECOT_LIFETIME seconds (default 3600). With
# VEXALO_DOVECOT_INTROSPECTION set to a token introspection address it offers
# XOAUTH2 as well, the tokens checked there. As root the
# server runs as the account "vexalotest", which is given MAILDIR: keep it
# where that account can reach it (e.g. under /tmp).
#
# Needs the build's vexalo-test-dovecot, found in VEXALO_BIN (default
# build/dev/bin of this checkout). Its state sits beside MAILDIR in
# MAILDIR.dovecot.pid and MAILDIR.dovecot.out.
set -eu

die() {
  echo "dovecot.sh: $*" >&2
  exit 1
}

# True while process `pid` runs (an ended process may linger as a zombie
# when nobody reaps it).
is_running() {
  state=$(ps -o stat= -p "$1" 2>/dev/null) || return 1
  case $state in Z*) return 1 ;; esac
}

# True while `pid` is our server (its number may be reused later).
is_server() {
  is_running "$1" && grep -q vexalo-test-dovecot "/proc/$1/cmdline" 2>/dev/null
}

[ $# -eq 2 ] || die "usage: dovecot.sh start|tls|stop MAILDIR"
here=$(cd "$(dirname "$0")" && pwd)
maildir=${2%/}
pidfile=$maildir.dovecot.pid
outfile=$maildir.dovecot.out

case $1 in
start)
  server=${VEXALO_BIN:-$here/../../build/dev/bin}/vexalo-test-dovecot
  [ -x "$server" ] || die "$server is missing: build the dev preset first"
  if [ -f "$pidfile" ] && is_server "$(cat "$pidfile")"; then
    die "a server for $maildir is running already"
  fi
  # Made here, not by the server's redirection below, which may come late.
  : >"$outfile"
  "$server" --maildir "$maildir" --lifetime "${VEXALO_DOVECOT_LIFETIME:-3600}" \
    ${VEXALO_DOVECOT_INTROSPECTION:+--introspection "$VEXALO_DOVECOT_INTROSPECTION"} \
    <"/dev/null" >"$outfile" 2>&1 &
  pid=$!
  echo "$pid" >"$pidfile"
  # Indexing a large mailbox takes a while; give it ten minutes.
  tries=0
  while [ "$(wc -l <"$outfile")" -lt 1 ]; do
    # Our own child: until it has exec'd the server it is a copy of this
    # shell, which a busy machine lets it stay for a while.
    if ! is_running "$pid"; then
      cat "$outfile" >&2
      rm -f "$pidfile"
      die "the server did not start"
    fi
    tries=$((tries + 1))
    if [ "$tries" -gt 6000 ]; then
      kill "$pid"
      die "the server did not answer within ten minutes"
    fi
    sleep 0.1
  done
  port=$(head -n 1 "$outfile")
  case $port in
  '' | *[!0-9]*)
    cat "$outfile" >&2
    kill "$pid" 2>/dev/null || true
    rm -f "$pidfile"
    die "the server did not start"
    ;;
  esac
  echo "$port"
  ;;
tls)
  [ -f "$pidfile" ] && is_server "$(cat "$pidfile")" || die "no server for $maildir"
  sed -n '2p;3p' "$outfile" | tr '\n' ' ' | sed 's/ $/\n/'
  ;;
stop)
  [ -f "$pidfile" ] || die "no server for $maildir"
  pid=$(cat "$pidfile")
  if is_server "$pid"; then
    kill -TERM "$pid"
    tries=0
    while is_server "$pid" && [ "$tries" -lt 150 ]; do
      tries=$((tries + 1))
      sleep 0.1
    done
    is_server "$pid" && die "the server (pid $pid) did not stop"
  fi
  rm -f "$pidfile" "$outfile"
  ;;
*)
  die "usage: dovecot.sh start|tls|stop MAILDIR"
  ;;
esac
