// The CAB library through its entries: cabinets made by gcab extract to their source tree,
// cabinets we pack extract identically with gcab and cabextract, listing and queries, hostile
// member names, packing over an old cabinet, progress and cancel, memory extraction, and the
// commands and cabinets it refuses.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "ArchiverApi.h"
#include "ArchiveTestSupport.h"

extern "C" {
int Cab(HWND wnd, const char* cmdLine, char* output, uint32_t size);
HARC CabOpenArchive(HWND wnd, const char* fileName, uint32_t mode);
int CabCloseArchive(HARC arc);
int CabFindFirst(HARC arc, const char* wildName, INDIVIDUALINFO* info);
int CabFindNext(HARC arc, INDIVIDUALINFO* info);
int CabGetWriteTimeEx(HARC arc, uint64_t* fileTime);
int CabGetOriginalSizeEx(HARC arc, uint64_t* size);
int CabCheckArchive(const char* fileName, int mode);
int CabExtractMem(HWND wnd, const char* cmdLine, unsigned char* buffer, uint32_t size, void* time, void* attr,
                  uint32_t* written);
int CabSetOwnerWindowEx(HWND wnd, ARC_OWNER_CALLBACK callback);
int CabKillOwnerWindowEx(HWND wnd);
}

using namespace arc_test;

namespace {


TRun RunCab(const std::string& cmdLine) { return RunEntry(Cab, cmdLine); }

struct TListed {
  std::string name;
  uint32_t size;
  std::string mode;
};

std::vector<TListed> ListMembers(const std::string& archive) {
  std::vector<TListed> result;
  for (const INDIVIDUALINFO& info : TListing{CabOpenArchive, CabFindFirst, CabFindNext, CabCloseArchive}.List(archive))
    result.push_back({info.szFileName, info.dwOriginalSize, info.szMode});
  return result;
}

class CabLibrary : public ::testing::Test {
 protected:
  // A tree with folders, a Japanese name, a dot-file, an empty file, binary and compressible data.
  std::string MakeTree() {
    const std::string src = FTemp / "src";
    WriteText(src + "/docs/numbers.txt", [] {
      std::string s;
      for (int i = 0; i < 20000; ++i) s += std::to_string(i) + "\n";
      return s;
    }());
    WriteText(src + "/データ/日本語ファイル.txt", "こんにちは、世界\n");
    WriteText(src + "/.profile", "hidden\n");
    WriteText(src + "/empty.txt", "");
    std::string bin(70000, '\0');
    for (size_t i = 0; i < bin.size(); ++i) bin[i] = static_cast<char>((i * 7919) ^ (i >> 3));
    WriteText(src + "/docs/2010/random.bin", bin);
    return src;
  }

  bool Craft(const std::string& path, int flags, const std::vector<std::string>& names) {
    std::string args = Quote(path) + " " + std::to_string(flags);
    for (const std::string& n : names) args += " " + Quote(n);
    int status = 0;
    RunShell("python3 " + Quote(TK_MAKE_CAB) + " " + args + " 2>&1", status);
    return status == 0;
  }

