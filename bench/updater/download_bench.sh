#!/usr/bin/env bash
# Download speed and memory of the updaters' downloader against curl, on loopback.
# Usage: bench/updater/download_bench.sh [build-folder] [megabytes]
# Serves one generated file with Python's web server on 127.0.0.1 (a free port), fetches it
# with curl and with updater_fetch (the downloader as Moltern and Salvent use it), three times
# each, interleaved, and prints MB/s and peak resident memory. The downloader syncs each file
# to the disk before it replaces the target, curl does not: TMPDIR=/dev/shm takes the disk out.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$top/build}
mb=${2:-200}
fetch="$build/tests/updater/updater_fetch"
[ -x "$fetch" ] || { echo "build updater_fetch first (cmake --build $build --target updater_fetch)"; exit 1; }
command -v curl >/dev/null || { echo "curl is not installed"; exit 1; }

work=$(mktemp -d)
server=
cleanup() { [ -n "$server" ] && kill "$server" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
mkdir "$work/www"
head -c "$((mb * 1000 * 1000))" /dev/urandom > "$work/www/big.bin"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$work/www" >/dev/null 2>&1 &
server=$!
url="http://127.0.0.1:$port/big.bin"
for _ in $(seq 50); do curl -sf -o /dev/null -r 0-0 "$url" && break; sleep 0.1; done

now() { date +%s.%N; }
rate() { python3 -c "print(f'{$mb / ($2 - $1):.1f}')"; }
echo "file: $mb MB, loopback, $(nproc) cores"
for run in 1 2 3; do
  t0=$(now); curl -sf -o "$work/curl.bin" "$url"; t1=$(now)
  out=$("$fetch" "$url" "$work/fetch.bin"); t2=$(now)
  cmp -s "$work/curl.bin" "$work/fetch.bin" || { echo "files differ"; exit 1; }
  peak=$(echo "$out" | awk '/peak-rss-kib/ {print $2}')
  echo "run $run: curl $(rate "$t0" "$t1") MB/s, downloader $(rate "$t1" "$t2") MB/s, downloader peak $((peak / 1024)) MiB"
  rm -f "$work/curl.bin" "$work/fetch.bin"
done
