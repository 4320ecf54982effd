#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "batch/batch_job.h"
#include "batch/pair_settings.h"
#include "imaging/bitmap.h"
#include "imaging/output_format.h"

namespace mirelay::cli {

// Everything a run needs, after the settings file and the explicit options are combined.
struct BatchOptions {
  std::string baseFolder;  // empty with a list of bases
  std::string partFolder;
  std::optional<std::vector<std::string>> baseList;  // from --bases-from, in place of the folder
  std::optional<std::vector<std::string>> partList;
  std::string outFolder;
  bool outFolderMissing = false;  // its parent exists: made before the first output
  OutputFormat output;
  PairSettings pairSettings;
  std::string extensions;
  unsigned jobs = 1;
  Shard shard;
  std::size_t cacheBytes = 0;
  std::optional<std::size_t> memoryBytes;  // room for pairs in flight; the engine's default
  std::size_t maxPictureBytes = kDefaultMaxPixelBytes;
  std::string settingsFile;  // empty without --settings
  bool update = false;
  std::string reportPath;  // empty: no report; "-": standard output
  bool dryRun = false;
  bool nullSeparated = false;  // lists read and the dry run's list written NUL-separated
  bool quiet = false;
  bool noSync = false;
};

// Parses the command line. An int is the exit status to end with at once (0 after --help or
// --version, 2 after a usage error, whose message has been printed).
std::variant<BatchOptions, int> ParseBatchOptions(int argc, char** argv);

}  // namespace mirelay::cli
