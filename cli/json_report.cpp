#include "cli/json_report.h"

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "batch/output_record.h"
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
  switch (outcome.status) {
    case PairStatus::kWritten:
      return {"written", ""};
    case PairStatus::kUpToDate:
      return {"up-to-date", ""};
    case PairStatus::kSkipped:
      return {"skipped", outcome.reason.english};
    case PairStatus::kStopped:
      return {"skipped", "interrupted"};
    case PairStatus::kNotWritten:
    case PairStatus::kFailed:
      break;
  }
  return {"failed", outcome.reason.english};
}

ordered_json PairObject(const BatchJob& job, std::size_t index, const std::string& output) {
  const auto [base, part] = PlaceOf(job, index);
  ordered_json object;
  SetText(object, "base", job.bases[base]);
  SetText(object, "part", job.parts[part]);
  SetText(object, "output", output);
  return object;
}

}  // namespace

void JsonReport::FileCloser::operator()(std::FILE* file) const {
  if (file != stdout) std::fclose(file);
}

JsonReport::JsonReport(const std::string& path)
    : file_(path == "-" ? stdout : std::fopen(path.c_str(), "w")) {
  if (!file_) {
    const std::string text = "cannot write the report " + path;
    throw FileError(text, text, LastSystemError());
  }
}

namespace {

// The options that decide the outputs' bytes, in the words of the record --update reads.
std::string OptionsOf(const BatchJob& job) {
  return RecordedOptions(job.output, job.settings.threshold, job.settings.alphaBlend);
}

}  // namespace

void JsonReport::Finished(const BatchJob& job, const PairOutcome& outcome) {
  const auto [status, reason] = StatusOf(outcome);
  ordered_json object = PairObject(job, outcome.index, outcome.outputPath);
  object["status"] = status;
  SetText(object, "reason", reason);
  if (!outcome.failedInput.empty()) {
    object["input"] =
        outcome.failedInput == job.bases[PlaceOf(job, outcome.index).base] ? "base" : "part";
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

void JsonReport::Summary(const BatchJob& job, const BatchReport& report, int exitStatus,
                         double seconds) {
  static const std::vector<std::string> kStatuses{"written", "up-to-date", "skipped", "failed"};
  ordered_json summary = Counts(report.pairs, kStatuses);
  // Pairs a stop or a failure left unstarted get no line of their own; this count closes the sum.
  summary["not_started"] = report.notStarted;
  summary["exit_status"] = exitStatus;
  summary["elapsed_seconds"] = seconds;
  summary["options"] = OptionsOf(job);
  Line(ordered_json{{"summary", summary}});
}

void JsonReport::DryRunSummary(const BatchJob& job, std::size_t pairs, double seconds) {
  ordered_json summary = Counts(pairs, {"planned", "up-to-date"});
  summary["exit_status"] = 0;
  summary["elapsed_seconds"] = seconds;
  summary["options"] = OptionsOf(job);
  summary["dry_run"] = true;
  Line(ordered_json{{"summary", summary}});
}

ordered_json JsonReport::Counts(std::size_t pairs, const std::vector<std::string>& statuses) {
  ordered_json summary;
  summary["pairs"] = pairs;
  // Keys jq can name without quoting.
  for (const auto& status : statuses) {
    summary[status == "up-to-date" ? "up_to_date" : status] = counts_[status];
  }
  return summary;
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
