#!/usr/bin/env bash
# The service unit as systemd would use it: `systemd-analyze verify` on the unit, then the
# headless server started with the unit's own command line and the shipped environment file
# (values filled in), its standard output taken for the journal. Checks: it serves a terminal,
# its lines carry journal priorities and no timestamps of their own, SIGTERM stops it with exit
# 0, and a fatal error ends it with a report and a failure exit (systemd restarts it; the
# server's own restart is off).
# Arguments: SOURCE_DIR SERVER KTDB KX25SIM
set -euo pipefail
src=$1 server=$2 ktdb=$3 sim=$4
unit="$src/packaging/systemd/kt-vistrand-server.service"
envfile="$src/packaging/systemd/kt-vistrand-server.default"
tmp="$(mktemp -d "${TMPDIR:-/tmp}/kt-unit-test.XXXXXX")"
pid=""
cleanup() {
  if [ -n "$pid" ]; then kill -KILL "$pid" 2>/dev/null || true; fi
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Waits until the command succeeds, at most $1 seconds.
wait_for() {
  local limit=$1; shift
  local end=$((SECONDS + limit))
  until "$@"; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.05
  done
}

workdir_in_unit=$(sed -n 's/^WorkingDirectory=//p' "$unit")
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
[ "$workdir_in_unit" = /var/lib/kt-vistrand ] || fail "WorkingDirectory is '$workdir_in_unit'"
grep -q '^Restart=on-failure$' "$unit" || fail "no Restart=on-failure"
grep -q '^StartLimitBurst=' "$unit" || fail "no start limit"
grep -q '^User=kt-vistrand$' "$unit" || fail "the service has no user of its own"
grep -q '^EnvironmentFile=-/etc/default/kt-vistrand-server$' "$unit" || fail "no environment file"

# 1. systemd's own check, on a copy whose program is the one just built.
if command -v systemd-analyze >/dev/null; then
  sed "s#/usr/bin/kt-vistrand-server#$server#" "$unit" > "$tmp/kt-vistrand-server.service"
  out=$(systemd-analyze verify --man=no "$tmp/kt-vistrand-server.service" 2>&1) ||
    fail "systemd-analyze verify: $out"
  [ -z "$out" ] || fail "systemd-analyze verify complains: $out"
  echo "systemd-analyze verify: clean"
else
  echo "systemd-analyze not installed: unit not verified"
fi

# 2. The environment file holds only comments and assignments (systemd's format).
if grep -v -E '^[[:space:]]*(#.*)?$' "$envfile" | grep -v -E '^[A-Z_]+=' ; then
  fail "the environment file has lines systemd would not read"
fi
"$ktdb" create-demo "$tmp/data" --items 40 >/dev/null
mkdir -p "$tmp/state"
sed -e "s|^#KT_VISTRAND_DATA=.*|KT_VISTRAND_DATA=$tmp/data|" \
    -e 's|^#KT_VISTRAND_PORT=.*|KT_VISTRAND_PORT=0|' \
    -e 's|^#KT_VISTRAND_BIND=.*|KT_VISTRAND_BIND=127.0.0.1|' "$envfile" > "$tmp/environment"
grep -q '^KT_VISTRAND_DATA=' "$tmp/environment" || fail "the environment file offers no KT_VISTRAND_DATA"

# The unit's command line, with the built program and a scratch state folder.
read -r -a command <<< "${exec_start//\/var\/lib\/kt-vistrand/$tmp/state}"
command[0]=$server
log="$tmp/journal"
: > "$log"
journal_stream=$(stat -c '%d:%i' "$log")

start_server() {
  (
    cd "$tmp/state"
    set -a; . "$tmp/environment"; set +a
    export JOURNAL_STREAM=$journal_stream
    unset DISPLAY WAYLAND_DISPLAY
    exec "${command[@]}" >> "$log" 2>&1
  ) &
  pid=$!
}

start_server
wait_for 30 grep -q 'Port: [0-9]' "$log" || fail "no start line: $(cat "$log")"
port=$(sed -n 's/.*(headless) Port: \([0-9]*\).*/\1/p' "$log" | head -1)
[ -n "$port" ] && [ "$port" != 0 ] || fail "no port in $(cat "$log")"
"$sim" --port "$port" --reply-timeout 10000 AQ600 > "$tmp/sim.out" || fail "scan failed: $(cat "$tmp/sim.out")"
wait_for 30 grep -q '^<6>scan: ' "$log" || fail "no scan line: $(cat "$log")"
kill -TERM "$pid"
status=0; wait "$pid" || status=$?
pid=""
[ "$status" = 0 ] || fail "SIGTERM: exit $status"
grep -q '^<6>info: Stopped$' "$log" || fail "no stop line: $(cat "$log")"
if grep -v -E '^<[0-7]>(info|conn|scan|error): ' "$log"; then
  fail "lines above are not journal lines"
fi
echo "served port $port under the unit's command line; the journal lines:"
sed 's/^/  | /' "$log"

# 3. A fatal error: a report in the state folder, a failure exit for systemd, no successor.
: > "$log"
start_server
wait_for 30 grep -q 'Port: [0-9]' "$log" || fail "no second start: $(cat "$log")"
kill -SEGV "$pid"
status=0; wait "$pid" || status=$?
pid=""
[ "$status" != 0 ] || fail "a fatal error ended with exit 0; systemd would not restart it"
grep -q 'Version: ' "$tmp/state/ZKERROR.LOG" || fail "no report: $(cat "$tmp/state/ZKERROR.LOG" 2>/dev/null)"
# The lock is free at once: no successor holds it.
flock -n "$tmp/state/KTVistrd.fil" true || fail "a successor holds the lock"
echo "fatal error: exit $status, report written, no successor"
echo "1 passed, 0 failed"
