#!/usr/bin/env bash
# Download throughput: curl, a bare URL-cache download and DownloadKitFile (with
# its progress callback and counters) fetch the same 256 MiB file from the kit
# test server. Builds nothing: pass a build folder that holds download_bench.exe
# and whose prefixes exist (tests/bench/make_prefixes.sh).
#   download_bench.sh BUILD_DIR [PREFIX_NAME=win32] [ROUNDS=1] [SIZE_MIB=256]
set -euo pipefail
build=$(realpath "$1")
prefix=$build/prefixes/${2:-win32}
rounds=${3:-1}
size_mib=${4:-256}
here=$(cd "$(dirname "$0")" && pwd)
exe=$build/tests/download_bench.exe
[ -f "$exe" ] || { echo "no $exe; build the target download_bench first" >&2; exit 1; }
[ -d "$prefix" ] || { echo "no prefix $prefix" >&2; exit 1; }

work=$(mktemp -d /tmp/kitbench.XXXXXX)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

mkdir "$work/root"
head -c $((size_mib * 1024 * 1024)) /dev/urandom > "$work/root/kit.bin"
bytes=$(stat -c %s "$work/root/kit.bin")
python3 "$here/../support/kit_http_server.py" --root "$work/root" --port-file "$work/port" &
server_pid=$!
for _ in $(seq 1 100); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(cat "$work/port")
url=http://127.0.0.1:$port/kit.bin

best_curl=
for r in $(seq 1 "$rounds"); do
  t=$(curl -s -o "$work/curl.bin" -w '%{time_total}' "$url?bench=curl-$r")
  got=$(stat -c %s "$work/curl.bin")
  [ "$got" = "$bytes" ] || { echo "curl got $got of $bytes bytes" >&2; exit 1; }
  rm -f "$work/curl.bin"
  if [ -z "$best_curl" ] || awk -v a="$t" -v b="$best_curl" 'BEGIN{exit !(a<b)}'; then best_curl=$t; fi
done

out=$("$here/run_in_prefix.sh" "$prefix" "$exe" "$url" "$rounds" 2>"$work/stderr" | tr -d '\r')
grep '^round' "$work/stderr" || true
echo "$out"
bare=$(sed -n 's/^bare_seconds=\([0-9.]*\) bytes=\([0-9]*\).*/\1 \2/p' <<<"$out")
kit=$(sed -n 's/^kit_seconds=\([0-9.]*\) bytes=\([0-9]*\) counted=\([0-9]*\).*/\1 \2 \3/p' <<<"$out")
read -r bare_s bare_b <<<"$bare"
read -r kit_s kit_b kit_counted <<<"$kit"
[ "$bare_b" = "$bytes" ] || { echo "bare download got $bare_b of $bytes bytes" >&2; exit 1; }
[ "$kit_b" = "$bytes" ] || { echo "kit download got $kit_b of $bytes bytes" >&2; exit 1; }
[ "$kit_counted" = "$bytes" ] || echo "warning: kit download counted $kit_counted of $bytes bytes" >&2

awk -v n="$bytes" -v c="$best_curl" -v b="$bare_s" -v k="$kit_s" -v rounds="$rounds" -v pfx="$(basename "$prefix")" 'BEGIN {
  mib = n / 1048576
  printf "file: %d MiB, prefix %s, best of %d round(s)\n", mib, pfx, rounds
  printf "curl:                       %8.3f s  %8.1f MiB/s\n", c, mib / c
  printf "URLDownloadToCacheFileW:    %8.3f s  %8.1f MiB/s\n", b, mib / b
  printf "DownloadKitFile (callback): %8.3f s  %8.1f MiB/s\n", k, mib / k
  printf "DownloadKitFile / bare: %.3f (bar >= 0.95)\n", b / k
  printf "DownloadKitFile / curl: %.3f\n", c / k
}'
