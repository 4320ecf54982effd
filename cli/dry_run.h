#pragma once

#include <cstddef>

#include "batch/batch_job.h"
#include "cli/json_report.h"

namespace mirelay::cli {

// Lists the pairs of the job's shard and their outputs, marking names that several pairs of
// the batch share and, for an incremental run, outputs already up to date. Only file times are
// read: nothing is decoded, written or removed. The list goes to `report` when there is one,
// otherwise to standard output as text, or with `nullSeparated` as output, base and part each
// ended by a NUL, for the pairs a run would do (up-to-date ones left out). Gives the number of
// pairs.
std::size_t ListPairs(const BatchJob& job, JsonReport* report, bool nullSeparated);

}  // namespace mirelay::cli
