// Interop through tidekeep-arc (component, ZIP driver, binding and our libraries): ZIP archives
// written by Info-ZIP zip, 7-Zip, bsdtar and a CP932 writer extract to the source tree and list
// their Japanese names; archives we pack extract identically with unzip, 7zz and bsdtar.
// Each peer's case is skipped when the peer is not installed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "ZipTestSupport.h"

using namespace zip_test;

namespace {

const std::string kTool = TIDEKEEP_ARC_TOOL;

void MakeTree(const std::string& root) {
  WriteText(root + "/a.txt", "hello\n");
  WriteText(root + "/sub/empty.txt", "");
  WriteText(root + "/sub/deeper/notes.md", std::string(50000, 'n') + "tail");
  WriteText(root + "/日本語フォルダ/メモ.txt", "日本語のメモ\n");
  WriteText(root + "/表示/予定 表.txt", "space and 0x5C\n");
  std::string binary;
  for (int i = 0; i < 70000; ++i) binary += static_cast<char>((i * 7919) % 251);
  WriteText(root + "/bin/data.bin", binary);
}

std::string Tool(const std::string& args, int& status) { return RunShell(Quote(kTool) + " " + args + " 2>&1", status); }

class ZipInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    FSource = FTemp / "src";
    MakeTree(FSource);
    FWant = TreeSignature(FSource);
  }
  // Extracts with tidekeep-arc and compares the tree with the source.
  void ExpectOursExtracts(const std::string& zip) {
    const std::string out = FTemp / ("out-" + fs::path(zip).stem().string());
    int status = 0;
    const std::string text = Tool("x " + Quote(zip) + " " + Quote(out + "/"), status);
    EXPECT_EQ(status, 0) << text;
    EXPECT_EQ(TreeSignature(out), FWant) << zip;
    const std::string listing = Tool("l " + Quote(zip), status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(listing.find("日本語フォルダ/メモ.txt"), std::string::npos) << listing;
    EXPECT_NE(listing.find("表示/予定 表.txt"), std::string::npos) << listing;
  }
  std::string Peer(const std::string& command) {
    int status = 0;
    const std::string text = RunShell("cd " + Quote(FSource) + " && " + command + " >/dev/null 2>&1", status);
    EXPECT_EQ(status, 0) << command << "\n" << text;
    return text;
  }
  std::string PackOurs(const std::string& name) {
    const std::string zip = FTemp / name;
    int status = 0;
    const std::string text =
        Tool("a " + Quote(zip) + " " + Quote(FSource + "/") + " a.txt sub 日本語フォルダ 表示 bin", status);
    EXPECT_EQ(status, 0) << text;
    return zip;
  }

  TTempDir FTemp;
  std::string FSource;
  std::string FWant;
};

#define REQUIRE_PROGRAM(name) \
  if (!HaveProgram(name)) GTEST_SKIP() << name << " is not installed"

TEST_F(ZipInterop, InfoZipWrites) {
  REQUIRE_PROGRAM("zip");
  Peer("zip -q -r " + Quote(FTemp / "info.zip") + " .");
  ExpectOursExtracts(FTemp / "info.zip");
}

TEST_F(ZipInterop, SevenZipWrites) {
  REQUIRE_PROGRAM("7zz");
  Peer("7zz a -tzip " + Quote(FTemp / "7z.zip") + " .");
  ExpectOursExtracts(FTemp / "7z.zip");
}

TEST_F(ZipInterop, BsdtarWrites) {
  REQUIRE_PROGRAM("bsdtar");
  Peer("bsdtar --format zip -cf " + Quote(FTemp / "bsd.zip") + " .");
  ExpectOursExtracts(FTemp / "bsd.zip");
}

TEST_F(ZipInterop, Cp932WriterWithoutTheUtf8Flag) {
  REQUIRE_PROGRAM("bsdtar");
  Peer("bsdtar --format zip --options zip:hdrcharset=CP932 -cf " + Quote(FTemp / "win.zip") + " .");
  ExpectOursExtracts(FTemp / "win.zip");
}

TEST_F(ZipInterop, UnzipReadsOurs) {
  REQUIRE_PROGRAM("unzip");
  const std::string zip = PackOurs("ours.zip");
  int status = 0;
  RunShell("unzip -q " + Quote(zip) + " -d " + Quote(FTemp / "by-unzip"), status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(TreeSignature(FTemp / "by-unzip"), FWant);
  RunShell("unzip -tq " + Quote(zip), status);
  EXPECT_EQ(status, 0);  // every CRC right
}

TEST_F(ZipInterop, SevenZipReadsOurs) {
  REQUIRE_PROGRAM("7zz");
  const std::string zip = PackOurs("ours.zip");
  int status = 0;
  RunShell("7zz x -y -o" + Quote(FTemp / "by-7zz") + " " + Quote(zip) + " >/dev/null", status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(TreeSignature(FTemp / "by-7zz"), FWant);
}

TEST_F(ZipInterop, BsdtarReadsOurs) {
  REQUIRE_PROGRAM("bsdtar");
  const std::string zip = PackOurs("ours.zip");
  fs::create_directories(FTemp / "by-bsdtar");
  int status = 0;
  RunShell("bsdtar -xf " + Quote(zip) + " -C " + Quote(FTemp / "by-bsdtar"), status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(TreeSignature(FTemp / "by-bsdtar"), FWant);
}

TEST_F(ZipInterop, OurRoundTripKeepsModes) {
  fs::permissions(FSource + "/a.txt", fs::perms(0640));
  const std::string zip = PackOurs("ours.zip");
  int status = 0;
  Tool("x " + Quote(zip) + " " + Quote(FTemp / "back/"), status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(TreeSignature(FTemp / "back"), FWant);
  struct stat st {};
  ASSERT_EQ(::stat((FTemp / "back/a.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(ZipInterop, PackingOntoAnExistingZipReplacesIt) {
  const std::string zip = FTemp / "again.zip";
  int status = 0;
  Tool("a " + Quote(zip) + " " + Quote(FSource + "/") + " a.txt", status);
  ASSERT_EQ(status, 0);
  Tool("a " + Quote(zip) + " " + Quote(FSource + "/") + " bin", status);
  ASSERT_EQ(status, 0);
  const std::string listing = Tool("l " + Quote(zip), status);
  EXPECT_EQ(listing.find("a.txt"), std::string::npos) << listing;
  EXPECT_NE(listing.find("bin/data.bin"), std::string::npos) << listing;
}

TEST_F(ZipInterop, FailuresGiveTheLibraryTextAndANonZeroExit) {
  WriteText(FTemp / "not.zip", "this is no archive");
  int status = 0;
  const std::string text = Tool("x " + Quote(FTemp / "not.zip") + " " + Quote(FTemp / "o/"), status);
  EXPECT_NE(status, 0);
  EXPECT_NE(text.find("not an archive"), std::string::npos) << text;
  Tool("l " + Quote(FTemp / "missing.zip"), status);
  EXPECT_NE(status, 0);
}

}  // namespace
