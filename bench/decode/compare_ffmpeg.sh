#!/usr/bin/env bash
# Decoding cost beside FFmpeg's H.264 decoder at the same bits per macroblock, in CPU time.
#
#   bench/decode/compare_ffmpeg.sh [build dir (default build)]
#   environment: SET=default|writer|hard PICTURES=30 REPEAT=20 ROUNDS=7 CALLGRIND=1
#                RAW=pictures.yuv STREAMS=dir TASKSET=cpus
#
# Sets (1920x1088, one stream per row):
#   default  the test-side encoder's streams from RAW: intra-low, intra-high, ipp-low, ipp-high
#   writer   the stream writer's random-syntax streams: intra (one stream for both rates),
#            ipp-low, ipp-high (WRITER=1 is the same)
#   hard     the encoder's I+P streams with every tool and a low skip share: hard-low,
#            hard-high
# libx264 encodes RAW at the file size of ours in CAVLC (intra: keyint=1; I+P: one I picture,
# -bf 0 -refs 1; the rate factor that lands nearest). Where x264's skipped share at that size
# lies more than 15 points from ours (the writer's random syntax packs far more coded
# macroblocks into a bit than a camera picture does), a second line "same skip" times ours
# against x264 at the rate factor whose skipped share comes nearest ours, with its own size and
# content: the same size and the same structure, side by side.
# RAW: raw I420 1920x1088 pictures (default: a moving, textured test picture with noise).
# STREAMS: a folder with ROW.svac for each row of the set, used instead of making them.
# TASKSET: run both decoders under taskset -c (for example 2,3).
#
# What is measured, the same way for both sides: each decoder runs as a whole process that
# decodes a file (ours: pravenna_decode_bench --stream FILE --rounds 1, the loop filter as the
# decoder chooses it; FFmpeg: -threads 1 -i FILE -f null -), and its CPU time is the
# user + system time of the whole process, all threads, as the shell's time reports it.
# The file is the row's stream of PICTURES pictures written REPEAT times one after the other
# (each copy begins with its parameter sets and a key picture, so it decodes as REPEAT
# consecutive groups): the decoding then outweighs the process start-up (FFmpeg's alone is
# some hundreds of ms), which 30 pictures do not. Each side must output REPEAT x PICTURES
# pictures, else n/a.
# Each also decodes the same file stopping after its first picture (ours --frames 1, FFmpeg
# -frames:v 1): that is the process's start-up cost (FFmpeg loads many libraries), shown apart
# ("start ms", least of the rounds). Rounds alternate between the two sides. "ns/MB" is the
# CPU time of the pictures after the first, (whole - start) per macroblock of those pictures,
# and "ratio" ours over FFmpeg's of it, each given twice: from the least CPU time of each run
# kind over the rounds and from the median ("least" and "median" columns); where the two lie
# far apart the machine was noisy. "paired" is the median over the rounds of each round's own
# ratio (its two whole runs, which ran one after the other, less the least start-ups): load
# that changes slowly between rounds touches both sides of a round alike. "whole" is the ratio of the least whole-process CPU times,
# start-up included. A run that fails or outputs another number of pictures than the file
# holds prints n/a.
# CALLGRIND=1 also counts the instructions of one whole-process decode of each under valgrind
# (of the stream written once, PICTURES pictures);
# a side that does not run to the end there, or outputs fewer pictures, prints n/a.
# Content per row ("made of"): skipped, partitioned (two or more vectors), intra 4x4 and 8x8
# shares of all macroblocks, fractional-vector share of the coded inter ones: ours from the
# encoder's or writer's counts, x264's from its own statistics (which do not give
# fractional vectors: n/a). FFmpeg is a benchmark tool only: installed here when missing.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$top/build}
bench="$build/bench/bin/pravenna_decode_bench"
pictures=${PICTURES:-30}
repeat=${REPEAT:-20}
rounds=${ROUNDS:-7}
set_name=${SET:-default}
[ "${WRITER:-0}" = 1 ] && set_name=writer
case $set_name in
  default) rows="intra-low intra-high ipp-low ipp-high" ;;
  writer) rows="intra ipp-low ipp-high" ;;
  hard) rows="hard-low hard-high" ;;
  *) echo "SET is default, writer or hard" >&2; exit 2 ;;
esac
pin=()
[ -n "${TASKSET:-}" ] && pin=(taskset -c "$TASKSET")

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
if [ "${CALLGRIND:-0}" = 1 ] && ! command -v valgrind >/dev/null; then
  echo "valgrind is not installed: CALLGRIND=1 needs it" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

raw=${RAW:-$work/source.yuv}
if [ -z "${RAW:-}" ]; then
  ffmpeg -v error -f lavfi -i "testsrc2=size=1920x1088:rate=25,noise=alls=4:allf=t+u" \
    -frames:v "$pictures" -pix_fmt yuv420p -f rawvideo "$raw"
