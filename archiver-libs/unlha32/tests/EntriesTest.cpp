// The exported entries of libunlha32.so, called as the program's binding calls them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "Crc16.h"
#include "ErrorCodes.h"
#include "TestSupport.h"
#include "Unlha32.h"
#include "WinMsg.h"

using unlha_test::Fixture;
using unlha_test::TTempDir;
namespace fs = std::filesystem;

namespace {

std::string Q(const std::string& s) { return "\"" + s + "\""; }

void WriteBytes(const std::string& path, const std::string& bytes) {
  unlha_test::WriteBytes(path, std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

std::string Le(uint32_t v, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

// One level-2 member holding data as is: its header with the header-CRC extended header first,
// then the (kind, payload) extended headers given, then the data.
std::string Level2(const std::string& method, const std::string& data,
                   const std::vector<std::pair<uint8_t, std::string>>& given) {
  const auto bytes = [](const std::string& s) {
    return std::span(reinterpret_cast<const uint8_t*>(s.data()), s.size());
  };
  std::vector<std::pair<uint8_t, std::string>> exts = {{0x00, std::string(2, '\0')}};
  exts.insert(exts.end(), given.begin(), given.end());
  const auto size = static_cast<uint32_t>(data.size());
  std::string h = Le(0, 2) + method + Le(size, 4) + Le(size, 4) + Le(1700000000, 4) + "\x20\x02" +
                  Le(unlha::Crc16(0, bytes(data)), 2) + "U" + Le(static_cast<uint32_t>(exts[0].second.size() + 3), 2);
  const size_t crcAt = h.size() + 1;
  for (size_t i = 0; i < exts.size(); ++i) {
    h += static_cast<char>(exts[i].first) + exts[i].second;
    h += Le(i + 1 < exts.size() ? static_cast<uint32_t>(exts[i + 1].second.size() + 3) : 0, 2);
  }
  h.replace(0, 2, Le(static_cast<uint32_t>(h.size()), 2));
  h.replace(crcAt, 2, Le(unlha::Crc16(0, bytes(h)), 2));
  return h + data;
}

int RunCommand(const std::string& line, std::string* text = nullptr) {
  std::vector<char> out(65536, 'Z');
  int code = Unlha(0, line.c_str(), out.data(), static_cast<uint32_t>(out.size()));
  if (text) *text = out.data();
  return code;
}

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(folder)) names.push_back(e.path().lexically_relative(folder).string());
  std::sort(names.begin(), names.end());
  return names;
}

// The progress window: records what each message carried and cancels at a chosen member.
struct TProgressLog {
  std::vector<std::string> sources;
  std::vector<std::string> dests;
  std::vector<uintptr_t> states;
  size_t cancelAt = SIZE_MAX;
};

LRESULT ProgressProc(HWND wnd, uint32_t msg, WPARAM wParam, LPARAM lParam) {
  auto* log = static_cast<TProgressLog*>(GetWindowUserData(wnd));
  if (msg != RegisterWindowMessage(WM_ARCEXTRACT_NAME)) return DefWindowProc(wnd, msg, wParam, lParam);
  const auto* bytes = reinterpret_cast<const char*>(lParam);
  log->states.push_back(wParam);
  log->sources.emplace_back(bytes + 8);    // member name
  log->dests.emplace_back(bytes + 524);    // file on disk
  return log->sources.size() == log->cancelAt ? 1 : 0;
}

}  // namespace

TEST(Entries, ListingThroughAHandleFillsTheMemberRecords) {
  HARC h = UnlhaOpenArchive(0, Fixture("level3.lzh").c_str(), 8388610);
  ASSERT_NE(h, 0u);
  INDIVIDUALINFO info;
  std::memset(&info, 0x5A, sizeof info);
  ASSERT_EQ(UnlhaFindFirst(h, "*.*", &info), 0);
  EXPECT_STREQ(info.szFileName, "dir3/");  // folders are marked by their trailing "/"
  EXPECT_STREQ(info.szMode, "-lhd-");
  ASSERT_EQ(UnlhaFindNext(h, &info), 0);
  EXPECT_STREQ(info.szFileName, "dir3/file3.txt");
  EXPECT_EQ(info.dwOriginalSize, 12u);
  EXPECT_EQ(info.dwCompressedSize, 12u);
  EXPECT_EQ(info.wRatio, 1000);
  EXPECT_STREQ(info.szMode, "-lh0-");
  uint64_t ft = 0, size = 0;
  ASSERT_NE(UnlhaGetWriteTimeEx(h, &ft), 0);
  EXPECT_EQ(ft, (1700000000ULL + 11644473600ULL) * 10000000ULL);
  ASSERT_NE(UnlhaGetAccessTimeEx(h, &ft), 0);
  EXPECT_EQ(ft, (1700003600ULL + 11644473600ULL) * 10000000ULL);
  ASSERT_NE(UnlhaGetOriginalSizeEx(h, &size), 0);
  EXPECT_EQ(size, 12u);
  ASSERT_NE(UnlhaGetCompressedSizeEx(h, &size), 0);
  EXPECT_EQ(size, 12u);
  // The MS-DOS stamp of the record is the write time in local time.
  time_t t = 1700000000;
  std::tm tm{};
  localtime_r(&t, &tm);
  EXPECT_EQ(info.wDate, ((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
  EXPECT_EQ(info.wTime, (tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
  ASSERT_EQ(UnlhaFindNext(h, &info), 0);
  EXPECT_STREQ(info.szFileName, "ユニコード.txt");
  EXPECT_EQ(UnlhaFindNext(h, &info), unlha::kFindEnd);
  EXPECT_EQ(UnlhaGetWriteTimeEx(h, &ft), 0);  // nothing found last

  ASSERT_EQ(UnlhaFindFirst(h, "*.txt", &info), 0);
  EXPECT_STREQ(info.szFileName, "dir3/file3.txt");
  ASSERT_EQ(UnlhaFindFirst(h, "dir3/*", &info), 0);
  EXPECT_STREQ(info.szFileName, "dir3/file3.txt");
  EXPECT_EQ(UnlhaFindFirst(h, "nothing*", &info), unlha::kFindEnd);
  EXPECT_EQ(UnlhaCloseArchive(h), 0);
  EXPECT_EQ(UnlhaFindFirst(h, "*", &info), unlha::kErrHarcNotOpened);  // a closed handle is refused
}

TEST(Entries, ProbesTellArchivesFromOtherFiles) {
  TTempDir dir;
  unlha_test::WriteBytes(dir / "text.lzh", {'n', 'o', 't', ' ', 'l', 'h', 'a'});
  EXPECT_NE(UnlhaCheckArchive(Fixture("lh1.lzh").c_str(), 16), 0);
  EXPECT_NE(UnlhaCheckArchive(Fixture("unix.lzh").c_str(), 0), 0);
  EXPECT_EQ(UnlhaCheckArchive(Fixture("unix.lzh").c_str(), 2), 0);  // the -lhx- member fails a full check
  EXPECT_EQ(UnlhaCheckArchive((dir / "text.lzh").c_str(), 16), 0);
  EXPECT_EQ(UnlhaCheckArchive((dir / "missing.lzh").c_str(), 16), 0);
  EXPECT_EQ(UnlhaOpenArchive(0, (dir / "text.lzh").c_str(), 8388610), 0u);
  EXPECT_EQ(UnlhaGetArchiveType(Fixture("lzs.lzh").c_str()), 1);
  EXPECT_EQ(UnlhaGetArchiveType((dir / "text.lzh").c_str()), 0);
}

TEST(Entries, ExtractsWithAndWithoutPathsAndRestoresModesAndLinks) {
  TTempDir dir;
  std::string text;
  ASSERT_EQ(RunCommand("x -+ -x1 -jse1 -jso1  " + Q(Fixture("level3.lzh")) + " " + Q(dir / "out/") + " ", &text), 0)
      << text;
  EXPECT_EQ(Names(dir / "out"), (std::vector<std::string>{"dir3", "dir3/file3.txt", "ユニコード.txt"}));
  struct stat st {};
  ASSERT_EQ(::stat((dir / "out/dir3/file3.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(st.st_mtime, 1700000000);
  EXPECT_EQ(st.st_atime, 1700003600);
  ASSERT_EQ(::stat((dir / "out/dir3").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0750u);

  ASSERT_EQ(RunCommand("x -+ -x0 -jse1 -jso1  " + Q(Fixture("level3.lzh")) + " " + Q(dir / "flat/") + " " +
                       Q("dir3/file3.txt") + " "),
            0);
  EXPECT_EQ(Names(dir / "flat"), std::vector<std::string>{"file3.txt"});

  // The unknown method is reported for its member; the members around it are extracted.
  EXPECT_EQ(RunCommand("x " + Q(Fixture("unix.lzh")) + " " + Q(dir / "unix/"), &text), unlha::kErrMethod);
  EXPECT_NE(text.find("strange.bin"), std::string::npos);
  EXPECT_EQ(Names(dir / "unix"), (std::vector<std::string>{"after.txt", "link", "target.txt"}));
  EXPECT_EQ(fs::read_symlink(dir / "unix/link"), "target.txt");
  ASSERT_EQ(::stat((dir / "unix/target.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0751u);
}

TEST(Entries, RefusesNamesThatLeaveTheDestination) {
  TTempDir dir;
  std::string text;
  fs::create_directories(dir / "deep/out");
  // The members of unsafe.lzh, with the absolute name and the link's target in a folder of this
  // test's own, so that anything let through would land where the test sees it.
  const std::string outside = dir / "outside";
  fs::create_directories(outside);
  std::string absDir;  // "/a/b" as the folder field holds it: each "/" a 0xFF, one at the end
  for (char c : outside) absDir += c == '/' ? '\xFF' : c;
  absDir += '\xFF';
  const std::string ok = "safe\n";
  WriteBytes(dir / "unsafe.lzh",
             Level2("-lh0-", ok, {{0x01, "ok.txt"}}) + Level2("-lh0-", ok, {{0x01, "evil.txt"}, {0x02, "..\xFF"}}) +
                 Level2("-lh0-", ok, {{0x01, "abs.txt"}, {0x02, absDir}}) +
                 Level2("-lhd-", "", {{0x01, "ln|" + outside}, {0x50, std::string("\xFF\xA1", 2)}}) +
                 Level2("-lh0-", ok, {{0x01, "escape.txt"}, {0x02, "ln\xFF"}}) + std::string(1, '\0'));
  EXPECT_EQ(RunCommand("x " + Q(dir / "unsafe.lzh") + " " + Q(dir / "deep/out/"), &text), unlha::kErrUnsafeName);
  EXPECT_EQ(Names(dir / "deep"), (std::vector<std::string>{"out", "out/ln", "out/ok.txt"}));
  EXPECT_TRUE(fs::is_empty(outside));
  EXPECT_FALSE(fs::exists(dir / "evil.txt"));
  for (const std::string& name : {std::string("../evil.txt"), outside + "/abs.txt", std::string("ln/escape.txt")})
    EXPECT_NE(text.find(name), std::string::npos) << text;
  // -jse0 stops at the first refused member.
  EXPECT_EQ(RunCommand("x -jse0 " + Q(Fixture("unsafe.lzh")) + " " + Q(dir / "stop/")), unlha::kErrUnsafeName);
  EXPECT_EQ(Names(dir / "stop"), std::vector<std::string>{"ok.txt"});
}

TEST(Entries, ProgressMessagesNameMemberAndFileAndAReplyCancels) {
  TTempDir dir;
  TProgressLog log;
  HWND wnd = CreateHiddenWindow(ProgressProc, &log);
  ASSERT_NE(UnlhaSetOwnerWindowEx(wnd, nullptr), 0);
  ASSERT_EQ(RunCommand("x -+ -n1 -x1 -jse1 -jso1  " + Q(Fixture("level3.lzh")) + " " + Q(dir / "a/") + " "), 0);
  ASSERT_EQ(log.sources.size(), 3u);
  EXPECT_EQ(log.states, (std::vector<uintptr_t>{1, 1, 1}));
  EXPECT_EQ(log.sources[1], "dir3/file3.txt");
  EXPECT_EQ(log.dests[1], dir / "a/dir3/file3.txt");

  log = TProgressLog{};
  log.cancelAt = 2;
  EXPECT_EQ(RunCommand("x " + Q(Fixture("level3.lzh")) + " " + Q(dir / "b/")), ERROR_USER_CANCEL);
  EXPECT_EQ(Names(dir / "b"), std::vector<std::string>{"dir3"});  // nothing of the cancelled member

  EXPECT_NE(UnlhaKillOwnerWindowEx(wnd), 0);
  log = TProgressLog{};
  ASSERT_EQ(RunCommand("l " + Q(Fixture("level3.lzh"))), 0);
  EXPECT_TRUE(log.sources.empty());
  DestroyWindow(wnd);
}

namespace {
int gEnumCalls = 0;
int gEnumStopAt = 0;
std::string gEnumName;
int EnumProc(void* info) {
  const auto* rec = static_cast<const EXTRACTINGINFOEX64*>(info);
  EXPECT_EQ(rec->dwStructSize, 1094u);
  gEnumName = rec->szSourceFileName;
  return ++gEnumCalls == gEnumStopAt ? 0 : 1;
}
}  // namespace

TEST(Entries, EnumerationCallbackSeesEveryMemberAndCanStop) {
  TTempDir dir;
  UnlhaSetEnumMembersProc64(EnumProc, sizeof(EXTRACTINGINFOEX64));
  gEnumCalls = 0;
  gEnumStopAt = 0;
  EXPECT_EQ(RunCommand("t " + Q(Fixture("level3.lzh"))), 0);
  EXPECT_EQ(gEnumCalls, 3);
  gEnumCalls = 0;
  gEnumStopAt = 2;
  EXPECT_EQ(RunCommand("x " + Q(Fixture("level3.lzh")) + " " + Q(dir / "e/")), ERROR_USER_CANCEL);
  EXPECT_EQ(gEnumName, "dir3/file3.txt");
  EXPECT_FALSE(fs::exists(dir / "e/dir3/file3.txt"));
  UnlhaClearEnumMembersProc64();
  gEnumCalls = 0;
  EXPECT_EQ(RunCommand("t " + Q(Fixture("level3.lzh"))), 0);
  EXPECT_EQ(gEnumCalls, 0);
}

TEST(Entries, OutputIsReadableTextWithinTheGivenSize) {
  for (uint32_t size : {0u, 1u, 7u, 100u}) {
    std::vector<char> out(size + 16, 'Z');
    int code = Unlha(0, ("l " + Q(Fixture("level3.lzh"))).c_str(), size ? out.data() : nullptr, size);
    EXPECT_EQ(code, 0);
    if (size > 0) {
      EXPECT_LT(std::strlen(out.data()), size);
    }
    for (size_t i = size; i < out.size(); ++i) ASSERT_EQ(out[i], 'Z') << "overrun at size " << size;
  }
  std::string text;
  ASSERT_EQ(RunCommand("v " + Q(Fixture("level3.lzh")), &text), 0);
  EXPECT_NE(text.find("dir3/file3.txt"), std::string::npos);
  EXPECT_NE(text.find("100640"), std::string::npos);
}

TEST(Entries, CommandErrorsAreCodesWithAMessage) {
  TTempDir dir;
  struct TCase {
    std::string line;
    int code;
  } cases[] = {
      {"x -+ -gm1 " + Q(Fixture("lzs.lzh")), unlha::kErrSwitch},  // a driver switch reading has no use for
      {"x -+ -zz " + Q(Fixture("lzs.lzh")), unlha::kErrSwitch},   // not a switch at all
      {"q " + Q(Fixture("lzs.lzh")), unlha::kErrCommandName},
      {"l " + Q("/nonexistent/a.lzh"), unlha::kErrArcFileOpen},
      {"l " + Q(Fixture("README.md")), unlha::kErrNotArcFile},
      {"x " + Q(Fixture("lzs.lzh")) + " " + Q(dir / "") + " " + Q("absent.txt"), unlha::kErrNoMatch},
  };
  for (const TCase& c : cases) {
    std::string text;
    EXPECT_EQ(RunCommand(c.line, &text), c.code) << c.line;
    EXPECT_FALSE(text.empty()) << c.line;
  }
}

TEST(Entries, ExtractMemFillsTheBufferAndReportsItsSize) {
  std::vector<unsigned char> buf(64, 0);
  uint32_t written = 0;
  time_t t = 0;
  std::string line = " -+ -x0 -jso1  " + Q(Fixture("level3.lzh")) + " " + Q("dir3/file3.txt") + " ";
  ASSERT_EQ(UnlhaExtractMem(0, line.c_str(), buf.data(), static_cast<uint32_t>(buf.size()), &t, nullptr, &written), 0);
  EXPECT_EQ(written, 12u);
  EXPECT_EQ(std::string(buf.begin(), buf.begin() + 12), "level three\n");
  EXPECT_EQ(t, 1700000000);
  std::vector<unsigned char> small(5, 0);
  EXPECT_EQ(UnlhaExtractMem(0, line.c_str(), small.data(), 5, nullptr, nullptr, &written), unlha::kErrBufferSmall);
  EXPECT_EQ(written, 5u);
}

TEST(Entries, ABadCrcLeavesNoFileBehind) {
  TTempDir dir;
  auto bytes = unlha_test::ReadBytes(Fixture("level3.lzh"));
  std::string body = "level three\n";
  auto at = std::search(bytes.begin(), bytes.end(), body.begin(), body.end());
  ASSERT_NE(at, bytes.end());
  *at ^= 0x20;  // "Level three": same size, wrong CRC
  unlha_test::WriteBytes(dir / "bad.lzh", bytes);
  fs::create_directories(dir / "out/dir3");
  unlha_test::WriteBytes(dir / "out/dir3/file3.txt", {'o', 'l', 'd'});
  std::string text;
  EXPECT_EQ(RunCommand("x " + Q(dir / "bad.lzh") + " " + Q(dir / "out/"), &text), unlha::kErrFileCrc);
  EXPECT_NE(text.find("CRC"), std::string::npos);
  // The existing file is untouched and no temporary file is left.
  EXPECT_EQ(unlha_test::ReadBytes(dir / "out/dir3/file3.txt"), (std::vector<uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(Names(dir / "out"), (std::vector<std::string>{"dir3", "dir3/file3.txt", "ユニコード.txt"}));
  EXPECT_EQ(RunCommand("t " + Q(dir / "bad.lzh")), unlha::kErrFileCrc);
}
