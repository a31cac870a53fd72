#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

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
  // The build tree carries the portable marker, so backup.db lives beside the test binary.
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

TEST(Paths, OnlyAFolderWithTheMarkerIsPortable) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(::testing::TempDir()) / ("tk_portable_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  EXPECT_FALSE(IsPortableFolder(dir.string())) << "a writable folder alone is no portable copy";
  std::ofstream(dir / PortableMarkerName).put('\n');
  EXPECT_TRUE(IsPortableFolder(dir.string()));
  EXPECT_TRUE(IsPortableFolder(ExeDir())) << "the build tree is a portable copy";
  fs::remove_all(dir);
}

TEST(Paths, UserDataDirFollowsXdgThenHome) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(::testing::TempDir()) / ("tk_xdg_" + std::to_string(::getpid()));
  const char* home = std::getenv("HOME");
  const std::string oldHome = home != nullptr ? home : "";
  ::setenv("XDG_DATA_HOME", (dir / "xdg").c_str(), 1);
  EXPECT_EQ(UserDataDir(), (dir / "xdg" / "tidekeep").string());
  EXPECT_TRUE(fs::is_directory(dir / "xdg" / "tidekeep"));
  ::setenv("XDG_DATA_HOME", "", 1);  // empty counts as unset
  ::setenv("HOME", (dir / "home").c_str(), 1);
  EXPECT_EQ(UserDataDir(), (dir / "home" / ".local/share/tidekeep").string());
  EXPECT_TRUE(fs::is_directory(dir / "home" / ".local/share/tidekeep"));
  ::unsetenv("XDG_DATA_HOME");
  ::setenv("HOME", oldHome.c_str(), 1);
  fs::remove_all(dir);
}
