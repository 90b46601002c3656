#!/usr/bin/env bash
# 64 MiB over HTTPS from a local server: curl beside Wexlo.exe under Wine
# (a JScript client polling Busy), best of RUNS each, with the test CA that
# only curl's --cacert and the benchmark's Wine prefix trust. The server is
# nginx when it is installed, else the Python fixture, which is far slower
# (then the figures say more about the fixture than about either client).
# Not a test: it prints figures.
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"
build_windows win32 win64
wine_select
work="$(mktemp -d)"; server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  wine_stop; rm -rf "$work"
}
trap cleanup EXIT

tls_dir="$BUILD/tls"
tls_certificates "$tls_dir"
head -c $((64 << 20)) /dev/urandom >"$work/body.bin"
# nginx's workers may run as another user: they must be able to read it.
chmod 755 "$work"; chmod 644 "$work/body.bin"
if command -v nginx >/dev/null 2>&1; then
  server=nginx
  source "$ROOT/bench/nginx.sh"
  nginx_start "$work" "$work" "$tls_dir/localhost.pem" "$tls_dir/server.key"
  server_pid=$NGINX_PID port=$NGINX_PORT
else
  server="the Python fixture"
  tls_fixture_start "$work" "$tls_dir" localhost.pem
  server_pid=$TLS_PID port=$TLS_PORT
fi

wine_prefix "$BUILD/bench-prefix-$WEX_WIN_ARCH"
wine_trust_test_ca "$BUILD/$WEX_WIN_ARCH" "$tls_dir/ca.pem"
"$WINE" "$BUILD/$WEX_WIN_ARCH/bin/Wexlo.exe" /RegServer
runs=${RUNS:-3}
for _ in $(seq "$runs"); do
  printf 'curl %s\n' "$(curl -s -o /dev/null --cacert "$tls_dir/ca.pem" -w '%{time_total}' "https://localhost:$port/body.bin")"
  "$WINE" cscript //nologo "$(winpath "$ROOT/bench/wine_https_download.js")" "$port" /body.bin | tr -d '\r'
done | python3 -c '
import sys, collections
best = collections.defaultdict(lambda: float("inf"))
for line in sys.stdin:
    parts = line.split()
    if len(parts) >= 2 and parts[0] in ("curl", "https_download"):
        best[parts[0]] = min(best[parts[0]], float(parts[1]))
    elif parts and parts[0] == "https_bytes" and parts[1] != str(64 << 20):
        sys.exit("Wexlo.exe received %s bytes over HTTPS" % parts[1])
    elif parts and parts[0] == "failed":
        sys.exit("Wexlo.exe over HTTPS: " + line.strip())
c, d = best["curl"], best["https_download"]
print("server: '"$server"'")
print("curl over HTTPS          %.3f s" % c)
print("Wexlo.exe over HTTPS     %.3f s  ratio %.2f to curl" % (d, d / c))
'
