// The 7z, TAR, CAB, RAR, BGA and YZ1 drivers against their stand-in libraries: command lines
// token by token, response-file rules, capability errors, probes, the YZ1 password retry, and
// how the component picks them.
#include <gtest/gtest.h>

#include <functional>
#include <typeinfo>

#include "ARCHIVES.h"
#include "BGA32.h"
#include "CAB32.h"
#include "FakeControl.h"
#include "RAR32.h"
#include "SZIP32.h"
#include "TAR32.h"
#include "TestSupport.h"
#include "YZ132.h"

namespace {

constexpr const char* k7zLib = "7-zip32.dll";
constexpr const char* kTarLib = "TAR32.DLL";
constexpr const char* kCabLib = "CAB32.DLL";
constexpr const char* kRarLib = "UNRAR32.DLL";
constexpr const char* kBgaLib = "BGA32.DLL";
constexpr const char* kYz1Lib = "YYZ32.DLL";

using test::ErrorOf;

size_t count(const std::string& text, std::string_view what) {
  size_t n = 0;
  for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + what.size())) ++n;
  return n;
}

std::string extractLine(TArchiver& driver, const TArchiverOptions& o, std::string_view arc,
                        const TFileArgs& files = {}) {
  return driver.ExtractCommand(0, arc, o, "/d", files, false);
}

std::string packLine(TArchiver& driver, const TArchiverOptions& o, std::string_view arc) {
  return driver.PackCommand(0, arc, o, "/d", TFileArgs{"f"}, false);
}

// One extraction line per change of the default options.
struct TOptionCase {
  std::function<void(TArchiverOptions&)> Set;
  std::string Expected;
};
void expectExtractLines(TArchiver& driver, std::string_view arc, std::initializer_list<TOptionCase> cases) {
  for (const TOptionCase& c : cases) {
    TArchiverOptions o;
    c.Set(o);
    EXPECT_EQ(extractLine(driver, o, arc), c.Expected);
  }
}

// ---------------------------------------------------------------------------------------------
// 7z

TEST(SevenZip32, ExtractLettersAndOverwriteRules) {
  TSevenZip32 sz;
  expectExtractLines(sz, "/a.7z", {
      {[](TArchiverOptions&) {}, "x -ms=off \"-o/d/\"  \"/a.7z\" "},
      {[](TArchiverOptions& o) { o.x = 0; }, "e -ms=off \"-o/d/\"  \"/a.7z\" "},
      {[](TArchiverOptions& o) { o.x = 1; }, "x -ms=off \"-o/d/\"  \"/a.7z\" "},
      {[](TArchiverOptions& o) { o.m = 2, o.c = 1; }, "x -aou -ms=off \"-o/d/\"  \"/a.7z\" "},
      {[](TArchiverOptions& o) { o.jn = 1, o.c = 1; }, "x -aos -ms=off \"-o/d/\"  \"/a.7z\" "},
      {[](TArchiverOptions& o) { o.c = 1; }, "x -aoa -ms=off \"-o/d/\"  \"/a.7z\" "},
      {[](TArchiverOptions& o) { o.m = 1, o.jn = 0, o.c = 0; }, "x -ms=off \"-o/d/\"  \"/a.7z\" "},
      // The overwrite switch goes with "x" as built, also when the letter then becomes "e".
      {[](TArchiverOptions& o) { o.x = 0, o.m = 2; }, "e -aou -ms=off \"-o/d/\"  \"/a.7z\" "},
      {[](TArchiverOptions& o) { o.r = 0; }, "x -ms=off -r- \"-o/d/\"  \"/a.7z\" "},
      {[](TArchiverOptions& o) { o.r = 1; }, "x -ms=off \"-o/d/\"  \"/a.7z\" "},
      {[](TArchiverOptions& o) { o.r = 2; }, "x -ms=off -r \"-o/d/\"  \"/a.7z\" "},
  });
}

