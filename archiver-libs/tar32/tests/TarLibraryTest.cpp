// The TAR32 library through its entries, with the command lines the TAR driver builds: the
// archive types, tar's variants (GNU, pax, ustar, long names, sparse files, links) plain and
// compressed, single compressed files, packing read back by GNU tar, hostile members, memory
// extraction, progress and cancel, errors.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <vector>

#include "ArchiveTestSupport.h"

extern "C" {
int Tar(HWND wnd, const char* cmdLine, char* output, uint32_t size);
HARC TarOpenArchive(HWND wnd, const char* fileName, uint32_t mode);
int TarCloseArchive(HARC arc);
int TarFindFirst(HARC arc, const char* wildName, INDIVIDUALINFO* info);
int TarFindNext(HARC arc, INDIVIDUALINFO* info);
int TarGetWriteTimeEx(HARC arc, uint64_t* fileTime);
int TarGetOriginalSizeEx(HARC arc, uint64_t* size);
int TarCheckArchive(const char* fileName, int mode);
int TarGetArchiveType(const char* fileName);
int TarExtractMem(HWND wnd, const char* cmdLine, unsigned char* buffer, uint32_t size, void* time, void* attr,
                  uint32_t* written);
int TarSetOwnerWindowEx(HWND wnd, ARC_OWNER_CALLBACK callback);
int TarKillOwnerWindowEx(HWND wnd);
}

using namespace arc_test;

namespace {

TRun TarCmd(const std::string& cmdLine) { return RunEntry(Tar, cmdLine); }

// What the driver sends to extract everything with paths (TTgz32 adds "-z", TBZ232 "-B").
std::string ExtractLine(const std::string& archive, const std::string& dest, const std::string& sub = "") {
  return "x -I --display-dialog=0 --use-directory=1 " + sub + " -f \"" + archive + "\" -o \"" + dest + "/\" ";
}

std::vector<std::string> ListNames(const std::string& archive) {
  return arc_test::ListNames({TarOpenArchive, TarFindFirst, TarFindNext, TarCloseArchive}, archive);
}

int Shell(const std::string& command) {
  int status = 0;
  RunShell("(" + command + ") >/dev/null 2>&1", status);
  return status;
}

const std::string kLongFolder = std::string(120, 'd') + "/" + std::string(90, 'e');

// Names past ustar's 100 bytes (and past 255 in full), a link of each kind, a sparse file, a
// Japanese name, a dot-file and an empty folder.
void MakeTree(const std::string& root) {
  WriteText(root + "/a.txt", "hello\n");
  WriteText(root + "/sub/deeper/notes.md", std::string(30000, 'n') + "tail");
  WriteText(root + "/" + kLongFolder + "/" + std::string(60, 'f') + ".txt", "long\n");
  WriteText(root + "/日本語/メモ.txt", "日本語のメモ\n");
  WriteText(root + "/.hidden", "dot\n");
  fs::create_directories(root + "/empty");
  fs::create_symlink("a.txt", root + "/link");
  fs::create_hard_link(root + "/a.txt", root + "/hard");
  {
    std::ofstream sparse(root + "/sparse.bin", std::ios::binary);
    sparse.seekp(4 << 20);
    sparse << "end of a sparse file";
  }
}

class TarLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    FSrc = FTemp / "src";
    MakeTree(FSrc);
  }
  TTempDir FTemp;
  std::string FSrc;
};

#define NEED(name) \
  if (!HaveProgram(name)) GTEST_SKIP() << name << " is not installed"

