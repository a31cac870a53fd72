// The 7z library through its entries, with the command lines the 7z driver builds: every method
// and filter 7-Zip writes, solid or not; extraction with and without paths, the three answers
// for an existing file, exclusions; encrypted archives; packing, updating and deleting read
// back by 7-Zip; hostile members; progress and cancel; errors.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <vector>

#include "ArchiveTestSupport.h"

extern "C" {
int SevenZip(HWND wnd, const char* cmdLine, char* output, uint32_t size);
HARC SevenZipOpenArchive(HWND wnd, const char* fileName, uint32_t mode);
int SevenZipCloseArchive(HARC arc);
int SevenZipFindFirst(HARC arc, const char* wildName, INDIVIDUALINFO* info);
int SevenZipFindNext(HARC arc, INDIVIDUALINFO* info);
int SevenZipGetWriteTimeEx(HARC arc, uint64_t* fileTime);
int SevenZipCheckArchive(const char* fileName, int mode);
int SevenZipSetOwnerWindowEx(HWND wnd, ARC_OWNER_CALLBACK callback);
int SevenZipKillOwnerWindowEx(HWND wnd);
}

using namespace arc_test;

namespace {

TRun SevenZipCmd(const std::string& cmdLine) { return RunEntry(SevenZip, cmdLine); }

// What the driver sends to extract with paths, replacing existing files ("-aoa" from c = 1).
std::string ExtractLine(const std::string& archive, const std::string& dest, const std::string& switches = "-aoa") {
  return "x " + switches + " -ms=off -hide \"-o" + dest + "/\" \"" + archive + "\"";
}

std::vector<std::string> ListNames(const std::string& archive) {
  return arc_test::ListNames({SevenZipOpenArchive, SevenZipFindFirst, SevenZipFindNext, SevenZipCloseArchive}, archive);
}

int Shell(const std::string& command) {
  int status = 0;
  RunShell("(" + command + ") >/dev/null 2>&1", status);
  return status;
}

void MakeTree(const std::string& root) {
  WriteText(root + "/a.txt", "hello\n");
  WriteText(root + "/sub/deeper/notes.md", std::string(30000, 'n') + "tail");
  WriteText(root + "/日本語/メモ.txt", "日本語のメモ\n");
  WriteText(root + "/.hidden", "dot\n");
  std::string binary;
  for (int i = 0; i < 200000; ++i) binary += static_cast<char>((i * 7919) % 251);
  WriteText(root + "/bin/data.bin", binary);
  fs::create_directories(root + "/empty");
}

class SevenZipLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveProgram("7zz")) GTEST_SKIP() << "7zz is not installed";
    FSrc = FTemp / "src";
    MakeTree(FSrc);
  }
  // An archive of the source tree made by 7zz with the given switches.
  std::string Make(const std::string& name, const std::string& switches) {
    const std::string archive = FTemp / name;
    return Shell("cd " + Quote(FSrc) + " && 7zz a " + switches + " " + Quote(archive) + " .") == 0 ? archive : "";
  }
  TTempDir FTemp;
  std::string FSrc;
};

TEST_F(SevenZipLibrary, EveryMethodAndFilterSolidOrNot) {
  struct TCase {
    const char* name;
    const char* switches;
  };
  const std::vector<TCase> cases = {
      {"lzma2.7z", "-m0=LZMA2 -ms=on"},
      {"lzma.7z", "-m0=LZMA -ms=off"},
      {"ppmd.7z", "-m0=PPMd"},
      {"bzip2.7z", "-m0=BZip2"},
      {"deflate.7z", "-m0=Deflate"},
      {"copy.7z", "-mx0"},
      {"bcj.7z", "-mf=BCJ"},
      {"bcj2.7z", "-mf=BCJ2"},
      {"delta.7z", "-mf=Delta:4"},
  };
  const std::string want = TreeSignature(FSrc);
  for (const TCase& c : cases) {
    const std::string archive = Make(c.name, c.switches);
    if (archive.empty()) {
      ADD_FAILURE() << "7zz cannot make " << c.name;
      continue;
    }
    EXPECT_EQ(SevenZipCheckArchive(archive.c_str(), 0), 1) << c.name;
    const std::string dest = FTemp / (std::string("out-") + c.name);
    const TRun r = SevenZipCmd(ExtractLine(archive, dest));
    EXPECT_EQ(r.code, 0) << c.name << "\n" << r.output;
    EXPECT_TRUE(TreeSignature(dest) == want) << c.name;
  }
  EXPECT_EQ(SevenZipCheckArchive((FSrc + "/a.txt").c_str(), 0), 0);
  EXPECT_EQ(SevenZipCheckArchive((FTemp / "missing.7z").c_str(), 0), 0);
}

