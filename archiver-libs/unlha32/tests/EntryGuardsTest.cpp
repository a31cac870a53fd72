// Promises of the entries that callers build on: FindNext only after FindFirst, a creation time
// only where the archive records one, the callback form of the owner window; and of extraction:
// `e`, exclusions, the read-only attribute, the Unicode folder and the 64-bit size headers.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "ErrorCodes.h"
#include "TestSupport.h"
#include "Unlha32.h"
#include "WinMsg.h"

using unlha_test::Fixture;
using unlha_test::TTempDir;
namespace fs = std::filesystem;

namespace {

// An open handle on a fixture, closed with the test.
class THandle {
 public:
  explicit THandle(const std::string& fixture) : FArc(UnlhaOpenArchive(0, Fixture(fixture).c_str(), 8388610)) {}
  ~THandle() {
    if (FArc != 0) UnlhaCloseArchive(FArc);
  }
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;
  HARC get() const { return FArc; }

 private:
  HARC FArc;
};

TEST(EntryGuards, FindNextBeforeFindFirstIsRefused) {
  THandle h("level3.lzh");
  ASSERT_NE(h.get(), 0u);
  INDIVIDUALINFO info{};
  EXPECT_EQ(UnlhaFindNext(h.get(), &info), arclib::kErrNotSearchMode);
  EXPECT_EQ(arclib::kErrNotSearchMode, 0x8022);
  ASSERT_EQ(UnlhaFindFirst(h.get(), "*", &info), 0);
  EXPECT_EQ(UnlhaFindNext(h.get(), &info), 0);
  EXPECT_STREQ(info.szFileName, "dir3/file3.txt");
}

TEST(EntryGuards, CreationTimeOnlyWhereTheArchiveRecordsOne) {
  THandle h("level3.lzh");
  ASSERT_NE(h.get(), 0u);
  INDIVIDUALINFO info{};
  uint64_t ft = 77;
  EXPECT_EQ(UnlhaGetCreateTimeEx(h.get(), &ft), 0) << "nothing found yet";
  ASSERT_EQ(UnlhaFindFirst(h.get(), "*", &info), 0);
  ASSERT_STREQ(info.szFileName, "dir3/");
  EXPECT_EQ(UnlhaGetCreateTimeEx(h.get(), &ft), 0) << "the folder has no Windows time stamps";
  EXPECT_EQ(ft, 77u);
  ASSERT_EQ(UnlhaFindNext(h.get(), &info), 0);
  ASSERT_STREQ(info.szFileName, "dir3/file3.txt");
  ASSERT_NE(UnlhaGetCreateTimeEx(h.get(), &ft), 0);
  EXPECT_EQ(ft, 133000000000000000ULL);  // as the fixture's time-stamp header holds it
  EXPECT_EQ(UnlhaGetCreateTimeEx(h.get(), nullptr), 0);
}

// What the owner callback was handed, and the member at which it answers 0.
struct TCallbackLog {
  std::vector<std::string> names;
  std::vector<uint32_t> messages, states;
  size_t stopAt = SIZE_MAX;
};
TCallbackLog gLog;

int OwnerCallback(HWND, uint32_t msg, uint32_t state, void* info) {
  gLog.messages.push_back(msg);
  gLog.states.push_back(state);
  gLog.names.emplace_back(static_cast<const EXTRACTINGINFOEX*>(info)->szSourceFileName);
  return gLog.names.size() == gLog.stopAt ? 0 : 1;
}

TEST(EntryGuards, AnOwnerCallbackSeesEveryMemberAndAnswersZeroToStop) {
  ASSERT_NE(UnlhaSetOwnerWindowEx(0, &OwnerCallback), 0);
  struct TKill {
    ~TKill() { UnlhaKillOwnerWindowEx(0); }
  } kill;
  const std::string line = "t \"" + Fixture("level3.lzh") + "\"";
  std::vector<char> out(4096);
  gLog = {};
  ASSERT_EQ(Unlha(0, line.c_str(), out.data(), static_cast<uint32_t>(out.size())), 0) << out.data();
  EXPECT_EQ(gLog.names, (std::vector<std::string>{"dir3", "dir3/file3.txt", "ユニコード.txt"}));
  EXPECT_EQ(gLog.messages, std::vector<uint32_t>(gLog.names.size(), RegisterWindowMessage(WM_ARCEXTRACT_NAME)));
  EXPECT_EQ(gLog.states, std::vector<uint32_t>(gLog.names.size(), ARCEXTRACT_INPROCESS));

  gLog = {};
  gLog.stopAt = 1;
  EXPECT_EQ(Unlha(0, line.c_str(), out.data(), static_cast<uint32_t>(out.size())), arclib::kErrUserCancel);
  EXPECT_EQ(gLog.names.size(), 1u);
}

// Runs one command line through the entry; the library's text in text.
int RunLine(const std::string& line, std::string& text) {
  std::vector<char> out(65536);
  const int code = Unlha(0, line.c_str(), out.data(), static_cast<uint32_t>(out.size()));
  text = out.data();
  return code;
}

// Everything below folder, relative, sorted; folders too.
std::vector<std::string> Tree(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(folder)) names.push_back(e.path().lexically_relative(folder).string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string Content(const std::string& path) {
  const auto bytes = unlha_test::ReadBytes(path);
  return {bytes.begin(), bytes.end()};
}

TEST(EntryGuards, ExtractCommandsHonourPathsAndExclusions) {
  struct TCase {
    const char* label;
    std::string command;  // the archive and the destination follow
    std::vector<std::string> tree;
  } cases[] = {
      {"x keeps the folders", "x -x1", {"dir3", "dir3/file3.txt", "ユニコード.txt"}},
      {"e drops every folder", "e", {"file3.txt", "ユニコード.txt"}},
      {"-jx leaves matching members out", "x -x1 \"-jx*.txt\"", {"dir3"}},
      {"-jx with a folder's name", "x -x1 \"-jxdir3\"", {"ユニコード.txt"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.label);
    TTempDir dir;
    std::string text;
    ASSERT_EQ(RunLine(c.command + " \"" + Fixture("level3.lzh") + "\" \"" + dir / "out/" + "\"", text), 0) << text;
    EXPECT_EQ(Tree(dir / "out"), c.tree);
  }
}

TEST(EntryGuards, ReadOnlyAttributeUnicodeFolderAndWideSizesAreHonoured) {
  TTempDir dir;
  std::string text;
  ASSERT_EQ(RunLine("x -x1 \"" + Fixture("guards.lzh") + "\" \"" + dir / "out/" + "\"", text), 0) << text;
  // The Unicode folder header wins over the plain one.
  EXPECT_EQ(Tree(dir / "out"), (std::vector<std::string>{"ro.txt", "rw.txt", "wide.txt", "ユニ", "ユニ/u.txt"}));
  // Members without a Unix mode: the MS-DOS read-only attribute takes every write bit away.
  struct stat ro {}, rw {};
  ASSERT_EQ(::stat((dir / "out/ro.txt").c_str(), &ro), 0);
  ASSERT_EQ(::stat((dir / "out/rw.txt").c_str(), &rw), 0);
  EXPECT_EQ(ro.st_mode & 0222, 0u);
  EXPECT_NE(rw.st_mode & 0200, 0u);
  // The 32-bit size fields of wide.txt say 0; its sizes are in the 64-bit header alone.
  EXPECT_EQ(Content(dir / "out/wide.txt"), "sizes in the wide header\n");
  EXPECT_EQ(Content(dir / "out/ユニ/u.txt"), "safe\n");
  THandle h("guards.lzh");
  ASSERT_NE(h.get(), 0u);
  INDIVIDUALINFO info{};
  ASSERT_EQ(UnlhaFindFirst(h.get(), "wide.txt", &info), 0);
  uint64_t size = 0;
  ASSERT_NE(UnlhaGetOriginalSizeEx(h.get(), &size), 0);
  EXPECT_EQ(size, 25u);
  EXPECT_EQ(info.dwOriginalSize, 25u);
  ASSERT_EQ(UnlhaFindFirst(h.get(), "ro.txt", &info), 0);
  EXPECT_EQ(info.szAttribute[0], 'r');
}

}  // namespace
