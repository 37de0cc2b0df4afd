#include "platform/foundation/UserDefaults.h"

#include <cstdlib>
#include <filesystem>
#include <limits>

#include "platform/foundation/Files.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Paths.h"

namespace plexora::platform {
namespace {

constexpr const char* kUnreadableFileLine = "UserDefaults: cannot read ";
constexpr const char* kCorruptFileLine = "UserDefaults: not a property-list dictionary, starting empty: ";
constexpr const char* kRefusedValueLine = "UserDefaults: refusing a value that cannot be stored under key ";
constexpr const char* kEncodeFailedLine = "UserDefaults: cannot encode the store for ";
constexpr const char* kWriteFailedLine = "UserDefaults: cannot write ";

// Never destroyed, so the exit writer and late callers on other threads
// always find it.
struct StandardStore {
  std::mutex mutex;
  std::shared_ptr<UserDefaults> defaults;
  bool exitWriterInstalled = false;
};

StandardStore& standardStore() {
  static auto* const store = new StandardStore();
  return *store;
}

// Called with the state's mutex held, whenever a standard store is set.
void installExitWriter(StandardStore& state, void (*writer)()) {
  if (!state.exitWriterInstalled) {
    state.exitWriterInstalled = std::atexit(writer) == 0;
  }
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// The leading decimal integer of a text, as a string's integer value reads
// it: white space, an optional sign, digits; saturating; 0 when none.
std::int64_t leadingInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isSpace(text[i])) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  constexpr std::uint64_t kPositiveLimit = std::numeric_limits<std::int64_t>::max();
  const std::uint64_t limit = negative ? kPositiveLimit + 1 : kPositiveLimit;
  std::uint64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const auto digit = static_cast<std::uint64_t>(text[i] - '0');
    if (magnitude > (limit - digit) / 10) {
      magnitude = limit;
      break;
    }
    magnitude = magnitude * 10 + digit;
  }
  if (negative) {
    return magnitude == kPositiveLimit + 1 ? std::numeric_limits<std::int64_t>::min()
                                           : -static_cast<std::int64_t>(magnitude);
  }
  return static_cast<std::int64_t>(magnitude);
}

// The directory holding the file ("." for a bare file name).
std::string directoryOf(const std::string& path) {
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  return parent.empty() ? "." : parent.string();
}

Dictionary loadStore(const std::string& path) {
  FileError error;
  const std::optional<Bytes> bytes = readFile(path, &error);
  if (!bytes) {
    if (error.code != std::errc::no_such_file_or_directory) {
      logLine(kUnreadableFileLine + error.description());
    }
    return {};
  }
  std::optional<Value> root = parsePropertyList(*bytes);
  if (!root || !root->isDictionary()) {
    logLine(kCorruptFileLine + path);
    return {};
  }
  return std::move(root->mutableDictionary());
}

}  // namespace

std::shared_ptr<UserDefaults> UserDefaults::standardUserDefaults() {
  StandardStore& state = standardStore();
  {
    std::lock_guard lock(state.mutex);
    if (state.defaults) {
      return state.defaults;
    }
  }
  // Loaded outside the lock: loading may log, and a log sink may well ask
  // for the standard store itself.
  auto loaded = std::make_shared<UserDefaults>(userDefaultsPath());
  std::lock_guard lock(state.mutex);
  if (!state.defaults) {
    state.defaults = std::move(loaded);
    installExitWriter(state, &UserDefaults::writeStandardStoreAtExit);
  }
  return state.defaults;
}

void UserDefaults::resetStandardUserDefaults(std::string path) {
  auto replacement = std::make_shared<UserDefaults>(path.empty() ? userDefaultsPath() : std::move(path));
  StandardStore& state = standardStore();
  std::lock_guard lock(state.mutex);
  state.defaults = std::move(replacement);
  installExitWriter(state, &UserDefaults::writeStandardStoreAtExit);
}

UserDefaults::UserDefaults(std::string path) : path_(std::move(path)), values_(loadStore(path_)) {}

