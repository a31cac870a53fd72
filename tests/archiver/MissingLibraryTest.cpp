// Run with no archiver library at all: every format names the library it misses, in its own
// words, and the probes answer no.
#include <gtest/gtest.h>

#include <functional>

#include "ARCHIVES.h"
#include "BGA32.h"
#include "CAB32.h"
#include "RAR32.h"
#include "TAR32.h"
#include "TestSupport.h"
#include "YZ132.h"

namespace {

using test::ErrorOf;

TEST(MissingLibrary, OpeningSaysWhichLibraryIsMissing) {
  struct Case {
    const char* name;
    const char* message;
  } cases[] = {
      {"a.gza", "BGA 形式書庫 を扱うには BGA32.DLL が 必要です。"},
      {"a.cab", "CAB 形式書庫 を扱うには CAB32.DLL が 必要です。"},
      {"a.tgz", "tar/tgz/taz/bz2 形式書庫 を扱うには TAR32.DLL が 必要です。"},
      {"a.rar", "RAR 形式書庫 を扱うには UNRAR32.DLL が 必要です。"},
      {"a.7z", "7z 形式書庫 を扱うには 7-zip32.dll が 必要です。"},
  };
  for (const Case& c : cases) {
    TArchiveFile af;
    EXPECT_EQ(ErrorOf([&] { af.SetFileName(c.name); }), c.message) << c.name;
    EXPECT_EQ(af.ArchiverType(), atAutoDetect) << c.name;
    EXPECT_EQ(af.FileName(), std::string(1, '\0')) << c.name;
    // The family's binding now exists unloaded: the driver is made, and the first call that
    // reaches the library tells the same.
    af.SetFileName(c.name);
    EXPECT_EQ(ErrorOf([&] { af.OpenArchive(0, 0); }), c.message) << c.name;
  }
}

TEST(MissingLibrary, ProbesAnswerNo) {
  test::TTempDir tmp;
  test::WriteFile(tmp / "a.exe", "FAKEARC");
  EXPECT_FALSE(IsBgaArchive(tmp / "a.exe"));
  EXPECT_FALSE(IsCabArchive(tmp / "a.exe"));
  EXPECT_FALSE(IsRarArchive(tmp / "a.exe"));
  EXPECT_FALSE(IsYz1Archive(tmp / "a.exe"));
  EXPECT_EQ(GetTarArchiveType(tmp / "a.exe"), atNone);
}

TEST(MissingLibrary, Yz1NamesBothLibrariesAndTriesAgainEachTime) {
  const char* message = "Yz1 形式書庫を扱うには YYZ32.DLL か YZ1.DLL が必要です。";
  TArchiveFile af;
  // The failed binding is dropped, so each attempt looks for both libraries again.
  EXPECT_EQ(ErrorOf([&] { af.SetFileName("a.yz1"); }), message);
  EXPECT_EQ(ErrorOf([&] { af.SetFileName("b.yz1"); }), message);
  EXPECT_EQ(af.ArchiverType(), atAutoDetect);
  EXPECT_EQ(ErrorOf([] { TYZ1::Binding(); }), message);
}

}  // namespace
