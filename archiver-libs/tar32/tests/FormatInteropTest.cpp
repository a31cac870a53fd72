// Interop through tidekeep-arc (component, 7z and TAR drivers, binding, our libraries): archives
// written by 7-Zip, GNU tar and bsdtar extract to the source tree; archives we pack as .7z, .tar,
// .tgz and .tar.bz2 extract identically with 7-Zip, GNU tar and bsdtar; hostile members write
// nothing outside the destination. Each peer's case is skipped when the peer is not installed.
#include <gtest/gtest.h>

#include <cstdio>
#include <span>

#include "ArchiveTestSupport.h"

using namespace arc_test;

namespace {

const std::string kTool = TIDEKEEP_ARC_TOOL;

void MakeTree(const std::string& root) {
  WriteText(root + "/a.txt", "hello\n");
  WriteText(root + "/.dot", "hidden\n");
  WriteText(root + "/sub/empty.txt", "");
  WriteText(root + "/sub/deeper/notes.md", std::string(50000, 'n') + "tail");
  WriteText(root + "/日本語フォルダ/メモ.txt", "日本語のメモ\n");
  WriteText(root + "/表示/予定 表.txt", "space and 0x5C\n");
  WriteText(root + "/" + std::string(110, 'l') + "/" + std::string(120, 'n') + ".txt", "long name\n");
  std::string binary;
  for (int i = 0; i < 70000; ++i) binary += static_cast<char>((i * 7919) % 251);
  WriteText(root + "/bin/data.bin", binary);
  fs::create_symlink("a.txt", root + "/link");
}

std::string Tool(const std::string& args, int& status) { return RunShell(Quote(kTool) + " " + args + " 2>&1", status); }

class FormatInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    FSource = FTemp / "src";
    MakeTree(FSource);
    FWant = TreeSignature(FSource);
  }
  TTempDir FTemp;
  std::string FSource;
  std::string FWant;
};

struct TWriter {
  const char* Program;
  const char* File;
  const char* Command;  // run in the source folder; {arc}: the archive
};
const TWriter kWriters[] = {
    {"7zz", "by7zz.7z", "7zz a -snl {arc} ."},
    {"7zz", "by7zz-ppmd.7z", "7zz a -snl -m0=PPMd -ms=off {arc} ."},
    {"bsdtar", "bybsdtar.7z", "bsdtar --format 7zip -cf {arc} ."},
    {"tar", "bytar.tar", "tar -cf {arc} ."},
    {"tar", "bytar.tgz", "tar -czf {arc} ."},
    {"tar", "bytar.tar.bz2", "tar -cjf {arc} ."},
    {"tar", "bytar-gnu.tar.gz", "tar --format=gnu -czf {arc} ."},
    {"tar", "bytar.tar.xz", "tar -cJf {arc} ."},
    {"bsdtar", "bybsdtar.tar", "bsdtar -cf {arc} ."},
};

TEST_F(FormatInterop, PeersArchivesExtractToTheSourceTree) {
  for (const TWriter& w : kWriters) {
    if (!HaveProgram(w.Program)) {
      std::printf("skipped: %s is not installed\n", w.Program);
      continue;
    }
    const std::string archive = FTemp / w.File;
    int status = 0;
    RunShell("cd " + Quote(FSource) + " && " + Fill(w.Command, Quote(archive), "") + " >/dev/null 2>&1", status);
    ASSERT_EQ(status, 0) << w.File;
    const std::string out = FTemp / (std::string("out-") + w.File);
    const std::string text = Tool("x " + Quote(archive) + " " + Quote(out + "/"), status);
    EXPECT_EQ(status, 0) << w.File << "\n" << text;
    EXPECT_TRUE(TreeSignature(out) == FWant) << w.File;
    const std::string listing = Tool("l " + Quote(archive), status);
    EXPECT_EQ(status, 0) << w.File;
    EXPECT_NE(listing.find("日本語フォルダ/メモ.txt"), std::string::npos) << w.File;
  }
}

