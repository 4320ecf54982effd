#pragma once

#include <string>
#include <vector>

#include "cli/batch_options.h"

namespace mirelay::cli {

// Where a run's inputs come from and where its outputs go, as the command line names them.
struct InputSources {
  std::string base, part, out;  // a folder a list stands in for stays empty
  bool basesListed = false;
  bool partsListed = false;
  std::string basesFrom, partsFrom;  // "-": standard input
  bool nullSeparated = false;
};

// The positionals fill in order, so with a list in place of a folder the folders given stand
// one place early: hands them to the folders still needed. CLI::ValidationError when their
// number is not the number needed.
void PlaceFolders(const std::vector<std::string>& given, InputSources& sources);

// Checks the folders, reads the lists and puts both into `options`; CLI::ValidationError with
// the reason when they cannot serve.
void TakeInputs(const InputSources& sources, BatchOptions& options);

}  // namespace mirelay::cli
