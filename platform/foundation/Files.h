// Whole-file reads and writes and the few directory operations the library
// needs. Failures are answered as values (a false/nullopt result plus an
// optional FileError); nothing throws.
//
// Thread safety: callable from any thread; operations on the same path from
// several threads race as the underlying system calls do, except that a
// reader never sees a half-written file from writeFileAtomically.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "platform/foundation/Bytes.h"

namespace plexora::platform {

// What failed, and on which path (the entry of a walk that failed, not
// necessarily the path asked for).
struct FileError {
  std::error_code code;
  std::string path;

  // "<path>: <system message>".
  std::string description() const;
};

std::optional<Bytes> readFile(const std::string& path, FileError* error = nullptr);

// How far a write goes before it is answered. Durable flushes the file and
// its folder to the disk, so the new bytes survive a crash. Volatile leaves
// that to the system: readers still see the old or the new bytes, never a
// mix, but a crash soon after may leave the file empty or missing.
enum class WriteDurability { Durable, Volatile };

// Writes a temporary file beside `path` and renames it over `path`, so the
// file holds either the old or the new bytes, never a mix. On failure the
// temporary file is removed and `path` is untouched.
bool writeFileAtomically(const std::string& path, ByteView bytes, FileError* error = nullptr,
                         WriteDurability durability = WriteDurability::Durable);

// Creates the directory and any missing parents; true when it already
// exists as a directory.
bool createDirectories(const std::string& path, FileError* error = nullptr);

// Removes a file, a symbolic link (not its target) or a whole directory
// tree. A path that does not exist is a failure (ENOENT).
bool removeItem(const std::string& path, FileError* error = nullptr);

// Whether something exists at the path (symbolic links followed).
bool fileExists(const std::string& path);
bool isDirectory(const std::string& path);

struct DirectoryEntry {
  std::string path;
  bool isRegularFile = false;
  bool isDirectory = false;
  // Bytes the file occupies on disk (st_blocks * 512); 0 unless a regular file.
  std::uint64_t allocatedSize = 0;
};

// The entries of a directory, hidden ones included, sorted by path. With
// `recursive` the whole tree below it; symbolic links are listed, not
// followed. The first entry that cannot be read fails the whole listing.
std::optional<std::vector<DirectoryEntry>> listDirectory(const std::string& path, bool recursive,
                                                         FileError* error = nullptr);

// st_blocks * 512 of a regular file (symbolic links followed); nullopt with
// an error for anything else.
std::optional<std::uint64_t> allocatedFileSize(const std::string& path, FileError* error = nullptr);

}  // namespace plexora::platform
