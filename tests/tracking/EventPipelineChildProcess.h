// Starting, timing and ending the event pipeline's child program
// (tools/EventPipelineChild.cpp) from the kill tests.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace plexora::testing {

inline constexpr const char *kEventPipelineChildProgram =
    "event_pipeline_child";
// How long a child may take to store its first event on a busy machine.
inline constexpr auto kEventPipelineChildStoreLimit = std::chrono::seconds(60);

// The child program is built beside the test program.
inline std::filesystem::path eventPipelineChildProgram() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path() /
         kEventPipelineChildProgram;
}

inline pid_t
spawnEventPipelineChild(const std::vector<std::string> &arguments) {
  std::vector<char *> argv;
  for (const std::string &argument : arguments) {
    argv.push_back(const_cast<char *>(argument.c_str()));
  }
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  return pid;
}

// The file a child of `generation` makes in `directory` once its store
// first holds an event: a kill timed from the spawn, or from the start of
// its logging, would on a loaded machine often land before anything was
// stored, and try nothing.
inline std::filesystem::path
eventPipelineStoredMark(const std::filesystem::path &directory,
                        const std::string &generation) {
  return directory / ("stored-" + generation);
}

// Whether the child stored its first event before the limit (false also
// when it ended first).
inline bool awaitEventPipelineChildStored(pid_t pid,
                                          const std::filesystem::path &directory,
                                          const std::string &generation) {
  const auto deadline =
      std::chrono::steady_clock::now() + kEventPipelineChildStoreLimit;
  while (
      !std::filesystem::exists(eventPipelineStoredMark(directory, generation))) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) != 0 ||
        std::chrono::steady_clock::now() > deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// Waits for the child; kills it when it outlives the limit. Answers its
// exit status, or -1 when it had to be killed or did not exit normally.
inline int awaitEventPipelineChildExit(pid_t pid, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace plexora::testing
