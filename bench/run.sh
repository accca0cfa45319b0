#!/usr/bin/env bash
# Benchmarks of the daemon on the reference database (loopback only, bounded in time):
#   listener 1: fixed answer id=2 and request 2371 (mode 2), wrk --latency, Connection: close,
#               16 and 64 connections, 10 s each;
#   listeners 4 and 7: a 100 MiB file, throughput and the daemon's peak RSS.
# Usage: bench/run.sh [seconds per wrk run]   (figures go to standard output)
set -euo pipefail
cd "$(dirname "$0")/.."
secs="${1:-10}"
scripts/install-deps
scripts/build --target veltra-web-serviced >/dev/null
dir="$(mktemp -d "$(pwd)/build/bench.XXXXXX")"
chmod 755 build "$dir"
base=$((22000 + RANDOM % 20000))
pid=""
cleanup() {
  [ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null || true
  sleep 1
  scripts/pg-cluster stop "$dir/pg"
  rm -rf "$dir"
}
trap cleanup EXIT
eval "$(scripts/demo-setup "$dir" "$base")"
export PGPASSWORD="$VELTRA_TEST_PG_PASSWORD"
psql_b() { psql -X -q -h 127.0.0.1 -p "$VELTRA_TEST_PG_PORT" -U veltra -d veltra_test -v ON_ERROR_STOP=1 "$@"; }
# The comparison peer's country list (30 rows, Persian names) replaces the demo one.
psql_b -f ../shared/bench-peer/country.sql >/dev/null 2>&1 || psql_b -f /work/shared/bench-peer/country.sql >/dev/null
sed -i 's/^Log_Service=True/Log_Service=False/' "$dir/config/web_service_config.ini"

head -c $((100 << 20)) /dev/urandom >"$dir/images/big.bin"
psql_b >/dev/null <<SQL
INSERT INTO images(id_images, cp, nfile, path, stored) VALUES (900, 4, 'big.bin', '$dir/images/big.bin', true);
INSERT INTO download_link(link, path, expires_at) VALUES ('big', '$dir/images/big.bin', now() + interval '1 day');
SQL

"$dir/veltra-web-serviced" >/dev/null 2>&1 &
pid=$!
for _ in $(seq 1 100); do (exec 3<>"/dev/tcp/127.0.0.1/$((base + 1))") 2>/dev/null && break; sleep 0.1; done

coded() {
  python3 - "$1" <<'PY'
import base64, sys, urllib.parse
b = base64.b64encode(sys.argv[1].encode()).decode()
s = lambda x: x[1::2] + x[0::2]
print(urllib.parse.quote(s(s(b)), safe=""))
PY
}
lua="$dir/post.lua"
run_wrk() {  # body connections
  cat >"$lua" <<LUA
wrk.method = "POST"
wrk.body = "$1"
wrk.headers["Content-Type"] = "application/x-www-form-urlencoded"
wrk.headers["Connection"] = "close"
LUA
  wrk -t2 -c"$2" -d"${secs}s" --latency -s "$lua" "http://127.0.0.1:$((base + 1))/" |
    grep -E "Requests/sec|  50%|  99%|Non-2xx|Socket errors"
}
echo "machine: $(nproc) cores, $(free -g | awk '/Mem:/{print $2}') GiB; $(date -u +%Y-%m-%d)"
for c in 16 64; do
  echo "listener 1 id=2, $c connections"; run_wrk "id=2" "$c"
  echo "listener 1 id=2371 mode 2, $c connections"
  run_wrk "$(coded $'id=2371\nLogin_User_Token=0\nLogin_User_cp=0')" "$c"
done

rss_before=$(awk '/VmHWM/{print $2}' /proc/$pid/status)
for target in "4 /?cp=4&id_images=900&lucp=1" "7 /big"; do
  set -- $target
  echo "listener $1: 100 MiB file"
  curl -s -o /dev/null -w "  %{size_download} bytes in %{time_total} s (%{speed_download} bytes/s)\n" \
    "http://127.0.0.1:$((base + $1))$2"
done
echo "daemon peak RSS: before the downloads ${rss_before} kB, after $(awk '/VmHWM/{print $2}' /proc/$pid/status) kB"