TEST(SevenZip32, EverySwitchInItsOrder) {
  TSevenZip32 sz;
  TArchiverOptions o;
  o.m = 2;
  o.n = 1;
  o.r = 2;
  o.w = "/work";
  o.y = 1;
  o.jx = {"*.bak", "tmp dir"};
  o.UserOptions = "-user";
  o.UserFileList = "tail";
  EXPECT_EQ(extractLine(sz, o, "/a.7z", TFileArgs{"m 1"}),
            "x -aou -ms=off -hide -r \"-w/work/\" -y \"-x!*.bak\" \"-x!tmp dir\" \"-o/d/\" -user \"/a.7z\" \"m 1\" tail");
  // Packing has no overwrite switch; the directory is still the "o" switch.
  EXPECT_EQ(packLine(sz, o, "/a.7z"),
            "u -ms=off -hide -r \"-w/work/\" -y \"-x!*.bak\" \"-x!tmp dir\" \"-o/d/\" -user \"/a.7z\" \"f\" tail");
  EXPECT_EQ(sz.DeleteCommand(0, "/a.7z", TArchiverOptions(), "/ignored", TFileArgs{"m"}, false),
            "d -ms=off  \"/a.7z\" \"m\" ");
  EXPECT_EQ(sz.PackCommand(0, "/a.7z", TArchiverOptions(), kUnsetText, TFileArgs{"f"}, false),
            "u -ms=off  \"/a.7z\" \"f\" ");
}

TEST(SevenZip32, RunsThroughItsLibrary) {
  fake::Reset(k7zLib);
  fake::SetResult(0x8005, k7zLib);
  TSevenZip32 sz;
  TArchiverOptions o;
  o.x = 0;
  std::string cmdLine, output;
  EXPECT_EQ(sz.Extract(0, "/a.7z", o, "/d", {}, false, cmdLine, output), 0x8005);
  EXPECT_EQ(cmdLine, "e -ms=off \"-o/d/\"  \"/a.7z\" ");
  EXPECT_NE(fake::Log(k7zLib).find("SevenZip " + cmdLine), std::string::npos) << fake::Log(k7zLib);
  fake::SetResult(0, k7zLib);
}

// ---------------------------------------------------------------------------------------------
// TAR family

TEST(Tar32, SwitchesAreSeparateArgumentsAndTheArchiveIsASwitch) {
  TTar32 tar;
  TArchiverOptions o;
  EXPECT_EQ(extractLine(tar, o, "/a b.tar"), "x  -f \"/a b.tar\" -o \"/d/\" ");
  o.a = 1;
  o.n = 1;
  o.o = 1;
  o.p = 0;
  o.x = 1;
  o.UserOptions = "-user";
  o.UserFileList = "tail";
  EXPECT_EQ(packLine(tar, o, "/a.tar"),
            "c -AH --display-dialog=0 -g --check-all-path=0 --use-directory=1 -user -f \"/a.tar\" -o \"/d/\" \"f\" tail");
  o.a = 0;
  EXPECT_NE(packLine(tar, o, "/a.tar").find("c -I --display-dialog=0 "), std::string::npos);
  // A registered window takes the dialog switch away.
  tar.SetOwnerWindow(5, nullptr);
  EXPECT_EQ(packLine(tar, o, "/a.tar").find("--display-dialog"), std::string::npos);
  tar.KillOwnerWindow(5);
  // No archive and no directory give neither switch.
  EXPECT_EQ(tar.ExtractCommand(0, "", TArchiverOptions(), "", TFileArgs{"m"}, false), "x  \"m\" ");
  EXPECT_EQ(tar.ExtractMemCommand(0, "/a.tar", TArchiverOptions(), "m.txt"), "  -f \"/a.tar\" \"m.txt\" ");
}