fi

# Runs a command as a whole process; prints "CPU-SECONDS WALL-SECONDS" (CPU: user + system,
# every thread) and leaves its output in $work/out. Fails when the command fails.
measure() {
  local t status=0
  t=$( { TIMEFORMAT='%3U %3S %3R'; time "${pin[@]}" "$@" >"$work/out" 2>&1 || status=$?; } 2>&1 )
  [ "$status" = 0 ] || return 1
  awk '{ printf "%.3f %.3f\n", $1 + $2, $3 }' <<<"$t"
}
ours_pictures() { awk '/^result/ {print $6}' "$work/out"; }
# FFmpeg's last progress line: "frame=   30 fps=...".
peer_pictures() { tr '\r' '\n' <"$work/out" | awk '/^frame=/ {sub(/^frame= */, ""); n = $1} END {print n + 0}'; }

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
echo "machine: $cpu, $(nproc) cores${TASKSET:+, pinned to $TASKSET}, load $(cut -d' ' -f1-3 /proc/loadavg) at start"
echo "set: $set_name, $pictures pictures written $repeat times, $rounds rounds; CPU time = user + system of the whole process"
printf '%-10s %9s %9s %16s %15s %15s %6s %6s %6s %6s\n' row "ours b/MB" "x264 b/MB" "start ms ours/ff" \
  "ns/MB least" "ns/MB median" ratio ratio ratio whole
printf '%-10s %9s %9s %16s %15s %15s %6s %6s %6s %6s\n' "" "" "" "" "ours/ff" "ours/ff" least median paired ""

encode() {
  ffmpeg -hide_banner -nostats -y -f rawvideo -pix_fmt yuv420p -s 1920x1088 -r 25 -i "$1" -frames:v "$2" \
    -c:v libx264 -preset medium -coder 0 -bf 0 -refs 1 -crf "$3" -x264-params "$4" -f h264 "$5"
}

# x264's statistics as "skip P part P frac n/a i4 P i8 P i16 P" over all macroblocks.
x264_mix() {
  awk '
    /frame I:/ { split($0, a, "frame I:"); split(a[2], b, " "); ni = b[1] }
    /frame P:/ { split($0, a, "frame P:"); split(a[2], b, " "); np = b[1] }
    /mb I  I16..4:/ { sub(/.*I16..4:/, ""); gsub(/%/, ""); i16i = $1; i8i = $2; i4i = $3 }
    /mb P  I16..4:/ {
      sub(/.*I16..4:/, ""); gsub(/%/, ""); gsub(/P16..4:/, ""); gsub(/skip:/, "")
      i16p = $1; i8p = $2; i4p = $3; part = $5 + $6 + $7 + $8; skip = $9 }
    END {
      n = ni + np; if (n == 0) { print "n/a"; exit }
      printf "skip %.1f part %.1f frac n/a i4 %.1f i8 %.1f i16 %.1f\n", skip * np / n, part * np / n,
             (i4i * ni + i4p * np) / n, (i8i * ni + i8p * np) / n, (i16i * ni + i16p * np) / n }' "$1"
}

# The x264 file ($work/$row.264, its log $work/x264.log) at the constant rate factor that
# brings key(file) nearest to the goal (bisection over 0..51; key falls as the factor rises).
# key: "size" (bytes) or "skip" (skipped share in per cent, from x264's statistics).
encode_nearest() {
  local count=$1 params=$2 key=$3 goal=$4 out=$5
  local lo=0 hi=51 crf best_crf=26 best_gap=-1 got gap
  for _ in 1 2 3 4 5 6; do
    crf=$(( (lo + hi) / 2 ))
    encode "$raw" "$count" "$crf" "$params" "$out" >"$work/x264.log" 2>&1
    case $key in
      size) got=$(stat -c %s "$out") ;;
      skip) got=$(x264_mix "$work/x264.log" | awk '{ printf "%.0f", 10 * $2 }')
            got=$(( 1000 - got )) ;;   # the unskipped share: falls as the factor rises
    esac
    gap=$(( got > goal ? got - goal : goal - got ))
    if [ "$best_gap" -lt 0 ] || [ "$gap" -lt "$best_gap" ]; then best_gap=$gap; best_crf=$crf; fi
    if [ "$got" -gt "$goal" ]; then lo=$(( crf + 1 )); else hi=$(( crf - 1 )); fi
    [ "$lo" -le "$hi" ] || break
  done
  encode "$raw" "$count" "$best_crf" "$params" "$out" >"$work/x264.log" 2>&1
}

