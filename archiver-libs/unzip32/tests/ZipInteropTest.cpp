// Interop through tidekeep-arc (component, ZIP driver, binding and our libraries): ZIP archives
// written by Info-ZIP zip, 7-Zip, bsdtar and a CP932 writer extract to the source tree and list
// their Japanese names; archives we pack extract identically with unzip, 7zz and bsdtar.
// Each peer's case is skipped when the peer is not installed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>

#include "ArchiveTestSupport.h"

using namespace arc_test;

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

// The peers' archives, each with the command that writes it from the source folder.
struct TWriter {
  const char* Program;
  const char* Command;  // {arc}: the archive
};
const TWriter kWriters[] = {
    {"zip", "zip -q -r {arc} ."},
    {"7zz", "7zz a -tzip {arc} ."},
    {"bsdtar", "bsdtar --format zip -cf {arc} ."},
    // A Windows-style archive: CP932 name bytes, the UTF-8 flag off.
    {"bsdtar", "bsdtar --format zip --options zip:hdrcharset=CP932 -cf {arc} ."},
};

TEST_F(ZipInterop, PeersArchivesExtractToTheSourceTree) {
  int n = 0;
  for (const TWriter& w : kWriters) {
    if (!HaveProgram(w.Program)) {
      std::printf("skipped: %s is not installed\n", w.Program);
      continue;
    }
    const std::string zip = FTemp / ("peer" + std::to_string(n++) + ".zip");
    Peer(Fill(w.Command, Quote(zip), ""));
    ExpectOursExtracts(zip);
  }
}

// The peers' readers, each with the command that extracts an archive into a folder.
struct TReader {
  const char* Program;
  const char* Command;  // {arc}: the archive, {dir}: the folder
};
const TReader kReaders[] = {
    {"unzip", "unzip -q {arc} -d {dir}"},
    {"7zz", "7zz x -y -o{dir} {arc}"},
    {"bsdtar", "mkdir -p {dir} && bsdtar -xf {arc} -C {dir}"},
};

TEST_F(ZipInterop, PeersExtractOursToTheSourceTree) {
  const std::string zip = PackOurs("ours.zip");
  for (const TReader& r : kReaders) {
    if (!HaveProgram(r.Program)) {
      std::printf("skipped: %s is not installed\n", r.Program);
      continue;
    }
    const std::string out = FTemp / (std::string("by-") + r.Program);
    const std::string command = Fill(r.Command, Quote(zip), Quote(out));
    int status = 0;
    RunShell(command + " >/dev/null 2>&1", status);
    EXPECT_EQ(status, 0) << command;
    EXPECT_EQ(TreeSignature(out), FWant) << r.Program;
  }
  if (HaveProgram("unzip")) {
    int status = 0;
    RunShell("unzip -tq " + Quote(zip), status);
    EXPECT_EQ(status, 0);  // every CRC right
  }
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
