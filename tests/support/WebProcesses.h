// The web engine's web processes among this process's descendants, found
// through /proc, so a test can tell how many pages' processes run and kill
// one as a crash would.
//
// Thread safety: any thread; reads /proc only.
#pragma once

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>

namespace plexora::testing {

// The engine's name for the process that runs pages.
inline constexpr const char* kWebProcessName = "WPEWebProcess";

// Every live process's parent, by pid.
inline std::map<long, long> processParents() {
  std::map<long, long> parents;
  std::error_code failure;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", failure)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || !std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isdigit(c) != 0; })) {
      continue;
    }
    std::ifstream file(entry.path() / "stat");
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // The command may hold spaces and parentheses: the fields follow its last ")".
    const auto close = text.rfind(')');
    if (close == std::string::npos) {
      continue;
    }
    std::istringstream fields(text.substr(close + 1));
    std::string state;
    long parent = -1;
    if (fields >> state >> parent && state != "Z") {
      parents[std::stol(name)] = parent;
    }
  }
  return parents;
}

inline std::string processName(long pid) {
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

// The live web processes this process started, at any depth.
inline std::set<long> webProcesses() {
  const auto parents = processParents();
  std::set<long> found;
  for (const auto& [pid, parent] : parents) {
    for (long ancestor = parent; ancestor > 1;) {
      if (ancestor == ::getpid()) {
        if (processName(pid).starts_with(kWebProcessName)) found.insert(pid);
        break;
      }
      const auto next = parents.find(ancestor);
      if (next == parents.end()) break;
      ancestor = next->second;
    }
  }
  return found;
}

inline void killProcesses(const std::set<long>& pids) {
  for (const long pid : pids) ::kill(static_cast<pid_t>(pid), SIGKILL);
}

}  // namespace plexora::testing
