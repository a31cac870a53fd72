// A library lacking its required FindNext entry.
#include <gtest/gtest.h>

#include "ARCHIVES.h"
#include "FakeControl.h"
#include "TestSupport.h"

namespace {

TEST(NoFindNext, FirstFindNextNamesTheLoadedLibrary) {
  test::TTempDir tmp;
  test::WriteFile(tmp / "a.lzh", "FAKEARC");
  fake::Reset();
  fake::AddMember("a.txt", 1, 1, 0, 0);
  fake::AddMember("b.txt", 1, 1, 0, 0);
  TArchiveFile af;
  af.SetFileName(tmp / "a.lzh");
  ASSERT_FALSE(af.OpenArchive(0, 0));
  TMemberRecord rec{};
  ASSERT_EQ(af.FindFirst("*", rec), 0);
  try {
    af.FindNext(rec);
    FAIL() << "a missing FindNext must raise";
  } catch (const EEntryNotFound& e) {
    EXPECT_EQ(std::string(e.what()),
              std::string(FAKE_ARCHIVERS) + "/libunlha32.so に UnlhaFindNext のエントリが見つかりません。");
  }
  af.CloseArchive();
}

}  // namespace
