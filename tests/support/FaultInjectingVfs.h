// An SQLite VFS for tests that passes every call to the default VFS and
// fails chosen ones the way a failing disk does: a full disk on write, a
// write that lands only in part before the disk fills, an I/O error on sync
// or on read. Faults hit every file opened through it (the database, its
// write-ahead log and journal); other connections of the process, opened
// through the default VFS, see the disk as it is.
//
// A database manager uses it once its VFS name is set to kName.
//
// Header-only: the support sources are also built into the platform's test
// program, which does not link SQLite.
//
// Thread safety: faults are armed and counted under a mutex, so a test
// thread may arm or clear them while the database queue works.
// Ownership: one instance per process, registered on first use and never
// unregistered (SQLite keeps a pointer to it).
#pragma once

#include <sqlite3.h>

#include <cstddef>
#include <cstring>
#include <limits>
#include <mutex>
#include <random>
#include <stdexcept>
#include <vector>

namespace plexora::testing {

enum class DiskFault {
  // The write reaches nothing; SQLITE_FULL.
  FullOnWrite,
  // The first half of the bytes reaches the file, then SQLITE_FULL, as when
  // the disk fills in the middle of a write.
  ShortWrite,
  // SQLITE_IOERR_FSYNC; nothing is flushed.
  IOErrorOnSync,
  // SQLITE_IOERR_READ; nothing is read.
  IOErrorOnRead,
};

class FaultInjectingVfs {
 public:
  static constexpr const char* kName = "plexora-fault-injecting";
  static constexpr int kUntilCleared = std::numeric_limits<int>::max();

  // The process's instance, registered under kName (not as the default).
  static FaultInjectingVfs& install() {
    static FaultInjectingVfs* const instance = new FaultInjectingVfs();
    return *instance;
  }

  // From the (`skip` + 1)-th operation of the fault's kind on, `count` of
  // them fail (a full disk stays full until cleared).
  void failAfter(DiskFault fault, int skip, int count = kUntilCleared) {
    std::lock_guard lock(mutex_);
    rules_.push_back({fault, skip, count, 1.0});
  }

  // Each operation of the fault's kind fails with the probability until
  // cleared. The draws come from the VFS's one generator, seeded anew with
  // `seed`, so a run repeats with the seed of its last call.
  void failRandomly(DiskFault fault, double probability, unsigned seed) {
    std::lock_guard lock(mutex_);
    random_.seed(seed);
    rules_.push_back({fault, 0, kUntilCleared, probability});
  }

  // The disk works again; counts start over.
  void clear() {
    std::lock_guard lock(mutex_);
    rules_.clear();
    injected_ = 0;
  }

  // Operations failed since the last clear.
  int injected() const {
    std::lock_guard lock(mutex_);
    return injected_;
  }

 private:
  struct Rule {
    DiskFault fault;
    int skip;
    int count;
    double probability;
  };

  // Our file: the real file's structure follows it in the same allocation.
  struct File {
    sqlite3_file base;
    FaultInjectingVfs* owner;
    sqlite3_file* real;
  };

  static constexpr std::size_t kRealFileOffset = (sizeof(File) + 7) & ~std::size_t{7};

