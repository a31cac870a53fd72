// The RAR library through its entries: archives made by the RAR tools list and extract as the
// peer bsdtar extracts them (RAR 4 and 5, solid, links, folders), encrypted members fail by name
// and leave nothing behind, header-encrypted archives and volumes of a set are refused with a
// clear message, hostile names write nothing outside, and packing is refused.
#include <gtest/gtest.h>

#include <vector>

#include "ArchiverApi.h"
#include "ArchiveTestSupport.h"

extern "C" {
int Unrar(HWND wnd, const char* cmdLine, char* output, uint32_t size);
HARC UnrarOpenArchive(HWND wnd, const char* fileName, uint32_t mode);
int UnrarCloseArchive(HARC arc);
int UnrarFindFirst(HARC arc, const char* wildName, INDIVIDUALINFO* info);
int UnrarFindNext(HARC arc, INDIVIDUALINFO* info);
int UnrarCheckArchive(const char* fileName, int mode);
int UnrarExtractMem(HWND wnd, const char* cmdLine, unsigned char* buffer, uint32_t size, void* time, void* attr,
                    uint32_t* written);
int UnrarSetOwnerWindowEx(HWND wnd, ARC_OWNER_CALLBACK callback);
int UnrarKillOwnerWindowEx(HWND wnd);
}

using namespace arc_test;

namespace {


TRun RunUnrar(const std::string& cmdLine) { return RunEntry(Unrar, cmdLine); }

std::string Fixture(const std::string& name) { return std::string(RAR_FIXTURES) + "/" + name; }

std::vector<std::string> ListNames(const std::string& archive) {
  return TListing{UnrarOpenArchive, UnrarFindFirst, UnrarFindNext, UnrarCloseArchive}.Names(archive);
}

class RarLibrary : public ::testing::Test {
 protected:
  std::string Craft(const std::string& name, int mainFlags, const std::vector<std::string>& specs) {
    const std::string path = FTemp / name;
    std::string args = Quote(path) + " " + std::to_string(mainFlags);
    for (const std::string& s : specs) args += " " + Quote(s);
    int status = 0;
    RunShell("python3 " + Quote(TK_MAKE_RAR) + " " + args + " 2>&1", status);
    return status == 0 ? path : std::string();
  }
  TTempDir FTemp;
};

TEST_F(RarLibrary, FixturesListAndExtractAsThePeerDoes) {
  const struct {
    const char* file;
    std::vector<std::string> names;
    std::vector<std::pair<std::string, std::string>> links;
  } cases[] = {
      {"test_read_format_rar.rar",
       {"test.txt", "testlink", "testdir/test.txt", "testdir/", "testemptydir/"},
       {{"testlink", "test.txt"}}},
      {"test_read_format_rar5_multiple_files.rar", {"test1.bin", "test2.bin", "test3.bin", "test4.bin"}, {}},
      {"test_read_format_rar5_solid.rar",
       {"test.bin", "test1.bin", "test2.bin", "test3.bin", "test4.bin", "test5.bin", "test6.bin"},
       {}},
      {"test_read_format_rar5_symlink.rar",
       {"file.txt", "symlink.txt", "dirlink", "dir/"},
       {{"symlink.txt", "file.txt"}, {"dirlink", "dir"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string rar = Fixture(c.file);
    EXPECT_NE(UnrarCheckArchive(rar.c_str(), 0), 0);
    EXPECT_EQ(ListNames(rar), c.names);
    const std::string dest = FTemp / (std::string("ours-") + c.file);
    const TRun run = RunUnrar("-x -u " + Q(rar) + " " + Q(dest + "/"));
    EXPECT_EQ(run.code, 0) << run.output;
    for (const auto& [link, target] : c.links) {
      ASSERT_TRUE(fs::is_symlink(dest + "/" + link)) << link;
      EXPECT_EQ(fs::read_symlink(dest + "/" + link).string(), target);
    }
    if (c.names.back() == "testemptydir/") {
      EXPECT_TRUE(fs::is_directory(dest + "/testemptydir"));
    }
    if (!HaveProgram("bsdtar")) continue;
    const std::string peer = FTemp / (std::string("peer-") + c.file);
    fs::create_directories(peer);
    int status = 0;
    RunShell("bsdtar -xf " + Quote(rar) + " -C " + Quote(peer) + " 2>&1", status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(TreeSignature(dest), TreeSignature(peer));
  }
}

TEST_F(RarLibrary, SolidMembersOneByOneWithoutPathsAndInMemory) {
  const std::string solid = Fixture("test_read_format_rar5_solid.rar");
  const std::string all = FTemp / "all";
  ASSERT_EQ(RunUnrar("-x " + Q(solid) + " " + Q(all + "/")).code, 0);
  // A late member of a solid archive alone: the members before it are decoded, not written.
  const std::string one = FTemp / "one";
  ASSERT_EQ(RunUnrar("-x " + Q(solid) + " " + Q(one + "/") + " test6.bin").code, 0);
  EXPECT_EQ(ReadText(one + "/test6.bin"), ReadText(all + "/test6.bin"));
  EXPECT_EQ(std::distance(fs::directory_iterator(one), {}), 1);

  const std::string rar4 = Fixture("test_read_format_rar.rar");
  const std::string flat = FTemp / "flat";
  ASSERT_EQ(RunUnrar("-e -y -s " + Q(rar4) + " " + Q(flat + "/") + " testdir/test.txt").code, 0);
  EXPECT_TRUE(fs::exists(flat + "/test.txt"));
  EXPECT_FALSE(fs::exists(flat + "/testdir"));

  unsigned char buffer[64] = {};
  uint32_t written = 0;
  const std::string line = "-u " + Q(rar4) + " " + Q("testdir/test.txt");
  EXPECT_EQ(UnrarExtractMem(0, line.c_str(), buffer, sizeof buffer, nullptr, nullptr, &written), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), written), ReadText(flat + "/test.txt"));
  EXPECT_EQ(UnrarExtractMem(0, line.c_str(), buffer, 4, nullptr, nullptr, &written), 0x8033);
}

TEST_F(RarLibrary, EncryptedMembersFailByNameAndLeaveNothing) {
  const std::string rar = Fixture("test_read_format_rar4_encrypted.rar");
  const TRun list = RunUnrar("-l " + Q(rar));
  EXPECT_EQ(list.code, 0);
  EXPECT_NE(list.output.find("b.txt  (encrypted)"), std::string::npos) << list.output;
  const std::string dest = FTemp / "out";
  const TRun run = RunUnrar("-x " + Q(rar) + " " + Q(dest + "/"));
  EXPECT_EQ(run.code, 0x8024);
  EXPECT_NE(run.output.find("b.txt: encrypted member"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("d.txt: encrypted member"), std::string::npos) << run.output;
  // The plain members come out; the encrypted ones leave neither garbage nor temporary files.
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(dest)) left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"a.txt", "c.txt"}));
  unsigned char buffer[64] = {};
  uint32_t written = 0;
  EXPECT_EQ(UnrarExtractMem(0, (Q(rar) + " b.txt").c_str(), buffer, sizeof buffer, nullptr, nullptr, &written),
            0x8024);
  EXPECT_EQ(written, 0u);
}

