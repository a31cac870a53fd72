// The ZIP driver and its three-library binding, against stand-ins of UNZIP32, ZIP32J and LMZIP32
// installed in every combination the tests need. Each stand-in logs its calls, with its own
// name, into one file, so a test sees which library answered.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "ARCHIVES.h"
#include "Module.h"
#include "TestSupport.h"
#include "ZIP32.h"

namespace {

enum TLibs { kUnzip = 1, kZip32j = 2, kLmzip = 4 };

// Installs a set of stand-ins (and any support files) and starts a fresh binding over them.
class ZipDriver : public ::testing::Test {
 protected:
  void Use(int libs, const std::string& extraFolder = "") {
    std::string path = extraFolder;
    auto add = [&](int lib, const char* folder) {
      if ((libs & lib) == 0) return;
      if (!path.empty()) path += ':';
      path += std::string(FAKE_ZIP_ROOT) + "/" + folder;
    };
    add(kUnzip, "unzip32");
    add(kZip32j, "zip32j");
    add(kLmzip, "lmzip32");
    // An empty list would fall through to the real libraries' folders.
    setenv("TIDEKEEP_ARCHIVERS", path.empty() ? FTemp.path().c_str() : path.c_str(), 1);
    TZip32::FreeBinding();
    TZip32::Binding();
    ClearLog();
  }
  void SetUp() override {
    setenv("FAKE_ZIP_LOG", (FTemp / "calls.log").c_str(), 1);
    unsetenv("FAKE_ZIP_CHECK");
    unsetenv("FAKE_ZIP_RESULT");
  }
  void TearDown() override {
    TZip32::FreeBinding();
    unsetenv("FAKE_ZIP_LOG");
  }
  std::string Log() const { return test::ReadFile(FTemp / "calls.log"); }
  void ClearLog() const { test::WriteFile(FTemp / "calls.log", ""); }

