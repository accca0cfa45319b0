#!/usr/bin/env bash
# Applies the reference database twice to an empty cluster, starts the daemon on it and drives
# a front-end's session through all seven listeners (session_test.py).
set -euo pipefail
build="$1"
dir="$(mktemp -d "$build/session-test.XXXXXX")"
chmod 755 "$build" "$dir"
base_port="${VELTRA_SESSION_PORT:-$((21000 + RANDOM % 20000))}"
daemon_pid=""
cleanup() {
  if [ -n "$daemon_pid" ]; then
    kill -TERM "$daemon_pid" 2>/dev/null || true
    for _ in $(seq 1 100); do kill -0 "$daemon_pid" 2>/dev/null || break; sleep 0.1; done
  fi
  scripts/pg-cluster stop "$dir/pg"
  rm -rf "$dir"
}
trap cleanup EXIT

eval "$(scripts/demo-setup "$dir" "$base_port")"
# Re-applying the schema and data to the live database must not fail or duplicate anything.
for sql in database/postgres/*.sql; do
  PGPASSWORD="$VELTRA_TEST_PG_PASSWORD" psql -X -q -h "$VELTRA_TEST_PG_HOST" -p "$VELTRA_TEST_PG_PORT" \
    -U "$VELTRA_TEST_PG_USER" -d "$VELTRA_TEST_PG_DB" -v ON_ERROR_STOP=1 -f "$sql" >/dev/null
done

"$dir/veltra-web-serviced" >"$dir/daemon.log" 2>&1 &
daemon_pid=$!
for _ in $(seq 1 100); do
  (exec 3<>"/dev/tcp/127.0.0.1/$((base_port + 1))") 2>/dev/null && break
  sleep 0.1
done
python3 "$(dirname "$0")/session_test.py" "$base_port" "$dir" || { tail -40 "$dir/daemon.log"; exit 1; }
