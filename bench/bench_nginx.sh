# shellcheck shell=bash
# nginx on a free loopback port for the benchmarks that count what a server
# sent (sourced by poll_bench.sh and delta_link_bench.sh): no root needed,
# every file under $work/nginx, one access-log line per request with its
# bytes.

# Starts nginx serving the folder $2 with the http-level directives $3,
# its files in $1; waits until the path $4 answers. Sets port, log (the
# access log, emptied once nginx answers) and server_pid (for the caller's
# clean-up). Stops the script when nginx does not start.
start_bench_nginx() {
  local ngx=$1 root=$2 directives=$3 probe=$4
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()')
  log=$ngx/access.log
  mkdir -p "$ngx"
  {
    echo "daemon off; master_process off; worker_processes 1;"
    echo "pid \"$ngx/nginx.pid\"; error_log \"$ngx/error.log\";"
    echo "events { worker_connections 64; }"
    echo "http {"
    echo "  log_format bytes '\$request \$status \$body_bytes_sent';"
    echo "  access_log \"$log\" bytes; default_type application/octet-stream;"
    for temp in client_body proxy fastcgi uwsgi scgi; do echo "  ${temp}_temp_path \"$ngx/$temp\";"; done
    echo "  $directives"
    echo "  server { listen 127.0.0.1:$port; root \"$root\"; }"
    echo "}"
  } >"$ngx/nginx.conf"
  /usr/sbin/nginx -p "$ngx" -c "$ngx/nginx.conf" -e "$ngx/error.log" >/dev/null 2>&1 &
  server_pid=$!
  for _ in $(seq 50); do
    curl -sf -o /dev/null "http://127.0.0.1:$port$probe" 2>/dev/null && break
    sleep 0.1
  done
  curl -sf -o /dev/null "http://127.0.0.1:$port$probe" ||
    { echo "nginx did not start" >&2; cat "$ngx/error.log" >&2; exit 1; }
  : >"$log"
}