TEST_F(TarLibrary, ArchiveTypesAsTheDriverMapsThem) {
  NEED("tar");
  struct TCase {
    const char* file;
    const char* make;  // shell command run in the source folder; {} is the archive
    int type;
  };
  const std::vector<TCase> cases = {
      {"a.tar", "tar -cf {} .", 1},
      {"a.tgz", "tar -czf {} .", 2},
      {"a.tar.Z", "bsdtar -cZf {} a.txt", 4},
      {"a.tar.bz2", "tar -cjf {} .", 6},
      {"a.tar.xz", "tar -cJf {} .", 1},
      {"a.tar.zst", "tar --zstd -cf {} .", 1},
      {"one.txt.gz", "gzip -c a.txt > {}", 3},
      {"one.txt.bz2", "bzip2 -c a.txt > {}", 7},
      {"plain.txt", "cp a.txt {}", 0},
      {"empty", ": > {}", 0},
      {"one.txt.xz", "xz -c a.txt > {}", 0},
  };
  for (const TCase& c : cases) {
    const std::string archive = FTemp / c.file;
    std::string make = c.make;
    make.replace(make.find("{}"), 2, Quote(archive));
    if (Shell("cd " + Quote(FSrc) + " && " + make) != 0) {
      ADD_FAILURE() << "cannot make " << c.file;
      continue;
    }
    EXPECT_EQ(TarGetArchiveType(archive.c_str()), c.type) << c.file;
    EXPECT_EQ(TarCheckArchive(archive.c_str(), 0), c.type != 0 ? 1 : 0) << c.file;
  }
  EXPECT_EQ(TarGetArchiveType((FTemp / "missing.tar").c_str()), 0);
  EXPECT_EQ(TarGetArchiveType(nullptr), 0);
}

TEST_F(TarLibrary, EveryTarVariantExtractsToTheSourceTree) {
  NEED("tar");
  struct TCase {
    const char* name;
    const char* make;
  };
  const std::vector<TCase> cases = {
      {"gnu.tar", "tar --format=gnu -S -cf {} ."},
      {"pax.tar", "tar --format=pax -S -cf {} ."},
      {"gnu.tgz", "tar --format=gnu -czf {} ."},
      {"pax.tar.bz2", "tar --format=pax -cjf {} ."},
      {"gnu.tar.xz", "tar --format=gnu -cJf {} ."},
      {"bsd.tar", "bsdtar -cf {} ."},
      {"bsd.tar.zst", "bsdtar --zstd -cf {} ."},
  };
  const std::string want = TreeSignature(FSrc);
  for (const TCase& c : cases) {
    const std::string archive = FTemp / c.name;
    std::string make = c.make;
    make.replace(make.find("{}"), 2, Quote(archive));
    if (Shell("cd " + Quote(FSrc) + " && " + make) != 0) {
      ADD_FAILURE() << "cannot make " << c.name;
      continue;
    }
    const std::string dest = FTemp / (std::string("out-") + c.name);
    const TRun r = TarCmd(ExtractLine(archive, dest, "-z"));
    EXPECT_EQ(r.code, 0) << c.name << "\n" << r.output;
    EXPECT_EQ(TreeSignature(dest), want) << c.name;
    struct stat a {}, h {};
    ASSERT_EQ(::lstat((dest + "/a.txt").c_str(), &a), 0) << c.name;
    ASSERT_EQ(::lstat((dest + "/hard").c_str(), &h), 0) << c.name;
    EXPECT_EQ(a.st_ino, h.st_ino) << c.name << ": the hard link is a link again";
  }
}

