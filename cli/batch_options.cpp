#include "cli/batch_options.h"

#include <sched.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "batch/memory_budget.h"
#include "cli/input_sources.h"
#include "cli/terminal_text.h"
#include "files/input_file.h"
#include "imaging/image_error.h"
#include "imaging/image_lib.h"
#include "settings/ini_profile.h"
#include "settings/integer_parser.h"
#include "settings/setting_rules.h"
#include "settings/settings.h"

namespace mirelay::cli {

namespace {

// The cores this process may run on (a scheduler's CPU set or taskset narrows them).
unsigned CoreCount() {
  cpu_set_t cores;
  if (::sched_getaffinity(0, sizeof cores, &cores) == 0) {
    return static_cast<unsigned>(std::max(1, CPU_COUNT(&cores)));
  }
  return std::max(1u, std::thread::hardware_concurrency());
}

struct RawOptions {
  InputSources inputs;
  std::string format = "png";
  std::string quality, threshold, separator, order, extensions, settings, shard, report;
  unsigned jobs = CoreCount();
  std::size_t cacheMegabytes = 1024;
  std::size_t memoryMegabytes = 0;
  std::size_t maxPictureMegabytes = kDefaultMaxPixelBytes >> 20;
  bool update = false;
  bool dryRun = false;
  bool quiet = false;
  bool noSync = false;
  bool alpha = false;
  bool noAlpha = false;
};

// The positionals as given, and which folders lists stand in for.
void PlaceInputs(const CLI::App& app, RawOptions& raw) {
  std::vector<std::string> given;
  for (auto [name, value] : {std::pair{"BASE_DIR", raw.inputs.base},
                             {"PART_DIR", raw.inputs.part},
                             {"OUT_DIR", raw.inputs.out}}) {
    if (app.count(name)) given.push_back(value);
  }
  raw.inputs.basesListed = app.count("--bases-from") > 0;
  raw.inputs.partsListed = app.count("--parts-from") > 0;
  PlaceFolders(given, raw.inputs);
}

std::int32_t IntegerOption(const std::string& name, const std::string& text) {
  const auto value = ParseInteger(text);
  if (!value) throw CLI::ValidationError(name, "'" + text + "' is not an integer");
  return *value;
}

void CheckQuality(const std::string& source, std::int32_t quality) {
  if (!IsAcceptedJpegQuality(quality)) {
    throw CLI::ValidationError(
        source, "JPEG quality must be between " + std::to_string(kLowestJpegQuality) + " and " +
                    std::to_string(kHighestJpegQuality) + ", not " + std::to_string(quality));
  }
}

Shard ParseShard(const std::string& text) {
  const auto slash = text.find('/');
  const auto number = ParseInteger(text.substr(0, slash));
  const auto count =
      slash == std::string::npos ? std::nullopt : ParseInteger(text.substr(slash + 1));
  if (!number || !count || *count < 1 || *number < 1 || *number > *count ||
      text.find_first_not_of("0123456789/") != std::string::npos) {
    throw CLI::ValidationError("--shard", "'" + text + "' is not K/N with 1 <= K <= N");
  }
  return {static_cast<std::uint32_t>(*number), static_cast<std::uint32_t>(*count)};
}

// Defaults in place of a settings file that cannot be read would pass for the user's settings.
void CheckSettingsFile(const std::string& path) {
  std::error_code cause;
  const auto status = std::filesystem::status(path, cause);
  if (!cause && !std::filesystem::is_regular_file(status)) {
    throw CLI::ValidationError("--settings", QuoteForTerminal(path) + ": not a regular file");
  }
  try {
    // Opened without blocking, so a FIFO in its place cannot hang the run.
    InputFile(path).ReadStart(1);
  } catch (const FileError& error) {
    throw CLI::ValidationError("--settings", QuoteForTerminal(error.English()));
  }
}

// The window's format codes name the output, except that BMP and GIF output is named as such.
OutputFormat OutputFormatNamed(const std::string& format, std::int32_t jpegQuality) {
  if (format == "jpg") return OutputFormatForCode(jpegQuality);
  if (format == "bmp") return {kFormatBmp, OutputFormat{}.quality, ".bmp"};
  if (format == "gif") return {kFormatGif, OutputFormat{}.quality, ".gif"};
  return OutputFormatForCode(kFormatPng);
}

Settings StartingSettings(const CLI::App& app, const RawOptions& raw) {
  if (app.count("--settings") == 0) return {};
  CheckSettingsFile(raw.settings);
  return LoadSettings(IniProfile(raw.settings));
}

// The settings file gives the starting values; each explicit option replaces its own.
BatchOptions Combine(const CLI::App& app, const RawOptions& raw) {
  BatchOptions options;
  TakeInputs(raw.inputs, options);
  Settings settings = StartingSettings(app, raw);
  const std::string qualitySource = app.count("--quality") ? "--quality" : raw.settings;
  if (app.count("--quality")) settings.jpegQuality = IntegerOption("--quality", raw.quality);
  if (app.count("--quality") || raw.format == "jpg")
    CheckQuality(qualitySource, settings.jpegQuality);
  if (app.count("--threshold")) settings.threshold = IntegerOption("--threshold", raw.threshold);
  if (app.count("--separator")) {
    if (IsRefusedSeparator(raw.separator)) {
      throw CLI::ValidationError("--separator",
                                 "'" + raw.separator + "' cannot stand in a file name");
    }
    settings.separator = raw.separator;
  }
  if (SeparatorLeavesOutputFolder(settings.separator)) {
    throw CLI::ValidationError(raw.settings, "the separator '" + settings.separator +
                                                 "' holds a '/', which would write outside " +
                                                 raw.inputs.out);
  }
  if (app.count("--order")) {
    settings.nameOrder = raw.order == "base-part" ? NameOrder::BaseFirst() : NameOrder::PartFirst();
  }
  if (app.count("--extensions")) settings.extensions = raw.extensions;
  if (raw.alpha && raw.noAlpha) {
    throw CLI::ValidationError("--alpha", "--alpha and --no-alpha cannot both be given");
  }
  if (raw.alpha || raw.noAlpha) settings.alphaBlend = raw.alpha;

  options.output = OutputFormatNamed(raw.format, settings.jpegQuality);
  options.pairSettings = {settings.separator, settings.nameOrder, settings.threshold,
                          settings.alphaBlend};
  options.extensions = settings.extensions;
  options.jobs = raw.jobs == 0 ? CoreCount() : raw.jobs;
  if (app.count("--shard")) options.shard = ParseShard(raw.shard);
  options.cacheBytes = raw.cacheMegabytes << 20;
  if (app.count("--memory-mb")) options.memoryBytes = raw.memoryMegabytes << 20;
  options.maxPictureBytes = raw.maxPictureMegabytes << 20;
  if (app.count("--settings")) options.settingsFile = raw.settings;
  options.update = raw.update;
  if (app.count("--report") && raw.report.empty()) {
    throw CLI::ValidationError("--report", "needs a file name, or '-' for standard output");
  }
  options.reportPath = raw.report;
  options.dryRun = raw.dryRun;
  options.nullSeparated = raw.inputs.nullSeparated;
  options.quiet = raw.quiet;
  options.noSync = raw.noSync;
  return options;
}

void Describe(CLI::App& app, RawOptions& raw) {
  app.set_version_flag("--version", std::string("mirelay-batch ") + MIRELAY_VERSION);
  app.add_option("BASE_DIR", raw.inputs.base, "Folder of base images (left out with --bases-from)");
  app.add_option("PART_DIR", raw.inputs.part, "Folder of part images (left out with --parts-from)");
  app.add_option("OUT_DIR", raw.inputs.out,
                 "Folder the composites are written to; made when missing, if its parent exists");
  app.add_option("--bases-from", raw.inputs.basesFrom,
                 "Take the bases from the list in FILE ('-': standard input), one path a line "
                 "(with -0, NUL-separated), in place of BASE_DIR")
      ->type_name("FILE");
  app.add_option("--parts-from", raw.inputs.partsFrom,
                 "Take the parts from the list in FILE ('-': standard input), in place of PART_DIR")
      ->type_name("FILE");
  app.add_flag("-0,--null", raw.inputs.nullSeparated,
               "Lists are NUL-separated (find -print0); --dry-run prints output, base and part "
               "each ended by a NUL");
  app.add_option("--format", raw.format, "Output format")
      ->check(CLI::IsMember({"png", "jpg", "bmp", "gif"}))
      ->capture_default_str();
  app.add_option("--quality", raw.quality,
                 "JPEG quality, " + std::to_string(kLowestJpegQuality) + " to " +
                     std::to_string(kHighestJpegQuality) + " (default " +
                     std::to_string(kDefaultJpegQuality) + ")");
  app.add_option("--threshold", raw.threshold, "Colour-key threshold (default 0)");
  app.add_flag("--alpha", raw.alpha,
               "Lay parts that carry alpha (PNG alpha or tRNS, a GIF's transparent colour, a "
               "BMP's alpha mask) on by it instead of the colour key (AlphaBlend=1 in the "
               "settings file)");
  app.add_flag("--no-alpha", raw.noAlpha,
               "The colour key for every part, whatever the settings file says");
  app.add_option("--separator", raw.separator, "Text between the two names (default empty)");
  app.add_option("--order", raw.order, "Name order (default base-part)")
      ->check(CLI::IsMember({"base-part", "part-base"}));
  app.add_option("--extensions", raw.extensions,
                 std::string("Accepted extensions (default \"") + kDefaultExtensions + "\")");
  app.add_option("--settings", raw.settings, "INI file written by the window; options win")
      ->check(CLI::ExistingFile);
  app.add_option("-j,--jobs", raw.jobs,
                 "Worker threads, 0 for one per core (default: one per core)")
      ->check(CLI::Range(0u, 256u))
      ->capture_default_str();
  app.add_option("--shard", raw.shard, "Process only part K of N of the pairs (K/N)");
  app.add_option("--cache-mb", raw.cacheMegabytes, "Decoded-image cache limit in MiB")
      ->check(CLI::Range(std::size_t{1}, std::size_t{1} << 20))
      ->capture_default_str();
  app.add_option("--memory-mb", raw.memoryMegabytes,
                 "Memory for the pictures of the pairs in flight, in MiB; pairs wait for room "
                 "(default: half the memory available now, " +
                     std::to_string(DefaultMemoryBudget() >> 20) + " MiB)")
      ->check(CLI::Range(std::size_t{1}, std::size_t{1} << 30));
  app.add_option("--max-picture-mb", raw.maxPictureMegabytes,
                 "Largest picture decoded, in MiB at 3 bytes per pixel")
      ->check(CLI::Range(std::size_t{1}, std::size_t{1} << 20))
      ->capture_default_str();
  app.add_flag("--update", raw.update,
               "Do only the pairs whose output is missing, empty, older than the --settings "
               "file, or not what the record in OUT_DIR/.mirelay-record says today's inputs "
               "and options make (outputs it does not know: older than their base or part); "
               "resumes an interrupted run");
  app.add_option("--report", raw.report,
                 "Write a JSON line per pair as it finishes, then a summary line, to FILE ('-': "
                 "standard output)")
      ->type_name("FILE");
  app.add_flag("--dry-run", raw.dryRun,
               "List the pairs and their output names (with --update, which are up to date; "
               "with -0, only the pairs to do); decode, write and make nothing");
  app.add_flag("-q,--quiet", raw.quiet, "No progress line and no summary");
  app.add_flag("--no-sync", raw.noSync,
               "Do not flush outputs to the disk before renaming them into place: faster for "
               "many tiny outputs, but a power cut may then leave empty or short outputs that "
               "look finished");
}

}  // namespace

std::variant<BatchOptions, int> ParseBatchOptions(int argc, char** argv) {
  CLI::App app("Overlays every part image onto every base image, as the window's batch does.",
               "mirelay-batch");
  RawOptions raw;
  Describe(app, raw);
  try {
    app.parse(argc, argv);
    PlaceInputs(app, raw);
    return Combine(app, raw);
  } catch (const CLI::ParseError& error) {
    const int status = app.exit(error);
    return status == 0 ? 0 : 2;
  }
}

}  // namespace mirelay::cli
