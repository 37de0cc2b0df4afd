#include "platform/foundation/Paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <vector>

namespace plexora::platform {
namespace {

constexpr const char* kUserDefaultsFileName = "UserDefaults.plist";

struct Overrides {
  std::mutex mutex;
  std::string cachesDirectory;
  std::string userDefaultsPath;
  std::string applicationName;
  std::string temporaryDirectory;
};

Overrides& overrides() {
  // Never destroyed: the library's background threads (the event database's
  // opening among them) may ask for a path while a host exits.
  static auto* const instance = new Overrides;
  return *instance;
}

std::string homeDirectory() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') {
    return home;
  }
  std::vector<char> buffer(16384);
  struct passwd entry {};
  struct passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && found->pw_dir[0] == '/') {
    return found->pw_dir;
  }
  return std::filesystem::temp_directory_path().string();
}

// XDG: the variable counts only when it holds an absolute path.
std::filesystem::path baseDirectory(const char* variable, const char* fallbackBelowHome) {
  const char* value = std::getenv(variable);
  if (value != nullptr && value[0] == '/') {
    return value;
  }
  return std::filesystem::path(homeDirectory()) / fallbackBelowHome;
}

std::string defaultApplicationName() {
  const char* name = program_invocation_short_name;
  return (name != nullptr && name[0] != '\0') ? name : "plexora";
}

std::string currentApplicationName(const Overrides& state) {
  return state.applicationName.empty() ? defaultApplicationName() : state.applicationName;
}

}  // namespace

std::string cachesDirectory() {
  Overrides& state = overrides();
  std::lock_guard lock(state.mutex);
  if (!state.cachesDirectory.empty()) {
    return state.cachesDirectory;
  }
  return (baseDirectory("XDG_CACHE_HOME", ".cache") / currentApplicationName(state)).string();
}

std::string userDefaultsPath() {
  Overrides& state = overrides();
  std::lock_guard lock(state.mutex);
  if (!state.userDefaultsPath.empty()) {
    return state.userDefaultsPath;
  }
  return (baseDirectory("XDG_CONFIG_HOME", ".config") / currentApplicationName(state) / kUserDefaultsFileName)
      .string();
}

std::string applicationName() {
  Overrides& state = overrides();
  std::lock_guard lock(state.mutex);
  return currentApplicationName(state);
}

std::string temporaryDirectory() {
  Overrides& state = overrides();
  std::lock_guard lock(state.mutex);
  if (!state.temporaryDirectory.empty()) {
    return state.temporaryDirectory;
  }
  std::error_code error;
  const std::filesystem::path path = std::filesystem::temp_directory_path(error);
  return error ? "/tmp" : path.string();
}

void setCachesDirectory(std::string path) {
  Overrides& state = overrides();
  std::lock_guard lock(state.mutex);
  state.cachesDirectory = std::move(path);
}

void setUserDefaultsPath(std::string path) {
  Overrides& state = overrides();
  std::lock_guard lock(state.mutex);
  state.userDefaultsPath = std::move(path);
}

void setApplicationName(std::string name) {
  Overrides& state = overrides();
  std::lock_guard lock(state.mutex);
  state.applicationName = std::move(name);
}

void setTemporaryDirectory(std::string path) {
  Overrides& state = overrides();
  std::lock_guard lock(state.mutex);
  state.temporaryDirectory = std::move(path);
}

}  // namespace plexora::platform