TEST_F(TarLibrary, WithoutPathsSingleCompressedFilesAndListing) {
  NEED("tar");
  const std::string archive = FTemp / "a.tgz";
  ASSERT_EQ(Shell("cd " + Quote(FSrc) + " && tar -czf " + Quote(archive) + " a.txt sub"), 0);
  const std::string flat = FTemp / "flat";
  const std::string line = "x -I --use-directory=0 -z -f \"" + archive + "\" -o \"" + flat + "/\" \"notes.md\"";
  EXPECT_EQ(TarCmd(line).code, 0);
  EXPECT_TRUE(ReadText(flat + "/notes.md") == ReadText(FSrc + "/sub/deeper/notes.md"));
  EXPECT_FALSE(fs::exists(flat + "/sub"));
  EXPECT_FALSE(fs::exists(flat + "/a.txt"));

  EXPECT_EQ(ListNames(archive), (std::vector<std::string>{"a.txt", "sub/", "sub/deeper/", "sub/deeper/notes.md"}));
  const HARC h = TarOpenArchive(0, archive.c_str(), 0x800002);
  ASSERT_NE(h, 0u);
  INDIVIDUALINFO info{};
  ASSERT_EQ(TarFindFirst(h, "sub/deeper/*", &info), 0);
  EXPECT_EQ(info.dwOriginalSize, 30004u);
  uint64_t size = 0, time = 0;
  EXPECT_NE(TarGetOriginalSizeEx(h, &size), 0);
  EXPECT_EQ(size, 30004u);
  EXPECT_NE(TarGetWriteTimeEx(h, &time), 0);
  EXPECT_NE(time, 0u);
  EXPECT_EQ(TarFindNext(h, &info), -1);
  TarCloseArchive(h);

  const std::string gz = FTemp / "notes.md.gz";
  const std::string bz = FTemp / "notes.md.bz2";
  ASSERT_EQ(Shell("gzip -c " + Quote(FSrc + "/sub/deeper/notes.md") + " > " + Quote(gz)), 0);
  ASSERT_EQ(Shell("bzip2 -c " + Quote(FSrc + "/sub/deeper/notes.md") + " > " + Quote(bz)), 0);
  EXPECT_EQ(ListNames(gz), (std::vector<std::string>{"notes.md"}));
  for (const std::string& single : {gz, bz}) {
    const std::string dest = FTemp / "single";
    fs::remove_all(dest);
    EXPECT_EQ(TarCmd(ExtractLine(single, dest, "-B")).code, 0) << single;
    EXPECT_TRUE(ReadText(dest + "/notes.md") == ReadText(FSrc + "/sub/deeper/notes.md")) << single;
  }
}

// Packing as the three drivers ask for it; GNU tar reads every archive back.
TEST_F(TarLibrary, PackedArchivesReadBackWithGnuTar) {
  NEED("tar");
  fs::remove(FSrc + "/hard");  // every other top-level entry is named below
  WriteText(FTemp / "names.txt", "\"a.txt\"\r\n\"" + kLongFolder + "\"\r\n\"日本語\"\r\n");
  struct TCase {
    const char* name;
    const char* switches;
    const char* magic;  // what file(1) would tell, by the first bytes
  };
  const std::vector<TCase> cases = {
      {"p.tar", "", ""},
      {"p.tgz", "-z9", "\x1f\x8b"},
      {"p.tgz2", "-z", "\x1f\x8b"},
      {"p.tar.bz2", "-B", "BZh"},
  };
  for (const TCase& c : cases) {
    const std::string archive = FTemp / c.name;
    const std::string line = std::string("c -AH ") + c.switches + " -f \"" + archive + "\" -o \"" + FSrc +
                             "/\" \"sub\" \"link\" \"sparse.bin\" \".hidden\" \"empty\" \"@" + (FTemp / "names.txt") +
                             "\"";
    const TRun r = TarCmd(line);
    ASSERT_EQ(r.code, 0) << c.name << "\n" << r.output;
    EXPECT_EQ(ReadText(archive).substr(0, std::strlen(c.magic)), c.magic) << c.name;
    const std::string dest = FTemp / (std::string("gnu-") + c.name);
    fs::create_directories(dest);
    ASSERT_EQ(Shell("tar -xf " + Quote(archive) + " -C " + Quote(dest)), 0) << c.name;
    EXPECT_EQ(TreeSignature(dest), TreeSignature(FSrc)) << c.name;
    EXPECT_EQ(fs::read_symlink(dest + "/link"), "a.txt");
  }
  // Without -AH the dot-files below a named folder stay out; a name that finds nothing is reported.
  WriteText(FSrc + "/sub/.dot", "x");
  const std::string plain = FTemp / "plain.tar";
  const TRun r = TarCmd("c -I -f \"" + plain + "\" -o \"" + FSrc + "/\" \"sub\" \"nothing-here\"");
  EXPECT_EQ(r.code, 0x8032) << r.output;
  const std::vector<std::string> names = ListNames(plain);
  EXPECT_EQ(std::count(names.begin(), names.end(), "sub/deeper/notes.md"), 1);
  EXPECT_EQ(std::count(names.begin(), names.end(), "sub/.dot"), 0);
}

