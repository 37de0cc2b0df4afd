#include "platform/foundation/UserDefaults.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/Files.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Paths.h"
#include "support/FileSizeLimit.h"
#include "support/ForkedChild.h"
#include "support/TempDir.h"

namespace plexora::platform {
namespace {

class UserDefaultsTest : public ::testing::Test {
 protected:
  UserDefaultsTest() {
    setLogSink([this](std::string_view line) { logged_.emplace_back(line); });
  }
  ~UserDefaultsTest() override {
    setLogSink(nullptr);
    setUserDefaultsPath("");
  }

  std::string file() const { return (dir_ / "prefs/defaults.plist").string(); }

  testing::TempDir dir_;
  std::vector<std::string> logged_;
};

TEST_F(UserDefaultsTest, SynchronizedValuesPersistAcrossInstances) {
  {
    UserDefaults defaults(file());
    defaults.setInteger("ov_px_log_lv", 6);
    defaults.setString("ov_px_url_prefix", "sb");
    defaults.setBool("flag", true);
    defaults.setObject("ov_px_test_devices", Value(Array{"hash1", "hash2"}));
    defaults.setObject("nested", Value(Dictionary{{"a", 1.5}, {"b", Bytes{1, 2}}}));
    EXPECT_TRUE(defaults.synchronize());
  }
  UserDefaults reread(file());
  EXPECT_EQ(reread.integerForKey("ov_px_log_lv"), 6);
  EXPECT_EQ(reread.stringForKey("ov_px_url_prefix"), "sb");
  EXPECT_TRUE(reread.boolForKey("flag"));
  EXPECT_EQ(reread.arrayForKey("ov_px_test_devices"), (Array{"hash1", "hash2"}));
  EXPECT_EQ(reread.objectForKey("nested"), Value(Dictionary{{"a", 1.5}, {"b", Bytes{1, 2}}}));
  EXPECT_TRUE(logged_.empty());
}

TEST_F(UserDefaultsTest, ChangesStayInMemoryUntilSynchronized) {
  UserDefaults defaults(file());
  defaults.setInteger("k", 1);
  EXPECT_FALSE(fileExists(file()));
  EXPECT_EQ(UserDefaults(file()).objectForKey("k"), std::nullopt);

  ASSERT_TRUE(defaults.synchronize());
  defaults.removeObjectForKey("k");
  EXPECT_EQ(defaults.objectForKey("k"), std::nullopt);
  EXPECT_EQ(UserDefaults(file()).integerForKey("k"), 1);
  ASSERT_TRUE(defaults.synchronize());
  EXPECT_EQ(UserDefaults(file()).objectForKey("k"), std::nullopt);
}

TEST_F(UserDefaultsTest, UnusableFilesGiveAnEmptyStoreAndALogLine) {
  struct Case {
    const char* name;
    std::string content;
  };
  const Case cases[] = {
      {"garbage", "\x01\x02not a property list"},
      {"empty", ""},
      {"array root", R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><array><string>x</string></array></plist>)"},
      {"truncated binary", std::string("bplist00\xd1\x01\x02", 11)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    logged_.clear();
    ASSERT_TRUE(createDirectories((dir_ / "prefs").string()));
    ASSERT_TRUE(writeFileAtomically(file(), asBytes(c.content)));

    UserDefaults defaults(file());
    EXPECT_EQ(defaults.objectForKey("x"), std::nullopt);
    ASSERT_EQ(logged_.size(), 1u);
    EXPECT_NE(logged_[0].find(file()), std::string::npos);

    // The next synchronize replaces the bad file with a good one.
    defaults.setString("x", "fresh");
    ASSERT_TRUE(defaults.synchronize());
    EXPECT_EQ(UserDefaults(file()).stringForKey("x"), "fresh");
  }

  logged_.clear();
  ASSERT_TRUE(createDirectories((dir_ / "a-directory").string()));
  EXPECT_EQ(UserDefaults((dir_ / "a-directory").string()).objectForKey("x"), std::nullopt);
  EXPECT_EQ(logged_.size(), 1u);

  logged_.clear();
  EXPECT_EQ(UserDefaults((dir_ / "missing.plist").string()).objectForKey("x"), std::nullopt);
  EXPECT_TRUE(logged_.empty());  // a first launch is no error
}

TEST_F(UserDefaultsTest, TypedReadsConvertLikeThePlatform) {
  UserDefaults defaults(file());
  defaults.setInteger("int", 42);
  defaults.setObject("double", Value(3.9));
  defaults.setObject("negativeDouble", Value(-3.9));
  defaults.setBool("true", true);
  defaults.setString("numberText", "42");
  defaults.setString("paddedText", "  -7 apples");
  defaults.setString("word", "abc");
  defaults.setString("hugeText", "99999999999999999999");
  defaults.setString("hugeNegativeText", "-99999999999999999999");
  defaults.setString("yes", "YES");
  defaults.setString("trueText", "true");
  defaults.setString("no", "no");
  defaults.setString("zeroText", "0");
  defaults.setObject("array", Value(Array{1}));

  struct Case {
    const char* key;
    std::int64_t integer;
    bool boolean;
    std::optional<std::string> text;
  };
  const Case cases[] = {
      {"int", 42, true, "42"},
      {"double", 3, true, "3.9"},
      {"negativeDouble", -3, true, "-3.9"},
      {"true", 1, true, "1"},
      {"numberText", 42, true, "42"},
      {"paddedText", -7, true, "  -7 apples"},
      {"word", 0, false, "abc"},
      {"hugeText", INT64_MAX, true, "99999999999999999999"},
      {"hugeNegativeText", INT64_MIN, true, "-99999999999999999999"},
      {"yes", 0, true, "YES"},
      {"trueText", 0, true, "true"},
      {"no", 0, false, "no"},
      {"zeroText", 0, false, "0"},
      {"array", 0, false, std::nullopt},
      {"absent", 0, false, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(defaults.integerForKey(c.key), c.integer);
    EXPECT_EQ(defaults.boolForKey(c.key), c.boolean);
    EXPECT_EQ(defaults.stringForKey(c.key), c.text);
  }
  EXPECT_EQ(defaults.arrayForKey("array"), Array{1});
  EXPECT_EQ(defaults.arrayForKey("word"), std::nullopt);
  EXPECT_EQ(defaults.arrayForKey("absent"), std::nullopt);
}

TEST_F(UserDefaultsTest, NullRemovesAndUnstorableValuesAreRefused) {
  UserDefaults defaults(file());
  defaults.setString("k", "v");
  defaults.setObject("k", Value());
  EXPECT_EQ(defaults.objectForKey("k"), std::nullopt);

  defaults.setString("kept", "v");
  const Value unstorable[] = {Value(Array{Value(), 1}), Value(std::string("\xff\xfe")),
                              Value(Dictionary{{"inner", Value()}})};
  for (const Value& value : unstorable) {
    defaults.setObject("kept", value);
  }
  EXPECT_EQ(logged_.size(), 3u);
  EXPECT_EQ(defaults.stringForKey("kept"), "v");
  EXPECT_TRUE(defaults.synchronize());
  EXPECT_EQ(UserDefaults(file()).stringForKey("kept"), "v");
}

TEST_F(UserDefaultsTest, CountersShowWritesAndSynchronizes) {
  UserDefaults defaults(file());
  EXPECT_EQ(defaults.writeCount(), 0u);
  EXPECT_EQ(defaults.synchronizeCount(), 0u);
  (void)defaults.objectForKey("x");
  (void)defaults.integerForKey("x");
  EXPECT_EQ(defaults.writeCount(), 0u);  // reads are not writes

  defaults.setInteger("a", 1);
  defaults.removeObjectForKey("never-there");
  EXPECT_EQ(defaults.writeCount(), 2u);

  EXPECT_TRUE(defaults.synchronize());
  EXPECT_TRUE(defaults.synchronize());
  EXPECT_EQ(defaults.synchronizeCount(), 2u);
}

TEST_F(UserDefaultsTest, SynchronizeWithoutChangesWritesNoFile) {
  UserDefaults defaults(file());
  defaults.removeObjectForKey("never-there");
  EXPECT_TRUE(defaults.synchronize());
  EXPECT_FALSE(fileExists(file()));
}

TEST_F(UserDefaultsTest, FailedSynchronizeReportsAndKeepsTheChanges) {
  ASSERT_TRUE(writeFileAtomically((dir_ / "plain").string(), asBytes("x")));
  UserDefaults defaults((dir_ / "plain/defaults.plist").string());
  logged_.clear();  // the unreadable location was already reported on load
  defaults.setInteger("k", 5);
  EXPECT_FALSE(defaults.synchronize());
  EXPECT_EQ(logged_.size(), 1u);
  EXPECT_EQ(defaults.integerForKey("k"), 5);
  EXPECT_FALSE(defaults.synchronize());  // still pending, so tried again
}

TEST_F(UserDefaultsTest, FullDiskKeepsThePreviousFileAndThePendingChanges) {
  UserDefaults defaults(file());
  defaults.setString("kept", "on disk");
  ASSERT_TRUE(defaults.synchronize());
  defaults.setString("big", std::string(32 * 1024, 'x'));
  {
    testing::FileSizeLimit fullDisk(1024);
    EXPECT_FALSE(defaults.synchronize());
  }
  ASSERT_EQ(logged_.size(), 1u);
  EXPECT_EQ(logged_[0].rfind("UserDefaults: cannot write ", 0), 0u) << logged_[0];
  EXPECT_NE(logged_[0].find("File too large"), std::string::npos) << logged_[0];

  UserDefaults reread(file());
  EXPECT_EQ(reread.stringForKey("kept"), "on disk");
  EXPECT_EQ(reread.objectForKey("big"), std::nullopt) << "the failed write left the previous file";
  EXPECT_TRUE(defaults.synchronize()) << "the change was kept for the next try";
  EXPECT_EQ(UserDefaults(file()).stringForKey("big")->size(), 32u * 1024);
}

TEST_F(UserDefaultsTest, StandardStoreCanBeRepointed) {
  UserDefaults::resetStandardUserDefaults(file());
  const std::shared_ptr<UserDefaults> standard = UserDefaults::standardUserDefaults();
  EXPECT_EQ(standard->path(), file());
  EXPECT_EQ(UserDefaults::standardUserDefaults(), standard);

  standard->setInteger("ov_px_log_lv", 3);
  ASSERT_TRUE(standard->synchronize());

  const std::string other = (dir_ / "other.plist").string();
  setUserDefaultsPath(other);
  UserDefaults::resetStandardUserDefaults();
  EXPECT_EQ(UserDefaults::standardUserDefaults()->path(), other);
  EXPECT_EQ(UserDefaults::standardUserDefaults()->integerForKey("ov_px_log_lv"), 0);

  UserDefaults::resetStandardUserDefaults(file());
  EXPECT_EQ(UserDefaults::standardUserDefaults()->integerForKey("ov_px_log_lv"), 3);
}

TEST_F(UserDefaultsTest, StandardStoreWritesPendingChangesAtExit) {
  const std::string unsynchronized = file();
  ASSERT_TRUE(createDirectories((dir_ / "prefs").string()));
  EXPECT_EXIT(
      {
        plexora::testing::disableLeakCheckInForkedChild();
        UserDefaults::resetStandardUserDefaults(unsynchronized);
        UserDefaults::standardUserDefaults()->setString("ov_px_url_prefix", "sb");
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(UserDefaults(unsynchronized).stringForKey("ov_px_url_prefix"), "sb");

  // A directory that is gone by then is not created again.
  const std::string vanished = (dir_ / "vanished/defaults.plist").string();
  EXPECT_EXIT(
      {
        plexora::testing::disableLeakCheckInForkedChild();
        UserDefaults::resetStandardUserDefaults(vanished);
        UserDefaults::standardUserDefaults()->setString("k", "v");
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_FALSE(fileExists((dir_ / "vanished").string()));
}

TEST_F(UserDefaultsTest, ConcurrentUseKeepsEveryValue) {
  UserDefaults defaults(file());
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&defaults, t] {
      for (int i = 0; i < 100; ++i) {
        const std::string key = std::to_string(t) + "-" + std::to_string(i);
        defaults.setInteger(key, i);
        (void)defaults.integerForKey(key);
        if (i % 25 == 0) {
          defaults.synchronize();
        }
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  ASSERT_TRUE(defaults.synchronize());
  UserDefaults reread(file());
  for (int t = 0; t < 8; ++t) {
    for (int i = 0; i < 100; ++i) {
      ASSERT_EQ(reread.integerForKey(std::to_string(t) + "-" + std::to_string(i)), i);
    }
  }
}

}  // namespace
}  // namespace plexora::platform
