#!/usr/bin/env bash
# The cost of durable outputs: mirelay-batch with its default flushing (each output's data before
# its rename, the folder at the end) against --no-sync, on the standard workload (6 bases of
# 1920 x 1080 x 4 parts) and on 10,000 tiny pairs (100 x 100 bases of 32 x 24), runs alternating
# so both see the same machine. Figures, not a pass/fail test.
#
# usage: bench/sync_bench.sh [BUILD_DIR] [RUNS]   (default: build, 5; needs bin/mirelay-batch)
# The workloads are written under $TMPDIR (default /tmp): flushing costs what that disk costs.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
batch=$(realpath "${1:-build}/bin/mirelay-batch")
runs=${2:-5}
work=$(mktemp -d "${TMPDIR:-/tmp}/mirelay-sync-XXXXXX")
trap 'rm -rf "$work"' EXIT

python3 "$here/batch_workload.py" "$work/std" --bases 6 --parts 4 --size 1920x1080
python3 "$here/batch_workload.py" "$work/tiny" --bases 100 --parts 100 --size 32x24 \
  --part-size 16x12

# Wall milliseconds of one run into an emptied out/.
milliseconds() {
  local folder=$1 start end
  shift
  rm -rf "$folder/out" && mkdir "$folder/out"
  sync
  start=$(date +%s%N)
  "$batch" --quiet --jobs 2 "$@" "$folder/base" "$folder/part" "$folder/out"
  end=$(date +%s%N)
  echo $(((end - start) / 1000000))
}

median() { sort -n | awk '{t[NR]=$1} END {print t[int((NR+1)/2)]}'; }

echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | xargs)," \
  "load average $(cut -d' ' -f1-3 /proc/loadavg) at start; $(date -u +%Y-%m-%d) UTC;" \
  "out/ on $(df --output=fstype "$work" | tail -1) ($(df --output=source "$work" | tail -1))"
echo
echo "| workload | pairs | flushed, ms (median of $runs) | --no-sync, ms | cost |"
echo "|---|---|---|---|---|"
for set in "std 24" "tiny 10000"; do
  read -r name pairs <<<"$set"
  : >"$work/synced" && : >"$work/unsynced"
  for ((i = 0; i < runs; i++)); do
    milliseconds "$work/$name" >>"$work/synced"
    milliseconds "$work/$name" --no-sync >>"$work/unsynced"
  done
  synced=$(median <"$work/synced") unsynced=$(median <"$work/unsynced")
  printf '| %s | %s | %s | %s | %+.1f %% |\n' "$name" "$pairs" "$synced" "$unsynced" \
    "$(echo "100 * ($synced - $unsynced) / $unsynced" | bc -l)"
done