// Members that would land outside the destination: absolute names, "..", a link that leads out
// and a name through it, hard links whose target lies outside.
TEST_F(TarLibrary, HostileMembersWriteNothingOutsideTheDestination) {
  const std::string archive = FTemp / "evil.tar";
  const std::string outside = FTemp / "outside";
  fs::create_directories(outside);
  WriteText(outside + "/victim.txt", "keep");
  ASSERT_TRUE(RunPython(FTemp, R"(
import io, sys, tarfile
def add(t, name, data=b"evil", kind=tarfile.REGTYPE, link=""):
    i = tarfile.TarInfo(name); i.type = kind; i.linkname = link
    i.size = len(data) if kind == tarfile.REGTYPE else 0
    t.addfile(i, io.BytesIO(data) if kind == tarfile.REGTYPE else None)
with tarfile.open(sys.argv[1], "w", format=tarfile.PAX_FORMAT) as t:
    add(t, "ok.txt", b"fine")
    add(t, "../slip-a.txt")
    add(t, sys.argv[2] + "/slip-b.txt")
    add(t, "a/../../slip-c.txt")
    add(t, "up", kind=tarfile.SYMTYPE, link="../outside")
    add(t, "up/victim.txt", b"overwritten")
    add(t, "abs", kind=tarfile.SYMTYPE, link=sys.argv[2])
    add(t, "abs/slip-d.txt")
    add(t, "hl", kind=tarfile.LNKTYPE, link="../outside/victim.txt")
    add(t, "hl2", kind=tarfile.LNKTYPE, link="up/victim.txt")
)", Quote(archive) + " " + Quote(outside)));
  const std::string dest = FTemp / "d/dest";
  const TRun r = TarCmd(ExtractLine(archive, dest));
  EXPECT_EQ(r.code, 0x8031) << r.output;
  EXPECT_EQ(ReadText(dest + "/ok.txt"), "fine");
  EXPECT_EQ(ReadText(outside + "/victim.txt"), "keep");
  EXPECT_EQ(TreeSignature(outside), "victim.txt\tkeep\n");
  EXPECT_EQ(TreeSignature(FTemp / "d"), "dest/\ndest/abs\t-> " + outside + "\ndest/ok.txt\tfine\ndest/up\t-> ../outside\n");
  struct stat st {};
  EXPECT_EQ(::stat((outside + "/victim.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_nlink, 1u);
}

// A damaged archive: what was complete is there, the broken member never under its name.
TEST_F(TarLibrary, TruncatedArchiveLeavesNoPartialFile) {
  NEED("tar");
  WriteText(FSrc + "/big.bin", std::string(300000, 'b'));
  const std::string archive = FTemp / "t.tar";
  ASSERT_EQ(Shell("cd " + Quote(FSrc) + " && tar -cf " + Quote(archive) + " a.txt big.bin"), 0);
  fs::resize_file(archive, 100000);
  const std::string dest = FTemp / "out";
  const TRun r = TarCmd(ExtractLine(archive, dest));
  EXPECT_NE(r.code, 0);
  EXPECT_EQ(ReadText(dest + "/a.txt"), "hello\n");
  EXPECT_FALSE(fs::exists(dest + "/big.bin"));
  for (const auto& e : fs::directory_iterator(dest)) EXPECT_EQ(e.path().filename().string().find(".tk"), std::string::npos);
}

TEST_F(TarLibrary, MemoryExtractionAndErrors) {
  NEED("tar");
  const std::string archive = FTemp / "m.tar.bz2";
  ASSERT_EQ(Shell("cd " + Quote(FSrc) + " && tar -cjf " + Quote(archive) + " ./a.txt ./sub"), 0);
  unsigned char buffer[64] = {};
  uint32_t written = 0;
  const std::string memLine = " -I -B -f \"" + archive + "\" \"a.txt\"";
  EXPECT_EQ(TarExtractMem(0, memLine.c_str(), buffer, sizeof buffer, nullptr, nullptr, &written), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), written), "hello\n");
  EXPECT_EQ(TarExtractMem(0, memLine.c_str(), buffer, 3, nullptr, nullptr, &written), 0x8033);
  const std::string missing = " -f \"" + archive + "\" \"none.txt\"";
  EXPECT_EQ(TarExtractMem(0, missing.c_str(), buffer, sizeof buffer, nullptr, nullptr, &written), 0x8032);

  struct TCase {
    std::string line;
    int code;
  };
  const std::vector<TCase> cases = {
      {"x -q -f \"" + archive + "\"", 0x8030},
      {"x -I -o \"" + FTemp.Path() + "/\"", 0x802B},
      {"x -f", 0x8030},
      {"y -f \"" + archive + "\"", 0x801C},
      {"x -f \"" + FSrc + "/a.txt\"", 0x8019},
      {"x -f \"" + FTemp / "missing.tar" + "\"", 0x8018},
      {"x -f \"" + archive + "\" -o \"" + FTemp / "o" + "/\" \"nothing\"", 0x8032},
      {"x -f \"" + archive + "\" \"@" + FTemp / "no-such-list" + "\"", 0x802A},
      {"x -f \"unbalanced", 0x8034},
  };
  for (const TCase& c : cases) EXPECT_EQ(TarCmd(c.line).code, c.code) << c.line;
}

TEST_F(TarLibrary, ProgressToTheOwnerWindowAndCancel) {
  NEED("tar");
  const std::string archive = FTemp / "p.tgz";
  ASSERT_EQ(Shell("cd " + Quote(FSrc) + " && tar -czf " + Quote(archive) + " a.txt .hidden sparse.bin"), 0);
  TProgressLog log;
  log.stopAfter = 2;
  CurrentProgressLog() = &log;
  const HWND wnd = CreateHiddenWindow(ProgressProc, nullptr);
  ASSERT_NE(TarSetOwnerWindowEx(wnd, nullptr), 0);
  const std::string dest = FTemp / "out";
  EXPECT_EQ(TarCmd(ExtractLine(archive, dest, "-z")).code, 0x8020);
  EXPECT_EQ(log.names, (std::vector<std::string>{"a.txt", ".hidden"}));
  EXPECT_TRUE(fs::exists(dest + "/a.txt"));
  EXPECT_FALSE(fs::exists(dest + "/.hidden"));  // announced, refused, never written
  log.names.clear();
  log.stopAfter = 100;
  EXPECT_EQ(TarCmd("c -AH -z -f \"" + (FTemp / "q.tgz") + "\" -o \"" + FSrc + "/\" \"a.txt\" \"sub\"").code, 0);
  EXPECT_EQ(log.names, (std::vector<std::string>{"a.txt", "sub", "sub/deeper", "sub/deeper/notes.md"}));
  EXPECT_NE(TarKillOwnerWindowEx(wnd), 0);
  log.names.clear();
  EXPECT_EQ(TarCmd(ExtractLine(archive, dest)).code, 0);
  EXPECT_TRUE(log.names.empty());
  DestroyWindow(wnd);
  CurrentProgressLog() = nullptr;
}

}  // namespace
