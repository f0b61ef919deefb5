#!/bin/sh
# Times our POP3 client and vexalo-fetch over POP3S (TLS from the first byte)
# against Debian's mpop with TLS, on the same mailbox of a private Dovecot
# (127.0.0.1) in the same run. Both clients check the server certificate
# against the server's test authority (ours through SSL_CERT_FILE, mpop
# through tls_trust_file) and the name "localhost".
#   walk   pop3_walk: USER, PASS, CAPA, STAT, the UIDL listing, RETR n for every
#          message (pipelined when offered), QUIT
#   fetch  vexalo-fetch with SECURITY=1, from an empty table every time
#   mpop   fetches every message (keep on, only_new off) into an mbox on
#          /dev/null, so delivery costs it next to nothing
# pop3_walk also walks the plain port, so that what TLS adds shows: its wall
# time beside, and the CPU time TLS adds per MB received, (CPU of the TLS walk
# - CPU of the plain walk) / MB.
# Two mailboxes: 10,000 mails of about 1 KB and 100 of about 1 MB. The clients
# take turns, RUNS times each (default 3); best times are compared and the
# ratios ours / mpop printed (the goal: at most 1.00).
#
#   bench/pop3/pop3s_vs_mpop.sh
#
# Needs the dev build (pop3_walk, vexalo-fetch and vexalo-test-dovecot in
# VEXALO_BIN, default build/dev/bin of this checkout), python3, mpop and
# /usr/bin/time. Starts and stops the servers itself and leaves nothing behind.
set -eu

script=pop3s_vs_mpop.sh
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../support/mailbox_bench.sh"
for program in pop3_walk vexalo-fetch vexalo-test-dovecot; do
  [ -x "$VEXALO_BIN/$program" ] || die "$VEXALO_BIN/$program is missing: build the dev preset first"
done
[ -x /usr/bin/time ] || die "/usr/bin/time is missing (scripts/deps.sh installs it)"

# Runs "$@" under /usr/bin/time; sets $wall and $cpu (user + system seconds).
measure_cpu() {
  /usr/bin/time -f '%e %U %S' -o "$work/time" "$@" >"$work/out" 2>&1 || {
    cat "$work/out" >&2
    die "failed: $*"
  }
  read -r wall user_s system_s <"$work/time"
  cpu=$(awk -v u="$user_s" -v s="$system_s" 'BEGIN { print u + s }')
}

# The smaller of two numbers, the first when the second is empty.
least() {
  awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a < b) ? a : b }'
}

run_mpop() {
  rm -f "$work/uidls"
  measure_cpu mpop -C "$work/mpoprc" --half-quiet bench
  grep -q "new: $count messages" "$work/out" || die "mpop did not fetch $count messages: $(cat "$work/out")"
}

run_walk() {
  measure_cpu env SSL_CERT_FILE="$ca" "$VEXALO_BIN/pop3_walk" localhost "$1" "$user" "$password" "$2"
  case $(cat "$work/out") in
  "$count messages,"*) ;;
  *) die "pop3_walk did not walk $count messages: $(cat "$work/out")" ;;
  esac
}

run_fetch() {
  rm -f "$work/fetch/AllData.csv" "$work/fetch/FirstRow.csv"
  measure_cpu env SSL_CERT_FILE="$ca" "$VEXALO_BIN/vexalo-fetch" --dir "$work/fetch"
  got=$(wc -l <"$work/fetch/AllData.csv")
  [ "$got" -eq "$count" ] || die "vexalo-fetch took $got of $count messages"
}

compare() {
  count=$1
  size=$2
  serve_mailbox "$count" "$size"
  write_mpoprc localhost "$tls_port" "$ca"
  rm -rf "$work/fetch"
  mkdir "$work/fetch"
  printf '[POP3]\r\nHOST=localhost\r\nPORT=%s\r\nUSERNAME=%s\r\nSECURITY=1\r\n[MAIL]\r\nDELETE=0\r\n' \
    "$tls_port" "$user" >"$work/fetch/Vexalo.ini"
  echo "$password" | "$VEXALO_BIN/vexalo-fetch" --dir "$work/fetch" --set-password >/dev/null

  walk="" walk_cpu="" plain="" plain_cpu="" fetch="" mpop=""
  i=0
  while [ "$i" -lt "$runs" ]; do
    run_walk "$tls_port" 1
    walk=$(least "$wall" "$walk")
    walk_cpu=$(least "$cpu" "$walk_cpu")
    run_walk "$port" 0
    plain=$(least "$wall" "$plain")
    plain_cpu=$(least "$cpu" "$plain_cpu")
    run_fetch
    fetch=$(least "$wall" "$fetch")
    run_mpop
    mpop=$(least "$wall" "$mpop")
    i=$((i + 1))
  done

  stop_mailbox
  awk -v n="$count" -v s="$size" -v w="$walk" -v f="$fetch" -v m="$mpop" -v p="$plain" \
    -v tc="$walk_cpu" -v pc="$plain_cpu" 'BEGIN {
    mb = n * s / 1048576
    printf "%6d mails of %7d bytes over TLS: walk %.2f s (plain %.2f s), fetch %.2f s, mpop %.2f s;",
      n, s, w, p, f, m
    printf " ratio walk %.2f, fetch %.2f;", (m > 0 ? w / m : 0), (m > 0 ? f / m : 0)
    printf " TLS CPU %.1f ms/MB\n", (tc - pc) * 1000 / mb }'
}

compare 10000 1024
compare 100 1048576
