#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "Paths.h"

using namespace platform;

TEST(Paths, SplitsAtTheLastDelimiterOnly) {
  struct Case { const char* path; const char* folder; const char* name; const char* ext; };
  const Case cases[] = {
      {"/backup/work.lzh", "/backup/", "work.lzh", ".lzh"},
      {"work.lzh", "", "work.lzh", ".lzh"},
      {"/a.b/c", "/a.b/", "c", ""},
      {"C:work.lzh", "", "C:work.lzh", ".lzh"},  // ':' is no delimiter here
      {"/dir/", "/dir/", "", ""},
      {"/dir/.hidden", "/dir/", ".hidden", ".hidden"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExtractFilePath(c.path), c.folder) << c.path;
    EXPECT_EQ(ExtractFileName(c.path), c.name) << c.path;
    EXPECT_EQ(ExtractFileExt(c.path), c.ext) << c.path;
  }
}

TEST(Paths, JoinsWithExactlyOneDelimiter) {
  EXPECT_EQ(JoinPath("/a", "b"), "/a/b");
  EXPECT_EQ(JoinPath("/a/", "b"), "/a/b");
  EXPECT_EQ(JoinPath("", "b"), "b");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/a"), "/a/");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/a/"), "/a/");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("/a//"), "/a");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("/"), "/");
  EXPECT_EQ(ChangeFileExt("/x/a.lzh", ".EXE"), "/x/a.EXE");
  EXPECT_EQ(ChangeFileExt("/x.d/a", ".EXE"), "/x.d/a.EXE");
}

TEST(Paths, ExpandsAgainstTheCurrentFolder) {
  auto cwd = std::filesystem::current_path().string();
  EXPECT_EQ(ExpandFileName("a/../b.txt"), cwd + "/b.txt");
  EXPECT_EQ(ExpandFileName("/x/./y"), "/x/y");
}

TEST(Paths, TempDirEndsInDelimiter) {
  ::setenv("TMPDIR", "/var/tmp", 1);
  EXPECT_EQ(TempDir(), "/var/tmp/");
  ::unsetenv("TMPDIR");
  EXPECT_EQ(TempDir(), "/tmp/");
}

TEST(Paths, DatabaseLocationFollowsOverrideThenEnvironmentThenExeDir) {
  SetDatabasePathOverride("");
  ::unsetenv("TIDEKEEP_DB");
  // The test binary's folder is writable, so backup.db lives beside it.
  EXPECT_EQ(DatabasePath(), ExeDir() + "/backup.db");
  ::setenv("TIDEKEEP_DB", "/tmp/env.db", 1);
  EXPECT_EQ(DatabasePath(), "/tmp/env.db");
  SetDatabasePathOverride("/tmp/flag.db");
  EXPECT_EQ(DatabasePath(), "/tmp/flag.db");
  SetDatabasePathOverride("");
  ::unsetenv("TIDEKEEP_DB");
}

TEST(Paths, ExeDirIsTheTestBinaryFolder) {
  EXPECT_TRUE(std::filesystem::exists(ExeDir() + "/platform_tests"));
}
