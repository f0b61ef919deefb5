# Sourced by the scripts that time our client against mpop on a private
# Dovecot (bench/pop3/*_vs_mpop.sh). The script sets `script` (its name, for
# messages) and `here` (its folder) first. Gives it: die, the build's
# VEXALO_BIN, RUNS as $runs, the mailbox account, a work folder removed at
# the end with every server still running, and the helpers below.

die() {
  echo "$script: $*" >&2
  exit 1
}

support=$here/../support
VEXALO_BIN=${VEXALO_BIN:-$here/../../build/dev/bin}
export VEXALO_BIN
runs=${RUNS:-3}
user=vexalo
password=kamome-2024

command -v mpop >/dev/null || die "mpop is not installed"

work=$(mktemp -d /tmp/vexalo-pop3-bench.XXXXXX)
# As root the server runs as its own account, which must reach the maildirs.
chmod 755 "$work"
served=""
cleanup() {
  for box in $served; do sh "$support/dovecot.sh" stop "$box" || true; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# Makes a mailbox of COUNT mails of about SIZE bytes and serves it: sets
# $box, $port (plain), $tls_port (POP3S) and $ca (the authority to trust).
serve_mailbox() {
  box=$work/box-$1
  python3 "$support/make_mailbox.py" "$box" --count "$1" --size "$2"
  port=$(sh "$support/dovecot.sh" start "$box")
  served="$served $box"
  read -r tls_port ca <<TLS
$(sh "$support/dovecot.sh" tls "$box")
TLS
}

stop_mailbox() {
  sh "$support/dovecot.sh" stop "$box"
  served=""
  rm -rf "$box"
}

# Writes $work/mpoprc for account "bench" on HOST PORT: USER/PASS, keeping the
# mail, every message fetched each time, delivered to /dev/null as an mbox
# (no fsync, no process per mail, so delivery costs it next to nothing). With
# a TRUST file, TLS from the first byte checked against it; else no TLS.
write_mpoprc() {
  if [ $# -gt 2 ]; then
    tls="tls on
tls_starttls off
tls_trust_file $3"
  else
    tls="tls off"
  fi
  umask 077
  cat >"$work/mpoprc" <<CONF
account bench
host $1
port $2
user $user
password $password
auth user
$tls
keep on
only_new off
pipelining auto
uidls_file $work/uidls
delivery mbox /dev/null
received_header off
CONF
  umask 022
}
