#!/usr/bin/env bash
# Runs mirelay-batch on each input of hostile_inputs.py as the only base (with a 1 x 1 part),
# printing its exit status, CPU seconds, peak resident memory and wall time; then starts the
# slowest again, sends SIGINT while it decodes or writes, and prints how long it took to exit.
# Usage: bench/hostile_inputs.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
batch=$build/bin/mirelay-batch
work=$(mktemp -d "${TMPDIR:-/tmp}/mirelay-hostile-XXXXXX")
trap 'rm -rf "$work"' EXIT

python3 "$root/bench/hostile_inputs.py" "$work/inputs"
mkdir -p "$work/part"
# A 1 x 1 white 24-bit BMP.
printf 'BM\x3a\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\x01\0\0\0\x01\0\0\0\x01\0\x18\0\0\0\0\0\x04\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\xff\xff\xff\0' >"$work/part/p.bmp"

# A fresh base folder holding only `name` (a hard link, so the sparse file stays sparse).
prepare() {
  rm -rf "$work/base" "$work/out"
  mkdir -p "$work/base" "$work/out"
  ln "$work/inputs/$1" "$work/base/$1"
}

echo
echo "| input | size | exit | CPU s | peak RSS MiB | wall s |"
echo "|---|---|---|---|---|---|"
for name in progressive.jpg scans.jpg huge.png rle.bmp animation.gif offscreen.gif sparse.png; do
  prepare "$name"
  status=0
  /usr/bin/time -o "$work/time" -f "%U %S %M %e" \
    "$batch" --quiet --jobs 1 "$work/base" "$work/part" "$work/out" 2>"$work/err" || status=$?
  read -r user system peak wall < <(tail -n 1 "$work/time")
  size=$(stat -c %s "$work/inputs/$name")
  printf '| %s | %s | %s | %.2f | %d | %.2f |\n' "$name" "$size" "$status" \
    "$(echo "$user + $system" | bc)" $((peak / 1024)) "$wall"
  sed 's/^/    /' "$work/err"
done

echo
echo "| input | SIGINT after s | exit | SIGINT to exit, s |"
echo "|---|---|---|---|"
# 1.5 s in, each is decoding; 7 s in, the two 1 GiB pictures are being composed and written.
for run in progressive.jpg:1.5 scans.jpg:1.5 huge.png:1.5 animation.gif:1.5 \
  progressive.jpg:7 huge.png:7; do
  name=${run%%:*} delay=${run##*:}
  prepare "$name"
  "$batch" --quiet --jobs 1 "$work/base" "$work/part" "$work/out" 2>/dev/null &
  pid=$!
  sleep "$delay"
  sent=$(date +%s.%N)
  kill -INT "$pid"
  status=0
  wait "$pid" || status=$?
  ended=$(date +%s.%N)
  printf '| %s | %s | %s | %.3f |\n' "$name" "$delay" "$status" "$(echo "$ended - $sent" | bc)"
done