compare() {
  local row=$1 ours=$2 params=$3 mix=$4
  local size mbs count x264
  size=$(stat -c %s "$ours")
  measure "$bench" --stream "$ours" --rounds 1 >/dev/null || { echo "$row: our decoder failed" >&2; return; }
  mbs=$(awk '/^result/ {print $3}' "$work/out")
  count=$(ours_pictures)
  x264="$work/$row.264"
  # A bit-rate target misses badly on so few pictures: the rate factor is searched instead.
  encode_nearest "$count" "$params" size "$size" "$x264"
  time_pair "$row" "$ours" "$x264" "$mix"
  # Where the skipped shares at the same size lie far apart (the writer's random syntax skips
  # far less than x264 does, the default encoder far more), also against x264 at ours.
  local our_skip
  our_skip=$(awk '{ for (i = 1; i < NF; ++i) if ($i == "skip") printf "%.0f", 10 * $(i + 1) }' <<<"$mix")
  if [ -n "$our_skip" ] && [ "$our_skip" -gt 0 ] && [ "$(x264_mix "$work/x264.log" | awk -v s="$our_skip" \
       '{ d = 10 * $2 - s; print (d > 150 || d < -150) ? 1 : 0 }')" = 1 ]; then
    local same="$work/$row.same.264"
    encode_nearest "$count" "$params" skip "$(( 1000 - our_skip ))" "$same"
    time_pair "  same skip" "$ours" "$same" "$mix" quiet
  fi
  callgrind_pair "$row" "$ours" "$x264" "$mbs" "$count"
}

