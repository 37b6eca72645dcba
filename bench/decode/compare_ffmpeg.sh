#!/usr/bin/env bash
# Decoding speed beside FFmpeg's H.264 decoder at the same bits per macroblock.
#
# For each stream kind (intra-low, intra-high, ipp-low, ipp-high) the decoding benchmark makes our
# 1920x1088 stream with the test-side encoder from raw pictures; libx264 encodes the same raw
# pictures at the same file size in CAVLC (intra only:
# keyint=1; I+P: one I picture, -bf 0 -refs 1; the rate factor that lands nearest). Both
# decoders then run, ours with its decoding thread and loop-filter worker, FFmpeg with
# -threads 1, interleaved, ROUNDS times; the best time of each is compared per macroblock.
#
#   bench/decode/compare_ffmpeg.sh [build dir (default build)]
#   environment: PICTURES=30 ROUNDS=7 CALLGRIND=1 RAW=pictures.yuv STREAMS=dir WRITER=1
# RAW: the raw I420 1920x1088 pictures both encoders get (default: a moving, textured test
# picture with noise).
# STREAMS: a folder with KIND.svac for each kind, used instead of encoding RAW.
# WRITER=1: the stream writer's random-syntax streams instead (x264 still encodes RAW).
# CALLGRIND=1 also counts the instructions of one decode of each (whole process), the figure
# that stays steady on a shared machine. ffmpeg is a benchmark tool only: installed here
# when missing.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$top/build}
bench="$build/bench/bin/pravenna_decode_bench"
[ -x "$bench" ] || bench="$build/bin/pravenna_decode_bench"
pictures=${PICTURES:-30}
rounds=${ROUNDS:-7}

if [ ! -x "$bench" ]; then
  echo "build pravenna_decode_bench first ($bench)" >&2
  exit 1
fi
if ! command -v ffmpeg >/dev/null; then
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
    echo "installing ffmpeg for the comparison"
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends ffmpeg >/dev/null
  else
    echo "ffmpeg is not installed: nothing to compare" >&2
    exit 0
  fi
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

raw=${RAW:-$work/source.yuv}
if [ -z "${RAW:-}" ]; then
  ffmpeg -v error -f lavfi -i "testsrc2=size=1920x1088:rate=25,noise=alls=4:allf=t+u" \
    -frames:v "$pictures" -pix_fmt yuv420p -f rawvideo "$raw"
fi

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
echo "machine: $cpu, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-10s %8s %8s %11s %11s %15s %6s\n' stream "ours b/MB" "x264" "ours MB/s" "ffmpeg MB/s" "ns/MB ours/ff" ratio

best_of() { sort -g | head -1; }

encode() {
  ffmpeg -v error -y -f rawvideo -pix_fmt yuv420p -s 1920x1088 -r 25 -i "$1" -frames:v "$2" \
    -c:v libx264 -preset medium -coder 0 -bf 0 -refs 1 -crf "$3" -x264-params "$4" -f h264 "$5"
}

compare() {
  local kind=$1 ours=$2 params=$3
  local size mbs count x264
  size=$(stat -c %s "$ours")
  mbs=$("$bench" --stream "$ours" --rounds 1 | awk '/^result/ {print $3}')
  count=$(( mbs / 8160 ))
  x264="$work/$kind.264"
  # The constant rate factor whose file comes nearest our size (bisection; a bit-rate target
  # misses badly on so few pictures).
  local lo=0 hi=51 crf best_crf=26 best_gap=-1 got gap
  for _ in 1 2 3 4 5 6; do
    crf=$(( (lo + hi) / 2 ))
    encode "$raw" "$count" "$crf" "$params" "$x264"
    got=$(stat -c %s "$x264")
    gap=$(( got > size ? got - size : size - got ))
    if [ "$best_gap" -lt 0 ] || [ "$gap" -lt "$best_gap" ]; then best_gap=$gap; best_crf=$crf; fi
    if [ "$got" -gt "$size" ]; then lo=$(( crf + 1 )); else hi=$(( crf - 1 )); fi
    [ "$lo" -le "$hi" ] || break
  done
  encode "$raw" "$count" "$best_crf" "$params" "$x264"

  local ours_t=() peer_t=() r
  for ((r = 0; r < rounds; ++r)); do
    ours_t+=("$("$bench" --stream "$ours" --rounds 1 | awk '/^result/ {print $4}')")
    peer_t+=("$(ffmpeg -hide_banner -nostats -threads 1 -i "$x264" -benchmark -f null - 2>&1 |
                awk -F'rtime=' '/bench:/ {sub(/s.*/, "", $2); print $2}')")
  done
  local ot pt
  ot=$(printf '%s\n' "${ours_t[@]}" | best_of)
  pt=$(printf '%s\n' "${peer_t[@]}" | best_of)
  awk -v k="$kind" -v s="$size" -v xs="$(stat -c %s "$x264")" -v m="$mbs" -v o="$ot" -v p="$pt" 'BEGIN {
    printf "%-10s %8.1f %8.1f %11.0f %11.0f %15s %6.2f\n", k, 8 * s / m, 8 * xs / m, m / o, m / p,
           sprintf("%.0f/%.0f", 1e9 * o / m, 1e9 * p / m), o / p }'

  if [ "${CALLGRIND:-0}" = 1 ]; then
    local oi pi
    oi=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null "$bench" --stream "$ours" --rounds 1 2>&1 |
         awk '/Collected/ {print $4}')
    pi=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null ffmpeg -hide_banner -nostats -threads 1 \
         -i "$x264" -f null - 2>&1 | awk '/Collected/ {print $4}')
    awk -v k="$kind" -v m="$mbs" -v o="$oi" -v p="$pi" 'BEGIN {
      printf "%-10s instructions per macroblock: ours %.0f, ffmpeg %.0f, ratio %.2f\n", k, o / m, p / m, o / p }'
  fi
}

for kind in intra-low intra-high ipp-low ipp-high; do
  if [ -n "${STREAMS:-}" ]; then
    stream="$STREAMS/$kind.svac"
  else
    stream="$work/$kind.svac"
    if [ "${WRITER:-0}" = 1 ]; then source=(--writer); else source=(--source "$raw"); fi
    "$bench" --content "$kind" "${source[@]}" --pictures "$pictures" --rounds 1 --save "$stream" >/dev/null
  fi
  case $kind in intra-*) params="keyint=1" ;; *) params="keyint=100000:bframes=0:ref=1" ;; esac
  compare "$kind" "$stream" "$params"
done
echo "ratio: our time per macroblock over FFmpeg's (-threads 1); 1.00 or less: at least as fast"
