// Self-extractors made by copying files (7z, YZ1, TAR): which support file is looked for, the
// exact messages when it is missing, what the output holds, and that a failure touches nothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "ARCHIVES.h"
#include "FakeControl.h"
#include "Module.h"
#include "SZIP32.h"
#include "TAR32.h"
#include "TestSupport.h"
#include "YZ132.h"

namespace {

namespace fs = std::filesystem;

using test::ErrorOf;

std::vector<std::string> listing(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) names.push_back(entry.path().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Support files are searched in the archiver folders too; each test adds a folder of its own
// behind the stand-ins' one for as long as it runs.
class SelfExtractor : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* before = std::getenv("TIDEKEEP_ARCHIVERS");
    FSaved = before != nullptr ? before : "";
    setenv("TIDEKEEP_ARCHIVERS", (FSaved + ":" + FSupport.path()).c_str(), 1);
    for (const char* stub : {"7z.sfx", "yzdos16.sfx", "yzw32cui.sfx", "yzdec.exe", "kmtarsef.exe"})
      if (!platform::SearchPath(stub).empty()) GTEST_SKIP() << stub << " is installed on this machine";
    archive = FWork / "in/a.arc";
    test::WriteFile(archive, std::string(300, 'A') + "END");
    for (const char* dir : {"out", "tgz"}) fs::create_directory(FWork / dir);
  }
  void TearDown() override { setenv("TIDEKEEP_ARCHIVERS", FSaved.c_str(), 1); }
  void addSupport(std::string_view name, std::string_view content) {
    test::WriteFile(FSupport / name, content);
  }

  std::string FSaved;
  test::TTempDir FSupport, FWork;
  std::string archive;
  std::string cmdLine = "kept", output;
  TArchiverOptions win32 = [] {
    TArchiverOptions o;
    o.gw = 1;
    return o;
  }();
};

TEST_F(SelfExtractor, Yz1EndsWithTheArchiveLengthBigEndian) {
  addSupport("yzw32cui.sfx", "WIN32STUB");
  addSupport("yzdec.exe", "DECSTUB");
  fake::Reset("YYZ32.DLL");
  TYZ1 yz1;
  EXPECT_EQ(yz1.MakeSfx(0, archive, win32, FWork / "out", cmdLine, output), 0);
  // 303 bytes of archive: 0x0000012F.
  EXPECT_EQ(test::ReadFile(FWork / "out/a.exe"),
            "WIN32STUB" + test::ReadFile(archive) + std::string("\x00\x00\x01\x2F", 4));
  EXPECT_EQ(cmdLine, "kept");
  EXPECT_EQ(fake::Log("YYZ32.DLL").find("Yz1 "), std::string::npos);
}

TEST_F(SelfExtractor, Yz1StubByGwAndItsMessages) {
  TYZ1 yz1;
  TArchiverOptions unset;
  EXPECT_EQ(ErrorOf([&] { yz1.MakeSfx(0, archive, unset, "", cmdLine, output); }),
            "yz1 書庫からのDOS自己解凍書庫の作成には yzdos16.sfx が必要です。");
  EXPECT_EQ(ErrorOf([&] { yz1.MakeSfx(0, archive, win32, "", cmdLine, output); }),
            "yz1 書庫からのWin32自己解凍書庫の作成には yzw32cui.sfx か yzdec.exe が必要です。");
  addSupport("yzdec.exe", "DECSTUB");
  yz1.MakeSfx(0, archive, win32, "", cmdLine, output);
  EXPECT_EQ(test::ReadFile(FWork / "in/a.exe").substr(0, 7), "DECSTUB");
  // The Win32 stubs never serve a DOS self-extractor.
  EXPECT_EQ(ErrorOf([&] { yz1.MakeSfx(0, archive, unset, "", cmdLine, output); }),
            "yz1 書庫からのDOS自己解凍書庫の作成には yzdos16.sfx が必要です。");
  addSupport("yzdos16.sfx", "DOSSTUB");
  TArchiverOptions zero;
  zero.gw = 0;
  yz1.MakeSfx(0, archive, zero, "", cmdLine, output);
  EXPECT_EQ(test::ReadFile(FWork / "in/a.exe").substr(0, 7), "DOSSTUB");
}

TEST_F(SelfExtractor, SevenZipRefusesSixteenBitAndNamesItsStub) {
  TSevenZip32 sz;
  addSupport("7z.sfx", "7ZSTUB");
  TArchiverOptions unset;
  EXPECT_EQ(ErrorOf([&] { sz.MakeSfx(0, archive, unset, "", cmdLine, output); }),
            "16bit SFX を作成することはできません。");
  EXPECT_FALSE(fs::exists(FWork / "in/a.exe"));
  sz.MakeSfx(0, archive, win32, FWork / "out/", cmdLine, output);
  EXPECT_EQ(test::ReadFile(FWork / "out/a.exe"), "7ZSTUB" + test::ReadFile(archive));
  EXPECT_EQ(cmdLine, "kept");

  fs::remove(FSupport / "7z.sfx");
  try {
    sz.MakeSfx(0, archive, win32, "", cmdLine, output);
    FAIL() << "no stub, no self-extractor";
  } catch (const ESfxNoRequiredFile& e) {
    EXPECT_STREQ(e.what(), "7z 書庫からの自己解凍書庫の作成には '7z.sfx' ファイルが必要です。");
    EXPECT_EQ(e.ArcType(), "7z");
    EXPECT_EQ(e.SfxKind(), "");
    EXPECT_EQ(e.RequiredFile(), "7z.sfx");
  }
}

