// Run with YZ1.DLL as the only archiver library: the YZ1 driver takes it when YYZ32.DLL is missing.
#include <gtest/gtest.h>

#include "ARCHIVES.h"
#include "Module.h"
#include "TestSupport.h"
#include "YZ132.h"

namespace {

TEST(Yz1Fallback, TheSecondLibraryServes) {
  TArchiveFile af;
  af.SetFileName("a.yz1");
  EXPECT_EQ(af.ArchiverType(), atYz1);
  EXPECT_TRUE(platform::GetModuleFileName(TYZ1::Binding().Module()).ends_with("/libyz1.so"));
  test::TTempDir tmp;
  test::WriteFile(tmp / "a.exe", "FAKEARC");
  EXPECT_TRUE(IsYz1Archive(tmp / "a.exe"));
  EXPECT_EQ(DetectArchiverType(tmp / "a.exe", true), atYz1);
}

}  // namespace
