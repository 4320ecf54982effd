#!/usr/bin/env bash
# Measures mirelay-batch against the per-pair floor and against ImageMagick on a seeded workload,
# and prints a Markdown table. Figures, not a pass/fail test: the machine is shared, so run it
# on a quiet machine and read the goals column against the measured one.
#
# usage: bench/batch_bench.sh [BUILD_DIR] [--results FILE]
#   BUILD_DIR (default: build) must hold bin/mirelay-batch and bench/mirelay_bench.
#   --results FILE also writes the table, with the machine it ran on, to FILE.
# ImageMagick's rows are left out when `convert` is not the real one; installing the Debian
# package `imagemagick` brings it.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=build
results=""
while [[ $# -gt 0 ]]; do
  case "$1" in
    --results) results=$2; shift 2 ;;
    *) build=$1; shift ;;
  esac
done
batch=$(realpath "$build/bin/mirelay-batch")
floor_bench=$(realpath "$build/bench/mirelay_bench")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A stand-in `convert` may come first on PATH; the Debian package's is in /usr/bin.
magick=$(command -v /usr/bin/convert || command -v convert || true)
export magick
have_magick() { [[ -n "$magick" ]] && "$magick" -version 2>/dev/null | grep -q ImageMagick; }

# Seconds and peak KiB of a command, as "seconds kib".
measure() {
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>"$work/stderr" || {
    cat "$work/stderr" >&2
    return 1
  }
  cat "$work/time"
}

floor_ms() {
  MIRELAY_BENCH_WORKLOAD=$1 taskset -c 0 "$floor_bench" --benchmark_filter=BM_BatchFloorPerPair \
    --benchmark_format=json 2>/dev/null |
    python3 -c 'import json,sys; print(json.load(sys.stdin)["benchmarks"][0]["real_time"])'
}

magick_pair() {
  local base=$1 part=$2 out=$3
  local key
  key=$("$magick" "$part" -format '%[hex:p{0,0}]' info:)
  "$magick" "$base" \( "$part" -fuzz 0 -transparent "#$key" \) -composite \
    -define png:compression-level=6 -define png:compression-filter=1 \
    -define png:compression-strategy=0 "PNG24:$out"
}
export -f magick_pair

