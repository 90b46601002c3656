#!/usr/bin/env bash
# The native engine beside curl on the same 64 MiB file from the same local
# server, in one run: time of each, their ratio, and the engine's peak memory
# (measured in a process of its own). Not a test: it prints figures and the
# goals they are held against (docs/performance/engine.md).
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"
build_native
bench="$BUILD/native/bench/engine_bench"
work="$(mktemp -d)"
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

head -c $((64 << 20)) /dev/urandom >"$work/body.bin"
http_fixture_start "$work" "$work/http.log"
server_pid=$HTTP_PID port=$HTTP_PORT

runs=${RUNS:-5}
best_curl=""; best_engine=""; peak=""
for _ in $(seq "$runs"); do
  t=$(curl -s -o /dev/null -w '%{time_total}' "http://127.0.0.1:$port/body.bin")
  best_curl=$(python3 -c "print(min(float('$t'), float('${best_curl:-1e9}')))")
  read -r _ status _ bytes _ seconds _ kib < <("$bench" --download-once "$port" /body.bin)
  [ "$status" = 200 ] && [ "$bytes" = $((64 << 20)) ] || { echo "engine download failed: $status $bytes"; exit 1; }
  best_engine=$(python3 -c "print(min(float('$seconds'), float('${best_engine:-1e9}')))")
  peak=$kib
done
python3 - "$best_curl" "$best_engine" "$peak" <<'PY'
import sys
curl, engine, peak_kib = float(sys.argv[1]), float(sys.argv[2]), int(sys.argv[3])
body = 64
peak = peak_kib / 1024
print(f"curl   {curl:.3f} s  {body / curl:8.1f} MiB/s")
print(f"engine {engine:.3f} s  {body / engine:8.1f} MiB/s  ratio {engine / curl:.2f} (goal <= 1.5)")
print(f"engine peak memory {peak:.1f} MiB (goal <= {1.2 * body + 16:.1f} MiB)")
PY