TEST_F(SevenZipLibrary, WithoutPathsExistingFilesAndExclusions) {
  const std::string archive = Make("a.7z", "");
  ASSERT_FALSE(archive.empty());
  const std::string flat = FTemp / "flat";
  // "e": the driver's letter when x = 0; names and an exclusion as the driver adds them.
  EXPECT_EQ(SevenZipCmd("e -aoa -ms=off -r \"-x!*.bin\" \"-o" + flat + "/\" \"" + archive + "\" \"sub\" \"bin\"").code, 0);
  EXPECT_EQ(ReadText(flat + "/notes.md").size(), 30004u);
  EXPECT_FALSE(fs::exists(flat + "/sub"));
  EXPECT_FALSE(fs::exists(flat + "/data.bin"));
  EXPECT_FALSE(fs::exists(flat + "/a.txt"));

  struct TCase {
    const char* sw;
    const char* kept;     // a.txt afterwards
    const char* renamed;  // a_1.txt afterwards ("" = none)
  };
  for (const TCase& c : {TCase{"-aoa", "hello\n", ""}, TCase{"-aos", "mine", ""}, TCase{"-aou", "mine", "hello\n"}}) {
    const std::string dest = FTemp / (std::string("exist") + c.sw);
    WriteText(dest + "/a.txt", "mine");
    const TRun r = SevenZipCmd(ExtractLine(archive, dest, c.sw) + " \"a.txt\"");
    EXPECT_EQ(r.code, 0) << c.sw << "\n" << r.output;
    EXPECT_EQ(ReadText(dest + "/a.txt"), c.kept) << c.sw;
    EXPECT_EQ(fs::exists(dest + "/a_1.txt") ? ReadText(dest + "/a_1.txt") : "", c.renamed) << c.sw;
  }
}

