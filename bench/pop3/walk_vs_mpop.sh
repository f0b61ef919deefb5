#!/bin/sh
# Times our POP3 client against Debian's mpop on the same mailbox of a private
# Dovecot (127.0.0.1), in the same run:
#   ours  pop3_walk walks the mailbox as a processing run takes new orders:
#         USER, PASS, CAPA, STAT, the UIDL listing, RETR n for every message
#         (pipelined when offered), QUIT;
#   mpop  fetches every message (keep on, only_new off, tls off, USER/PASS)
#         and delivers it to /dev/null as an mbox (no fsync, no process per
#         mail, so delivery costs it next to nothing).
# Two mailboxes: 10,000 mails of about 1 KB and 100 of about 1 MB. The two
# clients take turns, RUNS times each (default 3); the best time of each is
# compared, and the ratio ours / mpop is printed (the goal: at most 1.00).
#
#   bench/pop3/walk_vs_mpop.sh
#
# Needs the dev build (pop3_walk and vexalo-test-dovecot in VEXALO_BIN,
# default build/dev/bin of this checkout), python3 and mpop. Starts and stops
# the servers itself and leaves nothing behind.
set -eu

script=walk_vs_mpop.sh
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../support/mailbox_bench.sh"
[ -x "$VEXALO_BIN/pop3_walk" ] || die "$VEXALO_BIN/pop3_walk is missing: build the dev preset first"

now_ns() { date +%s%N; }

# Prints the wall time of "$@" in nanoseconds; its output goes to $work/out.
time_ns() {
  start=$(now_ns)
  "$@" >"$work/out" 2>&1 || {
    cat "$work/out" >&2
    die "$1 failed"
  }
  echo $(($(now_ns) - start))
}

# Forgets the messages seen, so every run fetches all of them.
run_mpop() {
  rm -f "$work/uidls"
  mpop -C "$work/mpoprc" --half-quiet bench
}

compare() {
  count=$1
  size=$2
  serve_mailbox "$count" "$size"
  write_mpoprc 127.0.0.1 "$port"

  best_ours=""
  best_mpop=""
  i=0
  while [ "$i" -lt "$runs" ]; do
    t=$(time_ns "$VEXALO_BIN/pop3_walk" 127.0.0.1 "$port" "$user" "$password")
    case $(cat "$work/out") in
    "$count messages,"*) ;;
    *) die "pop3_walk did not walk $count messages: $(cat "$work/out")" ;;
    esac
    if [ -z "$best_ours" ] || [ "$t" -lt "$best_ours" ]; then best_ours=$t; fi

    t=$(time_ns run_mpop)
    grep -q "new: $count messages" "$work/out" || die "mpop did not fetch $count messages: $(cat "$work/out")"
    if [ -z "$best_mpop" ] || [ "$t" -lt "$best_mpop" ]; then best_mpop=$t; fi
    i=$((i + 1))
  done

  stop_mailbox
  awk -v n="$count" -v s="$size" -v o="$best_ours" -v m="$best_mpop" 'BEGIN {
    printf "%6d mails of %7d bytes: ours %.3f s, mpop %.3f s, ratio %.2f\n",
           n, s, o / 1e9, m / 1e9, o / m }'
}

compare 10000 1024
compare 100 1048576
