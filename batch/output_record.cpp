#include "batch/output_record.h"

#include <unistd.h>

#include <charconv>
#include <filesystem>
#include <random>
#include <unordered_set>

#include "files/durability.h"
#include "files/file_error.h"
#include "files/input_file.h"
#include "files/make_folder.h"
#include "files/output_file.h"
#include "files/temporary_files.h"

namespace mirelay {

namespace {

// The first line of every log; a log that starts otherwise is not read.
constexpr std::string_view kHeader = "mirelay-record 1\n";
constexpr std::size_t kFields = 7;
// Far beyond any real log; a larger file is not one of ours.
constexpr std::size_t kMaxLogBytes = std::size_t{1} << 30;

// Names and paths may hold any byte but these, which separate fields and lines.
std::string Escaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::optional<std::string> Unescaped(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) return std::nullopt;
    const char c = text[i];
    if (c != '\\' && c != 't' && c != 'n') return std::nullopt;
    out += c == 't' ? '\t' : c == 'n' ? '\n' : '\\';
  }
  return out;
}

std::string TimeText(const FileTime& time) {
  return std::to_string(time.seconds) + "." + std::to_string(time.nanoseconds);
}

std::string IdentityText(const FileIdentity& identity) {
  return std::to_string(identity.size) + ":" + TimeText(identity.modified) + ":" +
         std::to_string(identity.inode) + ":" + TimeText(identity.changed);
}

// Reads one number of `text` from `at` up to the next `end` character (or the end of the text).
template <typename Number>
bool TakeNumber(std::string_view text, std::size_t& at, char end, Number& value) {
  const char* first = text.data() + at;
  const char* last = text.data() + text.size();
  const auto [stop, error] = std::from_chars(first, last, value);
  if (error != std::errc() || (stop != last && *stop != end)) return false;
  at = static_cast<std::size_t>(stop - text.data()) + 1;
  return true;
}

std::optional<FileIdentity> ParseIdentity(std::string_view text) {
  FileIdentity identity;
  std::size_t at = 0;
  const bool parsed = TakeNumber(text, at, ':', identity.size) &&
                      TakeNumber(text, at, '.', identity.modified.seconds) &&
                      TakeNumber(text, at, ':', identity.modified.nanoseconds) &&
                      TakeNumber(text, at, ':', identity.inode) &&
                      TakeNumber(text, at, '.', identity.changed.seconds) &&
                      TakeNumber(text, at, '\0', identity.changed.nanoseconds);
  if (!parsed || at != text.size() + 1) return std::nullopt;
  return identity;
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (std::size_t start = 0;;) {
    const auto tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab - start));
    if (tab == std::string_view::npos) return fields;
    start = tab + 1;
  }
}

// The logs of a record folder, in no particular order.
std::vector<std::string> LogPaths(const std::string& folder) {
  std::vector<std::string> logs;
  std::error_code error;
  for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    const std::string name = entry->path().filename().string();
    if (name.size() > 4 && name.ends_with(".log")) logs.push_back(folder + name);
  }
  return logs;
}

// The entries of one log; a log that cannot be read gives none, which only costs redoing.
std::vector<RecordEntry> ReadLog(const std::string& path) {
  std::optional<std::vector<std::uint8_t>> bytes;
  try {
    if (auto file = InputFile::OpenIfPresent(path)) bytes = file->ReadAll(kMaxLogBytes);
  } catch (const FileError&) {
  }
  std::vector<RecordEntry> entries;
  if (!bytes) return entries;
  const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
  if (!text.starts_with(kHeader)) return entries;
  // A line cut by a crash has no end of line and is left out.
  for (std::size_t start = kHeader.size(), end; (end = text.find('\n', start)) != text.npos;
       start = end + 1) {
    if (auto entry = ParseRecordLine(text.substr(start, end - start))) {
      entries.push_back(std::move(*entry));
    }
  }
  return entries;
}

std::string NewLogName() {
  std::random_device random;
  const std::uint64_t number = std::uint64_t{random()} << 32 | random();
  char name[24];
  std::snprintf(name, sizeof name, "%016llx.log", static_cast<unsigned long long>(number));
  return name;
}

std::string RecordFolder(const std::string& outFolder) {
  return outFolder + kRecordFolderName + "/";
}

