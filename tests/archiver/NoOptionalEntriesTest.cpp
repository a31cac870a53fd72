// A library without any optional entry (owner window, enumeration callback, times, sizes), and a
// family whose library is missing altogether.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "ARCHIVES.h"
#include "ARJ32.h"
#include "FakeControl.h"
#include "LHA32.h"
#include "TestSupport.h"

namespace {

// Member stamps are local time; a fixed zone without daylight saving makes the UTC values known.
const bool kJapanTime = (setenv("TZ", "JST-9", 1), tzset(), true);

TEST(NoOptionalEntries, RecordTimesComeFromTheDosStamps) {
  fake::Reset();
  fake::AddMember("noon.txt", 10, 5, 0x3C21, 0x6000);  // 2010-01-01 12:00:00 local
  fake::AddMember("zero.txt", 20, 7, 0, 0);
  fake::AddMember("bad.txt", 30, 9, (30 << 9) | 1, 0);  // month 0: no such date
  TArchiverDll& dll = TLha32::Binding();
  TMemberRecord rec{};
  ASSERT_EQ(dll.FindFirst(77, "*", rec), 0);
  const uint64_t noonUtc = 129067884000000000ULL;  // 2010-01-01 03:00:00 UTC
  EXPECT_EQ(test::Field(rec.ftLastWriteTime), noonUtc);
  EXPECT_EQ(test::Field(rec.ftLastAccessTime), noonUtc);
  EXPECT_EQ(test::Field(rec.ftCreationTime), noonUtc);
  EXPECT_EQ(test::Field(rec.llOriginalSize), 10u);
  EXPECT_EQ(test::Field(rec.llCompressedSize), 5u);
  ASSERT_EQ(dll.FindNext(77, rec), 0);
  EXPECT_EQ(test::Field(rec.ftLastWriteTime), 0u);
  EXPECT_EQ(test::Field(rec.ftLastAccessTime), 0u);
  EXPECT_EQ(test::Field(rec.ftCreationTime), 0u);
  EXPECT_EQ(test::Field(rec.llOriginalSize), 20u);
  rec.ftLastWriteTime = 1234;
  ASSERT_EQ(dll.FindNext(77, rec), 0);
  EXPECT_EQ(test::Field(rec.ftLastWriteTime), 1234u);  // left as it was
  EXPECT_EQ(test::Field(rec.llCompressedSize), 9u);
}

TEST(NoOptionalEntries, OptionalCallsAnswerZero) {
  TArchiverDll& dll = TLha32::Binding();
  uint64_t value = 5;
  EXPECT_EQ(dll.SetOwnerWindowEx(1, nullptr), 0);
  EXPECT_EQ(dll.KillOwnerWindowEx(1), 0);
  EXPECT_EQ(dll.GetWriteTimeEx(77, &value), 0);
  EXPECT_EQ(dll.GetCompressedSizeEx(77, &value), 0);
  EXPECT_EQ(dll.SetEnumMembersProc64(nullptr, 1094), 0);
  EXPECT_EQ(dll.ClearEnumMembersProc64(), 0);
  EXPECT_EQ(value, 5u);
}

TEST(NoOptionalEntries, PackingStillWorksAndTheWindowIsRecorded) {
  test::TTempDir tmp;
  test::WriteFile(tmp / "data/a.txt", "a");
  fake::Reset();
  TArchiveFile af;
  af.SetFileName(tmp / "x.lzh");
  af.Options().jso = 0;
  af.OnProgress = [](TArchiveFile&, int, EXTRACTINGINFOEX*, bool&) {};
  EXPECT_EQ(af.Pack(0, nullptr, tmp / "data", {"*.*"}), 0);
  // The library refused the window, yet the driver recorded it while the command was built.
  EXPECT_EQ(af.CommandLine(), "u -+ -n1 -p1 -jso0  \"" + (tmp / "x.lzh") + "\" \"" + (tmp / "data") + "/\" \"a.txt\" ");
  EXPECT_FALSE(af.Archiver()->HasOwnerWindow());
}

TEST(MissingLibrary, FirstSettingFailsLaterOnesWaitForTheFirstCall) {
  TArchiveFile af;
  af.SetFileName("/x/kept.lzh");
  try {
    af.SetFileName("/x/other.arj");
    FAIL() << "a missing library must raise";
  } catch (const ENoArchiverDLL& e) {
    EXPECT_STREQ(e.what(), "ARJ 形式書庫 を扱うには UNARJ32J.DLL が 必要です。");
  }
  EXPECT_EQ(af.FileName(), "/x/kept.lzh");
  EXPECT_EQ(af.ArchiverType(), atLha);
  // The family's binding now exists, unloaded: the type is taken, the first library call fails.
  af.SetFileName("/x/other.arj");
  EXPECT_EQ(af.ArchiverType(), atArj);
  TArchiverOptions o;
  o.jso = 0;
  o.PackFilter = pfArchiver;
  try {
    af.Pack(0, &o, "/x", {"*.*"});
    FAIL() << "the first call must report the missing library";
  } catch (const ENoArchiverDLL& e) {
    EXPECT_STREQ(e.what(), "ARJ 形式書庫 を扱うには UNARJ32J.DLL が 必要です。");
  }
  EXPECT_FALSE(IsArjArchive("/x/other.arj"));
}

}  // namespace
