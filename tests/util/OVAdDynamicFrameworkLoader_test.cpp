#include "util/OVAdDynamicFrameworkLoader.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "util/RuntimeTestSupport.h"

namespace plexora {
namespace {

constexpr const char* kMissingLibraryPath = "/nonexistent/plexora/libmissing.so.1";

TEST(OVAdDynamicFrameworkLoaderTest, ZlibAccessorsCallTheSystemLibrary) {
  ASSERT_NE(ovadsdk_dfl_libzLibrary(), nullptr);
  const std::string text(4096, 'p');
  const uLong bound = ovadsdk_dfl_compressBound(static_cast<uLong>(text.size()));
  ASSERT_EQ(bound, ::compressBound(static_cast<uLong>(text.size())));

  std::vector<Bytef> compressed(bound);
  uLongf compressedSize = bound;
  ASSERT_EQ(ovadsdk_dfl_compress(compressed.data(), &compressedSize, reinterpret_cast<const Bytef*>(text.data()),
                                 static_cast<uLong>(text.size())),
            Z_OK);
  EXPECT_LT(compressedSize, text.size());

  std::string restored(text.size(), '\0');
  uLongf restoredSize = static_cast<uLongf>(restored.size());
  ASSERT_EQ(::uncompress(reinterpret_cast<Bytef*>(restored.data()), &restoredSize, compressed.data(), compressedSize),
            Z_OK);
  EXPECT_EQ(restored, text);
}

TEST(OVAdDynamicFrameworkLoaderTest, SqliteAccessorsRunAStatementRoundTrip) {
  ASSERT_NE(ovadsdk_dfl_libsqlite3Library(), nullptr);
  sqlite3* db = nullptr;
  ASSERT_EQ(ovadsdk_dfl_sqlite3_open(":memory:", &db), SQLITE_OK);

  auto run = [db](const char* sql) {
    sqlite3_stmt* statement = nullptr;
    EXPECT_EQ(ovadsdk_dfl_sqlite3_prepare_v2(db, sql, -1, &statement, nullptr), SQLITE_OK) << sql;
    EXPECT_EQ(ovadsdk_dfl_sqlite3_step(statement), SQLITE_DONE) << sql;
    EXPECT_EQ(ovadsdk_dfl_sqlite3_finalize(statement), SQLITE_OK);
  };
  run("CREATE TABLE events (name TEXT, count INTEGER, big INTEGER, ratio REAL)");

  sqlite3_stmt* insert = nullptr;
  ASSERT_EQ(ovadsdk_dfl_sqlite3_prepare_v2(db, "INSERT INTO events VALUES (?, ?, ?, ?)", -1, &insert, nullptr),
            SQLITE_OK);
  EXPECT_EQ(ovadsdk_dfl_sqlite3_bind_text(insert, 1, "impression", -1, SQLITE_TRANSIENT), SQLITE_OK);
  EXPECT_EQ(ovadsdk_dfl_sqlite3_bind_int64(insert, 2, 7), SQLITE_OK);
  EXPECT_EQ(ovadsdk_dfl_sqlite3_bind_int64(insert, 3, 1LL << 40), SQLITE_OK);
  EXPECT_EQ(ovadsdk_dfl_sqlite3_bind_double(insert, 4, 0.25), SQLITE_OK);
  EXPECT_EQ(ovadsdk_dfl_sqlite3_step(insert), SQLITE_DONE);
  EXPECT_EQ(ovadsdk_dfl_sqlite3_finalize(insert), SQLITE_OK);

  sqlite3_stmt* select = nullptr;
  ASSERT_EQ(ovadsdk_dfl_sqlite3_prepare_v2(db, "SELECT name, count, big, ratio FROM events", -1, &select, nullptr),
            SQLITE_OK);
  ASSERT_EQ(ovadsdk_dfl_sqlite3_step(select), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(ovadsdk_dfl_sqlite3_column_text(select, 0)), "impression");
  EXPECT_EQ(ovadsdk_dfl_sqlite3_column_int(select, 1), 7);
  EXPECT_EQ(ovadsdk_dfl_sqlite3_column_int64(select, 2), 1LL << 40);
  EXPECT_EQ(ovadsdk_dfl_sqlite3_column_double(select, 3), 0.25);
  EXPECT_EQ(ovadsdk_dfl_sqlite3_step(select), SQLITE_DONE);
  EXPECT_EQ(ovadsdk_dfl_sqlite3_finalize(select), SQLITE_OK);

  sqlite3_stmt* broken = nullptr;
  EXPECT_NE(ovadsdk_dfl_sqlite3_prepare_v2(db, "SELECT FROM nowhere", -1, &broken, nullptr), SQLITE_OK);
  EXPECT_NE(std::string(ovadsdk_dfl_sqlite3_errmsg(db)).find("syntax error"), std::string::npos);

  EXPECT_EQ(ovadsdk_dfl_sqlite3_close(db), SQLITE_OK);
}

TEST(OVAdDynamicFrameworkLoaderTest, MissingLibraryIsLoggedOnceAndAnswersZeroForever) {
  testing::RuntimeLogCapture log;
  OVAdDynamicLibrary missing(kMissingLibraryPath);
  // A symbol the process itself holds: a lookup without a handle would find it.
  OVAdSoftLinkedFunction<decltype(::compressBound)> missingCompressBound(missing, "compressBound");
  OVAdSoftLinkedFunction<decltype(::sqlite3_errmsg)> missingErrmsg(missing, "sqlite3_errmsg");

  for (int call = 0; call < 3; ++call) {
    EXPECT_EQ(missing.handle(), nullptr);
    EXPECT_EQ(missingCompressBound.address(), nullptr);
    EXPECT_EQ(missingCompressBound(1000), 0u);
    EXPECT_EQ(missingErrmsg(nullptr), nullptr);
  }

  EXPECT_EQ(log.count(std::string("Failed to load library at ") + kMissingLibraryPath), 1u);
  EXPECT_EQ(log.count(" <error>] Failed to load library at "), 1u) << "logged at level 2";
}

TEST(OVAdDynamicFrameworkLoaderTest, MissingSymbolResolvesToNullWithoutALogLine) {
  OVAdDynamicLibrary libz("libz.so.1");
  OVAdSoftLinkedFunction<int()> missingSymbol(libz, "plexora_no_such_symbol");

  testing::RuntimeLogCapture log;
  EXPECT_EQ(missingSymbol(), 0);
  EXPECT_EQ(missingSymbol.address(), nullptr);
  EXPECT_EQ(log.count("plexora_no_such_symbol"), 0u);
}

TEST(OVAdDynamicFrameworkLoaderTest, ConcurrentFirstCallsLoadAndResolveOnce) {
  testing::RuntimeLogCapture log;
  OVAdDynamicLibrary libz("libz.so.1");
  OVAdSoftLinkedFunction<decltype(::compressBound)> compressBound(libz, "compressBound");
  constexpr int kThreads = 8;
  std::vector<OVAdSoftLinkedFunction<decltype(::compressBound)>::Pointer> seen(kThreads);

  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] { seen[static_cast<std::size_t>(i)] = compressBound.address(); });
  }
  for (auto& thread : threads) {
    thread.join();
  }

  for (auto address : seen) {
    EXPECT_NE(address, nullptr);
    EXPECT_EQ(address, seen.front());
  }
  EXPECT_EQ(log.count("Dynamically loaded library at libz.so.1"), 1u);
  EXPECT_EQ(log.count(" <verbose>] Dynamically loaded library at "), 1u) << "logged at level 6";
}

}  // namespace
}  // namespace plexora
