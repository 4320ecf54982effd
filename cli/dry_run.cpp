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

}  // namespace

std::size_t ListPairs(const BatchJob& job, JsonReport* report) {
  const auto shared = NamesSharedAcrossShards(job);
  std::optional<UpdateCheck> updateCheck;
  if (job.redoOnlyOutdated) updateCheck.emplace(job);
  const auto pairs = EnumeratePairs(job);
  for (const auto& pair : pairs) {
    const bool upToDate = updateCheck && updateCheck->UpToDate(pair);
    const bool collides = shared.contains(pair.outputName);
    if (report) {
      report->Planned(job, pair, upToDate, collides);
    } else {
      PrintPair(job, pair, upToDate, collides);
    }
  }
  return pairs.size();
}

}  // namespace mirelay::cli