  FaultInjectingVfs() : real_(sqlite3_vfs_find(nullptr)) {
    if (real_ == nullptr) {
      throw std::runtime_error("SQLite has no default VFS");
    }
    vfs_.iVersion = 2;
    vfs_.szOsFile = static_cast<int>(kRealFileOffset) + real_->szOsFile;
    vfs_.mxPathname = real_->mxPathname;
    vfs_.zName = kName;
    vfs_.pAppData = this;
    vfs_.xOpen = &open;
    vfs_.xDelete = [](sqlite3_vfs* vfs, const char* name, int syncDir) {
      return realOf(vfs)->xDelete(realOf(vfs), name, syncDir);
    };
    vfs_.xAccess = [](sqlite3_vfs* vfs, const char* name, int flags, int* result) {
      return realOf(vfs)->xAccess(realOf(vfs), name, flags, result);
    };
    vfs_.xFullPathname = [](sqlite3_vfs* vfs, const char* name, int size, char* out) {
      return realOf(vfs)->xFullPathname(realOf(vfs), name, size, out);
    };
    vfs_.xDlOpen = [](sqlite3_vfs* vfs, const char* name) { return realOf(vfs)->xDlOpen(realOf(vfs), name); };
    vfs_.xDlError = [](sqlite3_vfs* vfs, int size, char* out) { realOf(vfs)->xDlError(realOf(vfs), size, out); };
    vfs_.xDlSym = [](sqlite3_vfs* vfs, void* handle, const char* symbol) {
      return realOf(vfs)->xDlSym(realOf(vfs), handle, symbol);
    };
    vfs_.xDlClose = [](sqlite3_vfs* vfs, void* handle) { realOf(vfs)->xDlClose(realOf(vfs), handle); };
    vfs_.xRandomness = [](sqlite3_vfs* vfs, int size, char* out) {
      return realOf(vfs)->xRandomness(realOf(vfs), size, out);
    };
    vfs_.xSleep = [](sqlite3_vfs* vfs, int microseconds) { return realOf(vfs)->xSleep(realOf(vfs), microseconds); };
    vfs_.xCurrentTime = [](sqlite3_vfs* vfs, double* now) { return realOf(vfs)->xCurrentTime(realOf(vfs), now); };
    vfs_.xGetLastError = [](sqlite3_vfs* vfs, int size, char* out) {
      return realOf(vfs)->xGetLastError(realOf(vfs), size, out);
    };
    vfs_.xCurrentTimeInt64 = [](sqlite3_vfs* vfs, sqlite3_int64* now) {
      return realOf(vfs)->xCurrentTimeInt64(realOf(vfs), now);
    };

    // Version 2: the shared-memory calls that the write-ahead log needs,
    // but no memory-mapped reads that would pass around xRead.
    methods_.iVersion = 2;
    methods_.xClose = [](sqlite3_file* file) { return realOf(file)->pMethods->xClose(realOf(file)); };
    methods_.xRead = [](sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset) {
      if (ownerOf(file).shouldFail(DiskFault::IOErrorOnRead)) {
        return SQLITE_IOERR_READ;
      }
      return realOf(file)->pMethods->xRead(realOf(file), buffer, amount, offset);
    };
    methods_.xWrite = &write;
    methods_.xTruncate = [](sqlite3_file* file, sqlite3_int64 size) {
      return realOf(file)->pMethods->xTruncate(realOf(file), size);
    };
    methods_.xSync = [](sqlite3_file* file, int flags) {
      if (ownerOf(file).shouldFail(DiskFault::IOErrorOnSync)) {
        return SQLITE_IOERR_FSYNC;
      }
      return realOf(file)->pMethods->xSync(realOf(file), flags);
    };
    methods_.xFileSize = [](sqlite3_file* file, sqlite3_int64* size) {
      return realOf(file)->pMethods->xFileSize(realOf(file), size);
    };
    methods_.xLock = [](sqlite3_file* file, int lock) { return realOf(file)->pMethods->xLock(realOf(file), lock); };
    methods_.xUnlock = [](sqlite3_file* file, int lock) {
      return realOf(file)->pMethods->xUnlock(realOf(file), lock);
    };
    methods_.xCheckReservedLock = [](sqlite3_file* file, int* result) {
      return realOf(file)->pMethods->xCheckReservedLock(realOf(file), result);
    };
    methods_.xFileControl = [](sqlite3_file* file, int operation, void* argument) {
      return realOf(file)->pMethods->xFileControl(realOf(file), operation, argument);
    };
    methods_.xSectorSize = [](sqlite3_file* file) { return realOf(file)->pMethods->xSectorSize(realOf(file)); };
    methods_.xDeviceCharacteristics = [](sqlite3_file* file) {
      return realOf(file)->pMethods->xDeviceCharacteristics(realOf(file));
    };
    methods_.xShmMap = [](sqlite3_file* file, int region, int size, int extend, void volatile** memory) {
      return realOf(file)->pMethods->xShmMap(realOf(file), region, size, extend, memory);
    };
    methods_.xShmLock = [](sqlite3_file* file, int offset, int count, int flags) {
      return realOf(file)->pMethods->xShmLock(realOf(file), offset, count, flags);
    };
    methods_.xShmBarrier = [](sqlite3_file* file) { realOf(file)->pMethods->xShmBarrier(realOf(file)); };
    methods_.xShmUnmap = [](sqlite3_file* file, int deleteFlag) {
      return realOf(file)->pMethods->xShmUnmap(realOf(file), deleteFlag);
    };

    if (sqlite3_vfs_register(&vfs_, 0) != SQLITE_OK) {
      throw std::runtime_error("cannot register the fault-injecting VFS");
    }
  }