  TTempDir FTemp;
};

TEST_F(CabLibrary, GcabCabinetsExtractToTheSourceTree) {
  if (!HaveProgram("gcab")) GTEST_SKIP() << "gcab is not installed";
  const std::string src = MakeTree();
  for (const std::string compress : {"", "-z"}) {
    SCOPED_TRACE("gcab -c " + compress);
    const std::string cab = FTemp / ("g" + compress + ".cab");
    int status = 0;
    RunShell("cd " + Quote(src) + " && gcab -c " + compress + " " + Quote(cab) +
                 " $(find . -type f -printf '%P\\n') 2>&1",
             status);
    ASSERT_EQ(status, 0);
    EXPECT_NE(CabCheckArchive(cab.c_str(), 0), 0);
    const std::string dest = FTemp / ("out" + compress);
    const TRun run = RunCab("-x -o " + Q(cab) + " " + Q(dest + "/"));
    EXPECT_EQ(run.code, 0) << run.output;
    EXPECT_EQ(TreeSignature(dest), TreeSignature(src));
    const std::string method = compress.empty() ? "stored" : "mszip";
    for (const TListed& m : ListMembers(cab)) EXPECT_EQ(m.mode, method) << m.name;
  }
}

TEST_F(CabLibrary, OurCabinetsExtractIdenticallyWithGcabAndCabextract) {
  const std::string src = MakeTree();
  for (const std::string level : {"", "-m0 "}) {
    SCOPED_TRACE("packing with " + level);
    const std::string cab = FTemp / (level.empty() ? "mszip.cab" : "stored.cab");
    const TRun pack = RunCab("-a -r " + level + Q(cab) + " " + Q(src + "/") + " docs データ .profile empty.txt");
    ASSERT_EQ(pack.code, 0) << pack.output;
    const std::string ours = FTemp / "ours";
    fs::remove_all(ours);
    EXPECT_EQ(RunCab("-x " + Q(cab) + " " + Q(ours + "/")).code, 0);
    EXPECT_EQ(TreeSignature(ours), TreeSignature(src));
    int status = 0;
    if (HaveProgram("cabextract")) {
      const std::string out = FTemp / "cabextract";
      fs::remove_all(out);
      RunShell("cabextract -q -d " + Quote(out) + " " + Quote(cab) + " 2>&1", status);
      EXPECT_EQ(status, 0);
      EXPECT_EQ(TreeSignature(out), TreeSignature(src));
    }
    if (HaveProgram("gcab")) {
      const std::string out = FTemp / "gcab";
      fs::remove_all(out);
      fs::create_directories(out);
      RunShell("gcab -x -C " + Quote(out) + " " + Quote(cab) + " 2>&1", status);
      EXPECT_EQ(status, 0);
      EXPECT_EQ(TreeSignature(out), TreeSignature(src));
    }
  }
}

// A cabinet keeps no Unix modes: files come out as new files would, never writable by everyone.
TEST_F(CabLibrary, ExtractedFilesFollowTheUmask) {
  if (!HaveProgram("gcab")) GTEST_SKIP() << "gcab is not installed";
  WriteText(FTemp / "src/f.txt", "text");
  const std::string cab = FTemp / "m.cab";
  int status = 0;
  RunShell("cd " + Quote(FTemp / "src") + " && gcab -c " + Quote(cab) + " f.txt 2>&1", status);
  ASSERT_EQ(status, 0);
  const mode_t old = ::umask(027);
  const TRun run = RunCab("-x " + Q(cab) + " " + Q(FTemp / "out/"));
  ::umask(old);
  ASSERT_EQ(run.code, 0) << run.output;
  struct stat st {};
  ASSERT_EQ(::stat((FTemp / "out/f.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(CabLibrary, ListingSizesTimesAndTheProbe) {
  const std::string src = FTemp / "src";
  WriteText(src + "/a/one.txt", std::string(5000, 'x'));
  WriteText(src + "/two.txt", "two");
  ASSERT_EQ(::system(("touch -d '2010-06-17 14:35:12' " + Quote(src + "/two.txt")).c_str()), 0);
  const std::string cab = FTemp / "l.cab";
  ASSERT_EQ(RunCab("-a -r " + Q(cab) + " " + Q(src + "/") + " a two.txt").code, 0);
  const HARC h = CabOpenArchive(0, cab.c_str(), 0x800002);
  ASSERT_NE(h, 0u);
  INDIVIDUALINFO info{};
  ASSERT_EQ(CabFindFirst(h, "two.txt", &info), 0);
  EXPECT_STREQ(info.szFileName, "two.txt");
  EXPECT_EQ(info.dwOriginalSize, 3u);
  uint64_t fileTime = 0, size = 0;
  ASSERT_NE(CabGetWriteTimeEx(h, &fileTime), 0);
  EXPECT_EQ(fileTime, (1276785312ull + 11644473600ull) * 10000000ull);
  ASSERT_NE(CabGetOriginalSizeEx(h, &size), 0);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(CabFindNext(h, &info), -1);
  CabCloseArchive(h);
  const std::vector<TListed> all = ListMembers(cab);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].name, "a/one.txt");
  const TRun list = RunCab("-l " + Q(cab));
  EXPECT_NE(list.output.find("a/one.txt"), std::string::npos) << list.output;

  WriteText(FTemp / "not.cab", "plain text, no cabinet");
  EXPECT_EQ(CabCheckArchive((FTemp / "not.cab").c_str(), 0), 0);
  EXPECT_EQ(CabOpenArchive(0, (FTemp / "not.cab").c_str(), 0x800002), 0u);
  EXPECT_EQ(CabOpenArchive(0, (FTemp / "missing.cab").c_str(), 0x800002), 0u);
}

TEST_F(CabLibrary, HostileNamesWriteNothingOutside) {
  const std::string cab = FTemp / "slip.cab";
  ASSERT_TRUE(Craft(cab, 0, {"ok.txt", "..\\slip-a.txt", "\\slip-b.txt", "a\\..\\..\\slip-c.txt"}));
  const std::string dest = FTemp / "deep/out";
  const TRun run = RunCab("-x " + Q(cab) + " " + Q(dest + "/"));
  EXPECT_EQ(run.code, 0x8031) << run.output;
  EXPECT_EQ(ReadText(dest + "/ok.txt"), "fine");
  EXPECT_FALSE(fs::exists(FTemp / "deep/slip-a.txt"));
  EXPECT_FALSE(fs::exists(FTemp / "slip-c.txt"));
  EXPECT_FALSE(fs::exists("/slip-b.txt"));
  EXPECT_EQ(std::distance(fs::recursive_directory_iterator(FTemp / "deep"), {}), 2);  // out and ok.txt

  // One of a multi-volume set: said so, nothing written.
  const std::string spanned = FTemp / "span.cab";
  ASSERT_TRUE(Craft(spanned, 2, {"ok.txt"}));
  const std::string dest2 = FTemp / "span";
  const TRun refused = RunCab("-x " + Q(spanned) + " " + Q(dest2 + "/"));
  EXPECT_EQ(refused.code, 0x8023);
  EXPECT_NE(refused.output.find("multi-volume"), std::string::npos) << refused.output;
  EXPECT_FALSE(fs::exists(dest2 + "/ok.txt"));
}

TEST_F(CabLibrary, PackingOverAnOldCabinetKeepsItsOtherMembers) {
  const std::string src = FTemp / "src";
  WriteText(src + "/keep.txt", "kept");
  WriteText(src + "/change.txt", "old");
  const std::string cab = FTemp / "p.cab";
  ASSERT_EQ(RunCab("-a " + Q(cab) + " " + Q(src + "/") + " keep.txt change.txt").code, 0);
  ::chmod(cab.c_str(), 0640);
  fs::remove(src + "/keep.txt");
  WriteText(src + "/change.txt", "new");
  WriteText(src + "/added.txt", "added");
  ASSERT_EQ(RunCab("-a " + Q(cab) + " " + Q(src + "/") + " change.txt added.txt").code, 0);
  const std::string dest = FTemp / "out";
  ASSERT_EQ(RunCab("-x " + Q(cab) + " " + Q(dest + "/")).code, 0);
  EXPECT_EQ(ReadText(dest + "/keep.txt"), "kept");
  EXPECT_EQ(ReadText(dest + "/change.txt"), "new");
  EXPECT_EQ(ReadText(dest + "/added.txt"), "added");
  EXPECT_EQ(ListMembers(cab).size(), 3u);
  EXPECT_EQ(fs::status(cab).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

  // A name that finds nothing: reported; a link: left out and said so; the rest still packed.
  fs::create_symlink("keep.txt", src + "/link");
  const std::string cab2 = FTemp / "q.cab";
  const TRun partial = RunCab("-a " + Q(cab2) + " " + Q(src + "/") + " link added.txt");
  EXPECT_EQ(partial.code, 0x8023) << partial.output;
  EXPECT_NE(partial.output.find("link"), std::string::npos);
  ASSERT_EQ(ListMembers(cab2).size(), 1u);
  EXPECT_EQ(RunCab("-a " + Q(FTemp / "r.cab") + " " + Q(src + "/") + " nothing-here.txt").code, 0x8032);
  EXPECT_FALSE(fs::exists(FTemp / "r.cab"));
}

TEST_F(CabLibrary, ProgressToTheOwnerWindowAndCancel) {
  const std::string src = FTemp / "src";
  for (const char* n : {"a.txt", "b.txt", "c.txt"}) WriteText(src + "/" + n, n);
  const std::string cab = FTemp / "c.cab";
  TProgressWindow log(100);
  ASSERT_NE(CabSetOwnerWindowEx(log.Wnd(), nullptr), 0);
  ASSERT_EQ(RunCab("-a -i " + Q(cab) + " " + Q(src + "/") + " a.txt b.txt c.txt").code, 0);
  EXPECT_EQ(log.names, (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));

  log.Reset(2);
  const std::string dest = FTemp / "out";
  EXPECT_EQ(RunCab("-x -i " + Q(cab) + " " + Q(dest + "/")).code, 0x8020);
  EXPECT_EQ(log.names, (std::vector<std::string>{"a.txt", "b.txt"}));
  EXPECT_TRUE(fs::exists(dest + "/a.txt"));
  EXPECT_FALSE(fs::exists(dest + "/b.txt"));

  // Cancelled packing leaves the old cabinet as it was and no temporary file.
  log.Reset(1);
  WriteText(src + "/d.txt", "d");
  const std::string before = ReadText(cab);
  EXPECT_EQ(RunCab("-a " + Q(cab) + " " + Q(src + "/") + " d.txt").code, 0x8020);
  EXPECT_EQ(ReadText(cab), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(FTemp.Path()), {}), 3);  // src, c.cab, out
  EXPECT_NE(CabKillOwnerWindowEx(log.Wnd()), 0);
}

TEST_F(CabLibrary, MemoryExtractionAndRefusedCommands) {
  const std::string src = FTemp / "src";
  WriteText(src + "/a/mem.txt", "in memory");
  const std::string cab = FTemp / "m.cab";
  ASSERT_EQ(RunCab("-a -r " + Q(cab) + " " + Q(src + "/") + " a").code, 0);
  unsigned char buffer[64] = {};
  uint32_t written = 0;
  const std::string line = "-o " + Q(cab) + " " + Q("a/mem.txt");
  EXPECT_EQ(CabExtractMem(0, line.c_str(), buffer, sizeof buffer, nullptr, nullptr, &written), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), written), "in memory");
  EXPECT_EQ(CabExtractMem(0, line.c_str(), buffer, 4, nullptr, nullptr, &written), 0x8033);

  const struct {
    std::string line;
    int code;
  } cases[] = {
      {"-f " + Q(cab) + " " + Q(FTemp / "sfx/"), 0x8023},
      {"-x -k " + Q(cab), 0x8030},
      {"-o " + Q(cab), 0x801C},
      {"-x " + Q(FTemp / "missing.cab") + " " + Q(FTemp / "o/"), 0x8018},
      {"-x \"" + cab, 0x8034},
  };
  for (const auto& c : cases) EXPECT_EQ(RunCab(c.line).code, c.code) << c.line;
  // The driver's full switch set with a work folder is accepted.
  const std::string dest = FTemp / "j";
  const TRun run = RunCab("-x -o -i -r " + Q("-h" + FTemp / "work/") + " -j -q " + Q(cab) + " " + Q(dest + "/"));
  EXPECT_EQ(run.code, 0) << run.output;
  EXPECT_EQ(ReadText(dest + "/mem.txt"), "in memory");
}

}  // namespace