struct TReader {
  const char* Program;
  const char* Command;  // {arc}: the archive, {dir}: the folder
};
const TReader kReaders7z[] = {
    {"7zz", "7zz x -y -o{dir} {arc}"},
    {"bsdtar", "mkdir -p {dir} && bsdtar -xf {arc} -C {dir}"},
};
const TReader kReadersTar[] = {
    {"tar", "mkdir -p {dir} && tar -xf {arc} -C {dir}"},
    {"bsdtar", "mkdir -p {dir} && bsdtar -xf {arc} -C {dir}"},
};

TEST_F(FormatInterop, PeersExtractWhatWePack) {
  for (const char* ext : {".7z", ".tar", ".tgz", ".tar.bz2"}) {
    const std::string archive = FTemp / (std::string("ours") + ext);
    int status = 0;
    const std::string text = Tool("a " + Quote(archive) + " " + Quote(FSource + "/") + " a.txt .dot sub 日本語フォルダ 表示 " +
                                      std::string(110, 'l') + " bin link",
                                  status);
    ASSERT_EQ(status, 0) << ext << "\n" << text;
    const bool is7z = std::string(ext) == ".7z";
    for (const TReader& r : is7z ? std::span<const TReader>(kReaders7z) : std::span<const TReader>(kReadersTar)) {
      if (!HaveProgram(r.Program)) {
        std::printf("skipped: %s is not installed\n", r.Program);
        continue;
      }
      const std::string out = FTemp / (std::string("by-") + r.Program + ext);
      RunShell(Fill(r.Command, Quote(archive), Quote(out)) + " >/dev/null 2>&1", status);
      EXPECT_EQ(status, 0) << r.Program << " " << ext;
      EXPECT_TRUE(TreeSignature(out) == FWant) << r.Program << " " << ext;
    }
  }
}

// Absolute names, "..", a link that leads out and a member through it, in a tar and a 7z.
TEST_F(FormatInterop, HostileMembersWriteNothingOutside) {
  if (!HaveProgram("bsdtar")) GTEST_SKIP() << "bsdtar is not installed";
  const std::string outside = FTemp / "outside";
  WriteText(outside + "/victim.txt", "keep");
  const std::string stage = FTemp / "stage";
  WriteText(stage + "/ok.txt", "fine");
  WriteText(stage + "/evil.txt", "evil");
  fs::create_symlink("../../outside", stage + "/lnk");
  for (const char* format : {"ustar", "7zip"}) {
    // 7z has no content probe: the program knows it by its extension.
    const std::string archive = FTemp / (std::string("evil-") + format + (format[0] == '7' ? ".7z" : ".tar"));
    const auto add = [&](const std::string& rename, const std::string& names, bool first) {
      return "bsdtar -P --format " + std::string(format) + (first ? " -cf " : " -rf ") + Quote(archive) +
             " -s '|^evil.txt$|" + rename + "|' " + names;
    };
    // The 7z writer cannot append: its archive carries the link and a member through it only.
    const std::string make = std::string(format) == "7zip"
                                 ? add("lnk/victim.txt", "ok.txt lnk evil.txt", true)
                                 : add("../slip.txt", "ok.txt lnk evil.txt", true) + " && " +
                                       add(outside + "/abs.txt", "evil.txt", false) + " && " +
                                       add("lnk/victim.txt", "evil.txt", false);
    int status = 0;
    RunShell("cd " + Quote(stage) + " && " + make + " >/dev/null 2>&1", status);
    ASSERT_EQ(status, 0) << format;
    const std::string dest = FTemp / (std::string("d/") + format);
    Tool("x " + Quote(archive) + " " + Quote(dest + "/"), status);
    EXPECT_NE(status, 0) << format;  // refused members are reported
    EXPECT_EQ(TreeSignature(outside), "victim.txt\tkeep\n") << format;
    EXPECT_EQ(ReadText(dest + "/ok.txt"), "fine") << format;
    EXPECT_FALSE(fs::exists(FTemp / "d/slip.txt")) << format;
    EXPECT_FALSE(fs::exists(outside + "/abs.txt")) << format;
  }
}

}  // namespace
