#pragma once

#include <string>

namespace mirelay {

// Everything `path` gives until its end, whatever it is: a file, a pipe, a process
// substitution's /dev/fd/N; "-" is standard input. Unlike InputFile, it waits for a pipe's
// writer, as a list fed by find or xargs needs. FileError when it cannot be opened or read.
std::string ReadToEnd(const std::string& path);

}  // namespace mirelay
