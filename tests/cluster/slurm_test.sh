#!/usr/bin/env bash
# mirelay-batch on a real one-node Slurm cluster, started here without systemd: the example in
# examples/slurm/ runs as an array of 4 tasks whose odd tasks read a copy of the inputs on a
# tmpfs (which lists them in another order), and out/ must equal a one-process run byte for
# byte; then a task is cancelled mid-run and the array submitted again with --update finishes
# to the same bytes. Needs root and the packages scripts/bootstrap installs.
#   tests/cluster/slurm_test.sh [BIN_DIR]   (default build/bin)
set -euo pipefail
[[ $(id -u) -eq 0 ]] || { echo "slurm test: the daemons need root" >&2; exit 1; }
cd "$(dirname "$0")/../.."
repo=$(pwd)
bin_dir=$(realpath "${1:-build/bin}")

root=$(mktemp -d /tmp/mirelay-slurm-XXXXXX)
scratch=$(mktemp -d /dev/shm/mirelay-slurm-XXXXXX)
chmod 755 "$root"
host=$(hostname -s)
# Ports of our own, so that the test never meets another cluster (or another run of itself).
port=$((20000 + $$ % 20000))
export SLURM_CONF=$root/slurm.conf

say() { echo "slurm test: $*"; }
fail() {
  say "FAILED: $*"
  for log in "$root"/*.log "$root"/logs/*; do
    [[ -f $log ]] && { echo "--- $log"; tail -n 20 "$log"; }
  done
  exit 1
}

# Only the daemons this script started, by the ids in their own PID files.
stop_daemons() {
  [[ -s $root/slurmctld.pid ]] && { timeout 20 scancel --quiet --user=root || true; }
  for pid_file in "$root/slurmd.pid" "$root/slurmctld.pid" "$root/munge/munged.pid"; do
    [[ -s $pid_file ]] || continue
    local pid
    pid=$(cat "$pid_file")
    kill "$pid" 2>/dev/null || continue
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  done
  rm -rf "$root" "$scratch"
}
trap stop_daemons EXIT

wait_for() {  # SECONDS WHAT COMMAND...
  local seconds=$1 what=$2
  shift 2
  for _ in $(seq $((seconds * 10))); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  fail "$what"
}

start_munge() {
  mkdir -p "$root/munge"
  chown munge:munge "$root/munge"
  chmod 755 "$root/munge"
  if [[ ! -f /etc/munge/munge.key ]]; then
    dd if=/dev/urandom of=/etc/munge/munge.key bs=1024 count=1 status=none
    chown munge:munge /etc/munge/munge.key
    chmod 400 /etc/munge/munge.key
  fi
  su -s /bin/sh munge -c "/usr/sbin/munged --socket=$root/munge/socket \
    --pid-file=$root/munge/munged.pid --log-file=$root/munge/munged.log \
    --seed-file=$root/munge/munged.seed"
  wait_for 10 "munged did not start" test -S "$root/munge/socket"
}

write_configuration() {
  mkdir -p "$root/state" "$root/spool" "$root/logs"
  # Odd tasks are pointed at the tmpfs copy, as a site's prolog points tasks at node-local scratch.
  cat > "$root/task_prolog" <<EOF
#!/bin/sh
if [ \$((SLURM_ARRAY_TASK_ID % 2)) -eq 1 ]; then
  echo "export MIRELAY_BASE_DIR=$scratch/base"
  echo "export MIRELAY_PART_DIR=$scratch/part"
fi
EOF
  chmod 755 "$root/task_prolog"
  cat > "$SLURM_CONF" <<EOF
ClusterName=mirelay
SlurmctldHost=$host
SlurmctldPort=$port
SlurmdPort=$((port + 1))
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$root/munge/socket
CredType=cred/munge
StateSaveLocation=$root/state
SlurmdSpoolDir=$root/spool
SlurmctldPidFile=$root/slurmctld.pid
SlurmdPidFile=$root/slurmd.pid
SlurmctldLogFile=$root/slurmctld.log
SlurmdLogFile=$root/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
TaskProlog=$root/task_prolog
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
MpiDefault=none
NodeName=$host CPUs=$(nproc) State=UNKNOWN
PartitionName=test Nodes=$host Default=YES MaxTime=INFINITE State=UP
EOF
}

start_slurm() {
  slurmctld -f "$SLURM_CONF"
  slurmd -f "$SLURM_CONF"
  wait_for 60 "the node never became idle" sh -c "sinfo -h -o %t | grep -qx idle"
}

# 12 noisy bases and 8 parts, enough that a task is still at work when it is cancelled.
make_inputs() {
  python3 - "$root/inputs" <<'EOF'
import os, random, struct, sys
root = sys.argv[1]
def bmp(path, width, height, rows):
    data = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as out:
        out.write(header + info + data)
for folder in ("base", "part"):
    os.makedirs(os.path.join(root, folder))
for i in range(12):
    noise = random.Random(i).randbytes(6000 * 1500)
    bmp(os.path.join(root, "base", "scene %d.bmp" % i), 2000, 1500,
        [noise[y * 6000:(y + 1) * 6000] for y in range(1500)])
for i in range(8):
    key, mark = b"\x00\xff\x00", bytes((200, 40 + i, 90))
    rows = [key * 400 if abs(y - 150) > 20 + 10 * i else key * 100 + mark * 200 + key * 100
            for y in range(300)]
    bmp(os.path.join(root, "part", "mark-%d.bmp" % i), 400, 300, rows)
EOF
  # Copied in the order the disk lists them: the tmpfs lists them the other way round.
  mkdir -p "$scratch/base" "$scratch/part"
  for folder in base part; do
    find "$root/inputs/$folder" -type f -print0 | xargs -0 -I{} cp {} "$scratch/$folder/"
  done
}

submit() {  # OPTIONS...: submits the example as an array of 4 tasks and waits for its end
  local job
  job=$(cd "$root" && sbatch --parsable --array=1-4 -n1 -c1 -o "$root/logs/%a.out" \
    "$repo/examples/slurm/shards.sh" "$root/inputs/base" "$root/inputs/part" "$root/out" "$@")
  echo "$job"
}

wait_for_job() {
  for _ in $(seq 3000); do [[ -z $(squeue -h -j "$1" 2>/dev/null) ]] && return 0; sleep 0.1; done
  fail "job $1 never ended"
}

same_outputs() {
  diff -r -x .mirelay-record "$root/reference" "$root/out" >/dev/null &&
    [[ -z $(find "$root/out" -maxdepth 1 -name '.mirelay-*.tmp') ]]
}

export PATH="$bin_dir:$PATH"
start_munge
write_configuration
start_slurm
make_inputs
mkdir "$root/reference"
mirelay-batch --quiet --format jpg "$root/inputs/base" "$root/inputs/part" "$root/reference"
[[ $(find "$root/reference" -name '*.jpg' | wc -l) -eq 96 ]] || fail "the one-process run"
say "cluster up; one-process run written"

job=$(submit --format jpg)
wait_for_job "$job"
same_outputs || fail "the array's out/ differs from the one-process run"
grep -q "\"base\":\"$scratch/base/" "$root/report-1.jsonl" || fail "task 1 did not read the tmpfs"
grep -q "\"base\":\"$root/inputs/base/" "$root/report-2.jsonl" || fail "task 2 read the tmpfs"
say "array of 4 tasks equals the one-process run byte for byte"

rm -rf "$root/out" "$root"/report-*.jsonl
job=$(submit --format jpg)
# Task 3 is cancelled once it has written its first output.
wait_for 120 "task 3 never wrote an output" grep -q '"status":"written"' "$root/report-3.jsonl"
scancel "${job}_3"
wait_for_job "$job"
grep -q '"exit_status":130' "$root/report-3.jsonl" || fail "task 3 finished before it was cancelled"
! same_outputs || fail "the cancelled task left nothing undone"
say "task 3 cancelled mid-run: $(grep -c '"written"' "$root/report-3.jsonl") of 24 written"

job=$(submit --format jpg)
wait_for_job "$job"
same_outputs || fail "the resubmitted array's out/ differs from the one-process run"
grep -q '"status":"up-to-date"' "$root/report-3.jsonl" || fail "task 3 redid its done pairs"
say "resubmitted with --update: out/ equals the one-process run byte for byte"
