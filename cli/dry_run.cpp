#include "cli/dry_run.h"

#include <cstdio>
#include <optional>
#include <string>
#include <unordered_set>

#include "batch/update_check.h"
#include "cli/terminal_text.h"

namespace mirelay::cli {

namespace {

void PrintPair(const BatchJob& job, const BatchPair& pair, bool upToDate, bool collides) {
  std::printf("%s <- %s + %s%s%s\n", QuoteForTerminal(job.outFolder + pair.outputName).c_str(),
              QuoteForTerminal(job.bases[pair.base]).c_str(),
              QuoteForTerminal(job.parts[pair.part]).c_str(), upToDate ? "  (up to date)" : "",
              collides ? "  (shared name: the last pair wins)" : "");
}

// Names as their bytes: a NUL cannot be in a name, so nothing needs quoting.
void PrintNullSeparated(const BatchJob& job, const BatchPair& pair) {
  for (const std::string& field :
       {job.outFolder + pair.outputName, job.bases[pair.base], job.parts[pair.part]}) {
    std::fwrite(field.c_str(), 1, field.size() + 1, stdout);
  }
}

}  // namespace

std::size_t ListPairs(const BatchJob& job, JsonReport* report, bool nullSeparated) {
  const auto shared = NamesSharedAcrossShards(job);
  std::optional<UpdateCheck> updateCheck;
  if (job.redoOnlyOutdated) updateCheck.emplace(job);
  const auto pairs = EnumeratePairs(job);
  for (const auto& pair : pairs) {
    const bool upToDate = updateCheck && updateCheck->UpToDate(pair);
    const bool collides = shared.contains(pair.outputName);
    if (report) {
      report->Planned(job, pair, upToDate, collides);
    } else if (nullSeparated) {
      if (!upToDate) PrintNullSeparated(job, pair);
    } else {
      PrintPair(job, pair, upToDate, collides);
    }
  }
  return pairs.size();
}

}  // namespace mirelay::cli
