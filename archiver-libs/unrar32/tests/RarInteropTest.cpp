// Interop through tidekeep-arc (component, RAR driver, binding and our library): the archives
// made by the RAR tools list and extract as bsdtar extracts them; the encrypted one fails with a
// clear message and leaves no garbage; a hostile archive writes nothing outside; packing a RAR
// archive is refused.
#include <gtest/gtest.h>

#include "ArchiveTestSupport.h"

using namespace arc_test;

namespace {

std::string Tool(const std::string& args, int& status) {
  return RunShell(Quote(TIDEKEEP_ARC_TOOL) + " " + args + " 2>&1", status);
}

std::string Fixture(const std::string& name) { return std::string(RAR_FIXTURES) + "/" + name; }

class RarInterop : public ::testing::Test {
 protected:
  TTempDir FTemp;
};

TEST_F(RarInterop, FixturesListAndExtractThroughTheComponent) {
  const struct {
    const char* file;
    const char* listed;
  } cases[] = {{"test_read_format_rar.rar", "testdir/test.txt"},
               {"test_read_format_rar5_multiple_files.rar", "test4.bin"},
               {"test_read_format_rar5_solid.rar", "test6.bin"},
               {"test_read_format_rar5_symlink.rar", "symlink.txt"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    int status = 0;
    const std::string listing = Tool("l " + Quote(Fixture(c.file)), status);
    EXPECT_EQ(status, 0) << listing;
    EXPECT_NE(listing.find(c.listed), std::string::npos) << listing;
    const std::string out = FTemp / (std::string("ours-") + c.file);
    const std::string text = Tool("x " + Quote(Fixture(c.file)) + " " + Quote(out + "/"), status);
    EXPECT_EQ(status, 0) << text;
    if (!HaveProgram("bsdtar")) continue;
    const std::string peer = FTemp / (std::string("peer-") + c.file);
    fs::create_directories(peer);
    RunShell("bsdtar -xf " + Quote(Fixture(c.file)) + " -C " + Quote(peer) + " 2>&1", status);
    EXPECT_EQ(TreeSignature(out), TreeSignature(peer));
  }
}

TEST_F(RarInterop, EncryptedArchiveFailsClearly) {
  const std::string out = FTemp / "out";
  int status = 0;
  const std::string text = Tool("x " + Quote(Fixture("test_read_format_rar4_encrypted.rar")) + " " + Quote(out + "/"), status);
  EXPECT_NE(status, 0);
  EXPECT_NE(text.find("encrypted"), std::string::npos) << text;
  EXPECT_FALSE(fs::exists(out + "/b.txt"));
  EXPECT_FALSE(fs::exists(out + "/d.txt"));
}

TEST_F(RarInterop, HostileArchiveWritesNothingOutsideAndPackingIsRefused) {
  const std::string rar = FTemp / "slip.rar";
  int status = 0;
  RunShell("python3 " + Quote(TK_MAKE_RAR) + " " + Quote(rar) +
               " 0 'ok.txt|f|fine' '../slip-a.txt|f|evil' 'ln|l|..' 'ln/slip-d.txt|f|evil' 2>&1",
           status);
  ASSERT_EQ(status, 0);
  const std::string out = FTemp / "deep/out";
  Tool("x " + Quote(rar) + " " + Quote(out + "/"), status);
  EXPECT_NE(status, 0);
  EXPECT_EQ(ReadText(out + "/ok.txt"), "fine");
  EXPECT_FALSE(fs::exists(FTemp / "deep/slip-a.txt"));
  EXPECT_FALSE(fs::exists(FTemp / "deep/slip-d.txt"));

  WriteText(FTemp / "src/a.txt", "a");
  const std::string text = Tool("a " + Quote(FTemp / "new.rar") + " " + Quote(FTemp / "src/") + " a.txt", status);
  EXPECT_NE(status, 0);
  EXPECT_FALSE(fs::exists(FTemp / "new.rar")) << text;
}

}  // namespace