// Makes the record's folder where it is missing and names its lock file.
std::string LockFileIn(const std::string& folder, bool durable) {
  MakeFolderIfMissing(folder, durable);
  return folder + "lock";
}

}  // namespace

FileIdentity IdentityOf(const FileStatus& status) {
  return {status.size, status.modified, status.inode, status.changed};
}

bool SameOutput(const FileIdentity& recorded, const FileIdentity& now) {
  return recorded.size == now.size && recorded.modified == now.modified &&
         recorded.inode == now.inode;
}

std::string RecordedOptions(const OutputFormat& output, std::int32_t threshold, bool alphaBlend) {
  std::string words = "format=";
  switch (output.format) {
    case kFormatBmp:
      words += "bmp";
      break;
    case kFormatGif:
      words += "gif";
      break;
    case kFormatJpeg:
      words += "jpg quality=" + std::to_string(output.quality);
      break;
    default:
      words += "png";
  }
  words += " threshold=" + std::to_string(threshold);
  return alphaBlend ? words + " alpha=1" : words;
}

std::string RecordLine(const RecordEntry& entry) {
  return Escaped(entry.output) + "\t" + Escaped(entry.base) + "\t" + Escaped(entry.part) + "\t" +
         Escaped(entry.options) + "\t" + IdentityText(entry.baseIdentity) + "\t" +
         IdentityText(entry.partIdentity) + "\t" + IdentityText(entry.outputIdentity) + "\n";
}

std::optional<RecordEntry> ParseRecordLine(std::string_view line) {
  const auto fields = Fields(line);
  if (fields.size() != kFields) return std::nullopt;
  auto output = Unescaped(fields[0]), base = Unescaped(fields[1]), part = Unescaped(fields[2]),
       options = Unescaped(fields[3]);
  const auto baseIdentity = ParseIdentity(fields[4]), partIdentity = ParseIdentity(fields[5]),
             outputIdentity = ParseIdentity(fields[6]);
  if (!output || output->empty() || !base || !part || !options || !baseIdentity || !partIdentity ||
      !outputIdentity) {
    return std::nullopt;
  }
  return RecordEntry{std::move(*output), std::move(*base), std::move(*part), std::move(*options),
                     *baseIdentity,      *partIdentity,    *outputIdentity};
}

OutputRecord ReadOutputRecord(const std::string& outFolder) {
  OutputRecord record;
  for (const auto& log : LogPaths(RecordFolder(outFolder))) {
    for (auto& entry : ReadLog(log)) record[entry.output].push_back(std::move(entry));
  }
  return record;
}

RecordWriter::RecordWriter(const std::string& outFolder, bool durable)
    : outFolder_(outFolder), folder_(RecordFolder(outFolder)), durable_(durable) {}

// The record is made with the first entry, so a run that writes nothing leaves nothing.
void RecordWriter::Add(const RecordEntry& entry) {
  if (!log_) {
    lock_.emplace(LockFileIn(folder_, durable_));
    if (lock_->TryExclusive()) Compact();
    lock_->Share();
    log_.emplace(folder_ + NewLogName());
    log_->Append(kHeader);
  }
  log_->Append(RecordLine(entry));
}

void RecordWriter::Finish() {
  if (!durable_ || !log_) return;
  log_->Flush();
  FlushFolder(folder_);
}

// Only while no other run holds the lock: their logs are then complete. A crash halfway leaves
// entries twice, which reads the same.
void RecordWriter::Compact() {
  RemoveStaleTemporaries(folder_);
  const auto logs = LogPaths(folder_);
  if (logs.size() < 2) return;
  std::unordered_set<std::string> kept;
  std::string text(kHeader);
  for (const auto& log : logs) {
    for (const auto& entry : ReadLog(log)) {
      const auto status = StatusOf(outFolder_ + entry.output);
      if (!status || !SameOutput(entry.outputIdentity, IdentityOf(*status))) continue;
      auto line = RecordLine(entry);
      if (kept.insert(line).second) text += line;
    }
  }
  try {
    OutputFile folded(folder_ + NewLogName(), {.flushData = durable_});
    folded.Write({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    folded.Commit();
    for (const auto& log : logs) ::unlink(log.c_str());
    if (durable_) FlushFolder(folder_);
  } catch (const FileError&) {
    // The logs stay as they were: the record is still whole, only longer.
  }
}

}  // namespace mirelay
