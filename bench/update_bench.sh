#!/usr/bin/env bash
# Times mirelay-batch --update on a finished batch of 100 bases x 100 parts (10,000 pairs), where
# nothing or one base's pairs are left to do, beside a dry run (folder listing and naming only).
# Figures, not a pass/fail test.
#
# usage: bench/update_bench.sh [BUILD_DIR]   (default: build; needs bin/mirelay-batch)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
batch=$(realpath "${1:-build}/bin/mirelay-batch")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
runs=5

python3 "$here/batch_workload.py" "$work" --bases 100 --parts 100 --size 32x24 --part-size 16x12
folders=("$work/base" "$work/part" "$work/out")

# Wall milliseconds of one run of mirelay-batch with the given options.
milliseconds() {
  local start end
  start=$(date +%s%N)
  "$batch" --quiet --jobs 2 "$@" "${folders[@]}" >/dev/null
  end=$(date +%s%N)
  echo $(((end - start) / 1000000))
}

# "min / median / max" of the numbers on standard input.
summary() {
  sort -n | awk '{t[NR]=$1} END {printf "%d / %d / %d", t[1], t[int((NR+1)/2)], t[NR]}'
}

spread() {
  for ((i = 0; i < runs; i++)); do milliseconds "$@"; done | summary
}

# One base made newer before each run, so each run redoes that base's 100 pairs.
after_touching_a_base() {
  local first_base
  first_base=$(ls "$work/base" | head -1)
  for ((i = 0; i < runs; i++)); do
    touch "$work/base/$first_base"
    milliseconds --update
  done | summary
}

first=$(milliseconds)
echo "## mirelay-batch --update: 100 bases x 100 parts (10,000 pairs of 32x24 and 16x12 PNG)"
echo
echo "Machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg); $(date -u +%F) UTC"
echo
echo "| run | ms (min / median / max of $runs) | pairs done |"
echo "| --- | --- | ---: |"
echo "| first run, --jobs 2 | $first | 10000 |"
echo "| --dry-run (listing and naming only) | $(spread --dry-run) | 0 |"
echo "| --update, nothing to do | $(spread --update) | 0 |"
echo "| --update --report FILE, nothing to do | $(spread --update --report "$work/report.jsonl") | 0 |"
echo "| --update after touching one base | $(after_touching_a_base) | 100 |"