TEST_F(SelfExtractor, TarAndTgzCopyTheirStubWhateverGw) {
  TTar32 tar;
  TTgz32 tgz;
  EXPECT_EQ(ErrorOf([&] { tar.MakeSfx(0, archive, win32, "", cmdLine, output); }),
            "tar/tgz 書庫からの自己解凍書庫の作成には 'kmtarsef.exe' ファイルが必要です。");
  addSupport("kmtarsef.exe", "TARSTUB");
  EXPECT_EQ(tar.MakeSfx(0, archive, TArchiverOptions(), "", cmdLine, output), 0);
  EXPECT_EQ(test::ReadFile(FWork / "in/a.EXE"), "TARSTUB" + test::ReadFile(archive));
  EXPECT_EQ(tgz.MakeSfx(0, archive, win32, FWork / "tgz", cmdLine, output), 0);
  EXPECT_EQ(test::ReadFile(FWork / "tgz/a.EXE"), "TARSTUB" + test::ReadFile(archive));
  EXPECT_EQ(cmdLine, "kept");
}

TEST_F(SelfExtractor, Bz2IsRefusedBeforeAnyFileIsTouched) {
  addSupport("kmtarsef.exe", "TARSTUB");
  fake::Reset("TAR32.DLL");
  TBZ232 bz2;
  const std::vector<std::string> before = listing(FWork.path());
  EXPECT_EQ(ErrorOf([&] { bz2.MakeSfx(0, archive, win32, FWork / "out", cmdLine, output); }),
            "BZ2 形式書庫は自己解凍形式にできません。");
  // Even an archive that does not exist is not looked at.
  EXPECT_EQ(ErrorOf([&] { bz2.MakeSfx(0, FWork / "none.bz2", win32, "", cmdLine, output); }),
            "BZ2 形式書庫は自己解凍形式にできません。");
  EXPECT_EQ(listing(FWork.path()), before);
  EXPECT_EQ(cmdLine, "kept");
  EXPECT_EQ(fake::Log("TAR32.DLL").find("Tar "), std::string::npos);
}

// Writing straight into the output, as a plain copy would, truncates an existing file before the
// archive has been read: a missing archive then destroys the old file, and an archive that bears
// the output's own name is lost.
TEST_F(SelfExtractor, TheOutputIsReplacedOnlyWhenComplete) {
  addSupport("7z.sfx", "7ZSTUB");
  TSevenZip32 sz;
  test::WriteFile(FWork / "in/gone.exe", "OLD SELF-EXTRACTOR");
  EXPECT_THROW(sz.MakeSfx(0, FWork / "in/gone.7z", win32, "", cmdLine, output), std::system_error);
  EXPECT_EQ(test::ReadFile(FWork / "in/gone.exe"), "OLD SELF-EXTRACTOR");

  const std::string sameName = FWork / "in/b.exe";
  test::WriteFile(sameName, "THE ARCHIVE ITSELF");
  sz.MakeSfx(0, sameName, win32, "", cmdLine, output);
  EXPECT_EQ(test::ReadFile(sameName), "7ZSTUBTHE ARCHIVE ITSELF");
  // No temporary is left beside it.
  EXPECT_EQ(listing(FWork / "in").size(), 3u);
}

TEST_F(SelfExtractor, SupportFilesAreSearchedInTheGivenFolderThenTheArchiverFoldersThenPath) {
  test::TTempDir first, onPath;
  addSupport("stub.sfx", "archivers");
  test::WriteFile(first / "stub.sfx", "first");
  EXPECT_EQ(platform::SearchPath("stub.sfx", first.path()), first / "stub.sfx");
  EXPECT_EQ(platform::SearchPath("stub.sfx"), FSupport / "stub.sfx");
  EXPECT_EQ(platform::SearchPath("stub.sfx", FWork / "no such folder"), FSupport / "stub.sfx");
  // A folder of that name is no support file.
  fs::create_directory(FSupport / "dir.sfx");
  EXPECT_EQ(platform::SearchPath("dir.sfx"), "");

  test::WriteFile(onPath / "late.sfx", "path");
  const std::string savedPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
  EXPECT_EQ(platform::SearchPath("late.sfx"), "");
  setenv("PATH", (savedPath + ":" + onPath.path()).c_str(), 1);
  EXPECT_EQ(platform::SearchPath("late.sfx"), onPath / "late.sfx");
  setenv("PATH", savedPath.c_str(), 1);
}

}  // namespace
