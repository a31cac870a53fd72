// Guards of the pack commands that keep a caller's files safe or its archive unchanged: a target
// that is no readable LHA archive is never overwritten, the archive is never packed into itself,
// absolute names are stored relative, `f` replaces only newer files, and an update that changes
// no member leaves the archive file as it was.
#include "ErrorCodes.h"
#include "LhaHeader.h"
#include "PeerTools.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <set>

namespace unlha {
namespace {

using namespace unlha::test;

std::string PackLine(const std::string& letter, const std::string& arc, const std::string& base,
                     const std::vector<std::string>& names, const std::string& switches = "-x1") {
  std::string line = letter + " -+ " + switches + " -jso0 \"" + arc + "\" \"" + base + "/\"";
  for (const auto& n : names) line += " \"" + n + "\"";
  return line;
}

std::vector<std::string> Names(const std::string& archive) {
  std::vector<std::string> names;
  for (const TLhaMember& m : Members(archive)) names.push_back(m.name);
  return names;
}

std::set<std::string> FolderEntries(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
  return names;
}

void SetTime(const std::string& path, time_t t) {
  const timespec ts[2] = {{t, 0}, {t, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), ts, AT_SYMLINK_NOFOLLOW), 0) << path;
}

TEST(PackGuards, TargetThatIsNoReadableArchiveIsLeftUntouched) {
  TTempDir dir;
  WriteFile(dir / "base/a.txt", "a");
  ASSERT_EQ(Command(PackLine("a", dir / "good.lzh", dir / "base", {"a.txt"})).rc, 0);
  std::vector<uint8_t> damaged = ReadBytes(dir / "good.lzh");
  damaged[damaged.size() / 2] ^= 0x5A;  // inside the only member's header: its CRC fails
  ASSERT_LT(damaged.size() / 2, Members(dir / "good.lzh").at(0).dataOffset);
  struct TCase {
    const char* label;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"text", std::vector<uint8_t>{'n', 'o', 't', 'e', 's', '\n'}},
      {"jpeg", std::vector<uint8_t>{0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10, 'J', 'F', 'I', 'F', 0}},
      {"damaged archive", damaged},
  };
  for (const TCase& c : cases) {
    for (const std::string letter : {"a", "u", "f"}) {
      SCOPED_TRACE(std::string(c.label) + ", " + letter);
      const std::string target = dir / "target.lzh";
      WriteFile(target, c.bytes);
      const TResult r = Command(PackLine(letter, target, dir / "base", {"a.txt"}));
      EXPECT_NE(r.rc, 0) << r.text;
      EXPECT_NE(r.text.find("it is left as it is"), std::string::npos) << r.text;
      EXPECT_EQ(ReadBytes(target), c.bytes);
      EXPECT_EQ(FolderEntries(dir.Path()), (std::set<std::string>{"base", "good.lzh", "target.lzh"}))
          << "no temporary or lock file stays behind";
    }
  }
}

TEST(PackGuards, TheArchiveAmongTheNamesIsNotPackedIntoItself) {
  TTempDir dir;
  WriteFile(dir / "base/a.txt", "a");
  WriteFile(dir / "base/sub/b.txt", "b");
  const std::string arc = dir / "base/self.lzh";
  ASSERT_EQ(Command(PackLine("a", arc, dir / "base", {"a.txt"})).rc, 0);
  // Named, and met inside a folder packed with its contents.
  TResult r = Command(PackLine("a", arc, dir / "base", {"a.txt", "self.lzh"}));
  EXPECT_EQ(r.rc, 0) << r.text;
  EXPECT_NE(r.text.find("self.lzh: skipped: it is the archive being written"), std::string::npos) << r.text;
  EXPECT_EQ(Names(arc), std::vector<std::string>{"a.txt"});
  const std::string inner = dir / "base/sub/inner.lzh";
  ASSERT_EQ(Command(PackLine("a", inner, dir / "base", {"sub/b.txt"})).rc, 0);
  r = Command(PackLine("a", inner, dir / "base", {"sub"}, "-x1 -r2"));
  EXPECT_EQ(r.rc, 0) << r.text;
  EXPECT_EQ(Names(inner), (std::vector<std::string>{"sub", "sub/b.txt"}));
}

