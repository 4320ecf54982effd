#pragma once

#include <cstddef>
#include <cstdio>
#include <map>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "batch/batch_job.h"

namespace mirelay::cli {

// The run as JSON lines for scripts: one object per pair as it finishes, then a summary. Pairs
// are "written", "up-to-date", "skipped" (an input could not be had, or the run was stopping) or
// "failed" (the pair's output could not be written); a dry run's pairs are "planned" or
// "up-to-date". Lines are flushed as they are made, so the report can be followed live.
class JsonReport {
 public:
  // "-" is standard output. Throws FileError when the file cannot be made.
  explicit JsonReport(const std::string& path);

  void Finished(const BatchJob& job, const PairOutcome& outcome);
  void Planned(const BatchJob& job, const BatchPair& pair, bool upToDate, bool collides);
  // Each summary also names the options that decide the outputs' bytes ("options").
  void Summary(const BatchJob& job, const BatchReport& report, int exitStatus, double seconds);
  void DryRunSummary(const BatchJob& job, std::size_t pairs, double seconds);
  // False when a line could not be written in full.
  bool Close();

 private:
  nlohmann::ordered_json Counts(std::size_t pairs, const std::vector<std::string>& statuses);
  void Line(const nlohmann::ordered_json& object);

  struct FileCloser {
    void operator()(std::FILE* file) const;
  };
  std::unique_ptr<std::FILE, FileCloser> file_;
  std::map<std::string, std::size_t> counts_;
  bool failed_ = false;
};

}  // namespace mirelay::cli
