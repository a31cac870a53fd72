// The library through its entries and through tidekeep-arc: archives made by arj (every method
// it offers) extract to the source tree; archives we pack extract identically with arj;
// encrypted, multi-volume and damaged archives are reported with the library's codes and leave
// nothing behind; hostile names write nothing outside the destination.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>

#include "ArchiveTestSupport.h"
#include "ArjCraft.h"
#include "ErrorCodes.h"
#include "EscapedName.h"

extern "C" {
int Unarj(HWND, const char* cmdLine, char* output, uint32_t size);
HARC UnarjOpenArchive(HWND, const char* fileName, uint32_t mode);
int UnarjCloseArchive(HARC arc);
int UnarjFindFirst(HARC arc, const char* wildName, INDIVIDUALINFO* info);
int UnarjFindNext(HARC arc, INDIVIDUALINFO* info);
int UnarjExtractMem(HWND, const char* cmdLine, unsigned char* buffer, uint32_t size, void* time, void* attr,
                    uint32_t* written);
}

using namespace arc_test;
using namespace arj_test;
using arc_test::Q;

namespace {

std::string Tool(const std::string& args, int& status) {
  return RunShell(Quote(TIDEKEEP_ARC_TOOL) + " " + args + " 2>&1", status);
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

arc_test::TRun Command(const std::string& line) { return arc_test::RunEntry(Unarj, line); }

// A tree arj can take: no empty files and no dot-files (arj loops forever on both).
void MakeTree(const std::string& root) {
  std::string text;
  for (int i = 0; i < 4000; ++i) text += "line " + std::to_string(i * 7 % 1000) + " of the tidekeep test tree\n";
  std::string binary(70000, '\0');
  for (size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>((i * 2654435761u) >> 13);
  WriteText(root + "/a.txt", "alpha\n");
  WriteText(root + "/docs/long.txt", text);
  WriteText(root + "/docs/deeper/noise.bin", binary);
  WriteText(root + "/docs/deeper/run.bin", std::string(200000, 'r'));
  WriteText(root + "/one", "1");
}

class ArjLibrary : public ::testing::Test {
 protected:
  TTempDir FTemp;
};

TEST_F(ArjLibrary, ArchivesMadeByArjExtractToTheSourceTree) {
  if (!HaveProgram("arj")) GTEST_SKIP() << "arj is not installed";
  const std::string src = FTemp / "src";
  MakeTree(src);
  for (int method = 0; method <= 4; ++method) {
    SCOPED_TRACE("arj -m" + std::to_string(method));
    const std::string arc = FTemp / ("m" + std::to_string(method) + ".arj");
    int status = 0;
    RunShell("cd " + Quote(src) + " && timeout 60 arj a -y -r -m" + std::to_string(method) + " " + Quote(arc) +
                 " '*' </dev/null >/dev/null 2>&1",
             status);
    ASSERT_EQ(status, 0);
    const std::string out = FTemp / ("out" + std::to_string(method));
    const std::string text = Tool("x " + Quote(arc) + " " + Quote(out + "/"), status);
    EXPECT_EQ(status, 0) << text;
    EXPECT_EQ(TreeSignature(out), TreeSignature(src));
    // arj on Unix stores Unix seconds, not an MS-DOS stamp: the time comes back as it was.
    const auto had = fs::last_write_time(src + "/docs/long.txt");
    const auto got = fs::last_write_time(out + "/docs/long.txt");
    EXPECT_LE(std::chrono::abs(std::chrono::duration_cast<std::chrono::seconds>(got - had)).count(), 1);
    const auto r = Command("t -+ " + Q(arc));
    EXPECT_EQ(r.code, 0) << r.output;
  }
}

TEST_F(ArjLibrary, ArchivesWePackExtractIdenticallyWithArj) {
  const std::string src = FTemp / "src";
  MakeTree(src);
  const std::string arc = FTemp / "ours.arj";
  int status = 0;
  const std::string text = Tool("a " + Quote(arc) + " " + Quote(src + "/") + " a.txt docs one", status);
  ASSERT_EQ(status, 0) << text;
  // Our own reader first, then the peer.
  const std::string ours = FTemp / "ours";
  const auto r = Command("x -+ -x1 -jse1 -jso1 " + Q(arc) + " " + Q(ours + "/"));
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(TreeSignature(ours), TreeSignature(src));
  if (!HaveProgram("arj")) GTEST_SKIP() << "arj is not installed";
  const std::string peer = FTemp / "peer";
  fs::create_directories(peer);
  const std::string said =
      RunShell("cd " + Quote(peer) + " && timeout 60 arj x -y " + Quote(arc) + " </dev/null 2>&1", status);
  EXPECT_EQ(status, 0) << said;
  EXPECT_EQ(TreeSignature(peer), TreeSignature(src));
}

TEST_F(ArjLibrary, AddingReplacesMembersOfTheSameNameAndDeletingRemovesThem) {
  const std::string src = FTemp / "src";
  WriteText(src + "/a.txt", "first");
  WriteText(src + "/b.txt", "kept");
  const std::string arc = FTemp / "t.arj";
  ASSERT_EQ(Command("a -+ " + Q(arc) + " " + Q(src + "/") + " a.txt b.txt").code, 0);
  WriteText(src + "/a.txt", "second");
  ASSERT_EQ(Command("u -+ " + Q(arc) + " " + Q(src + "/") + " a.txt").code, 0);
  const arc_test::TListing listing{UnarjOpenArchive, UnarjFindFirst, UnarjFindNext, UnarjCloseArchive};
  EXPECT_EQ(listing.Names(arc), (std::vector<std::string>{"b.txt", "a.txt"}));
  std::vector<unsigned char> buf(100);
  uint32_t written = 0;
  ASSERT_EQ(UnarjExtractMem(0, (" -+ " + Q(arc) + " " + Q("a.txt")).c_str(), buf.data(), 100, nullptr, nullptr, &written), 0);
  EXPECT_EQ(std::string(buf.begin(), buf.begin() + written), "second");

  ASSERT_EQ(Command("d -+ -jso0 " + Q(arc) + " " + Q("b.*")).code, 0);
  EXPECT_EQ(listing.Names(arc), (std::vector<std::string>{"a.txt"}));
  EXPECT_EQ(Command("d -+ " + Q(arc) + " " + Q("none.txt")).code, arclib::kErrNoMatch);
  EXPECT_EQ(listing.Names(arc), (std::vector<std::string>{"a.txt"}));
}

// The program sends names that cannot travel plainly (a '"', a leading '@') in the escaped form, and
// every name so when extracting without paths: each selects exactly its member, a '*' in it too.
TEST_F(ArjLibrary, EscapedNamesSelectExactlyTheirMember) {
  const std::string arc = FTemp / "names.arj";
  WriteBytes(arc, CraftArchive({Stored("say \"hi\".txt", "quoted"), Stored("@eaDir.txt", "at"),
                                Stored("a*b.txt", "star"), Stored("axb.txt", "other")}));
  struct TCase {
    const char* name;
    const char* content;
  } cases[] = {{"say \"hi\".txt", "quoted"}, {"@eaDir.txt", "at"}, {"a*b.txt", "star"}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = FTemp / "out";
    const auto r = Command("x -+ -x0 -jse1 -jso1 " + Q(arc) + " " + Q(out + "/") + " " + Q(EncodeEscapedName(c.name)));
    ASSERT_EQ(r.code, 0) << r.output;
    std::vector<std::string> written;
    for (const auto& e : fs::directory_iterator(out)) written.push_back(e.path().filename().string());
    EXPECT_EQ(written, std::vector<std::string>{c.name});
    EXPECT_EQ(ReadText(out + "/" + c.name), c.content);
    fs::remove_all(out);

    std::vector<unsigned char> buf(100);
    uint32_t got = 0;
    ASSERT_EQ(UnarjExtractMem(0, (" -+ " + Q(arc) + " " + Q(EncodeEscapedName(c.name))).c_str(), buf.data(), 100,
                              nullptr, nullptr, &got),
              0);
    EXPECT_EQ(std::string(buf.begin(), buf.begin() + got), c.content);
  }
  EXPECT_EQ(Command("x -+ " + Q(arc) + " " + Q(FTemp / "bad/") + " " + Q("@=a%2")).code, arclib::kErrCommandLine);
}

TEST_F(ArjLibrary, UnreadableArchivesAreReportedAndLeaveNothing) {
  TCraftMember garbled = Stored("secret.txt", "garbled bytes");
  garbled.flags |= unarj::kFlagGarbled;
  TCraftMember badCrc = Stored("crc.txt", "content");
  badCrc.crc ^= 1;
  TCraftMember split = Stored("split.txt", "first part");
  split.flags |= unarj::kFlagVolume;
  struct TCase {
    const char* what;
    std::vector<uint8_t> bytes;
    int code;
    const char* file;  // must not exist afterwards
    const char* said;
  } cases[] = {
      {"encrypted member", CraftArchive({garbled}), arclib::kErrEncrypted, "secret.txt", "encrypted"},
      {"data CRC mismatch", CraftArchive({badCrc}), arclib::kErrFileCrc, "crc.txt", "CRC error"},
      {"member split across volumes", CraftArchive({split}), arclib::kErrNotSupport, "split.txt", "volumes"},
      {"one volume of a set", CraftArchive({Stored("v.txt", "v")}, unarj::kFlagVolume), arclib::kErrNotSupport, "v.txt", "multi-volume"},
      {"not an archive", std::vector<uint8_t>(64, 'z'), arclib::kErrNotArcFile, "", "not an ARJ archive"},
      {"empty file", {}, arclib::kErrNotArcFile, "", "not an ARJ archive"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string arc = FTemp / "bad.arj";
    WriteBytes(arc, c.bytes);
    const std::string out = FTemp / "out";
    const auto r = Command("x -+ -x1 -jse1 -jso1 " + Q(arc) + " " + Q(out + "/"));
    EXPECT_EQ(r.code, c.code) << r.output;
    EXPECT_NE(r.output.find(c.said), std::string::npos) << r.output;
    if (fs::exists(out)) {
      for (const auto& e : fs::recursive_directory_iterator(out)) ADD_FAILURE() << "left behind: " << e.path();
    }
    fs::remove_all(out);
  }
}

TEST_F(ArjLibrary, HostileNamesWriteNothingOutsideTheDestination) {
  const std::string outside = FTemp / "outside";
  fs::create_directories(outside);
  fs::create_directories(FTemp / "dest");
  // A link planted below the destination that points outside it.
  fs::create_directory_symlink(outside, FTemp / "dest/link");
  const std::string arc = FTemp / "hostile.arj";
  WriteBytes(arc, CraftArchive({Stored("../escape.txt", "x"), Stored("/tmp/../" + (FTemp / "abs.txt").substr(1), "x"),
                                Stored("a/../../up.txt", "x"), Stored("..\\back.txt", "x"),
                                Stored("link/through.txt", "x"), Stored("fine.txt", "ok")}));
  const auto r = Command("x -+ -x1 -jse1 -jso1 " + Q(arc) + " " + Q(FTemp / "dest/"));
  EXPECT_EQ(r.code, arclib::kErrUnsafeName) << r.output;
  EXPECT_EQ(ReadText(FTemp / "dest/fine.txt"), "ok");
  EXPECT_TRUE(fs::is_empty(outside));
  for (const char* name : {"escape.txt", "abs.txt", "up.txt", "back.txt"}) EXPECT_FALSE(fs::exists(FTemp / name)) << name;
  EXPECT_FALSE(fs::exists(FTemp / "dest/through.txt"));
}

TEST_F(ArjLibrary, ListsWithTheListingEntriesAndRefusesWhatItCannotDo) {
  TCraftMember dir{"docs", {}, 0, 0, 0, unarj::kFlagPathSym, unarj::kTypeDirectory, 0755};
  const std::string arc = FTemp / "l.arj";
  WriteBytes(arc, CraftArchive({dir, Stored("docs/a.txt", "alpha")}));
  const arc_test::TListing listing{UnarjOpenArchive, UnarjFindFirst, UnarjFindNext, UnarjCloseArchive};
  EXPECT_EQ(listing.Names(arc), (std::vector<std::string>{"docs/", "docs/a.txt"}));
  const auto list = Command("l -+ " + Q(arc));
  EXPECT_EQ(list.code, 0);
  EXPECT_NE(list.output.find("docs/a.txt"), std::string::npos) << list.output;
  EXPECT_EQ(Command("f -+ " + Q(arc) + " a.txt").code, arclib::kErrNotSupport);
  EXPECT_EQ(Command("q -+ " + Q(arc)).code, arclib::kErrCommandName);
  EXPECT_EQ(Command("x -+ -bogus " + Q(arc)).code, arclib::kErrSwitch);
  const std::string out = FTemp / "flat";
  ASSERT_EQ(Command("x -+ -x0 -jso1 " + Q(arc) + " " + Q(out + "/")).code, 0);
  EXPECT_EQ(ReadText(out + "/a.txt"), "alpha");
}

}  // namespace