# Runs ImageMagick over every pair with $2 processes on cores $3; prints "seconds peak-kib".
magick_run() {
  local set=$1 jobs=$2 cores=$3
  rm -rf "$set/magick" && mkdir "$set/magick"
  for base in "$set"/base/*.png; do
    for part in "$set"/part/*.png; do
      b=$(basename "$base" .png) p=$(basename "$part" .png)
      printf '%s\0%s\0%s\0' "$base" "$part" "$set/magick/$b$p.png"
    done
  done >"$work/pairs"
  local start end
  start=$(date +%s.%N)
  taskset -c "$cores" xargs -0 -n 3 -P "$jobs" /usr/bin/time -f "%M" -a -o "$work/magick-rss" \
    bash -c 'magick_pair "$@"' _ <"$work/pairs"
  end=$(date +%s.%N)
  echo "$(python3 -c "print(round($end - $start, 2))") $(sort -n "$work/magick-rss" | tail -1)"
  rm -f "$work/magick-rss"
}

# Largest decoded image in bytes (24-bit rows padded to 4 bytes).
largest_image() {
  python3 - "$1" <<'PY'
import glob, struct, sys
best = 0
for path in glob.glob(sys.argv[1] + "/*/*.png"):
    with open(path, "rb") as f:
        width, height = struct.unpack(">II", f.read(24)[16:24])
    best = max(best, (3 * width + 3) // 4 * 4 * height)
print(best)
PY
}

run_set() {
  local name=$1 set=$2 pairs=$3
  local floor one two magick1 magick2 equal="n/a"
  floor=$(floor_ms "$set")
  rm -rf "$set/out" && mkdir "$set/out"
  one=$(measure taskset -c 0 "$batch" --quiet --jobs 1 "$set/base" "$set/part" "$set/out")
  rm -rf "$set/out" && mkdir "$set/out"
  two=$(measure taskset -c 0,1 "$batch" --quiet --jobs 2 "$set/base" "$set/part" "$set/out")
  magick1="" magick2=""
  if have_magick; then
    magick1=$(magick_run "$set" 1 0)
    magick2=$(magick_run "$set" 2 0,1)
    equal=yes
    for ours in "$set"/out/*.png; do
      diff=$("$(dirname "$magick")/compare" -metric AE "$ours" "$set/magick/$(basename "$ours")" null: 2>&1 || true)
      [[ "$diff" == "0" ]] || equal="no ($(basename "$ours"): $diff pixels differ)"
    done
  fi
  python3 - "$name" "$pairs" "$floor" "$one" "$two" "$magick1" "$magick2" "$equal" \
    "$(largest_image "$set")" <<'PY'
import sys
name, pairs, floor, one, two, m1, m2, equal, largest = sys.argv[1:]
pairs, floor, largest = int(pairs), float(floor), int(largest)
one_s, one_kib = map(float, one.split())
two_s, two_kib = map(float, two.split())
one_ms, two_ms = 1000 * one_s / pairs, 1000 * two_s / pairs
limit_mib = lambda jobs: ((jobs + 2) * largest + (1 << 30)) / 2**20
rows = [
    ("floor: decode both + deflate L6, one core", f"{floor:.1f}", "", "", "-"),
    ("mirelay-batch --jobs 1", f"{one_ms:.1f}", f"{one_ms / floor:.2f}x floor",
     f"{one_kib / 1024:.0f} (limit {limit_mib(1):.0f})", "<= 1.0x floor"),
    ("mirelay-batch --jobs 2", f"{two_ms:.1f}", f"{one_s / two_s:.2f}x jobs 1",
     f"{two_kib / 1024:.0f} (limit {limit_mib(2):.0f})", ">= 1.8x jobs 1"),
]
if m1:
    m1_s, m1_kib = map(float, m1.split())
    m2_s, m2_kib = map(float, m2.split())
    rows += [
        ("ImageMagick, 1 process", f"{1000 * m1_s / pairs:.1f}",
         f"ours {m1_s / one_s:.2f}x faster", f"{m1_kib / 1024:.0f} per process",
         "ours >= 1.3x faster"),
        ("ImageMagick, 2 processes", f"{1000 * m2_s / pairs:.1f}",
         f"ours --jobs 2 {m1_s / two_s:.2f}x faster than IM 1 process", f"{m2_kib / 1024:.0f} per process",
         "ours >= 2.5x faster"),
    ]
print(f"\n### {name} ({pairs} pairs)\n")
print("| run | ms per pair | ratio | peak RSS MiB | goal |")
print("| --- | ---: | --- | --- | --- |")
for row in rows:
    print("| " + " | ".join(row) + " |")
print(f"\nPixels equal to ImageMagick's at threshold 0: {equal}")
PY
}

report() {
  echo "## mirelay-batch benchmark"
  echo
  echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | xargs)," \
    "$(free -g | awk '/Mem:/ {print $2}') GiB, load average $(cut -d' ' -f1-3 /proc/loadavg) at start;" \
    "$(date -u +%Y-%m-%d) UTC"
  echo
  echo "Workload: bench/batch_workload.py --seed 1; PNG output (filter None, zlib level 6)."
  echo "Per-pair times are wall time / pairs; --jobs 1 and the one-process runs are pinned to one core."
  python3 "$here/batch_workload.py" "$work/hd" --bases 6 --parts 4 --size 1920x1080
  run_set "1920x1080 bases, 640x480 parts" "$work/hd" 24
  python3 "$here/batch_workload.py" "$work/large" --bases 2 --parts 4 --size 4000x3000
  run_set "4000x3000 bases, 640x480 parts" "$work/large" 8
}

if [[ -n "$results" ]]; then
  report | tee "$results"
else
  report
fi