TEST(Tar32, CompressionSwitchByClass) {
  TTar32 tar;
  TTgz32 tgz;
  TBZ232 bz2;
  TArchiverOptions unset, zero, nine;
  zero.jm = 0;
  nine.jm = 9;
  struct Case {
    TArchiver& driver;
    const TArchiverOptions& options;
    std::string expected;
  } cases[] = {
      {tar, unset, "c  -f \"/a\" -o \"/d/\" \"f\" "},   {tar, nine, "c  -f \"/a\" -o \"/d/\" \"f\" "},
      {tgz, unset, "c -z  -f \"/a\" -o \"/d/\" \"f\" "}, {tgz, zero, "c -z  -f \"/a\" -o \"/d/\" \"f\" "},
      {tgz, nine, "c -z9  -f \"/a\" -o \"/d/\" \"f\" "}, {bz2, unset, "c -B  -f \"/a\" -o \"/d/\" \"f\" "},
      {bz2, nine, "c -B9  -f \"/a\" -o \"/d/\" \"f\" "},
  };
  for (const Case& c : cases) EXPECT_EQ(packLine(c.driver, c.options, "/a"), c.expected);
}

TEST(Tar32, SubclassesShareTheBinding) {
  TTar32 tar;
  TTgz32 tgz;
  TBZ232 bz2;
  EXPECT_EQ(&tgz.GetDll(), &tar.GetDll());
  EXPECT_EQ(&bz2.GetDll(), &TTar32::Binding());
}

TEST(Tar32, ArchiveTypeCodes) {
  fake::Reset(kTarLib);
  const std::pair<int, TArchiverType> codes[] = {{0, atNone}, {1, atTar}, {2, atTgz}, {3, atTgz}, {4, atTgz},
                                                 {5, atTgz},  {6, atBZ2}, {7, atBZ2}, {8, atNone}, {-1, atNone}};
  for (const auto& [code, type] : codes) {
    fake::SetArchiveType(code, kTarLib);
    EXPECT_EQ(GetTarArchiveType("rel/a.tar"), type) << code;
  }
  // The name reaches the library as given, not expanded.
  EXPECT_NE(fake::Log(kTarLib).find("GetArchiveType rel/a.tar\n"), std::string::npos) << fake::Log(kTarLib);
  fake::SetArchiveType(0, kTarLib);
}

// ---------------------------------------------------------------------------------------------
// CAB

TEST(Cab32, CommonPatternSwitches) {
  TCab32 cab;
  TArchiverOptions o;
  EXPECT_EQ(extractLine(cab, o, "/a.cab"), "-x  \"/a.cab\" \"/d/\" ");
  o.c = 1;
  o.n = 1;
  o.r = 1;
  o.w = "/h";
  o.x = 0;
  o.ji = 1;
  o.UserOptions = "-user";
  o.UserFileList = "tail";
  EXPECT_EQ(packLine(cab, o, "/a.cab"), "-a -o -i -r \"-h/h/\" -j -q -user \"/a.cab\" \"/d/\" \"f\" tail");
  TArchiverOptions c2;
  c2.c = 2;  // only exactly 1 asks for -o
  EXPECT_EQ(extractLine(cab, c2, "/a.cab"), "-x  \"/a.cab\" \"/d/\" ");
  cab.SetOwnerWindow(3, nullptr);
  EXPECT_EQ(extractLine(cab, TArchiverOptions(), "/a.cab"), "-x -i  \"/a.cab\" \"/d/\" ");
  cab.KillOwnerWindow(3);
  EXPECT_EQ(cab.SfxCommand(0, "/a.cab", TArchiverOptions(), "/d"), "-f  \"/a.cab\" \"/d/\" ");
  EXPECT_EQ(cab.ExtractMemCommand(0, "/a.cab", TArchiverOptions(), "m"), "  \"/a.cab\" \"m\" ");
}