TEST_F(RarLibrary, EncryptedHeadersAndVolumesAreRefusedClearly) {
  const struct {
    int flags;
    int code;
    const char* says;
  } cases[] = {{0x80, 0x8024, "encrypted RAR archive"}, {0x01, 0x8023, "multi-volume RAR set"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.says);
    const std::string rar = Craft("h" + std::to_string(c.flags) + ".rar", c.flags, {"a.txt|f|text"});
    ASSERT_FALSE(rar.empty());
    const std::string dest = FTemp / ("out" + std::to_string(c.flags));
    const TRun run = RunUnrar("-x " + Q(rar) + " " + Q(dest + "/"));
    EXPECT_EQ(run.code, c.code);
    EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
    EXPECT_FALSE(fs::exists(dest + "/a.txt"));
  }
}

TEST_F(RarLibrary, HostileNamesWriteNothingOutside) {
  const std::string outside = FTemp / "slip-b.txt";
  const std::string rar = Craft("slip.rar", 0,
                                {"ok.txt|f|fine", "../slip-a.txt|f|evil", outside + "|f|evil",
                                 "a/../../slip-c.txt|f|evil", "ln|l|..", "ln/slip-d.txt|f|evil"});
  ASSERT_FALSE(rar.empty());
  ASSERT_EQ(ListNames(rar).size(), 6u);
  const std::string dest = FTemp / "deep/out";
  const TRun run = RunUnrar("-x " + Q(rar) + " " + Q(dest + "/"));
  EXPECT_EQ(run.code, 0x8031) << run.output;
  EXPECT_EQ(ReadText(dest + "/ok.txt"), "fine");
  EXPECT_FALSE(fs::exists(FTemp / "deep/slip-a.txt"));
  EXPECT_FALSE(fs::exists(outside));
  EXPECT_FALSE(fs::exists(FTemp / "slip-c.txt"));
  EXPECT_FALSE(fs::exists(FTemp / "deep/slip-d.txt"));
  EXPECT_TRUE(fs::is_symlink(dest + "/ln"));  // kept as a link, never followed
}

TEST_F(RarLibrary, PackingAndUnknownCommandsAreRefused) {
  const std::string rar = Fixture("test_read_format_rar.rar");
  const struct {
    std::string line;
    int code;
  } cases[] = {
      {"-a " + Q(FTemp / "new.rar") + " " + Q(FTemp.Path() + "/") + " x.txt", 0x8023},
      {"-d " + Q(rar) + " test.txt", 0x8023},
      {"-u " + Q(rar), 0x801C},
      {"-x -k " + Q(rar), 0x8030},
      {"-x " + Q(FTemp / "missing.rar") + " " + Q(FTemp / "o/"), 0x8018},
  };
  for (const auto& c : cases) EXPECT_EQ(RunUnrar(c.line).code, c.code) << c.line;
  EXPECT_FALSE(fs::exists(FTemp / "new.rar"));
  WriteText(FTemp / "not.rar", "plain text");
  EXPECT_EQ(UnrarCheckArchive((FTemp / "not.rar").c_str(), 0), 0);
  EXPECT_EQ(UnrarOpenArchive(0, (FTemp / "not.rar").c_str(), 0x800002), 0u);
}

TEST_F(RarLibrary, ProgressToTheOwnerWindowAndCancel) {
  TProgressWindow log(2);
  ASSERT_NE(UnrarSetOwnerWindowEx(log.Wnd(), nullptr), 0);
  const std::string dest = FTemp / "out";
  EXPECT_EQ(RunUnrar("-x " + Q(Fixture("test_read_format_rar5_multiple_files.rar")) + " " + Q(dest + "/")).code,
            0x8020);
  EXPECT_EQ(log.names, (std::vector<std::string>{"test1.bin", "test2.bin"}));
  EXPECT_TRUE(fs::exists(dest + "/test1.bin"));
  EXPECT_FALSE(fs::exists(dest + "/test2.bin"));
  EXPECT_NE(UnrarKillOwnerWindowEx(log.Wnd()), 0);
}

}  // namespace
