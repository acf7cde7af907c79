#!/usr/bin/env bash
# Runs a command while a kit test HTTP server serves a fresh temporary folder.
#   with_http_server.sh COMMAND [ARGS...]
# The command sees
#   KIT_TEST_HTTP_PORT      the server's port on 127.0.0.1
#   KIT_TEST_HTTP_ROOT      the served folder (a Linux path under /tmp)
#   KIT_TEST_HTTP_ROOT_WIN  the same folder as Windows programs under Wine see it (Z:\tmp\...)
# KIT_TEST_HTTP_RATE, when set, throttles every body to that many bytes per second.
# The server and the folder are removed afterwards; the exit code is the command's.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(mktemp -d /tmp/kithttp.XXXXXX)
port_file=$root.port
log_file=$root.log
rate_args=()
if [ -n "${KIT_TEST_HTTP_RATE:-}" ]; then rate_args=(--rate "$KIT_TEST_HTTP_RATE"); fi

python3 "$here/kit_http_server.py" --root "$root" --port-file "$port_file" --log "$log_file" "${rate_args[@]}" &
server_pid=$!

cleanup() {
  kill "$server_pid" 2>/dev/null
  wait "$server_pid" 2>/dev/null
  rm -rf "$root" "$port_file" "$log_file"
}
trap cleanup EXIT

for _ in $(seq 1 100); do
  [ -s "$port_file" ] && break
  if ! kill -0 "$server_pid" 2>/dev/null; then echo "kit http server did not start" >&2; exit 1; fi
  sleep 0.1
done
if [ ! -s "$port_file" ]; then echo "kit http server did not report its port" >&2; exit 1; fi

export KIT_TEST_HTTP_PORT=$(tr -d '[:space:]' < "$port_file")
export KIT_TEST_HTTP_ROOT=$root
export KIT_TEST_HTTP_ROOT_WIN="Z:$(printf '%s' "$root" | tr '/' '\\')"
"$@"
status=$?
exit $status
