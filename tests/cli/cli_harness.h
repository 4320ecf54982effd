#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.h"

namespace mirelay::testing_support {

struct CliResult {
  int status = -1;  // exit status, or 128 + signal number
  std::string out;
  std::string err;
};

struct CliLaunch {
  // Runs the child as the unprivileged "nobody" when the tests run as root, so that folder
  // permissions apply to it.
  bool unprivileged = false;
  // Polled every few milliseconds while the child runs; true sends it `interruptSignal` once.
  std::function<bool()> interruptWhen;
  int interruptSignal = SIGINT;
  // A command mirelay-batch runs under, its arguments following (unshare ..., sh -c ...).
  std::vector<std::string> runUnder;
  // Caps the child's heap and other private writable memory (RLIMIT_DATA), so that running out
  // of memory can be provoked with pictures of a few hundred megabytes.
  rlim_t dataLimitBytes = RLIM_INFINITY;
  // A file the child reads as its standard input; empty: none (/dev/null).
  std::string standardInput;
};

// Address-sanitized builds map terabytes of shadow memory, so no memory cap fits them.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kMemoryCapsWork = false;
#else
inline constexpr bool kMemoryCapsWork = true;
#endif

// The built mirelay-batch as another user can run it: the build folder may sit where only its
// owner may enter (a checkout in /root), so that user gets a copy in a folder anyone may enter.
inline const std::string& ReachableBatchBinary() {
  struct Copy {
    std::string folder = "/tmp/mirelay-batch-XXXXXX";
    std::string binary;
    Copy() {
      if (::mkdtemp(folder.data()) == nullptr || ::chmod(folder.c_str(), 0755) != 0) return;
      binary = folder + "/mirelay-batch";
      std::error_code failed;
      std::filesystem::copy_file(MIRELAY_BATCH_BINARY, binary, failed);
      if (failed) binary.clear();
    }
    ~Copy() {
      std::error_code ignored;
      std::filesystem::remove_all(folder, ignored);
    }
  };
  static const Copy copy;
  return copy.binary;
}

// Runs the built mirelay-batch with `arguments`, capturing its output in files of `scratch`.
inline CliResult RunCli(const std::vector<std::string>& arguments, const TempDir& scratch,
                        const CliLaunch& launch = {}) {
  const std::string outPath = scratch.Path("cli.stdout"), errPath = scratch.Path("cli.stderr");
  const bool asOtherUser = launch.unprivileged && ::geteuid() == 0;
  const std::string binary = asOtherUser ? ReachableBatchBinary() : MIRELAY_BATCH_BINARY;
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
    ::dup2(::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
    const std::string input = launch.standardInput.empty() ? "/dev/null" : launch.standardInput;
    ::dup2(::open(input.c_str(), O_RDONLY), STDIN_FILENO);
    if (asOtherUser && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      ::_exit(125);
    }
    const rlimit data{launch.dataLimitBytes, launch.dataLimitBytes};
    if (launch.dataLimitBytes != RLIM_INFINITY && ::setrlimit(RLIMIT_DATA, &data) != 0)
      ::_exit(125);
    std::vector<char*> argv;
    for (const auto& word : launch.runUnder) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(const_cast<char*>(binary.c_str()));
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int raw = 0;
  bool signalled = false;
  while (::waitpid(child, &raw, launch.interruptWhen ? WNOHANG : 0) == 0) {
    if (!signalled && launch.interruptWhen()) {
      ::kill(child, launch.interruptSignal);
      signalled = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  CliResult result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  result.out = ReadText(outPath);
  result.err = ReadText(errPath);
  return result;
}

}  // namespace mirelay::testing_support
