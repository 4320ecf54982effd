#include "batch/update_check.h"

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

namespace mirelay {

std::optional<FileTime> ModificationTime(const std::string& path) {
  const auto status = StatusOf(path);
  if (!status || status->kind != FileKind::kRegular) return std::nullopt;
  return status->modified;
}

namespace {

// Nothing when one of the files is missing.
std::optional<FileTime> NewestOf(const std::vector<std::string>& paths) {
  FileTime newest{std::numeric_limits<std::int64_t>::min(), 0};
  for (const auto& path : paths) {
    const auto time = ModificationTime(path);
    if (!time) return std::nullopt;
    newest = std::max(newest, *time);
  }
  return newest;
}

}  // namespace

UpdateCheck::UpdateCheck(const BatchJob& job)
    : job_(job),
      newestShared_(NewestOf(job.sharedInputs)),
      collidingNames_(NamesSharedAcrossShards(job)),
      record_(ReadOutputRecord(job.outFolder)),
      options_(RecordedOptions(job.output, job.settings.threshold, job.settings.alphaBlend)) {}

bool UpdateCheck::UpToDate(const BatchPair& pair) {
  if (!newestShared_ || collidingNames_.contains(pair.outputName)) return false;
  const auto output = StatusOf(job_.outFolder + pair.outputName);
  // An empty output is what a power cut may leave of one that was never flushed.
  if (!output || output->kind != FileKind::kRegular || output->size == 0 ||
      output->modified < *newestShared_) {
    return false;
  }
  if (const auto entries = record_.find(pair.outputName); entries != record_.end()) {
    return std::any_of(entries->second.begin(), entries->second.end(), [&](const auto& entry) {
      return SameOutput(entry.outputIdentity, IdentityOf(*output)) &&
             MadeFromTodaysInputs(entry, pair);
    });
  }
  for (const std::string* input : {&job_.bases[pair.base], &job_.parts[pair.part]}) {
    const auto status = InputStatus(*input);
    if (!status || status->kind != FileKind::kRegular || output->modified < status->modified) {
      return false;
    }
  }
  return true;
}

bool UpdateCheck::MadeFromTodaysInputs(const RecordEntry& entry, const BatchPair& pair) {
  if (entry.options != options_ || entry.base != job_.bases[pair.base] ||
      entry.part != job_.parts[pair.part]) {
    return false;
  }
  const auto base = InputStatus(entry.base), part = InputStatus(entry.part);
  return base && part && IdentityOf(*base) == entry.baseIdentity &&
         IdentityOf(*part) == entry.partIdentity;
}

std::optional<FileStatus> UpdateCheck::InputStatus(const std::string& path) {
  const auto [found, added] = inputs_.try_emplace(path);
  if (added) found->second = StatusOf(path);
  return found->second;
}

}  // namespace mirelay
