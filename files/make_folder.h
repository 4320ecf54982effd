#pragma once

#include <string>

namespace mirelay {

// Creates the folder `path` unless a folder is there already (another shard may just have made
// it); its parent must exist. With `durable`, the parent is flushed so that the folder survives
// a power cut with the outputs renamed into it. FileError when it cannot be made.
void MakeFolderIfMissing(const std::string& path, bool durable);

}  // namespace mirelay