  test::TTempDir FTemp;
};

std::string expectMessage(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(nothing raised)";
}

TArchiverOptions opts() { return TArchiverOptions(); }

// ---------------------------------------------------------------------------------------------
// Which library answers

TEST_F(ZipDriver, OnlyLmzipServesEverySideWithItsSmallZEntries) {
  Use(kLmzip);
  TZip32 zip;
  std::string cmdLine, output(16, '\0');
  TArchiverOptions o;
  o.c = 1;
  o.x = 0;
  EXPECT_EQ(zip.Extract(0, "/a.zip", o, "/d", TFileArgs{"f"}, false, cmdLine, output), 0);
  EXPECT_EQ(cmdLine, "-x -o -j  \"/a.zip\" \"/d/\" \"f\" ");
  EXPECT_EQ(Log(), "lmzip32 Unzip [-x -o -j  \"/a.zip\" \"/d/\" \"f\" ] size 16\n");

  ClearLog();
  EXPECT_EQ(zip.Pack(0, FTemp / "p.zip", o, "/base", TFileArgs{"f"}, false, cmdLine, output), 0);
  EXPECT_EQ(cmdLine, "-ru -o -j  \"" + FTemp / "p.zip" + "\" \"f\" ");
  EXPECT_EQ(Log().substr(0, 12), "lmzip32 Zip ");

  ClearLog();
  HARC h = zip.OpenArchive(0, "/a.zip", 0x800002);
  TMemberRecord rec{};
  EXPECT_EQ(zip.FindFirst(h, rec, "*.*"), 0);
  EXPECT_EQ(zip.FindNext(h, rec), -1);
  zip.CloseArchive(h);
  EXPECT_EQ(Log(),
            "lmzip32 UnzipOpenArchive /a.zip 8388610\n"
            "lmzip32 UnzipFindFirst 55 *.*\n"
            "lmzip32 UnzipGetWriteTimeEx\n"
            "lmzip32 UnzipGetAccessTimeEx\n"
            "lmzip32 UnzipGetCreateTimeEx\n"
            "lmzip32 UnzipFindNext 55\n"
            "lmzip32 UnzipCloseArchive 55\n");
  EXPECT_EQ(test::Field(rec.ftLastWriteTime), 0x01DA000000000000ULL);  // from the library
  EXPECT_EQ(test::Field(rec.llOriginalSize), 3u);                      // never asked: the 32-bit field
}

TEST_F(ZipDriver, Zip32jPacksWhenPresentLmzipStillLists) {
  Use(kZip32j | kLmzip);
  TZip32 zip;
  std::string cmdLine, output;
  EXPECT_EQ(zip.Pack(0, FTemp / "p.zip", opts(), "/base", TFileArgs{"f"}, false, cmdLine, output), 0);
  EXPECT_EQ(cmdLine, " -D  \"" + FTemp / "p.zip" + "\" \"/base/\" \"f\" ");
  EXPECT_EQ(Log().substr(0, 11), "zip32j Zip ");

  ClearLog();
  zip.CloseArchive(zip.OpenArchive(0, "/a.zip", 0));
  EXPECT_EQ(Log(), "lmzip32 UnzipOpenArchive /a.zip 0\nlmzip32 UnzipCloseArchive 55\n");
}

TEST_F(ZipDriver, Unzip32ComesFirstForExtractingAndChecking) {
  Use(kUnzip | kZip32j | kLmzip);
  TZip32 zip;
  std::string cmdLine, output;
  zip.Extract(0, "/a.zip", opts(), "", TFileArgs{}, false, cmdLine, output);
  zip.CheckArchive("/a.zip", 16, 8);
  uint32_t written = 1;
  zip.ExtractMem(0, "/a.zip", opts(), "m.txt", nullptr, 0, &written, cmdLine);
  EXPECT_EQ(Log(),
            "unzip32 UnZip [-x  \"/a.zip\" ] no-output size 0\n"
            "unzip32 UnZipCheckArchive /a.zip 24\n"
            "unzip32 UnZipExtractMem [  \"/a.zip\" \"m.txt\" ]\n");
  ClearLog();
  zip.CloseArchive(zip.OpenArchive(0, "/a.zip", 0));
  EXPECT_EQ(Log(), "lmzip32 UnzipOpenArchive /a.zip 0\nlmzip32 UnzipCloseArchive 55\n");
  ClearLog();
  EXPECT_TRUE(zip.SetOwnerWindow(9, nullptr));
  EXPECT_TRUE(zip.KillOwnerWindow(9));
  EXPECT_EQ(Log(), "unzip32 UnZipSetOwnerWindowEx\nunzip32 UnZipKillOwnerWindowEx\n");
}

TEST_F(ZipDriver, SizesAndEnumerationNeverReachALibrary) {
  Use(kUnzip | kZip32j | kLmzip);
  TZipDll& dll = TZip32::Binding();
  uint64_t size = 7;
  EXPECT_EQ(dll.GetOriginalSizeEx(55, &size), 0);
  EXPECT_EQ(dll.GetCompressedSizeEx(55, &size), 0);
  EXPECT_EQ(dll.SetEnumMembersProc64(nullptr, 1094), 0);
  EXPECT_EQ(dll.ClearEnumMembersProc64(), 0);
  EXPECT_EQ(size, 7u);
  EXPECT_EQ(Log(), "");
}

// ---------------------------------------------------------------------------------------------
// Missing libraries and entries

TEST_F(ZipDriver, MissingLibrariesReportedByTheOperationThatNeedsThem) {
  Use(0);
  TZip32 zip;  // constructing never fails
  std::string cmdLine = "before", output;
  EXPECT_EQ(expectMessage([&] { zip.Extract(0, "/a.zip", opts(), "/d", {}, false, cmdLine, output); }),
            "ZIP 形式書庫の解凍には UNZIP32.DLL または LMZIP32.DLL が必要です。");
  EXPECT_EQ(expectMessage([&] { zip.Pack(0, "/a.zip", opts(), "/d", {"f"}, false, cmdLine, output); }),
            "ZIP 形式書庫の作成には ZIP32J.DLL または LMZIP32.DLL が必要です。");
  EXPECT_EQ(cmdLine, "before");  // the builder raised before anything ran
  EXPECT_EQ(expectMessage([&] { zip.OpenArchive(0, "/a.zip", 0); }),
            "UnZipOpenArchive のエントリが DLL に見つかりませんでした。");
  EXPECT_EQ(expectMessage([&] { zip.Delete(0, "/a.zip", opts(), "", {"f"}, false, cmdLine, output); }),
            "Zip のエントリが DLL に見つかりませんでした。");
  EXPECT_EQ(expectMessage([&] { zip.MakeSfx(0, "/a.zip", opts(), "", cmdLine, output); }),
            "zip 書庫からの自己解凍書庫の作成には 'ZIP32J.DLL' ファイルが必要です。");
}

TEST_F(ZipDriver, OwnerWindowNeedsUnzip32AndNamesTheProgramWhenItIsMissing) {
  Use(kLmzip);
  TZip32 zip;
  const std::string program = platform::GetModuleFileName(nullptr);
  ASSERT_FALSE(program.empty());
  EXPECT_EQ(expectMessage([&] { zip.SetOwnerWindow(9, nullptr); }),
            program + " に UnZipSetOwnerWindowEx のエントリが見つかりません。");
  EXPECT_TRUE(zip.HasOwnerWindow());  // counted as registered all the same
  // The unzip dialect then asks for progress.
  EXPECT_EQ(zip.ExtractCommand(0, "/a.zip", opts(), "", {}, false), "-x --i  \"/a.zip\" ");
  EXPECT_THROW(zip.KillOwnerWindow(9), EEntryNotFound);
  EXPECT_FALSE(zip.HasOwnerWindow());
}

TEST_F(ZipDriver, OnlyZip32jCanPackButNotExtract) {
  Use(kZip32j);
  TZip32 zip;
  EXPECT_EQ(zip.PackCommand(0, "/a.zip", opts(), "/d", {"f"}, false), " -D  \"/a.zip\" \"/d/\" \"f\" ");
  EXPECT_THROW(zip.ExtractCommand(0, "/a.zip", opts(), "", {}, false), EArchiver);
  std::string cmdLine, output;
  // The reading side's command entry is looked up in UNZIP32 and LMZIP32 only.
  TZipDll& dll = TZip32::Binding();
  EXPECT_EQ(expectMessage([&] { dll.UnpackSideCommand(0, "/a.zip", "-x", nullptr, 0); }),
            "UnZip のエントリが DLL に見つかりませんでした。");
}

// ---------------------------------------------------------------------------------------------
// Switch tables

TEST_F(ZipDriver, Zip32jSwitchTable) {
  Use(kZip32j);
  TZip32 zip;
  struct TCase {
    const char* What;
    void (*Set)(TArchiverOptions&);
    const char* Switches;
  };
  const TCase cases[] = {
      {"a unset", [](TArchiverOptions&) {}, " -D"},
      {"a 0", [](TArchiverOptions& o) { o.a = 0; }, " -D"},
      {"a 1", [](TArchiverOptions& o) { o.a = 1; }, " -S -D"},
      {"a 2", [](TArchiverOptions& o) { o.a = 2; }, " -S"},
      {"jm 9", [](TArchiverOptions& o) { o.jm = 9; }, " -D -9"},
      {"jm 0", [](TArchiverOptions& o) { o.jm = 0; }, " -D -0"},
      {"n 1: -q and -o", [](TArchiverOptions& o) { o.n = 1; }, " -D -q -o"},
      {"x 0", [](TArchiverOptions& o) { o.x = 0; }, " -D -j"},
      {"x 1", [](TArchiverOptions& o) { o.x = 1; }, " -D"},
      {"every switch in order",
       [](TArchiverOptions& o) {
         o.a = 1, o.l = 1, o.n = 1, o.r = 1, o.u = 1, o.x = 0, o.jc = 1, o.ji = 1, o.jm = 5, o.gd = 1;
       },
       " -S -D -v -q -r -o -u -j -FF -k -5 -J"},
      {"switches the dialect ignores", [](TArchiverOptions& o) { o.c = 1, o.p = 1, o.jso = 1; }, " -D"},
  };
  for (const TCase& c : cases) {
    TArchiverOptions o;
    c.Set(o);
    o.UserOptions = "-user";
    EXPECT_EQ(zip.PackCommand(0, "/a.zip", o, "/d", {"f"}, false),
              std::string(c.Switches) + " -user \"/a.zip\" \"/d/\" \"f\" ")
        << c.What;
  }
  TArchiverOptions o;
  EXPECT_EQ(zip.DeleteCommand(0, "/a.zip", o, "/d", {"f"}, false), "-d -D  \"/a.zip\" \"f\" ");
  EXPECT_EQ(zip.UpdateCommand(0, "/a.zip", o, "/d", {"f"}, false), "-f -D  \"/a.zip\" \"/d/\" \"f\" ");
}

TEST_F(ZipDriver, UnzipAndLmzipSwitchTables) {
  Use(kLmzip);
  TZip32 zip;
  struct TCase {
    void (*Set)(TArchiverOptions&);
    const char* Unzip;
    const char* Lmzip;
  };
  const TCase cases[] = {
      {[](TArchiverOptions&) {}, "", ""},
      {[](TArchiverOptions& o) { o.c = 1; }, " -o", " -o"},
      {[](TArchiverOptions& o) { o.c = 2; }, "", ""},
      {[](TArchiverOptions& o) { o.n = 1; }, " --i", ""},
      {[](TArchiverOptions& o) { o.n = 0; }, "", ""},
      {[](TArchiverOptions& o) { o.x = 0; }, " -j", " -j"},
      {[](TArchiverOptions& o) { o.c = 1, o.n = 2, o.x = 0; }, " -o --i -j", " -o -j"},
  };
  for (const TCase& c : cases) {
    TArchiverOptions o;
    c.Set(o);
    EXPECT_EQ(zip.ExtractCommand(0, "/a.zip", o, "/d", {"f"}, false),
              "-x" + std::string(c.Unzip) + "  \"/a.zip\" \"/d/\" \"f\" ");
    EXPECT_EQ(zip.PackCommand(0, "/a.zip", o, "/d", {"f"}, false), "-ru" + std::string(c.Lmzip) + "  \"/a.zip\" \"f\" ");
  }
}

TEST_F(ZipDriver, NameConverterInTheUnzipAndZip32jDialectsOnly) {
  EXPECT_EQ(ZipNameConverter("-abc\\[x]"), "[-]abc/[[]x]");
  EXPECT_EQ(ZipNameConverter("a-b"), "a-b");
  EXPECT_EQ(ZipNameConverter("[-x"), "[[]-x");
  EXPECT_EQ(ZipNameConverter("日本\\語[1].txt"), "日本/語[[]1].txt");

  Use(kZip32j | kLmzip);
  TZip32 zip;
  const TFileArgs files{"-abc\\[x]"};
  EXPECT_EQ(zip.ExtractCommand(0, "/a[1].zip", opts(), "/d[", files, false),
            "-x  \"/a[1].zip\" \"/d[/\" \"[-]abc/[[]x]\" ");
  EXPECT_EQ(zip.PackCommand(0, "/a.zip", opts(), "/d", files, false), " -D  \"/a.zip\" \"/d/\" \"[-]abc/[[]x]\" ");

  // Into a response file the names go converted too.
  TArchiverOptions o;
  o.ResFileName = FTemp / "names.txt";
  EXPECT_EQ(zip.PackCommand(0, "/a.zip", o, "/d", files, true), " -D  \"/a.zip\" \"/d/\" \"@" + o.ResFileName + "\" ");
  EXPECT_EQ(test::ReadFile(o.ResFileName), "\"[-]abc/[[]x]\"\r\n");
  // UseResponseFile is passed through as given.
  EXPECT_EQ(zip.ExtractCommand(0, "/a.zip", o, "", files, false), "-x  \"/a.zip\" \"[-]abc/[[]x]\" ");

  Use(kLmzip);
  TZip32 lmzip;
  EXPECT_EQ(lmzip.PackCommand(0, "/a.zip", opts(), "/d", files, false), "-ru  \"/a.zip\" \"-abc\\[x]\" ");
}

// ---------------------------------------------------------------------------------------------
// Packing replaces the archive; deleting and freshening keep it

TEST_F(ZipDriver, PackingRemovesTheOldArchiveFirstAndKeepsItOnlyWhenZipFails) {
  Use(kZip32j);
  TZip32 zip;
  const std::string archive = FTemp / "old.zip";
  struct TCase {
    const char* Result;
    bool OldKept;
  };
  for (const TCase c : {TCase{"0", false}, TCase{"32800", true}}) {
    test::WriteFile(archive, "old members");
    ClearLog();
    setenv("FAKE_ZIP_RESULT", c.Result, 1);
    std::string cmdLine, output;
    EXPECT_EQ(zip.Pack(0, archive, opts(), FTemp.path(), {"f"}, false, cmdLine, output), std::atoi(c.Result));
    EXPECT_NE(Log().find("zip32j Zip [ -D  \"" + archive + "\""), std::string::npos) << Log();
    EXPECT_NE(Log().find("archive-absent"), std::string::npos) << c.Result;  // gone when Zip ran
    EXPECT_EQ(std::filesystem::exists(archive), c.OldKept) << c.Result;
    if (c.OldKept) {
      EXPECT_EQ(test::ReadFile(archive), "old members");
    }
    // Nothing set aside is left behind: only the log, and the old archive when it came back.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(FTemp.path()), {}), c.OldKept ? 2 : 1) << c.Result;
  }
}

TEST_F(ZipDriver, DeletingAndFresheningWorkOnTheArchiveInPlace) {
  Use(kZip32j);
  TZip32 zip;
  const std::string archive = FTemp / "keep.zip";
  test::WriteFile(archive, "members");
  std::string cmdLine, output;
  zip.Delete(0, archive, opts(), "", {"f"}, false, cmdLine, output);
  zip.Update(0, archive, opts(), FTemp.path(), {"f"}, false, cmdLine, output);
  EXPECT_EQ(cmdLine, "-f -D  \"" + archive + "\" \"" + FTemp.path() + "/\" \"f\" ");
  const std::string log = Log();
  EXPECT_EQ(log.find("archive-absent"), std::string::npos) << log;
  EXPECT_EQ(test::ReadFile(archive), "members");
}

// ---------------------------------------------------------------------------------------------
// Self-extractor

TEST_F(ZipDriver, SelfExtractorSearchesTheSupportFileByGw) {
  Use(kZip32j);
  TZip32 zip;
  std::string cmdLine, output;
  TArchiverOptions o;
  EXPECT_EQ(expectMessage([&] { zip.MakeSfx(0, "/a.zip", o, "", cmdLine, output); }),
            "zip 書庫からのDOS自己解凍書庫の作成には 'sfx16.dat' ファイルが必要です。");
  o.gw = 0;
  EXPECT_THROW(zip.MakeSfx(0, "/a.zip", o, "", cmdLine, output), ESfxNoRequiredFile);
  o.gw = 1;
  try {
    zip.MakeSfx(0, "/a.zip", o, "", cmdLine, output);
    ADD_FAILURE() << "nothing raised";
  } catch (const ESfxNoRequiredFile& e) {
    EXPECT_EQ(std::string(e.what()), "zip 書庫からのWin32自己解凍書庫の作成には 'sfx32gui.dat' ファイルが必要です。");
    EXPECT_EQ(e.ArcType(), "zip");
    EXPECT_EQ(e.SfxKind(), "Win32");
    EXPECT_EQ(e.RequiredFile(), "sfx32gui.dat");
  }
}

TEST_F(ZipDriver, SelfExtractorJoinsStubAndArchiveThenAdjustsIt) {
  const std::string support = FTemp / "support";
  test::WriteFile(support + "/sfx16.dat", "STUB16");
  test::WriteFile(support + "/sfx32gui.dat", "STUB32");
  Use(kZip32j, support);
  TZip32 zip;
  const std::string archive = FTemp / "a.zip";
  test::WriteFile(archive, "PK-archive");
  std::string cmdLine, output;
  EXPECT_EQ(zip.MakeSfx(0, archive, opts(), "", cmdLine, output), 0);
  EXPECT_EQ(cmdLine, "-A " + FTemp / "a.EXE");
  EXPECT_EQ(test::ReadFile(FTemp / "a.EXE"), "STUB16PK-archive");  // never sfx32gui.dat with gw unset
  EXPECT_NE(Log().find("zip32j Zip [-A " + FTemp / "a.EXE] archive-absent"), std::string::npos) << Log();
  EXPECT_FALSE(std::filesystem::exists(archive));  // the .EXE took its place

  // With a folder, the .EXE goes there.
  test::WriteFile(archive, "PK2");
  TArchiverOptions o;
  o.gw = 1;
  const std::string out = FTemp / "out";
  std::filesystem::create_directories(out);
  EXPECT_EQ(zip.MakeSfx(0, archive, o, out, cmdLine, output), 0);
  EXPECT_EQ(cmdLine, "-A " + out + "/a.EXE");
  EXPECT_EQ(test::ReadFile(out + "/a.EXE"), "STUB32PK2");
}

// The self-extractor is written by the drivers' shared writer, and its file errors still come in
// the ZIP driver's own words, with nothing left under the .EXE name.
TEST_F(ZipDriver, SelfExtractorFileErrorsInTheDriversWords) {
  const std::string support = FTemp / "support";
  test::WriteFile(support + "/sfx16.dat", "STUB16");
  Use(kZip32j, support);
  TZip32 zip;
  std::string cmdLine, output;
  const std::string missing = FTemp / "missing.zip";
  EXPECT_EQ(expectMessage([&] { zip.MakeSfx(0, missing, opts(), "", cmdLine, output); }),
            "Cannot open file \"" + missing + "\".");
  EXPECT_FALSE(std::filesystem::exists(FTemp / "missing.EXE"));

  // An archive that already bears the self-extractor's name is neither replaced nor deleted.
  const std::string self = FTemp / "self.EXE";
  test::WriteFile(self, "PK-archive");
  ClearLog();
  EXPECT_EQ(expectMessage([&] { zip.MakeSfx(0, self, opts(), "", cmdLine, output); }),
            "Cannot create file \"" + self + "\".");
  EXPECT_EQ(test::ReadFile(self), "PK-archive");
  EXPECT_EQ(Log().find("zip32j Zip"), std::string::npos) << Log();
}

// ---------------------------------------------------------------------------------------------
// The probe and type detection

TEST_F(ZipDriver, ProbeAsksCheckArchiveThenOpensExistingFilesOnly) {
  Use(kUnzip | kLmzip);
  const std::string archive = FTemp / "a.bin";
  test::WriteFile(archive, "x");
  EXPECT_TRUE(IsZipArchive(archive));
  EXPECT_EQ(Log(),
            "unzip32 UnZipCheckArchive " + archive + " 24\n"
            "lmzip32 UnzipOpenArchive " + archive + " 8388610\n"
            "lmzip32 UnzipCloseArchive 55\n");

  ClearLog();
  EXPECT_FALSE(IsZipArchive(FTemp / "missing.bin"));  // CheckArchive said yes
  EXPECT_EQ(Log(), "unzip32 UnZipCheckArchive " + FTemp / "missing.bin" + " 24\n");

  setenv("FAKE_ZIP_CHECK", "0", 1);
  EXPECT_FALSE(IsZipArchive(archive));
  Use(0);
  EXPECT_FALSE(IsZipArchive(archive));  // a missing entry is a no
}

TEST_F(ZipDriver, ComponentTakesZipNamesAndZipContent) {
  Use(kUnzip | kZip32j | kLmzip);
  TArchiveFile archive;
  for (const char* name : {"/x/a.zip", "/x/b.JAR", "/x/c.ear", "/x/d.war"}) {
    archive.SetFileName(name);
    EXPECT_EQ(archive.ArchiverType(), atZip) << name;
    EXPECT_NE(dynamic_cast<TZip32*>(archive.Archiver()), nullptr);
  }
  // By content: the ZIP probe answers yes for this stand-in; the LHA one finds no library.
  const std::string exe = FTemp / "setup.exe";
  test::WriteFile(exe, "MZ");
  EXPECT_EQ(DetectArchiverType(exe, true), atZip);
}

}  // namespace
