#include "batch/run_record.h"

#include "files/file_error.h"

namespace mirelay {

RunRecord::RunRecord(const BatchJob& job) : job_(job) {
  if (job.keepRecord) writer_.emplace(job.outFolder, job.durable);
}

void RunRecord::NoteInput(const std::string& path, const FileStatus& status) {
  std::lock_guard lock(mutex_);
  if (writer_) firstIdentities_.try_emplace(path, IdentityOf(status));
}

std::optional<RecordEntry> RunRecord::EntryFor(const BatchPair& pair, std::int32_t threshold,
                                               bool alphaBlend) const {
  std::lock_guard lock(mutex_);
  if (!writer_) return std::nullopt;
  RecordEntry entry{pair.outputName,
                    job_.bases[pair.base],
                    job_.parts[pair.part],
                    RecordedOptions(job_.output, threshold, alphaBlend),
                    {},
                    {},
                    {}};
  for (auto [path, identity] :
       {std::pair{&entry.base, &entry.baseIdentity}, std::pair{&entry.part, &entry.partIdentity}}) {
    const auto found = firstIdentities_.find(*path);
    if (found == firstIdentities_.end()) return std::nullopt;
    *identity = found->second;
  }
  return entry;
}

void RunRecord::Add(RecordEntry entry, const std::string& outputPath) {
  const auto status = StatusOf(outputPath);
  if (!status) return;
  entry.outputIdentity = IdentityOf(*status);
  std::lock_guard lock(mutex_);
  Guarded([&] { writer_->Add(entry); });
}

void RunRecord::Finish() {
  std::lock_guard lock(mutex_);
  Guarded([&] { writer_->Finish(); });
}

std::optional<Failure> RunRecord::failure() const {
  std::lock_guard lock(mutex_);
  return failure_;
}

// Called with the lock held.
template <typename Action>
void RunRecord::Guarded(Action action) {
  if (!writer_) return;
  try {
    action();
  } catch (const FileError& error) {
    failure_ = FailureOf(error);
    writer_.reset();
  }
}

}  // namespace mirelay
