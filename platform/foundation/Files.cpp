#include "platform/foundation/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "platform/foundation/UUID.h"

namespace plexora::platform {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kBlockSize = 512;
constexpr int kTemporaryNameAttempts = 8;

bool fail(FileError* error, std::error_code code, const std::string& path) {
  if (error != nullptr) {
    *error = FileError{code, path};
  }
  return false;
}

bool failWithErrno(FileError* error, const std::string& path) {
  return fail(error, std::error_code(errno, std::generic_category()), path);
}

// Closes the descriptor on every path out of a function.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now and answers whether close succeeded (for written files a
  // late write error can surface here).
  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool writeAll(int fd, ByteView bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t result = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (result < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    written += static_cast<std::size_t>(result);
  }
  return true;
}

// Makes the rename itself durable; the data is already safe, so a failure
// here is not worth failing the write for.
void syncDirectory(const fs::path& directory) {
  FileDescriptor fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.valid()) {
    ::fsync(fd.get());
  }
}

}  // namespace

std::string FileError::description() const { return path + ": " + code.message(); }

std::optional<Bytes> readFile(const std::string& path, FileError* error) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) {
    failWithErrno(error, path);
    return std::nullopt;
  }
  Bytes bytes;
  struct stat info {};
  if (::fstat(fd.get(), &info) == 0 && info.st_size > 0) {
    bytes.reserve(static_cast<std::size_t>(info.st_size));
  }
  std::uint8_t chunk[64 * 1024];
  while (true) {
    const ssize_t result = ::read(fd.get(), chunk, sizeof chunk);
    if (result < 0) {
      if (errno == EINTR) {
        continue;
      }
      failWithErrno(error, path);
      return std::nullopt;
    }
    if (result == 0) {
      return bytes;
    }
    bytes.insert(bytes.end(), chunk, chunk + result);
  }
}

bool writeFileAtomically(const std::string& path, ByteView bytes, FileError* error, WriteDurability durability) {
  const fs::path target(path);
  if (!target.has_filename()) {
    return fail(error, std::make_error_code(path.empty() ? std::errc::no_such_file_or_directory
                                                         : std::errc::is_a_directory),
                path);
  }
  const fs::path directory = target.has_parent_path() ? target.parent_path() : fs::path(".");

  std::string temporary;
  int rawFd = -1;
  for (int attempt = 0; attempt < kTemporaryNameAttempts && rawFd < 0; ++attempt) {
    temporary = (directory / ("." + target.filename().string() + "." + makeUUIDString() + ".tmp")).string();
    rawFd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (rawFd < 0 && errno != EEXIST) {
      break;
    }
  }
  FileDescriptor fd(rawFd);
  if (!fd.valid()) {
    return failWithErrno(error, temporary);
  }

  auto abandon = [&](const std::string& failedPath) {
    const std::error_code code(errno, std::generic_category());
    ::unlink(temporary.c_str());
    return fail(error, code, failedPath);
  };
  const bool durable = durability == WriteDurability::Durable;
  if (!writeAll(fd.get(), bytes) || (durable && ::fsync(fd.get()) != 0) || !fd.close()) {
    return abandon(temporary);
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    return abandon(path);
  }
  if (durable) {
    syncDirectory(directory);
  }
  return true;
}

bool createDirectories(const std::string& path, FileError* error) {
  std::error_code code;
  fs::create_directories(path, code);
  if (code) {
    return fail(error, code, path);
  }
  if (!isDirectory(path)) {
    return fail(error, std::make_error_code(std::errc::not_a_directory), path);
  }
  return true;
}

bool removeItem(const std::string& path, FileError* error) {
  std::error_code code;
  const std::uintmax_t removed = fs::remove_all(path, code);
  if (code) {
    return fail(error, code, path);
  }
  if (removed == 0) {
    return fail(error, std::make_error_code(std::errc::no_such_file_or_directory), path);
  }
  return true;
}

bool fileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

bool isDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::optional<std::vector<DirectoryEntry>> listDirectory(const std::string& path, bool recursive,
                                                         FileError* error) {
  std::vector<DirectoryEntry> entries;
  auto addEntry = [&](const fs::path& entryPath) {
    struct stat info {};
    if (::lstat(entryPath.c_str(), &info) != 0) {
      return failWithErrno(error, entryPath.string());
    }
    DirectoryEntry entry;
    entry.path = entryPath.string();
    entry.isRegularFile = S_ISREG(info.st_mode);
    entry.isDirectory = S_ISDIR(info.st_mode);
    entry.allocatedSize = entry.isRegularFile ? static_cast<std::uint64_t>(info.st_blocks) * kBlockSize : 0;
    entries.push_back(std::move(entry));
    return true;
  };

  std::error_code code;
  if (recursive) {
    fs::recursive_directory_iterator it(path, code);
    for (; !code && it != fs::recursive_directory_iterator(); it.increment(code)) {
      if (!addEntry(it->path())) {
        return std::nullopt;
      }
    }
  } else {
    fs::directory_iterator it(path, code);
    for (; !code && it != fs::directory_iterator(); it.increment(code)) {
      if (!addEntry(it->path())) {
        return std::nullopt;
      }
    }
  }
  if (code) {
    fail(error, code, path);
    return std::nullopt;
  }
  std::sort(entries.begin(), entries.end(),
            [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.path < b.path; });
  return entries;
}

std::optional<std::uint64_t> allocatedFileSize(const std::string& path, FileError* error) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    failWithErrno(error, path);
    return std::nullopt;
  }
  if (!S_ISREG(info.st_mode)) {
    fail(error, std::make_error_code(std::errc::invalid_argument), path);
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(info.st_blocks) * kBlockSize;
}

}  // namespace plexora::platform
