#include "util/OVAdDynamicFrameworkLoader.h"

#include <dlfcn.h>

#include "util/OVAdLogger.h"

namespace plexora {

namespace {

constexpr const char* kLibzPath = "libz.so.1";
constexpr const char* kLibsqlite3Path = "libsqlite3.so.0";

OVAdDynamicLibrary& libz() {
  static OVAdDynamicLibrary* library = new OVAdDynamicLibrary(kLibzPath);  // lives for the process
  return *library;
}

OVAdDynamicLibrary& libsqlite3() {
  static OVAdDynamicLibrary* library = new OVAdDynamicLibrary(kLibsqlite3Path);  // lives for the process
  return *library;
}

// One process-wide accessor object per symbol, made on its first use.
#define OVAD_SOFT_LINK_FUNCTION(library, name)                                                \
  OVAdSoftLinkedFunction<decltype(::name)>& softLinked_##name() {                             \
    static auto* function = new OVAdSoftLinkedFunction<decltype(::name)>((library)(), #name); \
    return *function;                                                                         \
  }

OVAD_SOFT_LINK_FUNCTION(libz, compressBound)
OVAD_SOFT_LINK_FUNCTION(libz, compress)
OVAD_SOFT_LINK_FUNCTION(libsqlite3, sqlite3_open)
OVAD_SOFT_LINK_FUNCTION(libsqlite3, sqlite3_prepare_v2)
OVAD_SOFT_LINK_FUNCTION(libsqlite3, sqlite3_step)
OVAD_SOFT_LINK_FUNCTION(libsqlite3, sqlite3_finalize)
OVAD_SOFT_LINK_FUNCTION(libsqlite3, sqlite3_bind_text)
OVAD_SOFT_LINK_FUNCTION(libsqlite3, sqlite3_bind_int64)
OVAD_SOFT_LINK_FUNCTION(libsqlite3, sqlite3_bind_double)
OVAD_SOFT_LINK_FUNCTION(libsqlite3, sqlite3_column_text)
OVAD_SOFT_LINK_FUNCTION(libsqlite3, sqlite3_column_int)
OVAD_SOFT_LINK_FUNCTION(libsqlite3, sqlite3_column_int64)
OVAD_SOFT_LINK_FUNCTION(libsqlite3, sqlite3_column_double)
OVAD_SOFT_LINK_FUNCTION(libsqlite3, sqlite3_errmsg)
OVAD_SOFT_LINK_FUNCTION(libsqlite3, sqlite3_close)

#undef OVAD_SOFT_LINK_FUNCTION

}  // namespace

void* OVAdLoadDynamicLibrary(const char* path) {
  void* handle = ::dlopen(path, RTLD_LAZY);
  if (handle != nullptr) {
    OV_LOG(kOVAdLogLevelVerbose, "Dynamically loaded library at %s", path);
  } else {
    OV_LOG(kOVAdLogLevelError, "Failed to load library at %s", path);
  }
  return handle;
}

void* OVAdDynamicLibrary::handle() {
  std::call_once(loaded_, [this] { handle_ = OVAdLoadDynamicLibrary(path_); });
  return handle_;
}

void* OVAdResolveSoftLinkSymbol(const OVAdSoftLinkRecord& record) {
  void* handle = record.library->handle();
  if (handle == nullptr) {
    return nullptr;
  }
  return ::dlsym(handle, record.name);
}

void* ovadsdk_dfl_libzLibrary() { return libz().handle(); }
void* ovadsdk_dfl_libsqlite3Library() { return libsqlite3().handle(); }

uLong ovadsdk_dfl_compressBound(uLong sourceLen) { return softLinked_compressBound()(sourceLen); }

int ovadsdk_dfl_compress(Bytef* dest, uLongf* destLen, const Bytef* source, uLong sourceLen) {
  return softLinked_compress()(dest, destLen, source, sourceLen);
}

int ovadsdk_dfl_sqlite3_open(const char* filename, sqlite3** ppDb) {
  return softLinked_sqlite3_open()(filename, ppDb);
}

int ovadsdk_dfl_sqlite3_prepare_v2(sqlite3* db, const char* zSql, int nByte, sqlite3_stmt** ppStmt,
                                   const char** pzTail) {
  return softLinked_sqlite3_prepare_v2()(db, zSql, nByte, ppStmt, pzTail);
}

int ovadsdk_dfl_sqlite3_step(sqlite3_stmt* pStmt) { return softLinked_sqlite3_step()(pStmt); }

int ovadsdk_dfl_sqlite3_finalize(sqlite3_stmt* pStmt) { return softLinked_sqlite3_finalize()(pStmt); }

int ovadsdk_dfl_sqlite3_bind_text(sqlite3_stmt* pStmt, int index, const char* text, int nByte,
                                  void (*destructor)(void*)) {
  return softLinked_sqlite3_bind_text()(pStmt, index, text, nByte, destructor);
}

int ovadsdk_dfl_sqlite3_bind_int64(sqlite3_stmt* pStmt, int index, sqlite3_int64 value) {
  return softLinked_sqlite3_bind_int64()(pStmt, index, value);
}

int ovadsdk_dfl_sqlite3_bind_double(sqlite3_stmt* pStmt, int index, double value) {
  return softLinked_sqlite3_bind_double()(pStmt, index, value);
}

const unsigned char* ovadsdk_dfl_sqlite3_column_text(sqlite3_stmt* pStmt, int iCol) {
  return softLinked_sqlite3_column_text()(pStmt, iCol);
}

int ovadsdk_dfl_sqlite3_column_int(sqlite3_stmt* pStmt, int iCol) {
  return softLinked_sqlite3_column_int()(pStmt, iCol);
}

sqlite3_int64 ovadsdk_dfl_sqlite3_column_int64(sqlite3_stmt* pStmt, int iCol) {
  return softLinked_sqlite3_column_int64()(pStmt, iCol);
}

double ovadsdk_dfl_sqlite3_column_double(sqlite3_stmt* pStmt, int iCol) {
  return softLinked_sqlite3_column_double()(pStmt, iCol);
}

const char* ovadsdk_dfl_sqlite3_errmsg(sqlite3* db) { return softLinked_sqlite3_errmsg()(db); }

int ovadsdk_dfl_sqlite3_close(sqlite3* db) { return softLinked_sqlite3_close()(db); }

}  // namespace plexora