TEST(Cab32, SelfExtractorGoesThroughTheLibrary) {
  fake::Reset(kCabLib);
  TCab32 cab;
  std::string cmdLine, output;
  EXPECT_EQ(cab.MakeSfx(0, "/a.cab", TArchiverOptions(), "/d", cmdLine, output), 0);
  EXPECT_EQ(cmdLine, "-f  \"/a.cab\" \"/d/\" ");
  EXPECT_NE(fake::Log(kCabLib).find("Cab -f  \"/a.cab\" \"/d/\" "), std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// RAR

TEST(Rar32, ExtractLetterAndSwitches) {
  TRar32 rar;
  expectExtractLines(rar, "/a.rar", {
      {[](TArchiverOptions&) {}, "-x -u  \"/a.rar\" \"/d/\" "},
      {[](TArchiverOptions& o) { o.x = 0; }, "-e -u  \"/a.rar\" \"/d/\" "},
      {[](TArchiverOptions& o) { o.x = 1; }, "-x -u  \"/a.rar\" \"/d/\" "},
      {[](TArchiverOptions& o) { o.c = 0; }, "-x -u  \"/a.rar\" \"/d/\" "},
      {[](TArchiverOptions& o) { o.c = 1; }, "-x  \"/a.rar\" \"/d/\" "},
      {[](TArchiverOptions& o) { o.c = 1, o.m = 1, o.p = 1; }, "-x -y -s  \"/a.rar\" \"/d/\" "},
      {[](TArchiverOptions& o) { o.m = 0, o.p = 0; }, "-x -u  \"/a.rar\" \"/d/\" "},
  });
  EXPECT_EQ(rar.ExtractMemCommand(0, "/a.rar", TArchiverOptions(), "m"), " -u  \"/a.rar\" \"m\" ");
}

TEST(Rar32, PackingIsRefusedBeforeTheLibrary) {
  fake::Reset(kRarLib);
  TRar32 rar;
  std::string cmdLine = "kept", output;
  EXPECT_EQ(ErrorOf([&] { rar.Pack(0, "/a.rar", TArchiverOptions(), "/d", TFileArgs{"f"}, false, cmdLine, output); }),
            "この形式では書庫ファイルの作成をサポートしておりません。");
  EXPECT_EQ(cmdLine, "kept");
  EXPECT_EQ(fake::Log(kRarLib).find("Unrar "), std::string::npos) << fake::Log(kRarLib);
}

// ---------------------------------------------------------------------------------------------
// BGA

TEST(Bga32, Switches) {
  TBGA32 bga;
  TArchiverOptions unset;
  EXPECT_EQ(extractLine(bga, unset, "/a.gza"), "x -n -j  \"/a.gza\" \"/d/\" ");
  TArchiverOptions all;
  all.a = 1;
  all.c = 1;
  all.n = 1;
  all.r = 1;
  all.x = 1;
  all.jm = 5;
  EXPECT_EQ(packLine(bga, all, "/a.gza"), "a -a -o -i -r -l5  \"/a.gza\" \"/d/\" \"f\" ");
  TArchiverOptions zeros;
  zeros.a = 0;
  zeros.c = 0;
  zeros.x = 0;
  zeros.jm = 0;
  EXPECT_EQ(extractLine(bga, zeros, "/a.gza"), "x -n -j -l0  \"/a.gza\" \"/d/\" ");
  EXPECT_EQ(bga.DeleteCommand(0, "/a.gza", unset, "/ignored", TFileArgs{"m"}, false), "d -n -j  \"/a.gza\" \"m\" ");
  EXPECT_EQ(bga.SfxCommand(0, "/a.gza", unset, "/d"), "s -n -j  \"/a.gza\" \"/d/\" ");
}

// ---------------------------------------------------------------------------------------------
// YZ1

TEST(Yz1, DerivedLevelAndCompression) {
  TYZ1 yz1;
  struct Case {
    int8_t m, c;
    std::string tokens;
  } cases[] = {
      {0, 5, "-c2 -y2"}, {3, 5, "-c5"},     {1, 5, "-c5 -y1"}, {2, -1, "-c2 -y2"},
      {9, -1, "-y0"},    {9, 3, "-c3 -y0"}, {-1, -1, ""},      {-1, 4, "-c4"},
  };
  for (const Case& c : cases) {
    TArchiverOptions o;
    o.m = c.m;
    o.c = c.c;
    const std::string head = c.tokens.empty() ? "x -+" : "x -+ " + c.tokens;
    EXPECT_EQ(extractLine(yz1, o, "/a.yz1"), head + "  \"/a.yz1\" \"/d/\" ") << int(c.m) << "/" << int(c.c);
  }
  TArchiverOptions o;
  o.m = 1;
  o.c = 0;
  o.n = 1;
  o.p = 1;
  o.x = 0;
  EXPECT_EQ(packLine(yz1, o, "/a.yz1"), "c -+ -c0 -y1 -i -z1 -x0  \"/a.yz1\" \"/d/\" \"f\" ");
}

class Yz1Password : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Reset(kYz1Lib);
    test::WriteFile(FTmp / "a.yz1", "FAKEARC");
    fake::AddMember("m.txt", 1, 1, 0, 0, kYz1Lib);
    fake::RequirePassword("secret", kYz1Lib);
  }
  int findFirst() {
    TYZ1 yz1;
    const HARC handle = yz1.OpenArchive(42, FTmp / "a.yz1", 0);
    TMemberRecord rec{};
    const int result = yz1.FindFirst(handle, rec, "*");
    yz1.CloseArchive(handle);
    return result;
  }
  test::TTempDir FTmp;
};

