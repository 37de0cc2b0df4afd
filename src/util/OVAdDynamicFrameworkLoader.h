// Run-time loading of the system libraries the library does not link: each
// library is opened on the first use of any of its symbols, and each symbol
// is resolved once, through an accessor of its own.
//
// On this platform the two plain libraries are the system's zlib
// ("libz.so.1") and SQLite ("libsqlite3.so.0") shared objects, opened with
// dlopen(RTLD_LAZY). A library that cannot be opened is logged once and
// stays closed for the life of the process; every symbol of it then resolves
// to null, and its function accessors answer a zero value (null, 0) without
// calling anything. A missing symbol is not logged.
//
// Thread safety: every accessor may be called from any thread. Concurrent
// first calls load a library once and resolve a symbol once; after that an
// accessor reads its slot without a lock.
// Ownership: libraries and resolved symbols live for the process; objects of
// these classes must outlive every call through them (the ones below are
// process-wide).
#pragma once

#include <sqlite3.h>
#include <zlib.h>

#include <mutex>
#include <type_traits>
#include <utility>

namespace plexora {

// dlopen(path, RTLD_LAZY), logged on success at level 6 and on failure at
// level 2. Answers the handle or null.
void* OVAdLoadDynamicLibrary(const char* path);

// One library, opened at most once, on the first call of handle().
class OVAdDynamicLibrary final {
 public:
  // `path` must outlive the object (a string literal).
  explicit OVAdDynamicLibrary(const char* path) : path_(path) {}
  OVAdDynamicLibrary(const OVAdDynamicLibrary&) = delete;
  OVAdDynamicLibrary& operator=(const OVAdDynamicLibrary&) = delete;

  // Null when the library could not be opened; a failed load is not retried.
  void* handle();
  const char* path() const { return path_; }

 private:
  const char* const path_;
  std::once_flag loaded_;
  void* handle_ = nullptr;
};

// Which library a symbol lives in, and its name.
struct OVAdSoftLinkRecord {
  OVAdDynamicLibrary* library;
  const char* name;
};

// The symbol's address, or null when its library or the symbol is missing.
// Never looks a symbol up without a library handle (a null handle would
// search the whole process instead).
void* OVAdResolveSoftLinkSymbol(const OVAdSoftLinkRecord& record);

template <typename Signature>
class OVAdSoftLinkedFunction;

// A function resolved on its first use.
template <typename Result, typename... Arguments>
class OVAdSoftLinkedFunction<Result(Arguments...)> final {
 public:
  using Pointer = Result (*)(Arguments...);

  OVAdSoftLinkedFunction(OVAdDynamicLibrary& library, const char* name) : record_{&library, name} {}
  OVAdSoftLinkedFunction(const OVAdSoftLinkedFunction&) = delete;
  OVAdSoftLinkedFunction& operator=(const OVAdSoftLinkedFunction&) = delete;

  // The resolved address; null when missing.
  Pointer address() {
    std::call_once(resolved_, [this] { address_ = reinterpret_cast<Pointer>(OVAdResolveSoftLinkSymbol(record_)); });
    return address_;
  }

  // Calls the function with exactly these arguments; a zero value when it is
  // missing.
  Result operator()(Arguments... arguments) {
    const Pointer function = address();
    if (function == nullptr) {
      if constexpr (std::is_void_v<Result>) {
        return;
      } else {
        return Result{};
      }
    }
    return function(std::forward<Arguments>(arguments)...);
  }

 private:
  const OVAdSoftLinkRecord record_;
  std::once_flag resolved_;
  Pointer address_ = nullptr;
};

// ---- Library handles, opened on the first call ----

void* ovadsdk_dfl_libzLibrary();
void* ovadsdk_dfl_libsqlite3Library();

// ---- zlib ----

uLong ovadsdk_dfl_compressBound(uLong sourceLen);
int ovadsdk_dfl_compress(Bytef* dest, uLongf* destLen, const Bytef* source, uLong sourceLen);

// ---- SQLite ----

int ovadsdk_dfl_sqlite3_open(const char* filename, sqlite3** ppDb);
int ovadsdk_dfl_sqlite3_prepare_v2(sqlite3* db, const char* zSql, int nByte, sqlite3_stmt** ppStmt,
                                   const char** pzTail);
int ovadsdk_dfl_sqlite3_step(sqlite3_stmt* pStmt);
int ovadsdk_dfl_sqlite3_finalize(sqlite3_stmt* pStmt);
int ovadsdk_dfl_sqlite3_bind_text(sqlite3_stmt* pStmt, int index, const char* text, int nByte,
                                  void (*destructor)(void*));
int ovadsdk_dfl_sqlite3_bind_int64(sqlite3_stmt* pStmt, int index, sqlite3_int64 value);
int ovadsdk_dfl_sqlite3_bind_double(sqlite3_stmt* pStmt, int index, double value);
const unsigned char* ovadsdk_dfl_sqlite3_column_text(sqlite3_stmt* pStmt, int iCol);
int ovadsdk_dfl_sqlite3_column_int(sqlite3_stmt* pStmt, int iCol);
sqlite3_int64 ovadsdk_dfl_sqlite3_column_int64(sqlite3_stmt* pStmt, int iCol);
double ovadsdk_dfl_sqlite3_column_double(sqlite3_stmt* pStmt, int iCol);
const char* ovadsdk_dfl_sqlite3_errmsg(sqlite3* db);
int ovadsdk_dfl_sqlite3_close(sqlite3* db);

}  // namespace plexora
