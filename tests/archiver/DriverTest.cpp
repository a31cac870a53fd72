// The driver base and the LHA and ARJ drivers, against the stand-in libraries.
#include <gtest/gtest.h>

#include "ARJ32.h"
#include "FakeControl.h"
#include "LHA32.h"
#include "TestSupport.h"

namespace {

TArchiverOptions withJso(int8_t jso = 0) {
  TArchiverOptions o;
  o.jso = jso;
  return o;
}

std::string extractLine(const TArchiverOptions& o, std::string_view dir = "/d", const TFileArgs& files = {}) {
  TLha32 lha;
  return lha.ExtractCommand(0, "/a.lzh", o, dir, files, false);
}

std::string packLine(TArchiver& driver, const TArchiverOptions& o, const TFileArgs& files = {"f"}) {
  return driver.PackCommand(0, "/a.lzh", o, "/d", files, false);
}

TEST(Lha32, OnlyJsoSetGivesTheBareLine) {
  TLha32 lha;
  EXPECT_EQ(packLine(lha, withJso()), "u -+ -jso0  \"/a.lzh\" \"/d/\" \"f\" ");
}

TEST(Lha32, RestoreAndBrowserLines) {
  TArchiverOptions restore;
  restore.x = 1;
  restore.jse = 1;
  restore.jso = 1;
  EXPECT_EQ(extractLine(restore, "/restore/to"), "x -+ -x1 -jse1 -jso1  \"/a.lzh\" \"/restore/to/\" ");
  TArchiverOptions browser = restore;
  browser.x = 0;
  // A single member goes by its exact name, never as a pattern.
  EXPECT_EQ(extractLine(browser, "/tmp/v/", TFileArgs{"dir/file.txt"}),
            "x -+ -x0 -jse1 -jso1  \"/a.lzh\" \"/tmp/v/\" \"@=dir/file.txt\" ");
}

TEST(Lha32, EverySwitchInItsPlace) {
  TArchiverOptions o;
  int8_t value = 0;
  for (const auto& sw : TArchiverOptions::Switches()) {
    if (sw.Number != nullptr) o.*sw.Number = static_cast<int8_t>(value++ % 10);
    if (sw.Text != nullptr) o.*sw.Text = std::string("T") + sw.Name;
  }
  o.jx = {"j1", "j2"};
  o.UserOptions = "-user";
  o.UserFileList = "tail";
  TLha32 lha;
  std::string expected = "u -+";
  value = 0;
  for (const auto& sw : TArchiverOptions::Switches()) {
    if (sw.Number != nullptr) expected += " -" + std::string(sw.Name) + std::to_string(value++ % 10);
    if (sw.Kind == TArchiverOptions::TSwitchKind::Text) expected += " \"-" + std::string(sw.Name) + "T" + sw.Name + "\"";
    if (sw.Kind == TArchiverOptions::TSwitchKind::Directory) expected += " \"-wTw/\"";
    if (sw.List != nullptr) expected += " \"-jxj1\" \"-jxj2\"";
  }
  expected += " -user \"/a.lzh\" \"/d/\" \"f\" tail";
  EXPECT_EQ(packLine(lha, o), expected);
  // jx sits between jw and jyc.
  EXPECT_NE(expected.find(" -jw9 \"-jxj1\" \"-jxj2\" -jyc"), std::string::npos) << expected;
}

TEST(Lha32, SwitchDetails) {
  TLha32 lha;
  TArchiverOptions o = withJso();
  o.x = 0;
  o.r = -2;
  EXPECT_EQ(packLine(lha, o), "u -+ -x0 -jso0  \"/a.lzh\" \"/d/\" \"f\" ");
  TArchiverOptions emptyJo = withJso();
  emptyJo.jo = "";
  EXPECT_EQ(packLine(lha, emptyJo), "u -+ \"-jo\" -jso0  \"/a.lzh\" \"/d/\" \"f\" ");
  TArchiverOptions w1 = withJso(), w2 = withJso();
  w1.w = "/work";
  w2.w = "/work/";
  EXPECT_EQ(packLine(lha, w1), packLine(lha, w2));
  EXPECT_NE(packLine(lha, w1).find(" \"-w/work/\" "), std::string::npos);
}

TEST(Lha32, CommandsOfEveryOperation) {
  TLha32 lha;
  const TArchiverOptions o = withJso();
  EXPECT_EQ(lha.DeleteCommand(0, "/a.lzh", o, "/ignored", TFileArgs{"m"}, false), "d -+ -jso0  \"/a.lzh\" \"m\" ");
  EXPECT_EQ(lha.UpdateCommand(0, "/a.lzh", o, "/d", TFileArgs{"m"}, false), "f -+ -jso0  \"/a.lzh\" \"/d/\" \"m\" ");
  EXPECT_EQ(lha.SfxCommand(0, "/a.lzh", o, "/d"), "s -+ -jso0  \"/a.lzh\" \"/d/\" ");
  EXPECT_EQ(lha.ExtractMemCommand(0, "/a.lzh", o, "m.txt"), " -+ -jso0  \"/a.lzh\" \"m.txt\" ");
}

TEST(Lha32, ResponseFileByOperationAndOptions) {
  test::TTempDir tmp;
  TLha32 lha;
  TArchiverOptions o = withJso();
  o.ResFileName = tmp / "names.txt";
  // Packing uses it (ruOnPack is in the defaults) whatever flag the caller passes.
  EXPECT_EQ(lha.PackCommand(0, "/a.lzh", o, "/d", TFileArgs{"x y"}, false),
            "u -+ -jso0  \"/a.lzh\" \"/d/\" \"@" + o.ResFileName + "\" ");
  EXPECT_EQ(test::ReadFile(o.ResFileName), "\"x y\"\r\n");
  // Updating does not (ruOnUpdate is not).
  EXPECT_EQ(lha.UpdateCommand(0, "/a.lzh", o, "/d", TFileArgs{"x y"}, true), "f -+ -jso0  \"/a.lzh\" \"/d/\" \"x y\" ");
  o.ResFileName = kUnsetText;
  EXPECT_EQ(lha.PackCommand(0, "/a.lzh", o, "/d", TFileArgs{"x"}, true), "u -+ -jso0  \"/a.lzh\" \"/d/\" \"x\" ");
}

TEST(Lha32, MissingJseOrJsoFailsBeforeTheLibrary) {
  fake::Reset();
  TLha32 lha;
  std::string cmdLine = "previous";
  std::string output;
  TArchiverOptions noJse = withJso();
  try {
    lha.Extract(0, "/a.lzh", noJse, "/d", {}, false, cmdLine, output);
    FAIL() << "extracting without jse must fail";
  } catch (const EAssertionFailed& e) {
    EXPECT_STREQ(e.what(), "jse オプションが設定されていません。 (LHA32, 234 行)");
  }
  TArchiverOptions noJso;
  noJso.jse = 1;
  try {
    lha.Pack(0, "/a.lzh", noJso, "/d", TFileArgs{"f"}, false, cmdLine, output);
    FAIL() << "packing without jso must fail";
  } catch (const EAssertionFailed& e) {
    EXPECT_STREQ(e.what(), "jso オプションが設定されていません。 (LHA32, 240 行)");
  }
  EXPECT_EQ(cmdLine, "previous");
  EXPECT_EQ(fake::Log().find("Unlha "), std::string::npos);
  // Packing needs no jse.
  EXPECT_NO_THROW(packLine(lha, withJso()));
}

TEST(Lha32, OwnerWindowForcesN1) {
  TLha32 lha;
  TArchiverOptions o = withJso();
  o.n = 0;
  EXPECT_EQ(packLine(lha, o), "u -+ -n0 -jso0  \"/a.lzh\" \"/d/\" \"f\" ");
  EXPECT_TRUE(lha.SetOwnerWindow(42, nullptr));
  EXPECT_TRUE(lha.HasOwnerWindow());
  EXPECT_EQ(packLine(lha, o), "u -+ -n1 -jso0  \"/a.lzh\" \"/d/\" \"f\" ");
  EXPECT_TRUE(lha.KillOwnerWindow(42));
  EXPECT_FALSE(lha.HasOwnerWindow());
}

TEST(Lha32, TemplateRunsTheCommandEntryAndKeepsTheLine) {
  fake::Reset();
  fake::SetResult(0x8012);
  TLha32 lha;
  std::string cmdLine, output(16, 'z');
  output[0] = '\0';
  EXPECT_EQ(lha.Pack(0, "/a.lzh", withJso(), "/d", TFileArgs{"f"}, false, cmdLine, output), 0x8012);
  EXPECT_EQ(cmdLine, "u -+ -jso0  \"/a.lzh\" \"/d/\" \"f\" ");
  EXPECT_STREQ(output.c_str(), "fake output");
  EXPECT_NE(fake::Log().find("Unlha " + cmdLine + " [size 16]"), std::string::npos);
  // An empty output buffer reaches the library as a null pointer and size 0.
  std::string none;
  TArchiverOptions extract = withJso();
  extract.jse = 0;
  lha.Extract(0, "/a.lzh", extract, "/d", {}, false, cmdLine, none);
  EXPECT_NE(fake::Log().find("[no output] [size 0]"), std::string::npos) << fake::Log();
  fake::SetResult(0);
}

TEST(Lha32, ExtractMemGoesToItsOwnEntry) {
  fake::Reset();
  TLha32 lha;
  std::string cmdLine;
  unsigned char buffer[8];
  uint32_t written = 99;
  EXPECT_EQ(lha.ExtractMem(0, "/a.lzh", withJso(), "m.txt", buffer, sizeof buffer, &written, cmdLine), 0);
  EXPECT_EQ(written, 0u);
  EXPECT_NE(fake::Log().find("ExtractMem  -+ -jso0  \"/a.lzh\" \"m.txt\" "), std::string::npos) << fake::Log();
}

TEST(Lha32, FamiliesShareOneBindingEach) {
  TLha32 first;
  TLha32 second;
  EXPECT_EQ(&first.GetDll(), &second.GetDll());
  EXPECT_EQ(&first.GetDll(), &TLha32::Binding());
  TArj32 arj;
  EXPECT_NE(&arj.GetDll(), &first.GetDll());
  EXPECT_EQ(&arj.GetDll(), &TArj32::Binding());
}

TEST(Arj32, SendsLhaLinesToItsOwnLibrary) {
  fake::Reset("UNARJ32J.DLL");
  fake::Reset();
  TArj32 arj;
  std::string cmdLine, output;
  TArchiverOptions o = withJso();
  o.jse = 0;
  o.ResFileName = "/nonexistent/names.txt";
  // Extracting follows the caller's flag rather than the options.
  EXPECT_EQ(arj.ExtractCommand(0, "/a.arj", o, "/d", TFileArgs{"m"}, false), "x -+ -jse0 -jso0  \"/a.arj\" \"/d/\" \"m\" ");
  arj.Pack(0, "/a.arj", withJso(), "/d", TFileArgs{"f"}, false, cmdLine, output);
  EXPECT_NE(fake::Log("UNARJ32J.DLL").find("Unarj u -+ -jso0  \"/a.arj\" \"/d/\" \"f\" "), std::string::npos);
  EXPECT_EQ(fake::Log().find("Unlha "), std::string::npos);
}

TEST(Probes, AnswerFromTheLibraryAndNeverRaise) {
  test::TTempDir tmp;
  test::WriteFile(tmp / "yes.lzh", "FAKEARC and more");
  test::WriteFile(tmp / "no.lzh", "something else");
  fake::Reset();
  EXPECT_TRUE(IsLhaArchive(tmp / "yes.lzh"));
  EXPECT_FALSE(IsLhaArchive(tmp / "no.lzh"));
  EXPECT_FALSE(IsLhaArchive(tmp / "missing.lzh"));
  const std::string log = fake::Log();
  EXPECT_NE(log.find("CheckArchive " + (tmp / "yes.lzh") + " 16"), std::string::npos) << log;
  EXPECT_NE(log.find("OpenArchive " + (tmp / "yes.lzh") + " 8388610"), std::string::npos) << log;
  EXPECT_NE(log.find("CloseArchive 77"), std::string::npos) << log;
  fake::Reset("UNARJ32J.DLL");
  EXPECT_TRUE(IsArjArchive(tmp / "yes.lzh"));
  EXPECT_FALSE(IsArjArchive(tmp / "no.lzh"));
  EXPECT_EQ(fake::Log("UNARJ32J.DLL").find("CheckArchive"), std::string::npos);
}

// A driver that provides only what every driver must: the capability errors of the base.
class TBareDriver : public TArchiver {
 public:
  TCustomArchiverDll& GetDll() override { return TLha32::Binding(); }
  std::string ExtractCommand(HWND, std::string_view, const TArchiverOptions&, std::string_view, const TFileArgs&,
                             bool) override {
    return "x";
  }
};

TEST(ArchiverBase, CapabilityAndAbstractErrors) {
  TBareDriver driver;
  std::string cmdLine = "kept", output;
  const TArchiverOptions o = withJso();
  struct Case {
    std::function<void()> run;
    const char* message;
  } cases[] = {
      {[&] { driver.Pack(0, "a", o, "", {}, false, cmdLine, output); }, "この形式では書庫ファイルの作成をサポートしておりません。"},
      {[&] { driver.Delete(0, "a", o, "", {}, false, cmdLine, output); }, "この形式の書庫ではファイルの削除をサポートしておりません。"},
      {[&] { driver.Update(0, "a", o, "", {}, false, cmdLine, output); }, "この形式の書庫では書庫の更新をサポートしておりません。"},
      {[&] { driver.MakeSfx(0, "a", o, "", cmdLine, output); }, "この形式では自己解凍書庫の作成をサポートしておりません。"},
      {[&] { driver.ExtractMem(0, "a", o, "m", nullptr, 0, nullptr, cmdLine); }, "この形式ではメモリ展開をサポートしておりません。"},
      {[&] { driver.EnsureDLL(); }, "Abstract method 'TArchiver.LoadDLL' was called"},
      {[&] { driver.FreeDLL(); }, "Abstract method 'TArchiver.FreeDLL' was called"},
  };
  for (const Case& c : cases) {
    try {
      c.run();
      ADD_FAILURE() << "no error for " << c.message;
    } catch (const EArchiver& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
  EXPECT_EQ(cmdLine, "kept");
}

TEST(ArchiverBase, OwnerWindowIsRecordedWhateverTheLibrarySays) {
  TLha32 lha;
  lha.SetOwnerWindow(7, nullptr);
  EXPECT_TRUE(lha.HasOwnerWindow());
  lha.KillOwnerWindow(7);
  EXPECT_FALSE(lha.HasOwnerWindow());
}

}  // namespace