  static sqlite3_vfs* realOf(sqlite3_vfs* vfs) { return static_cast<FaultInjectingVfs*>(vfs->pAppData)->real_; }
  static sqlite3_file* realOf(sqlite3_file* file) { return reinterpret_cast<File*>(file)->real; }
  static FaultInjectingVfs& ownerOf(sqlite3_file* file) { return *reinterpret_cast<File*>(file)->owner; }

  static int open(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
    auto* self = static_cast<FaultInjectingVfs*>(vfs->pAppData);
    auto* ours = reinterpret_cast<File*>(file);
    ours->owner = self;
    ours->real = reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(file) + kRealFileOffset);
    std::memset(ours->real, 0, static_cast<std::size_t>(self->real_->szOsFile));
    const int result = self->real_->xOpen(self->real_, name, ours->real, flags, outFlags);
    // SQLite closes a file whose methods are set, even after a failed open.
    ours->base.pMethods = ours->real->pMethods != nullptr ? &self->methods_ : nullptr;
    return result;
  }

  static int write(sqlite3_file* file, const void* buffer, int amount, sqlite3_int64 offset) {
    FaultInjectingVfs& self = ownerOf(file);
    if (self.shouldFail(DiskFault::FullOnWrite)) {
      return SQLITE_FULL;
    }
    if (self.shouldFail(DiskFault::ShortWrite)) {
      realOf(file)->pMethods->xWrite(realOf(file), buffer, amount / 2, offset);
      return SQLITE_FULL;
    }
    return realOf(file)->pMethods->xWrite(realOf(file), buffer, amount, offset);
  }

  // Whether this operation of the kind fails; counts it against the rules.
  bool shouldFail(DiskFault kind) {
    std::lock_guard lock(mutex_);
    bool fail = false;
    for (Rule& rule : rules_) {
      if (rule.fault != kind || rule.count == 0) {
        continue;
      }
      if (rule.skip > 0) {
        --rule.skip;
        continue;
      }
      if (rule.probability < 1.0 && std::uniform_real_distribution<double>(0.0, 1.0)(random_) >= rule.probability) {
        continue;
      }
      if (rule.count != kUntilCleared) {
        --rule.count;
      }
      fail = true;
    }
    injected_ += fail ? 1 : 0;
    return fail;
  }

  sqlite3_vfs* const real_;
  sqlite3_vfs vfs_{};
  sqlite3_io_methods methods_{};

  mutable std::mutex mutex_;
  std::vector<Rule> rules_;
  std::mt19937 random_;
  int injected_ = 0;
};

// Clears the faults when it goes, so no test leaves the disk failing for
// the next.
class ScopedDiskFaults {
 public:
  ScopedDiskFaults() : vfs_(FaultInjectingVfs::install()) { vfs_.clear(); }
  ~ScopedDiskFaults() { vfs_.clear(); }
  ScopedDiskFaults(const ScopedDiskFaults&) = delete;
  ScopedDiskFaults& operator=(const ScopedDiskFaults&) = delete;

  FaultInjectingVfs* operator->() const { return &vfs_; }

 private:
  FaultInjectingVfs& vfs_;
};

}  // namespace plexora::testing