std::optional<Value> UserDefaults::objectForKey(const std::string& key) const {
  std::lock_guard lock(mutex_);
  const Value* value = values_.find(key);
  return value ? std::optional<Value>(*value) : std::nullopt;
}

std::optional<std::string> UserDefaults::stringForKey(const std::string& key) const {
  std::lock_guard lock(mutex_);
  const Value* value = values_.find(key);
  return value ? value->text() : std::nullopt;
}

std::int64_t UserDefaults::integerForKey(const std::string& key) const {
  std::lock_guard lock(mutex_);
  const Value* value = values_.find(key);
  if (value == nullptr) {
    return 0;
  }
  return value->isString() ? leadingInteger(value->asString()) : value->toInt64();
}

bool UserDefaults::boolForKey(const std::string& key) const {
  std::lock_guard lock(mutex_);
  const Value* value = values_.find(key);
  if (value == nullptr) {
    return false;
  }
  return value->isString() ? textBoolValue(value->asString()) : value->toBool();
}

std::optional<Array> UserDefaults::arrayForKey(const std::string& key) const {
  std::lock_guard lock(mutex_);
  const Value* value = values_.find(key);
  return (value && value->isArray()) ? std::optional<Array>(value->asArray()) : std::nullopt;
}

void UserDefaults::setObject(const std::string& key, Value value) {
  if (value.isNull()) {
    store(key, std::nullopt);
    return;
  }
  // Checking here keeps one bad value from making every later write fail.
  if (!toBinaryPropertyList(Value(Dictionary{{key, value}}))) {
    {
      std::lock_guard lock(mutex_);
      ++writeCount_;
    }
    logLine(kRefusedValueLine + key);
    return;
  }
  store(key, std::move(value));
}

void UserDefaults::setInteger(const std::string& key, std::int64_t value) { setObject(key, Value(value)); }

void UserDefaults::setBool(const std::string& key, bool value) { setObject(key, Value(value)); }

void UserDefaults::setString(const std::string& key, std::string value) { setObject(key, Value(std::move(value))); }

void UserDefaults::removeObjectForKey(const std::string& key) { store(key, std::nullopt); }

void UserDefaults::store(const std::string& key, std::optional<Value> value) {
  std::lock_guard lock(mutex_);
  ++writeCount_;
  if (value) {
    values_.set(key, std::move(*value));
    dirty_ = true;
  } else if (values_.erase(key)) {
    dirty_ = true;
  }
}

bool UserDefaults::synchronize() {
  std::string failure;
  {
    std::lock_guard lock(mutex_);
    ++synchronizeCount_;
    if (!dirty_) {
      return true;
    }
    const std::optional<Bytes> bytes = toBinaryPropertyList(Value(values_));
    FileError error;
    if (!bytes) {
      failure = kEncodeFailedLine + path_;
    } else if (!createDirectories(directoryOf(path_), &error) ||
               !writeFileAtomically(path_, *bytes, &error)) {
      failure = kWriteFailedLine + error.description();
    } else {
      dirty_ = false;
      return true;
    }
  }
  logLine(failure);
  return false;
}

std::uint64_t UserDefaults::synchronizeCount() const {
  std::lock_guard lock(mutex_);
  return synchronizeCount_;
}

std::uint64_t UserDefaults::writeCount() const {
  std::lock_guard lock(mutex_);
  return writeCount_;
}

// Settings changed without an explicit synchronize still reach the disk, as
// long as their directory exists (a test's removed temporary directory is
// not brought back). Nothing is logged: the log may already be torn down.
void UserDefaults::writeStandardStoreAtExit() {
  std::shared_ptr<UserDefaults> defaults;
  {
    StandardStore& state = standardStore();
    std::lock_guard lock(state.mutex);
    defaults = state.defaults;
  }
  if (!defaults) {
    return;
  }
  std::lock_guard lock(defaults->mutex_);
  if (!defaults->dirty_ || !isDirectory(directoryOf(defaults->path_))) {
    return;
  }
  if (const std::optional<Bytes> bytes = toBinaryPropertyList(Value(defaults->values_))) {
    defaults->dirty_ = !writeFileAtomically(defaults->path_, *bytes);
  }
}

}  // namespace plexora::platform
