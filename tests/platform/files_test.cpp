#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/support/process.h"

namespace tarnvex::files {
namespace {

using tarnvex::testing::TempDir;

TEST(WriteFileAtomic, ReplacesTheWholeFileAndLeavesNoTemporaryFile) {
  TempDir dir;
  const std::string path = dir.File("out.json");
  WriteFileAtomic(path, "a much longer first content");
  WriteFileAtomic(path, "{}");
  EXPECT_EQ(ReadAllBytes(path), "{}");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(WriteFileAtomic, ReplacesAReadOnlyFile) {
  TempDir dir;
  const std::string path = dir.File("shot.png");
  WriteFileAtomic(path, "old");
  ::chmod(path.c_str(), 0444);
  WriteFileAtomic(path, "new");
  EXPECT_EQ(ReadAllBytes(path), "new");
}

TEST(WriteFileAtomic, FailsOnEmptyPathAndMissingFolder) {
  TempDir dir;
  EXPECT_THROW(WriteFileAtomic("", "x"), EFCreateError);
  EXPECT_THROW(WriteFileAtomic(dir.File("missing/out.json"), "x"), EFCreateError);
}

TEST(FileExists, IsTrueOnlyForRegularFiles) {
  TempDir dir;
  EXPECT_FALSE(FileExists(dir.path()));
  EXPECT_FALSE(FileExists(dir.File("none")));
  WriteFileAtomic(dir.File("f"), "");
  EXPECT_TRUE(FileExists(dir.File("f")));
  EXPECT_THROW(ReadAllBytes(dir.path()), EFOpenError);
}

}  // namespace
}  // namespace tarnvex::files
