#include "cli/json_report.h"

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/json_text.h"
#include "imaging/image_error.h"

namespace mirelay::cli {

namespace {

using nlohmann::ordered_json;

struct ReportedStatus {
  const char* status;
  std::string reason;
};

// Pairs stopped short count as skipped and pairs whose output could not be had as failed,
// whether or not that ended the run: the summary's exit status tells which.
ReportedStatus StatusOf(const PairOutcome& outcome) {
  const std::string cause = outcome.cause.empty() ? "" : " (" + outcome.cause + ")";
  switch (outcome.status) {
    case PairStatus::kWritten:
      return {"written", ""};
    case PairStatus::kUpToDate:
      return {"up-to-date", ""};
    case PairStatus::kSkipped:
      return {"skipped", outcome.reason};
    case PairStatus::kStopped:
      return {"skipped", "interrupted"};
    case PairStatus::kNotWritten:
    case PairStatus::kFailed:
      break;
  }
  return {"failed", outcome.reason + cause};
}

ordered_json PairObject(const BatchJob& job, std::size_t index, const std::string& output) {
  ordered_json object;
  SetText(object, "base", job.bases[index / job.parts.size()]);
  SetText(object, "part", job.parts[index % job.parts.size()]);
  SetText(object, "output", output);
  return object;
}

}  // namespace

void JsonReport::FileCloser::operator()(std::FILE* file) const {
  if (file != stdout) std::fclose(file);
}

JsonReport::JsonReport(const std::string& path)
    : file_(path == "-" ? stdout : std::fopen(path.c_str(), "w")) {
  if (!file_) throw FileError("cannot write the report " + path, LastSystemError());
}

void JsonReport::Finished(const BatchJob& job, const PairOutcome& outcome) {
  const auto [status, reason] = StatusOf(outcome);
  ordered_json object = PairObject(job, outcome.index, outcome.outputPath);
  object["status"] = status;
  SetText(object, "reason", reason);
  if (!outcome.failedInput.empty()) {
    object["input"] =
        outcome.failedInput == job.bases[outcome.index / job.parts.size()] ? "base" : "part";
  }
  object["milliseconds"] = outcome.milliseconds;
  ++counts_[status];
  Line(object);
}

void JsonReport::Planned(const BatchJob& job, const BatchPair& pair, bool upToDate, bool collides) {
  const char* status = upToDate ? "up-to-date" : "planned";
  ordered_json object = PairObject(job, pair.index, job.outFolder + pair.outputName);
  object["status"] = status;
  object["reason"] = "";
  object["milliseconds"] = 0;
  object["collision"] = collides;
  ++counts_[status];
  Line(object);
}

void JsonReport::Summary(std::size_t pairs, int exitStatus, double seconds, bool dryRun) {
  ordered_json summary;
  summary["pairs"] = pairs;
  static const std::vector<std::string> kRunStatuses{"written", "up-to-date", "skipped", "failed"};
  static const std::vector<std::string> kDryRunStatuses{"planned", "up-to-date"};
  // Keys jq can name without quoting.
  for (const auto& status : dryRun ? kDryRunStatuses : kRunStatuses) {
    summary[status == "up-to-date" ? "up_to_date" : status] = counts_[status];
  }
  summary["exit_status"] = exitStatus;
  summary["elapsed_seconds"] = seconds;
  if (dryRun) summary["dry_run"] = true;
  Line(ordered_json{{"summary", summary}});
}

bool JsonReport::Close() {
  failed_ = std::fflush(file_.get()) != 0 || std::ferror(file_.get()) != 0 || failed_;
  if (file_.get() != stdout) failed_ = std::fclose(file_.release()) != 0 || failed_;
  return !failed_;
}

void JsonReport::Line(const ordered_json& object) {
  const std::string line = object.dump() + "\n";
  failed_ = std::fwrite(line.data(), 1, line.size(), file_.get()) != line.size() || failed_;
  failed_ = std::fflush(file_.get()) != 0 || failed_;
}

}  // namespace mirelay::cli
