# Source it: nginx_start <root> <work dir> [<certificate> <key>] serves
# <root> on a free port of 127.0.0.1 (NGINX_PORT), over TLS when a
# certificate and key are given, from a configuration of its own in
# <work dir>, in the foreground of a background job (NGINX_PID); nginx_stop
# ends it.
nginx_start() {
  local root="$1" work="$2" certificate="${3:-}" key="${4:-}"
  local listen="" scheme=http curl_trust=()
  NGINX_PORT=$(free_port)
  listen="127.0.0.1:$NGINX_PORT"
  if [ -n "$certificate" ]; then
    listen="$listen ssl;
    ssl_certificate $certificate;
    ssl_certificate_key $key"
    scheme=https
    curl_trust=(-k)
  fi
  mkdir -p "$work/nginx"
  cat >"$work/nginx/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  types { application/octet-stream bin; text/plain txt; }
  server {
    listen $listen;
    root $root;
  }
}
CONF
  /usr/sbin/nginx -c "$work/nginx/nginx.conf" -p "$work/nginx" &
  NGINX_PID=$!
  # Ready once it answers.
  local tries=0
  until curl -s "${curl_trust[@]}" -o /dev/null "$scheme://127.0.0.1:$NGINX_PORT/"; do
    tries=$((tries + 1))
    [ "$tries" -lt 200 ] || { echo "nginx did not start" >&2; return 1; }
    kill -0 "$NGINX_PID" 2>/dev/null || { cat "$work/nginx/error.log" >&2; return 1; }
    sleep 0.05
  done
}

nginx_stop() {
  [ -n "${NGINX_PID:-}" ] && kill "$NGINX_PID" 2>/dev/null && wait "$NGINX_PID" 2>/dev/null
  NGINX_PID=""
}