TEST_F(Yz1Password, CancelledAfterOneTry) {
  EXPECT_EQ(findFirst(), 32778);
  const std::string log = fake::Log(kYz1Lib);
  EXPECT_EQ(count(log, "FindFirst "), 1u) << log;
  EXPECT_EQ(count(log, "PasswordDialog 42 256\n"), 1u) << log;  // the window given to OpenArchive
  EXPECT_EQ(count(log, "SetDefaultPassword"), 0u) << log;
}

TEST_F(Yz1Password, RightPasswordOnTheSecondTry) {
  fake::AddDialogAnswer("wrong", kYz1Lib);
  fake::AddDialogAnswer("secret", kYz1Lib);
  EXPECT_EQ(findFirst(), 0);
  const std::string log = fake::Log(kYz1Lib);
  EXPECT_EQ(count(log, "FindFirst "), 3u) << log;
  EXPECT_NE(log.find("SetDefaultPassword 77 wrong\n"), std::string::npos) << log;
  EXPECT_NE(log.find("SetDefaultPassword 77 secret\n"), std::string::npos) << log;
}

TEST_F(Yz1Password, AtMostFourTriesAndNoPasswordAskedThatIsNeverTried) {
  for (int k = 0; k < 6; ++k) fake::AddDialogAnswer("wrong", kYz1Lib);
  EXPECT_EQ(findFirst(), 32778);
  const std::string log = fake::Log(kYz1Lib);
  EXPECT_EQ(count(log, "FindFirst "), 4u) << log;
  EXPECT_EQ(count(log, "PasswordDialog "), 3u) << log;
}

// ---------------------------------------------------------------------------------------------
// All of them

