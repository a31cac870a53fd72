// Interop through tidekeep-arc (component, CAB driver, binding and our library): cabinets made
// by gcab extract to the source tree and list their Japanese names; cabinets tidekeep-arc packs
// extract identically with cabextract and gcab; a hostile cabinet writes nothing outside.
// Each peer's case is skipped when the peer is not installed.
#include <gtest/gtest.h>

#include "ArchiveTestSupport.h"

using namespace arc_test;

namespace {

std::string Tool(const std::string& args, int& status) {
  return RunShell(Quote(TIDEKEEP_ARC_TOOL) + " " + args + " 2>&1", status);
}

class CabInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    FSource = FTemp / "src";
    WriteText(FSource + "/a.txt", "hello\n");
    WriteText(FSource + "/.profile", "hidden\n");
    WriteText(FSource + "/sub/empty.txt", "");
    WriteText(FSource + "/sub/deeper/notes.md", std::string(50000, 'n') + "tail");
    WriteText(FSource + "/日本語フォルダ/メモ.txt", "日本語のメモ\n");
    std::string binary;
    for (int i = 0; i < 70000; ++i) binary += static_cast<char>((i * 7919) % 251);
    WriteText(FSource + "/bin/data.bin", binary);
    FWant = TreeSignature(FSource);
  }
  std::string FSource, FWant;
  TTempDir FTemp;
};

TEST_F(CabInterop, GcabCabinetsExtractThroughTheComponent) {
  if (!HaveProgram("gcab")) GTEST_SKIP() << "gcab is not installed";
  for (const std::string compress : {"", "-z"}) {
    SCOPED_TRACE("gcab -c " + compress);
    const std::string cab = FTemp / ("g" + compress + ".cab");
    int status = 0;
    RunShell("cd " + Quote(FSource) + " && gcab -c " + compress + " " + Quote(cab) +
                 " $(find . -type f -printf '%P\\n') 2>&1",
             status);
    ASSERT_EQ(status, 0);
    const std::string out = FTemp / ("out" + compress);
    const std::string text = Tool("x " + Quote(cab) + " " + Quote(out + "/"), status);
    EXPECT_EQ(status, 0) << text;
    EXPECT_EQ(TreeSignature(out), FWant);
    const std::string listing = Tool("l " + Quote(cab), status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(listing.find("日本語フォルダ/メモ.txt"), std::string::npos) << listing;
  }
}

TEST_F(CabInterop, PackedCabinetsExtractIdenticallyWithThePeers) {
  const std::string cab = FTemp / "ours.cab";
  int status = 0;
  const std::string text =
      Tool("a " + Quote(cab) + " " + Quote(FSource + "/") + " a.txt .profile sub 日本語フォルダ bin", status);
  ASSERT_EQ(status, 0) << text;
  const struct {
    const char* peer;
    std::string command;
  } peers[] = {{"cabextract", "cabextract -q -d {dir} {cab}"}, {"gcab", "mkdir -p {dir} && gcab -x -C {dir} {cab}"}};
  for (const auto& p : peers) {
    if (!HaveProgram(p.peer)) continue;
    SCOPED_TRACE(p.peer);
    const std::string dir = FTemp / p.peer;
    std::string command = p.command;
    for (size_t at; (at = command.find("{dir}")) != std::string::npos;) command.replace(at, 5, Quote(dir));
    command.replace(command.find("{cab}"), 5, Quote(cab));
    RunShell(command + " 2>&1", status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(TreeSignature(dir), FWant);
  }
}

TEST_F(CabInterop, HostileCabinetWritesNothingOutside) {
  const std::string cab = FTemp / "slip.cab";
  int status = 0;
  RunShell("python3 " + Quote(TK_MAKE_CAB) + " " + Quote(cab) + " 0 ok.txt '..\\slip-a.txt' 'a\\..\\..\\slip-c.txt' 2>&1",
           status);
  ASSERT_EQ(status, 0);
  const std::string out = FTemp / "deep/out";
  Tool("x " + Quote(cab) + " " + Quote(out + "/"), status);
  EXPECT_NE(status, 0);  // the refused names are a failure, not a silent success
  EXPECT_EQ(ReadText(out + "/ok.txt"), "fine");
  EXPECT_FALSE(fs::exists(FTemp / "deep/slip-a.txt"));
  EXPECT_FALSE(fs::exists(FTemp / "slip-c.txt"));
}

}  // namespace
