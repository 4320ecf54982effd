#!/bin/sh
# One shard of a mirelay-batch run per task of a Slurm job array:
#
#   sbatch --array=1-4 shards.sh /data/base /data/part /data/out [mirelay-batch options]
#
# Each task takes its part of the pairs (the shard key depends on the file names alone, so tasks
# reading their own copies of the inputs still split the batch exactly) and writes its report
# beside the folder the job was submitted from. With --update a requeued task, or the whole
# array run again, does only what is left. A task prolog that copied the inputs to node-local
# scratch may point its task at the copy by exporting MIRELAY_BASE_DIR and MIRELAY_PART_DIR.
#SBATCH --cpus-per-task=2
set -eu
base=${MIRELAY_BASE_DIR:-$1}
part=${MIRELAY_PART_DIR:-$2}
out=$3
shift 3
exec mirelay-batch --jobs "${SLURM_CPUS_PER_TASK:-0}" --update \
  --shard "$SLURM_ARRAY_TASK_ID/$SLURM_ARRAY_TASK_COUNT" \
  --report "report-$SLURM_ARRAY_TASK_ID.jsonl" "$@" "$base" "$part" "$out"