TEST_F(SevenZipLibrary, EncryptedArchivesAreReportedAndNothingIsWritten) {
  const std::string data = Make("enc.7z", "-psecret");
  const std::string headers = Make("henc.7z", "-psecret -mhe=on");
  ASSERT_FALSE(data.empty());
  ASSERT_FALSE(headers.empty());
  const std::string d1 = FTemp / "d1";
  TRun r = SevenZipCmd(ExtractLine(data, d1));
  EXPECT_EQ(r.code, 0x8024);
  EXPECT_NE(r.output.find("encrypted"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(d1 + "/a.txt"));
  EXPECT_EQ(ListNames(data).size(), 10u);  // names are readable, the data is not

  const std::string d2 = FTemp / "d2";
  r = SevenZipCmd(ExtractLine(headers, d2));
  EXPECT_EQ(r.code, 0x8024);
  EXPECT_NE(r.output.find("encrypted"), std::string::npos) << r.output;
  EXPECT_EQ(SevenZipCmd("l \"" + headers + "\"").code, 0x8024);
  EXPECT_EQ(SevenZipCheckArchive(headers.c_str(), 0), 1);  // a 7z archive all the same
  EXPECT_EQ(SevenZipOpenArchive(0, headers.c_str(), 0x800002), 0u);
  EXPECT_EQ(SevenZipCmd("x -p1234 \"" + headers + "\"").code, 0x8023);
}

// Packing ("u"), updating and deleting ("d") as the driver asks; 7-Zip reads the results.
TEST_F(SevenZipLibrary, PackUpdateAndDeleteReadBackWith7Zip) {
  const std::string archive = FTemp / "ours.7z";
  WriteText(FTemp / "names.txt", "\"sub\"\r\n\"日本語\"\r\n");
  TRun r = SevenZipCmd("u -ms=off -hide -r \"-o" + FSrc + "/\" \"" + archive + "\" \"a.txt\" \".hidden\" \"bin\" \"empty\" \"@" +
                       (FTemp / "names.txt") + "\"");
  ASSERT_EQ(r.code, 0) << r.output;
  const std::string peer = FTemp / "peer";
  ASSERT_EQ(Shell("7zz x -y -o" + Quote(peer) + " " + Quote(archive)), 0);
  EXPECT_TRUE(TreeSignature(peer) == TreeSignature(FSrc));

  WriteText(FSrc + "/a.txt", "changed");
  WriteText(FSrc + "/new.txt", "new");
  r = SevenZipCmd("u -ms=off -mx=9 \"-o" + FSrc + "/\" \"" + archive + "\" \"a.txt\" \"new.txt\"");
  ASSERT_EQ(r.code, 0) << r.output;
  r = SevenZipCmd("d -ms=off \"" + archive + "\" \"sub\"");
  ASSERT_EQ(r.code, 0) << r.output;
  const std::string peer2 = FTemp / "peer2";
  ASSERT_EQ(Shell("7zz x -y -o" + Quote(peer2) + " " + Quote(archive)), 0);
  EXPECT_EQ(ReadText(peer2 + "/a.txt"), "changed");
  EXPECT_EQ(ReadText(peer2 + "/new.txt"), "new");
  EXPECT_FALSE(fs::exists(peer2 + "/sub"));
  EXPECT_TRUE(ReadText(peer2 + "/bin/data.bin") == ReadText(FSrc + "/bin/data.bin"));
  EXPECT_EQ(SevenZipCmd("d \"" + archive + "\" \"nothing\"").code, 0x8032);
  EXPECT_EQ(SevenZipCmd("d \"" + archive + "\"").code, 0x8032);  // no names: nothing goes
}

// Names that leave the destination and links that lead out, in an archive bsdtar writes.
TEST_F(SevenZipLibrary, HostileMembersWriteNothingOutsideTheDestination) {
  if (!HaveProgram("bsdtar")) GTEST_SKIP() << "bsdtar is not installed";
  const std::string outside = FTemp / "outside";
  WriteText(outside + "/victim.txt", "keep");
  const std::string stage = FTemp / "stage";
  WriteText(stage + "/ok.txt", "fine");
  WriteText(stage + "/evil.txt", "evil");
  fs::create_directories(stage + "/up");
  fs::create_symlink("../outside", stage + "/lnk");
  const std::string archive = FTemp / "evil.7z";
  // -s renames as members are written; -P keeps "..", "/" and what follows links verbatim.
  ASSERT_EQ(Shell("cd " + Quote(stage) + " && bsdtar -P --format 7zip -cf " + Quote(archive) +
                  " -s '|^evil.txt$|../slip.txt|' ok.txt evil.txt && bsdtar -P --format 7zip -cf " +
                  Quote(FTemp / "evil2.7z") + " -s '|^evil.txt$|lnk/victim.txt|' lnk evil.txt"),
            0);
  const std::string dest = FTemp / "d/dest";
  TRun r = SevenZipCmd(ExtractLine(archive, dest));
  EXPECT_EQ(r.code, 0x8031) << r.output;
  r = SevenZipCmd(ExtractLine(FTemp / "evil2.7z", dest));
  EXPECT_EQ(r.code, 0x8031) << r.output;
  EXPECT_EQ(TreeSignature(outside), "victim.txt\tkeep\n");
  EXPECT_EQ(TreeSignature(FTemp / "d"), "dest/\ndest/lnk\t-> ../outside\ndest/ok.txt\tfine\n");
  EXPECT_FALSE(fs::exists(FTemp / "d/slip.txt"));
}

TEST_F(SevenZipLibrary, ProgressCancelAndErrors) {
  const std::string archive = FTemp / "p.7z";
  ASSERT_EQ(Shell("cd " + Quote(FSrc) + " && 7zz a " + Quote(archive) + " a.txt .hidden bin/data.bin"), 0);
  TProgressLog log;
  log.stopAfter = 2;
  CurrentProgressLog() = &log;
  const HWND wnd = CreateHiddenWindow(ProgressProc, nullptr);
  ASSERT_NE(SevenZipSetOwnerWindowEx(wnd, nullptr), 0);
  const std::string dest = FTemp / "out";
  EXPECT_EQ(SevenZipCmd(ExtractLine(archive, dest)).code, 0x8020);
  EXPECT_EQ(log.names.size(), 2u);
  EXPECT_EQ(fs::exists(dest) ? std::distance(fs::directory_iterator(dest), fs::directory_iterator()) : 0, 1);
  EXPECT_NE(SevenZipKillOwnerWindowEx(wnd), 0);
  log.names.clear();
  EXPECT_EQ(SevenZipCmd(ExtractLine(archive, dest)).code, 0);
  EXPECT_TRUE(log.names.empty());
  DestroyWindow(wnd);
  CurrentProgressLog() = nullptr;

  const HARC h = SevenZipOpenArchive(0, archive.c_str(), 0x800002);
  ASSERT_NE(h, 0u);
  INDIVIDUALINFO info{};
  ASSERT_EQ(SevenZipFindFirst(h, "bin/*", &info), 0);
  EXPECT_EQ(info.dwOriginalSize, 200000u);
  uint64_t time = 0;
  EXPECT_NE(SevenZipGetWriteTimeEx(h, &time), 0);
  EXPECT_EQ(SevenZipFindNext(h, &info), -1);
  SevenZipCloseArchive(h);

  struct TCase {
    std::string line;
    int code;
  };
  const std::vector<TCase> cases = {
      {"x -q \"" + archive + "\"", 0x8030},
      {"q \"" + archive + "\"", 0x801C},
      {"x -aoa", 0x802B},
      {"x \"" + FSrc + "/a.txt\"", 0x8019},
      {"x \"" + FTemp / "missing.7z" + "\"", 0x8018},
      {"x \"-o" + FTemp / "o" + "/\" \"" + archive + "\" \"nothing\"", 0x8032},
      {"x \"" + archive + "\" \"@" + FTemp / "no-such-list" + "\"", 0x802A},
      {"x -mx=x \"" + archive + "\"", 0x8030},
      {"x \"unbalanced", 0x8034},
  };
  for (const TCase& c : cases) EXPECT_EQ(SevenZipCmd(c.line).code, c.code) << c.line;
}

}  // namespace