TEST(PackGuards, AbsoluteNamesAreStoredWithoutTheirLeadingSlash) {
  TTempDir dir;
  WriteFile(dir / "elsewhere/x.txt", "read where it is");
  fs::create_directories(dir / "base");
  const std::string absolute = dir / "elsewhere/x.txt";
  ASSERT_EQ(absolute.front(), '/');
  for (const std::string switches : {"-x1", "-x0"}) {
    SCOPED_TRACE(switches);
    const std::string arc = dir / ("abs" + switches + ".lzh");
    const TResult r = Command(PackLine("a", arc, dir / "base", {absolute}, switches));
    ASSERT_EQ(r.rc, 0) << r.text;
    const auto members = Members(arc);
    ASSERT_FALSE(members.empty());
    const TLhaMember& file = members.back();
    EXPECT_EQ(file.name, switches == "-x1" ? absolute.substr(1) : "x.txt");
    EXPECT_FALSE(file.absolute);
    EXPECT_EQ(file.originalSize, 16u);
    for (const TLhaMember& m : members) EXPECT_NE(m.name.front(), '/') << m.name;
  }
}

TEST(PackGuards, FreshenReplacesOnlyFilesNewerThanTheirMembers) {
  TTempDir dir;
  const std::string arc = dir / "a.lzh", base = dir / "base", file = dir / "base/a.txt";
  WriteFile(file, "first");
  SetTime(file, 1700000000);
  ASSERT_EQ(Command(PackLine("u", arc, base, {"a.txt"})).rc, 0);
  struct TStep {
    const char* label;
    std::string content;
    time_t mtime;
    uint64_t stored;  // the member's size afterwards
  } steps[] = {
      {"older", "older content", 1700000000 - 3600, 5},
      {"same time", "same time!", 1700000000, 5},
      {"newer", "newer", 1700000000 + 3600, 5},
      {"newer and longer", "newer and longer", 1700000000 + 7200, 16},
  };
  for (const TStep& s : steps) {
    SCOPED_TRACE(s.label);
    WriteFile(file, s.content);
    SetTime(file, s.mtime);
    const TResult r = Command(PackLine("f", arc, base, {"a.txt"}));
    ASSERT_EQ(r.rc, 0) << r.text;
    const auto members = Members(arc);
    ASSERT_EQ(members.size(), 1u);
    EXPECT_EQ(members[0].originalSize, s.stored);
    EXPECT_EQ(members[0].mtime, s.stored == 5 && s.mtime <= 1700000000 ? 1700000000 : s.mtime);
  }
}

TEST(PackGuards, AnUpdateThatChangesNoMemberLeavesTheArchiveFileAsItWas) {
  TTempDir dir;
  WriteFile(dir / "base/a.txt", "a");
  WriteFile(dir / "base/sub/b.txt", "b");
  const std::string arc = dir / "a.lzh";
  const std::string line = PackLine("u", arc, dir / "base", {"a.txt", "sub/b.txt"});
  ASSERT_EQ(Command(line).rc, 0);
  SetTime(arc, 1600000000);
  struct stat before{};
  ASSERT_EQ(stat(arc.c_str(), &before), 0);
  const auto bytes = ReadBytes(arc);
  for (const std::string letter : {"u", "f"}) {
    SCOPED_TRACE(letter);
    const TResult r = Command(PackLine(letter, arc, dir / "base", {"a.txt", "sub/b.txt"}));
    ASSERT_EQ(r.rc, 0) << r.text;
    struct stat after{};
    ASSERT_EQ(stat(arc.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the archive was replaced";
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(ReadBytes(arc), bytes);
    EXPECT_EQ(FolderEntries(dir.Path()), (std::set<std::string>{"a.lzh", "base"}));
  }
}

}  // namespace
}  // namespace unlha
