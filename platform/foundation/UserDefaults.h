// A small persistent key-value store for settings, kept in one binary
// property-list file.
//
// Reads come from memory. Changes stay in memory until synchronize() writes
// the whole store to its file atomically; the standard store also writes
// pending changes at normal process exit. A file that cannot be read or
// parsed is logged and the store starts empty (it is replaced at the next
// synchronize).
//
// Thread safety: every member may be called from any thread.
// Ownership: stores are shared through std::shared_ptr; the standard one
// lives as long as its last holder or the process, whichever is longer.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/value/Value.h"

namespace plexora::platform {

class UserDefaults final {
 public:
  // The process's store, at userDefaultsPath() (see Paths.h) when first used.
  static std::shared_ptr<UserDefaults> standardUserDefaults();
  // Replaces the standard store with a fresh one reading `path` (empty: the
  // current userDefaultsPath()). Pending changes of the replaced store are
  // dropped. Meant for tests, each of which works in its own directory.
  static void resetStandardUserDefaults(std::string path = "");

  // Loads the store from `path`; a missing file is an empty store.
  explicit UserDefaults(std::string path);
  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;

  const std::string& path() const { return path_; }

  std::optional<Value> objectForKey(const std::string& key) const;
  // A string as stored, a number as its text; nullopt for other kinds.
  std::optional<std::string> stringForKey(const std::string& key) const;
  // A number (doubles truncated), or a string's leading decimal integer
  // ("42", " -7x" -> -7, "abc" -> 0, saturating); 0 for anything else.
  std::int64_t integerForKey(const std::string& key) const;
  // A non-zero number, or a string read as true ("YES", "true", "1"...);
  // false for anything else.
  bool boolForKey(const std::string& key) const;
  std::optional<Array> arrayForKey(const std::string& key) const;

  // A null value removes the key. A value the file format cannot hold (a
  // null inside a container, a string that is not UTF-8) is refused with a
  // log line and changes nothing.
  void setObject(const std::string& key, Value value);
  void setInteger(const std::string& key, std::int64_t value);
  void setBool(const std::string& key, bool value);
  void setString(const std::string& key, std::string value);
  void removeObjectForKey(const std::string& key);

  // Writes the store to its file when it has changes since the last write
  // (creating the file's directory when missing). Answers whether the file
  // now holds the store.
  bool synchronize();

  // Observation for tests: calls of synchronize(), and calls of the setters
  // and removeObjectForKey (each counts, even when it changes nothing).
  std::uint64_t synchronizeCount() const;
  std::uint64_t writeCount() const;

 private:
  // Writes the standard store's pending changes at exit: quietly, and only
  // into a directory that still exists.
  static void writeStandardStoreAtExit();
  void store(const std::string& key, std::optional<Value> value);

  const std::string path_;
  mutable std::mutex mutex_;
  Dictionary values_;
  bool dirty_ = false;
  std::uint64_t synchronizeCount_ = 0;
  std::uint64_t writeCount_ = 0;
};

}  // namespace plexora::platform