TEST(OtherDrivers, ResponseFileConditions) {
  test::TTempDir tmp;
  TSevenZip32 sz;
  TTar32 tar;
  TCab32 cab;
  TRar32 rar;
  TBGA32 bga;
  TYZ1 yz1;
  using TBuild = std::function<std::string(TArchiver&, const TArchiverOptions&, bool flag)>;
  const TBuild extract = [](TArchiver& d, const TArchiverOptions& o, bool flag) {
    return d.ExtractCommand(0, "/a", o, "/d", TFileArgs{"m"}, flag);
  };
  const TBuild pack = [](TArchiver& d, const TArchiverOptions& o, bool flag) {
    return d.PackCommand(0, "/a", o, "/d", TFileArgs{"m"}, flag);
  };
  const TBuild remove = [](TArchiver& d, const TArchiverOptions& o, bool flag) {
    return d.DeleteCommand(0, "/a", o, "/d", TFileArgs{"m"}, flag);
  };
  const TBuild sfx = [](TArchiver& d, const TArchiverOptions& o, bool) { return d.SfxCommand(0, "/a", o, "/d"); };
  enum TRule { Member, Flag, Never };
  struct Case {
    const char* what;
    TArchiver& driver;
    TBuild build;
    TRule rule;
    TResFileUse member;
  } cases[] = {
      {"7z extract", sz, extract, Member, ruOnUnpack},  {"7z pack", sz, pack, Member, ruOnPack},
      {"7z delete", sz, remove, Member, ruOnRemoveItem}, {"yz1 extract", yz1, extract, Flag, ruOnUnpack},
      {"yz1 pack", yz1, pack, Flag, ruOnPack},          {"bga extract", bga, extract, Flag, ruOnUnpack},
      {"bga pack", bga, pack, Flag, ruOnPack},          {"bga delete", bga, remove, Member, ruOnRemoveItem},
      {"bga sfx", bga, sfx, Member, ruOnRemoveItem},    {"rar extract", rar, extract, Member, ruOnUnpack},
      {"tar extract", tar, extract, Member, ruOnUnpack}, {"tar pack", tar, pack, Member, ruOnPack},
      {"cab extract", cab, extract, Member, ruOnUnpack}, {"cab pack", cab, pack, Member, ruOnPack},
      {"cab sfx", cab, sfx, Never, ruOnPack},
  };
  const TResFileUse all[] = {ruOnPack, ruOnUnpack, ruOnRemoveItem, ruOnUpdate};
  for (const Case& c : cases) {
    TArchiverOptions only, others;
    only.ResFileName = others.ResFileName = tmp / "names.txt";
    only.ResFileUsage = {c.member};
    others.ResFileUsage = {};
    for (TResFileUse u : all)
      if (u != c.member) others.ResFileUsage.Include(u);
    auto usesFile = [&](const TArchiverOptions& o, bool flag) {
      return c.build(c.driver, o, flag).find("\"@" + only.ResFileName + "\"") != std::string::npos;
    };
    switch (c.rule) {
      case Member:
        EXPECT_TRUE(usesFile(only, false)) << c.what;
        EXPECT_FALSE(usesFile(others, true)) << c.what;
        break;
      case Flag:
        EXPECT_TRUE(usesFile(others, true)) << c.what;
        EXPECT_FALSE(usesFile(only, false)) << c.what;
        break;
      case Never:
        EXPECT_FALSE(usesFile(only, true)) << c.what;
        EXPECT_FALSE(usesFile(others, true)) << c.what;
        break;
    }
  }
}

TEST(OtherDrivers, UnsupportedOperationsRaiseTheCapabilityErrors) {
  TSevenZip32 sz;
  TTar32 tar;
  TBZ232 bz2;
  TCab32 cab;
  TRar32 rar;
  TBGA32 bga;
  TYZ1 yz1;
  const TArchiverOptions o;
  std::string cmdLine = "kept", output;
  const std::string pack = "この形式では書庫ファイルの作成をサポートしておりません。";
  const std::string remove = "この形式の書庫ではファイルの削除をサポートしておりません。";
  const std::string update = "この形式の書庫では書庫の更新をサポートしておりません。";
  const std::string sfx = "この形式では自己解凍書庫の作成をサポートしておりません。";
  const std::string mem = "この形式ではメモリ展開をサポートしておりません。";
  auto del = [&](TArchiver& d) { return [&, p = &d] { p->Delete(0, "a", o, "", {}, false, cmdLine, output); }; };
  auto upd = [&](TArchiver& d) { return [&, p = &d] { p->Update(0, "a", o, "", {}, false, cmdLine, output); }; };
  auto memx = [&](TArchiver& d) {
    return [&, p = &d] { p->ExtractMem(0, "a", o, "m", nullptr, 0, nullptr, cmdLine); };
  };
  struct Case {
    const char* what;
    std::function<void()> run;
    const std::string& message;
  } cases[] = {
      {"7z update", upd(sz), update},
      {"7z mem", memx(sz), mem},
      {"tar delete", del(tar), remove},
      {"tar update", upd(tar), update},
      {"bz2 delete", del(bz2), remove},
      {"cab delete", del(cab), remove},
      {"cab update", upd(cab), update},
      {"rar pack", [&] { rar.Pack(0, "a", o, "", {}, false, cmdLine, output); }, pack},
      {"rar delete", del(rar), remove},
      {"rar update", upd(rar), update},
      {"rar sfx", [&] { rar.MakeSfx(0, "a", o, "", cmdLine, output); }, sfx},
      {"bga update", upd(bga), update},
      {"bga mem", memx(bga), mem},
      {"yz1 delete", del(yz1), remove},
      {"yz1 update", upd(yz1), update},
      {"yz1 mem", memx(yz1), mem},
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorOf(c.run), c.message) << c.what;
  EXPECT_EQ(cmdLine, "kept");
}

