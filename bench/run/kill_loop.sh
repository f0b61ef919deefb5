#!/bin/sh
# Kills vexalo-fetch with SIGKILL at random moments of runs over a mailbox of
# picked order mails with delete-after-reading on, ROUNDS times, then lets one
# run finish, and checks what a user would: every mail is a row of
# AllData.csv (none lost), no id is there twice (none doubled), no mail is
# left on the server, and FirstRow.csv holds the titles of the widest row.
# The server is a private Dovecot on 127.0.0.1. A run that ends before its
# kill empties the mailbox; COUNT new mails then arrive for the next rounds.
#
#   bench/run/kill_loop.sh [COUNT [ROUNDS]]    (default 2000 messages, 50 rounds)
#
# Each kill falls at a random moment before the run would end: a run costs
# about one RETR per mail not yet taken and a DELE per mail taken earlier,
# both timed first on a copy of the mailbox, and the kill comes within
# 95 % of that estimate. Needs the dev build
# (VEXALO_BIN, default build/dev/bin: vexalo-fetch and vexalo-test-dovecot)
# and python3. Exit status 0 when every check holds.
set -eu

script=kill_loop.sh
support=$(cd "$(dirname "$0")/../support" && pwd)
. "$support/bench_lib.sh"
count=${1:-2000}
rounds=${2:-50}

case $count in '' | *[!0-9]* | 0) die "COUNT must be a number above 0" ;; esac
case $rounds in '' | *[!0-9]*) die "ROUNDS must be a number" ;; esac
[ -x "$bin/vexalo-fetch" ] || die "$bin/vexalo-fetch is missing: build the dev preset first"

# Serves a fresh mailbox of `count` mails from $1; sets $port.
serve_orders() {
  python3 "$support/make_mailbox.py" "$1" --count "$count" --size 1024
  serve "$1"
  port=$served_port
}

# Times one vexalo-fetch run on folder $1; prints the seconds.
timed_run() {
  start=$(now)
  "$bin/vexalo-fetch" --dir "$1" >/dev/null || die "the run without a kill failed"
  awk -v a="$start" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }'
}

now() {
  date +%s.%N
}

echo "generating $count order mails twice ..."
serve_orders "$work/probe"
make_fetch_dir "$work/probe-data" "$port" 0
taking=$(timed_run "$work/probe-data")
skipping=$(timed_run "$work/probe-data")
echo "a run taking every mail: $taking s; one skipping every mail: $skipping s"

serve_orders "$work/maildir"
make_fetch_dir "$work/data" "$port" 1

round=1
killed=0
finished=0
while [ "$round" -le "$rounds" ]; do
  taken=0
  [ -f "$work/data/AllData.csv" ] && taken=$(($(wc -l <"$work/data/AllData.csv") - finished * count))
  delay=$(awk -v t="$taking" -v s="$skipping" -v n="$count" -v done="$taken" -v seed="$round$$" \
    'BEGIN { srand(seed); printf "%.3f", rand() * 0.95 * (t * (n - done) + 2 * s * done) / n }')
  "$bin/vexalo-fetch" --dir "$work/data" >/dev/null 2>&1 &
  pid=$!
  sleep "$delay"
  kill -KILL "$pid" 2>/dev/null || true
  status=0
  wait "$pid" 2>/dev/null || status=$?
  if [ "$status" -eq 137 ]; then  # 128 + SIGKILL
    killed=$((killed + 1))
  else
    finished=$((finished + 1))
    python3 "$support/make_mailbox.py" "$work/maildir" --count "$count" --size 1024 \
      --first $((finished * count + 1)) --seed $((finished + 1))
  fi
  round=$((round + 1))
done
echo "$rounds rounds: $killed killed during the run, $finished over before the kill"

"$bin/vexalo-fetch" --dir "$work/data" >/dev/null || die "the clean run failed"

left=$(find "$work/maildir/new" "$work/maildir/cur" -type f | wc -l)
python3 - "$work/data" $(((finished + 1) * count)) "$left" <<'PYTHON'
import sys

folder, count, left = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rows = open(folder + "/AllData.csv", "rb").read().split(b"\r\n")
if rows and rows[-1] == b"":
    rows.pop()
ids = [row.split(b",")[1].decode() for row in rows if row.count(b",") >= 1]
wanted = {"order-%06d" % n for n in range(1, count + 1)}
lost = len(wanted - set(ids))
doubled = len(ids) - len(set(ids))
widest = max(len(row.split(b",")) for row in rows)
titles = open(folder + "/FirstRow.csv", "rb").read()
names = [name.decode("cp932") for name in titles.rstrip(b"\r\n").split(b",")]
expected = ["", "", "注文番号", "氏名", "品名", "数量", "金額"]
titles_ok = names[: len(expected)] == expected and len(names) == widest and titles.endswith(b"\r\n")
print("rows %d, lost %d, doubled %d, left on the server %d, titles %s (%d columns)"
      % (len(rows), lost, doubled, left, "intact" if titles_ok else "DAMAGED", len(names)))
sys.exit(0 if lost == 0 and doubled == 0 and left == 0 and titles_ok else 1)
PYTHON
