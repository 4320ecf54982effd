#!/usr/bin/env bash
# Measures the window's 出力.png run (in-process, on an Xvfb server of its own) against mirelay-batch with the same
# worker count on the 24-pair 1920x1080 workload, and prints a Markdown table: time per pair,
# the longest gap between ticks of a 10 ms timer on the GUI thread, how long 進捗 takes to open
# halfway through the run, and peak memory; with 2 workers also the window whose workers keep
# the GUI thread's priority (--worker-nice 0), for comparison. Figures,
# not a pass/fail test; run it on a quiet machine.
#
# usage: bench/window_bench.sh [BUILD_DIR] [--before OLD_WINDOW_BENCH] [--runs N]
#   BUILD_DIR (default: build) must hold bin/mirelay-batch and bench/mirelay_window_bench.
#   --before names a mirelay_window_bench built from an earlier version of the window, which is
#   then measured in the same run for comparison.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=build
before=""
runs=3
while [[ $# -gt 0 ]]; do
  case "$1" in
    --before) before=$(realpath "$2"); shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    *) build=$1; shift ;;
  esac
done
batch=$(realpath "$build/bin/mirelay-batch")
window=$(realpath "$build/bench/mirelay_window_bench")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 "$here/batch_workload.py" "$work" --bases 6 --parts 4 --size 1920x1080
pairs=24
largest=$(( (3 * 1920 + 3) / 4 * 4 * 1080 ))

# "ms_per_pair peak_mib longest_gap_ms progress_box_ms" of one run of the window bench, on an X
# server of its own, which competes for the cores as a desktop's does.
window_run() {
  rm -rf "$work/out" && mkdir "$work/out"
  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1920x1080x24" "$@" "$work" 2>/dev/null |
    awk '{ for (i = 1; i < NF; i += 2) f[$i] = $(i + 1) }
         END { print f["ms_per_pair"], f["peak_rss_mib"], f["longest_gap_ms"], f["progress_box_ms"] }'
}

batch_run() {
  rm -rf "$work/out" && mkdir "$work/out"
  /usr/bin/time -f "%e %M" -o "$work/time" "$batch" --quiet --jobs "$1" \
    "$work/base" "$work/part" "$work/out"
  awk -v pairs=$pairs '{ printf "%.1f %.0f\n", 1000 * $1 / pairs, $2 / 1024 }' "$work/time"
}

# Median of each column over the lines on stdin.
median() {
  python3 -c '
import statistics, sys
rows = [list(map(float, line.split())) for line in sys.stdin if line.strip()]
print(" ".join(f"{statistics.median(col):.1f}" for col in zip(*rows)))'
}

echo "## Window output benchmark"
echo
echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | xargs)," \
  "load average $(cut -d' ' -f1-3 /proc/loadavg) at start; $(date -u +%Y-%m-%d) UTC"
echo "Workload: bench/batch_workload.py --seed 1, 6 bases 1920x1080 x 4 parts, PNG output;" \
  "median of $runs runs, the window and the command alternating."
echo
echo "| run | ms per pair | ratio | longest GUI gap ms | 進捗 opens, ms | peak RSS MiB (limit) |"
echo "| --- | ---: | --- | ---: | ---: | --- |"
for jobs in 1 2; do
  : >"$work/window.txt" && : >"$work/batch.txt" && : >"$work/before.txt" && : >"$work/even.txt"
  for ((run = 0; run < runs; run++)); do
    window_run "$window" --jobs "$jobs" >>"$work/window.txt"
    batch_run "$jobs" >>"$work/batch.txt"
    if [[ $jobs == 2 ]]; then
      window_run "$window" --jobs "$jobs" --worker-nice 0 >>"$work/even.txt"
    fi
    if [[ -n "$before" && $jobs == 1 ]]; then window_run "$before" >>"$work/before.txt"; fi
  done
  read -r w_ms w_mib w_gap w_box < <(median <"$work/window.txt")
  read -r b_ms b_mib < <(median <"$work/batch.txt")
  limit=$(( ((jobs + 2) * largest + (1 << 30)) / 1048576 ))
  ratio=$(python3 -c "print(f'{$w_ms / $b_ms:.2f}x mirelay-batch (goal <= 1.1x)')")
  echo "| mirelay-batch --jobs $jobs | $b_ms | | | | $b_mib |"
  echo "| window, $jobs worker(s) | $w_ms | $ratio | $w_gap (goal < 100) | $w_box (goal < 300) |" \
    "$w_mib ($limit + Qt) |"
  if [[ -s "$work/even.txt" ]]; then
    read -r e_ms e_mib e_gap e_box < <(median <"$work/even.txt")
    echo "| window, $jobs workers at the GUI's priority | $e_ms | | $e_gap | $e_box | $e_mib |"
  fi
  if [[ -s "$work/before.txt" ]]; then
    read -r o_ms o_mib o_gap o_box < <(median <"$work/before.txt")
    echo "| window before the engine (GUI thread) | $o_ms | | $o_gap | $o_box | $o_mib |"
    old_ms=$o_ms
  fi
  if [[ $jobs == 2 && -n "${old_ms:-}" ]]; then
    echo
    python3 -c "print(f'With 2 workers the window is {$old_ms / $w_ms:.2f}x faster than before the engine (goal >= 1.8x).')"
  fi
done