TEST(OtherDrivers, ProbesAndTheirExistenceRules) {
  test::TTempDir tmp;
  test::WriteFile(tmp / "yes", "FAKEARC");
  test::WriteFile(tmp / "no", "plain");
  struct Case {
    const char* library;
    std::function<bool(std::string_view)> probe;
    bool testsExistence;
  } cases[] = {
      {kCabLib, IsCabArchive, false},
      {kRarLib, IsRarArchive, false},
      {kBgaLib, IsBgaArchive, true},
      {kYz1Lib, IsYz1Archive, true},
  };
  for (const Case& c : cases) {
    fake::Reset(c.library);
    EXPECT_TRUE(c.probe(tmp / "yes")) << c.library;
    EXPECT_FALSE(c.probe(tmp / "no")) << c.library;
    EXPECT_FALSE(c.probe(tmp / "missing")) << c.library;
    const std::string log = fake::Log(c.library);
    EXPECT_NE(log.find("OpenArchive " + (tmp / "yes") + " 8388610\nCloseArchive 77\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("OpenArchive " + (tmp / "missing")) == std::string::npos, c.testsExistence) << log;
  }
}

TEST(OtherDrivers, TheComponentPicksThemByExtension) {
  struct Case {
    const char* name;
    TArchiverType type;
    const std::type_info& driver;
  } cases[] = {
      {"a.cab", atCab, typeid(TCab32)},  {"a.tar", atTar, typeid(TTar32)},   {"a.a", atTar, typeid(TTar32)},
      {"a.lib", atTar, typeid(TTar32)},  {"a.deb", atTar, typeid(TTar32)},   {"a.rpm", atTar, typeid(TTar32)},
      {"a.cpio", atTar, typeid(TTar32)}, {"a.gz", atTgz, typeid(TTgz32)},    {"a.Z", atTgz, typeid(TTgz32)},
      {"a.tgz", atTgz, typeid(TTgz32)},  {"a.taz", atTgz, typeid(TTgz32)},   {"a.bz2", atBZ2, typeid(TBZ232)},
      {"a.RAR", atRar, typeid(TRar32)},  {"a.gza", atBga, typeid(TBGA32)},   {"a.bza", atBga, typeid(TBGA32)},
      {"a.yz1", atYz1, typeid(TYZ1)},    {"a.7z", at7z, typeid(TSevenZip32)},
  };
  for (const Case& c : cases) {
    TArchiveFile af;
    af.SetFileName(c.name);
    EXPECT_EQ(af.ArchiverType(), c.type) << c.name;
    ASSERT_NE(af.Archiver(), nullptr) << c.name;
    EXPECT_EQ(typeid(*af.Archiver()), c.driver) << c.name;
  }
}

TEST(OtherDrivers, ContentDetectionLastPositiveProbeWins) {
  test::TTempDir tmp;
  for (const char* lib : {kTarLib, kCabLib, kRarLib, kBgaLib, kYz1Lib}) fake::Reset(lib);
  fake::Reset();
  fake::Reset("UNARJ32J.DLL");
  struct Case {
    const char* content;
    int tarCode;
    TArchiverType expected;
  } cases[] = {
      {"plain", 0, atNone},       {"plain", 1, atTar},       {"plain", 3, atTgz},      {"plain", 7, atBZ2},
      {"FAKE:Unrar", 1, atRar},   {"FAKE:Unarj", 1, atArj},  {"FAKE:Bga", 0, atBga},   {"FAKE:Yz1", 0, atYz1},
      {"FAKE:Cab", 2, atCab},     {"FAKEARC", 1, atLha},
  };
  int k = 0;
  for (const Case& c : cases) {
    const std::string file = tmp / ("f" + std::to_string(k++) + ".exe");
    test::WriteFile(file, c.content);
    fake::SetArchiveType(c.tarCode, kTarLib);
    EXPECT_EQ(DetectArchiverType(file, true), c.expected) << c.content << " " << c.tarCode;
  }
  fake::SetArchiveType(0, kTarLib);
}

}  // namespace
