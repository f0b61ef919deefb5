#!/bin/sh
# Polls a mailbox shared with ordinary mail twice, as the polling timer does:
# ORDINARY mails of about 20 KB with an attachment plus ORDERS picked order
# mails of about 1 KB, served by a private Dovecot on 127.0.0.1.
#   first   from an empty data folder: the orders are taken, every other
#           mail is judged by its header and remembered as not picked
#   second  the same mailbox again: nothing new, nothing should be read
# and, once, a poll of an empty mailbox on a second server: the floor under
# any poll, which the second cannot go below
# Each round times both polls as whole vexalo-fetch runs, then repeats them
# through a relay that counts the bytes the server sends. With
# VEXALO_BASELINE_BIN (the bin folder of another build, e.g. the previous
# version's) that build's first poll is timed and counted too, in the same
# round. Times and bytes are medians over the rounds; peak memory is the
# largest maximum resident set size /usr/bin/time saw.
#
#   bench/run/mixed_mailbox.sh [ORDINARY [ORDERS [ROUNDS]]]   (default 5000 100 3)
#
# Needs the dev build (VEXALO_BIN, default build/dev/bin: vexalo-fetch and
# vexalo-test-dovecot), python3 and /usr/bin/time (package "time").
set -eu

script=mixed_mailbox.sh
support=$(cd "$(dirname "$0")/../support" && pwd)
. "$support/bench_lib.sh"
baseline=${VEXALO_BASELINE_BIN:-}
ordinary=${1:-5000}
orders=${2:-100}
rounds=${3:-3}

case $ordinary in '' | *[!0-9]*) die "ORDINARY must be a number" ;; esac
case $orders in '' | *[!0-9]*) die "ORDERS must be a number" ;; esac
case $rounds in '' | *[!0-9]* | 0) die "ROUNDS must be a number above 0" ;; esac
[ -x "$bin/vexalo-fetch" ] || die "$bin/vexalo-fetch is missing: build the dev preset first"
[ -z "$baseline" ] || [ -x "$baseline/vexalo-fetch" ] || die "$baseline/vexalo-fetch is missing"
[ -x /usr/bin/time ] || die "/usr/bin/time is missing (scripts/deps.sh installs it)"

echo "generating $ordinary ordinary mails and $orders orders ..."
python3 "$support/make_mailbox.py" "$work/maildir" --count "$ordinary" --size 20480 --ordinary
python3 "$support/make_mailbox.py" "$work/maildir" --count "$orders" --size 1024
serve "$work/maildir"
port=$served_port
start_relay "$port"
make_fetch_dir "$work/timed" "$port"
make_fetch_dir "$work/counted" "$relay_port"
[ -z "$baseline" ] || make_fetch_dir "$work/baseline" "$port" 0 "$baseline"
[ -z "$baseline" ] || make_fetch_dir "$work/baseline-counted" "$relay_port" 0 "$baseline"
connections=0

# One poll of vexalo-fetch from "$2" (default $bin) on data folder $1; checks
# that every order is taken, once.
poll() {
  measure "${2:-$bin}/vexalo-fetch" --dir "$1"
  got=$(wc -l <"$1/AllData.csv")
  [ "$got" -eq "$orders" ] || die "$1: $got of $orders orders taken"
}

forget() {
  rm -f "$1/AllData.csv" "$1/FirstRow.csv" "$1/Unpicked.txt"
}

# Polls through the relay; sets $bytes.
counted_poll() {
  poll "$@"
  connections=$((connections + 1))
  bytes=$(last_relayed "$connections")
}

for name in first.s second.s first.b second.b base.s base.b time.ratio bytes.ratio base.ratio \
  base.time.ratio kb; do
  : >"$work/$name"
done
round=1
while [ "$round" -le "$rounds" ]; do
  forget "$work/timed"
  poll "$work/timed"
  first_s=$seconds
  echo "$kilobytes" >>"$work/kb"
  poll "$work/timed"
  second_s=$seconds
  echo "$kilobytes" >>"$work/kb"

  forget "$work/counted"
  counted_poll "$work/counted"
  first_b=$bytes
  counted_poll "$work/counted"
  second_b=$bytes

  echo "$first_s" >>"$work/first.s"
  echo "$second_s" >>"$work/second.s"
  echo "$first_b" >>"$work/first.b"
  echo "$second_b" >>"$work/second.b"
  ratio "$second_s" "$first_s" >>"$work/time.ratio"
  ratio "$second_b" "$first_b" >>"$work/bytes.ratio"
  line="round $round: first ${first_s} s ${first_b} B, second ${second_s} s ${second_b} B"

  if [ -n "$baseline" ]; then
    forget "$work/baseline"
    poll "$work/baseline" "$baseline"
    base_s=$seconds
    forget "$work/baseline-counted"
    counted_poll "$work/baseline-counted" "$baseline"
    base_b=$bytes
    echo "$base_s" >>"$work/base.s"
    echo "$base_b" >>"$work/base.b"
    ratio "$first_b" "$base_b" >>"$work/base.ratio"
    ratio "$first_s" "$base_s" >>"$work/base.time.ratio"
    line="$line; baseline first ${base_s} s ${base_b} B"
  fi
  echo "$line"
  round=$((round + 1))
done

echo "$ordinary ordinary mails + $orders orders, $rounds rounds, medians:"
echo "  first poll   $(median <"$work/first.s") s, $(median <"$work/first.b") bytes from the server"
echo "  second poll  $(median <"$work/second.s") s, $(median <"$work/second.b") bytes from the server"
echo "  peak memory  $(maximum <"$work/kb") KB (goal: under 100 MB)"
echo "  second / first: time $(median <"$work/time.ratio") (goal: at most 0.1)," \
  "bytes $(median <"$work/bytes.ratio") (goal: at most 0.02)"
measure_empty_poll
echo "  empty mailbox poll  $floor_seconds s (start-up, greeting, login, QUIT: under any poll)"
if [ -n "$baseline" ]; then
  echo "  baseline first poll  $(median <"$work/base.s") s, $(median <"$work/base.b") bytes"
  echo "  first / baseline first: bytes $(median <"$work/base.ratio") (goal: at most 0.1)," \
    "time $(median <"$work/base.time.ratio")"
fi
