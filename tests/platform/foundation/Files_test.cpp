#include "platform/foundation/Files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/FileSizeLimit.h"
#include "support/TempDir.h"

namespace plexora::platform {
namespace {

class FilesTest : public ::testing::Test {
 protected:
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  void writeText(const std::string& name, std::string_view text) {
    ASSERT_TRUE(writeFileAtomically(path(name), asBytes(text)));
  }

  // Names directly inside the temporary directory.
  std::vector<std::string> names() const {
    std::vector<std::string> result;
    const std::vector<DirectoryEntry> entries = listDirectory(dir_.path().string(), false).value();
    for (const DirectoryEntry& entry : entries) {
      result.push_back(std::filesystem::path(entry.path).filename().string());
    }
    return result;
  }

  testing::TempDir dir_;
};

TEST_F(FilesTest, WriteThenReadRoundTripsAndReplaces) {
  const std::string file = path("settings.plist");
  ASSERT_TRUE(writeFileAtomically(file, asBytes("first version")));
  ASSERT_TRUE(writeFileAtomically(file, asBytes("second")));
  EXPECT_EQ(readFile(file), Bytes(asBytes("second").begin(), asBytes("second").end()));

  ASSERT_TRUE(writeFileAtomically(file, {}));
  EXPECT_EQ(readFile(file), Bytes());
  EXPECT_EQ(names(), std::vector<std::string>{"settings.plist"});
}

TEST_F(FilesTest, ReadingAMissingFileReportsWhy) {
  FileError error;
  EXPECT_FALSE(readFile(path("missing"), &error).has_value());
  EXPECT_EQ(error.code, std::errc::no_such_file_or_directory);
  EXPECT_EQ(error.path, path("missing"));
  EXPECT_NE(error.description().find(path("missing")), std::string::npos);

  ASSERT_TRUE(createDirectories(path("dir")));
  EXPECT_FALSE(readFile(path("dir"), &error).has_value());
  EXPECT_EQ(error.code, std::errc::is_a_directory);
}

TEST_F(FilesTest, FailedAtomicWriteLeavesNoTemporaryFile) {
  writeText("plain-file", "keep me");
  ASSERT_TRUE(createDirectories(path("occupied/inner")));

  struct Case {
    std::string target;
    std::errc expected;
  };
  const Case cases[] = {
      {path("plain-file/child"), std::errc::not_a_directory},    // parent is a regular file
      {path("occupied"), std::errc::is_a_directory},             // rename over a non-empty directory
      {path("no-such-dir/file"), std::errc::no_such_file_or_directory},
      {path("ends-with-slash/"), std::errc::is_a_directory},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    FileError error;
    EXPECT_FALSE(writeFileAtomically(c.target, asBytes("new"), &error));
    EXPECT_EQ(error.code, c.expected);
    EXPECT_EQ(names(), (std::vector<std::string>{"occupied", "plain-file"}));
    EXPECT_TRUE(isDirectory(path("occupied/inner")));
  }
  const std::string kept = "keep me";
  EXPECT_EQ(readFile(path("plain-file")), Bytes(kept.begin(), kept.end()));
}

// A full disk: the new bytes land in part, or not at all, before the write
// fails; the file keeps its previous bytes and no temporary file is left.
TEST_F(FilesTest, FullDiskLeavesThePreviousFileWhole) {
  const std::string file = path("settings.plist");
  const std::string previous = "previous version";
  writeText("settings.plist", previous);
  const Bytes replacement(64 * 1024, 0x5a);

  for (const rlim_t room : {rlim_t{0}, rlim_t{1000}, rlim_t{40 * 1024}}) {
    SCOPED_TRACE("room for " + std::to_string(room) + " bytes");
    FileError error;
    {
      testing::FileSizeLimit fullDisk(room);
      EXPECT_FALSE(writeFileAtomically(file, replacement, &error));
    }
    EXPECT_EQ(error.code, std::errc::file_too_large);
    EXPECT_EQ(readFile(file), Bytes(previous.begin(), previous.end()));
    EXPECT_EQ(names(), std::vector<std::string>{"settings.plist"});
  }
  ASSERT_TRUE(writeFileAtomically(file, replacement));
  EXPECT_EQ(readFile(file), replacement);
}

TEST_F(FilesTest, CreateAndRemoveDirectoryTrees) {
  ASSERT_TRUE(createDirectories(path("a/b/c")));
  EXPECT_TRUE(createDirectories(path("a/b/c")));  // already there
  writeText("a/b/c/file", "x");
  writeText("a/top", "y");

  FileError error;
  EXPECT_FALSE(createDirectories(path("a/top/below"), &error));
  EXPECT_FALSE(createDirectories(path("a/top"), &error));

  EXPECT_TRUE(fileExists(path("a/b/c/file")));
  EXPECT_FALSE(isDirectory(path("a/b/c/file")));
  ASSERT_TRUE(removeItem(path("a")));
  EXPECT_FALSE(fileExists(path("a")));

  EXPECT_FALSE(removeItem(path("a"), &error));
  EXPECT_EQ(error.code, std::errc::no_such_file_or_directory);
}

TEST_F(FilesTest, ListsTreesWithAllocatedSizes) {
  writeText(".hidden", "h");
  writeText("big", std::string(10000, 'b'));
  ASSERT_TRUE(createDirectories(path("sub/deeper")));
  writeText("sub/deeper/leaf", "l");
  ASSERT_EQ(::symlink(path("big").c_str(), path("sub/link").c_str()), 0);

  const auto tree = listDirectory(dir_.path().string(), true);
  ASSERT_TRUE(tree.has_value());
  std::vector<std::string> listed;
  for (const DirectoryEntry& entry : *tree) {
    listed.push_back(entry.path.substr(dir_.path().string().size() + 1));
  }
  EXPECT_EQ(listed, (std::vector<std::string>{".hidden", "big", "sub", "sub/deeper", "sub/deeper/leaf", "sub/link"}));

  for (const DirectoryEntry& entry : *tree) {
    SCOPED_TRACE(entry.path);
    if (entry.path == path("big")) {
      EXPECT_TRUE(entry.isRegularFile);
      EXPECT_GE(entry.allocatedSize, 10000u);
      EXPECT_EQ(entry.allocatedSize % 512, 0u);
      EXPECT_EQ(allocatedFileSize(entry.path), entry.allocatedSize);
    } else if (entry.path == path("sub/link")) {
      EXPECT_FALSE(entry.isRegularFile);  // the link itself, not its target
      EXPECT_EQ(entry.allocatedSize, 0u);
    } else if (entry.path == path("sub")) {
      EXPECT_TRUE(entry.isDirectory);
      EXPECT_EQ(entry.allocatedSize, 0u);
    }
  }

  EXPECT_EQ(names(), (std::vector<std::string>{".hidden", "big", "sub"}));

  FileError error;
  EXPECT_FALSE(listDirectory(path("missing"), true, &error).has_value());
  EXPECT_EQ(error.code, std::errc::no_such_file_or_directory);
  EXPECT_FALSE(allocatedFileSize(path("sub"), &error).has_value());
  EXPECT_FALSE(allocatedFileSize(path("missing"), &error).has_value());
}

}  // namespace
}  // namespace plexora::platform