# Times our stream against one x264 stream over the rounds and prints the row (and, unless
# quiet, what our content is made of); x264's statistics are read from $work/x264.log.
time_pair() {
  local row=$1 ours=$2 x264=$3 mix=$4 quiet=${5:-}
  local size mbs count
  size=$(stat -c %s "$ours")
  measure "$bench" --stream "$ours" --rounds 1 >/dev/null || return
  mbs=$(awk '/^result/ {print $3}' "$work/out")
  count=$(ours_pictures)
  # Both streams written REPEAT times: the files the rounds decode.
  local ours_rep="$work/ours.rep.svac" x264_rep="$work/x264.rep.264" i
  : >"$ours_rep"
  : >"$x264_rep"
  for ((i = 0; i < repeat; ++i)); do
    cat "$ours" >>"$ours_rep"
    cat "$x264" >>"$x264_rep"
  done
  local total=$(( count * repeat ))

  local ours_cpu=() peer_cpu=() ours_one=() peer_one=() r m
  for ((r = 0; r < rounds; ++r)); do
    if m=$(measure "$bench" --stream "$ours_rep" --rounds 1) && [ "$(ours_pictures)" = "$total" ]; then
      ours_cpu+=("${m%% *}")
    fi
    if m=$(measure ffmpeg -hide_banner -nostats -threads 1 -i "$x264_rep" -an -f null -) &&
       [ "$(peer_pictures)" = "$total" ]; then
      peer_cpu+=("${m%% *}")
    fi
    if m=$(measure "$bench" --stream "$ours_rep" --rounds 1 --frames 1) && [ "$(ours_pictures)" = 1 ]; then
      ours_one+=("${m%% *}")
    fi
    if m=$(measure ffmpeg -hide_banner -nostats -threads 1 -i "$x264_rep" -an -frames:v 1 -f null -) &&
       [ "$(peer_pictures)" = 1 ]; then
      peer_one+=("${m%% *}")
    fi
  done
  # Least and median of a list of CPU times; n/a unless every round of the kind succeeded.
  least() { if [ $# -eq "$rounds" ]; then printf '%s\n' "$@" | sort -g | head -1; else echo n/a; fi; }
  median() {
    if [ $# -eq "$rounds" ]; then
      printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { h = int((NR + 1) / 2)
        printf "%.3f\n", NR % 2 ? v[h] : (v[h] + v[h + 1]) / 2 }'
    else echo n/a; fi
  }
  awk -v k="$row" -v s="$size" -v xs="$(stat -c %s "$x264")" -v m="$mbs" -v n="$count" -v rp="$repeat" \
      -v o="$(least "${ours_cpu[@]}")" -v p="$(least "${peer_cpu[@]}")" \
      -v o1="$(least "${ours_one[@]}")" -v p1="$(least "${peer_one[@]}")" \
      -v om="$(median "${ours_cpu[@]}")" -v pm="$(median "${peer_cpu[@]}")" \
      -v om1="$(median "${ours_one[@]}")" -v pm1="$(median "${peer_one[@]}")" \
      -v ol="${ours_cpu[*]}" -v pl="${peer_cpu[*]}" '
    # Per macroblock of the pictures after the first, "ours/ff", and the ratio.
    function per_mb(o, o1, p, p1) {
      if (o == "n/a" || p == "n/a" || o1 == "n/a" || p1 == "n/a" || total < 2 || p <= p1 || o <= o1) {
        ns = "n/a"; rs = "n/a"; return }
      ns = sprintf("%.0f/%.0f", 1e9 * (o - o1) / rest, 1e9 * (p - p1) / rest)
      rs = sprintf("%.2f", (o - o1) / (p - p1))
    }
    BEGIN {
    # m: macroblocks of one copy of the stream (n pictures).
    total = n * rp
    rest = m * rp * (total - 1) / total
    st = (o1 == "n/a" || p1 == "n/a") ? "n/a" : sprintf("%.0f/%.0f", 1e3 * o1, 1e3 * p1)
    per_mb(o, o1, p, p1); nsl = ns; rsl = rs
    per_mb(om, om1, pm, pm1); nsm = ns; rsm = rs
    ws = (o != "n/a" && p != "n/a" && p > 0) ? sprintf("%.2f", o / p) : "n/a"
    # Paired: the median of the rounds own ratios (every round of both kinds succeeded).
    rp_s = "n/a"
    if (rsl != "n/a") {
      c = split(ol, ov, " "); split(pl, pv, " "); bad = 0
      for (i = 1; i <= c; ++i) {
        if (pv[i] <= p1 || ov[i] <= o1) bad = 1
        else q[i] = (ov[i] - o1) / (pv[i] - p1)
      }
      if (!bad) {
        for (i = 2; i <= c; ++i) for (j = i; j > 1 && q[j - 1] > q[j]; --j) { t = q[j]; q[j] = q[j - 1]; q[j - 1] = t }
        h = int((c + 1) / 2)
        rp_s = sprintf("%.2f", c % 2 ? q[h] : (q[h] + q[h + 1]) / 2)
      }
    }
    printf "%-10s %9.1f %9.1f %16s %15s %15s %6s %6s %6s %6s\n", k, 8 * s / m, 8 * xs / m, st, nsl, nsm,
           rsl, rsm, rp_s, ws }'
  [ -n "$quiet" ] || echo "           made of, ours: ${mix:-n/a}"
  echo "           made of, x264: $(x264_mix "$work/x264.log")"
}

callgrind_pair() {
  local row=$1 ours=$2 x264=$3 mbs=$4 count=$5

  if [ "${CALLGRIND:-0}" = 1 ]; then
    local oi=n/a pi=n/a
    if (valgrind --tool=callgrind --callgrind-out-file=/dev/null "$bench" --stream "$ours" --rounds 1 \
          >"$work/out" 2>"$work/vg"; exit $?) 2>/dev/null && [ "$(ours_pictures)" = "$count" ]; then
      oi=$(awk '/Collected/ {print $4}' "$work/vg")
    fi
    # In a subshell: a side killed by a signal (SIGILL) leaves no shell message in the table.
    if (valgrind --tool=callgrind --callgrind-out-file=/dev/null ffmpeg -hide_banner -nostats -threads 1 \
          -i "$x264" -an -f null - >"$work/vg" 2>&1; exit $?) 2>/dev/null; then
      cp "$work/vg" "$work/out"
      [ "$(peer_pictures)" = "$count" ] && pi=$(awk '/Collected/ {print $4}' "$work/vg")
    fi
    awk -v k="$row" -v m="$mbs" -v o="${oi:-n/a}" -v p="${pi:-n/a}" 'BEGIN {
      os = o == "n/a" ? "n/a" : sprintf("%.0f", o / m)
      ps = p == "n/a" ? "n/a" : sprintf("%.0f", p / m)
      rs = (o == "n/a" || p == "n/a") ? "n/a" : sprintf("%.2f", o / p)
      printf "           instructions per macroblock (whole process): ours %s, ffmpeg %s, ratio %s\n", os, ps, rs }'
  fi
}

for row in $rows; do
  mix=
  if [ -n "${STREAMS:-}" ]; then
    stream="$STREAMS/$row.svac"
  else
    stream="$work/$row.svac"
    case $set_name in
      writer) source=(--writer) ;;
      *) source=(--source "$raw") ;;
    esac
    content=$row
    [ "$row" = intra ] && content=intra-high
    "$bench" --content "$content" "${source[@]}" --pictures "$pictures" --rounds 1 --save "$stream" >"$work/made"
    mix=$(awk '/^mix / {sub(/^mix /, ""); print}' "$work/made")
  fi
  case $row in intra*) params="keyint=1" ;; *) params="keyint=100000:bframes=0:ref=1" ;; esac
  compare "$row" "$stream" "$params" "$mix"
done
echo "load $(cut -d' ' -f1-3 /proc/loadavg) at end"
echo "ratio: our CPU time per macroblock after start-up over FFmpeg's (-threads 1); 1.00 or less: no more CPU than FFmpeg"
