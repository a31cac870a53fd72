// Promises of the entries that callers build on: FindNext only after FindFirst, a creation time
// only where the archive records one, and the callback form of the owner window.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ErrorCodes.h"
#include "TestSupport.h"
#include "Unlha32.h"
#include "WinMsg.h"

using unlha_test::Fixture;

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

}  // namespace
