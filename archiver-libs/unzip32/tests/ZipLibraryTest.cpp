// The ZIP reading library through its entries, as the program loads it: names as real writers
// store them, unsafe names, encrypted members, Zip64, methods, modes and times, damaged data,
// progress and cancel, memory extraction; and the LMZIP dialect of LMZIP32.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <vector>

#include "ArchiverApi.h"
#include "ArchiveTestSupport.h"

extern "C" {
int UnZip(HWND wnd, const char* cmdLine, char* output, uint32_t size);
HARC UnZipOpenArchive(HWND wnd, const char* fileName, uint32_t mode);
int UnZipCloseArchive(HARC arc);
int UnZipFindFirst(HARC arc, const char* wildName, INDIVIDUALINFO* info);
int UnZipFindNext(HARC arc, INDIVIDUALINFO* info);
int UnzipGetWriteTimeEx(HARC arc, uint64_t* fileTime);
int UnZipCheckArchive(const char* fileName, int mode);
int UnZipExtractMem(HWND wnd, const char* cmdLine, unsigned char* buffer, uint32_t size, void* time, void* attr,
                    uint32_t* written);
int UnZipSetOwnerWindowEx(HWND wnd, ARC_OWNER_CALLBACK callback);
int UnZipKillOwnerWindowEx(HWND wnd);
}

using namespace arc_test;

namespace {

TRun Unzip(const std::string& cmdLine) { return RunEntry(UnZip, cmdLine); }

std::string ExtractLine(const std::string& archive, const std::string& dest, const std::string& names = "") {
  return "-x -o  \"" + archive + "\" \"" + dest + "/\" " + names;
}

std::vector<std::string> ListNames(const std::string& archive) {
  return arc_test::ListNames({UnZipOpenArchive, UnZipFindFirst, UnZipFindNext, UnZipCloseArchive}, archive);
}

// Archives Python's zipfile writes: names and kinds no peer tool would store.
const char* kMakeZip = R"(
import sys, zipfile, stat
kind, path = sys.argv[1], sys.argv[2]
if kind == "slip":
    with zipfile.ZipFile(path, "w") as z:
        z.writestr("ok.txt", "fine")
        z.writestr("../slip-a.txt", "evil")
        z.writestr("/tmp/slip-b-tkzip.txt", "evil")
        z.writestr("a/../../slip-c.txt", "evil")
        link = zipfile.ZipInfo("ln")
        link.create_system = 3
        link.external_attr = (stat.S_IFLNK | 0o777) << 16
        z.writestr(link, "..")
        z.writestr("ln/slip-d.txt", "evil")
elif kind == "many":
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
        for i in range(70000):
            z.writestr("m/%05d.txt" % i, str(i))
elif kind == "zip64":
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, allowZip64=True) as z:
        with z.open("big.txt", "w", force_zip64=True) as f:
            f.write(b"zip64 member\n" * 1000)
elif kind == "stored":
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
        z.writestr("data.txt", "A" * 4000)
elif kind == "crafted":
    with zipfile.ZipFile(path, "w") as z:
        z.writestr("bell\x07\x1b]0;owned\x07.txt", "name")
        suid = zipfile.ZipInfo("suid.sh")
        suid.create_system = 3
        suid.external_attr = (stat.S_IFREG | 0o4755) << 16
        z.writestr(suid, "#!/bin/sh\n")
elif kind == "methods":
    with zipfile.ZipFile(path, "w") as z:
        z.writestr("deflate.txt", "deflated " * 100, zipfile.ZIP_DEFLATED)
        z.writestr("bzip2.txt", "bzipped " * 100, zipfile.ZIP_BZIP2)
        z.writestr("lzma.txt", "lzma'd " * 100, zipfile.ZIP_LZMA)
        z.writestr("store.txt", "stored", zipfile.ZIP_STORED)
)";

class ZipLibrary : public ::testing::Test {
 protected:
  std::string Make(const std::string& kind) {
    const std::string path = FTemp / (kind + ".zip");
    if (!RunPython(FTemp, kMakeZip, kind + " " + Quote(path))) return {};
    return path;
  }
  TTempDir FTemp;
};

#define REQUIRE_PROGRAM(name) \
  if (!HaveProgram(name)) GTEST_SKIP() << name << " is not installed"

TEST_F(ZipLibrary, Cp932NamesWithoutTheUtf8FlagAndUtf8NamesWithIt) {
  REQUIRE_PROGRAM("bsdtar");
  const std::string src = FTemp / "src";
  WriteText(src + "/日本語ファイル.txt", "jp");
  WriteText(src + "/表/予定.txt", "0x5C second byte");  // 表 is 0x95 0x5C in CP932
  int status = 0;
  RunShell("cd " + Quote(src) + " && bsdtar --format zip --options zip:hdrcharset=CP932 -cf ../win.zip 日本語ファイル.txt 表",
           status);
  ASSERT_EQ(status, 0);
  RunShell("cd " + Quote(src) + " && bsdtar --format zip -cf ../utf8.zip 日本語ファイル.txt 表", status);
  ASSERT_EQ(status, 0);
  const std::vector<std::string> expected = {"日本語ファイル.txt", "表/", "表/予定.txt"};
  EXPECT_EQ(ListNames(FTemp / "win.zip"), expected);
  EXPECT_EQ(ListNames(FTemp / "utf8.zip"), expected);
  for (const char* zip : {"win.zip", "utf8.zip"}) {
    const std::string out = FTemp / (std::string("out-") + zip);
    EXPECT_EQ(Unzip(ExtractLine(FTemp / zip, out)).code, 0) << zip;
    EXPECT_EQ(ReadText(out + "/表/予定.txt"), "0x5C second byte") << zip;
    EXPECT_EQ(ReadText(out + "/日本語ファイル.txt"), "jp") << zip;
  }
}

TEST_F(ZipLibrary, ZipSlipWritesNothingOutsideTheDestination) {
  const std::string zip = Make("slip");
  ASSERT_FALSE(zip.empty()) << "python3 with zipfile needed";
  const std::string dest = FTemp / "sandbox/dest";
  const TRun run = Unzip(ExtractLine(zip, dest));
  EXPECT_EQ(run.code, 0x8031);
  EXPECT_NE(run.output.find("../slip-a.txt"), std::string::npos) << run.output;
  EXPECT_EQ(ReadText(dest + "/ok.txt"), "fine");
  EXPECT_TRUE(fs::is_symlink(dest + "/ln"));  // the link itself is fine, never followed
  int found = 0;
  for (auto& e : fs::recursive_directory_iterator(FTemp.Path()))
    if (e.path().filename().string().starts_with("slip-")) ++found;
  EXPECT_EQ(found, 0);
  EXPECT_FALSE(fs::exists("/tmp/slip-b-tkzip.txt"));
}

TEST_F(ZipLibrary, EncryptedMembersAreReportedAndNeverWritten) {
  REQUIRE_PROGRAM("zip");
  WriteText(FTemp / "secret.txt", "do not show");
  WriteText(FTemp / "plain.txt", "open");
  int status = 0;
  RunShell("cd " + Quote(FTemp.Path()) + " && zip -q -P pw enc.zip secret.txt && zip -q enc.zip plain.txt", status);
  ASSERT_EQ(status, 0);
  const std::string dest = FTemp / "out";
  const TRun run = Unzip(ExtractLine(FTemp / "enc.zip", dest));
  EXPECT_EQ(run.code, 0x8024);
  EXPECT_NE(run.output.find("secret.txt: encrypted member"), std::string::npos) << run.output;
  EXPECT_FALSE(fs::exists(dest + "/secret.txt"));
  EXPECT_EQ(ReadText(dest + "/plain.txt"), "open");
  EXPECT_TRUE(fs::is_empty(dest) == false);
  for (auto& e : fs::directory_iterator(dest)) EXPECT_FALSE(e.path().filename().string().starts_with(".tk"));
}

TEST_F(ZipLibrary, MoreThan65535MembersAndZip64Records) {
  const std::string many = Make("many");
  ASSERT_FALSE(many.empty());
  const std::vector<std::string> names = ListNames(many);
  ASSERT_EQ(names.size(), 70000u);
  EXPECT_EQ(names.back(), "m/69999.txt");
  const std::string dest = FTemp / "out";
  EXPECT_EQ(Unzip(ExtractLine(many, dest, "\"m/69999.txt\"")).code, 0);
  EXPECT_EQ(ReadText(dest + "/m/69999.txt"), "69999");

  const std::string zip64 = Make("zip64");
  HARC h = UnZipOpenArchive(0, zip64.c_str(), 0);
  ASSERT_NE(h, 0u);
  INDIVIDUALINFO info{};
  ASSERT_EQ(UnZipFindFirst(h, "", &info), 0);
  EXPECT_EQ(info.dwOriginalSize, 13000u);
  EXPECT_LT(info.dwCompressedSize, 1000u);  // from the Zip64 record, not the 0xFFFFFFFF marker
  UnZipCloseArchive(h);
  EXPECT_EQ(Unzip(ExtractLine(zip64, dest)).code, 0);
  EXPECT_EQ(fs::file_size(dest + "/big.txt"), 13000u);
}

TEST_F(ZipLibrary, EveryMethodLibarchiveReads) {
  const std::string zip = Make("methods");
  ASSERT_FALSE(zip.empty());
  const std::string dest = FTemp / "out";
  ASSERT_EQ(Unzip(ExtractLine(zip, dest)).code, 0);
  EXPECT_EQ(ReadText(dest + "/bzip2.txt"), [] {
    std::string s;
    for (int i = 0; i < 100; ++i) s += "bzipped ";
    return s;
  }());
  EXPECT_EQ(fs::file_size(dest + "/lzma.txt"), 700u);
  EXPECT_EQ(ReadText(dest + "/store.txt"), "stored");
  HARC h = UnZipOpenArchive(0, zip.c_str(), 0);
  INDIVIDUALINFO info{};
  std::vector<std::string> methods;
  for (int r = UnZipFindFirst(h, "", &info); r == 0; r = UnZipFindNext(h, &info)) methods.emplace_back(info.szMode);
  UnZipCloseArchive(h);
  EXPECT_EQ(methods, (std::vector<std::string>{"deflate", "bzip2", "lzma", "store"}));
}

TEST_F(ZipLibrary, ModeBitsAndTimesRestored) {
  REQUIRE_PROGRAM("zip");
  const std::string src = FTemp / "src";
  WriteText(src + "/run.sh", "#!/bin/sh\n");
  fs::permissions(src + "/run.sh", fs::perms(0750));
  const struct timespec times[2] = {{1600000000, 0}, {1600000000, 0}};
  ::utimensat(AT_FDCWD, (src + "/run.sh").c_str(), times, 0);
  int status = 0;
  RunShell("cd " + Quote(src) + " && zip -q ../m.zip run.sh", status);
  ASSERT_EQ(status, 0);
  const std::string dest = FTemp / "out";
  ASSERT_EQ(Unzip(ExtractLine(FTemp / "m.zip", dest)).code, 0);
  struct stat st {};
  ASSERT_EQ(::stat((dest + "/run.sh").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0750u);
  EXPECT_EQ(st.st_mtim.tv_sec, 1600000000);
  HARC h = UnZipOpenArchive(0, (FTemp / "m.zip").c_str(), 0);
  INDIVIDUALINFO info{};
  ASSERT_EQ(UnZipFindFirst(h, "", &info), 0);
  uint64_t ft = 0;
  EXPECT_NE(UnzipGetWriteTimeEx(h, &ft), 0);
  EXPECT_EQ(ft, (1600000000ULL + 11644473600ULL) * 10000000ULL);
  UnZipCloseArchive(h);
}

// A name cannot drive the terminal the output is shown on, and a recorded set-user-id bit is
// not given to a file whose owner was not restored (it would be a setuid file of the extractor).
TEST_F(ZipLibrary, ControlBytesInNamesArePrintedEscapedAndSetIdBitsNeedTheOwner) {
  const std::string zip = Make("crafted");
  ASSERT_FALSE(zip.empty()) << "python3 with zipfile needed";
  const std::string dest = FTemp / "out";
  const TRun run = Unzip(ExtractLine(zip, dest));
  ASSERT_EQ(run.code, 0) << run.output;
  EXPECT_NE(run.output.find("bell\\x07\\x1b]0;owned\\x07.txt"), std::string::npos) << run.output;
  EXPECT_EQ(run.output.find('\x1b'), std::string::npos);
  EXPECT_EQ(ReadText(dest + "/bell\x07\x1b]0;owned\x07.txt"), "name");
  struct stat st {};
  ASSERT_EQ(::stat((dest + "/suid.sh").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
}

TEST_F(ZipLibrary, DamagedDataLeavesNoFileUnderItsName) {
  const std::string zip = Make("stored");
  ASSERT_FALSE(zip.empty());
  std::string bytes = ReadText(zip);
  const size_t data = bytes.find(std::string(4000, 'A'));
  ASSERT_NE(data, std::string::npos);
  bytes[data + 100] = 'B';
  std::ofstream(zip, std::ios::binary | std::ios::trunc) << bytes;
  const std::string dest = FTemp / "out";
  WriteText(dest + "/data.txt", "the old file");
  const TRun run = Unzip(ExtractLine(zip, dest));
  EXPECT_EQ(run.code, 0x800C) << run.output;
  EXPECT_EQ(ReadText(dest + "/data.txt"), "the old file");  // not replaced by broken data
  EXPECT_EQ(std::distance(fs::directory_iterator(dest), {}), 1);
}

TEST_F(ZipLibrary, ProgressToTheOwnerWindowAndCancel) {
  const std::string zip = Make("methods");
  ASSERT_FALSE(zip.empty());
  TProgressLog log;
  log.stopAfter = 2;
  CurrentProgressLog() = &log;
  const HWND wnd = CreateHiddenWindow(ProgressProc, nullptr);
  ASSERT_NE(UnZipSetOwnerWindowEx(wnd, nullptr), 0);
  const std::string dest = FTemp / "out";
  EXPECT_EQ(Unzip("-x --i  \"" + zip + "\" \"" + dest + "/\" ").code, 0x8020);
  EXPECT_EQ(log.names, (std::vector<std::string>{"deflate.txt", "bzip2.txt"}));
  EXPECT_TRUE(fs::exists(dest + "/deflate.txt"));
  EXPECT_FALSE(fs::exists(dest + "/bzip2.txt"));  // announced, refused, never written
  EXPECT_NE(UnZipKillOwnerWindowEx(wnd), 0);
  log.names.clear();
  EXPECT_EQ(Unzip(ExtractLine(zip, dest)).code, 0);
  EXPECT_TRUE(log.names.empty());  // nothing is sent once the window is removed
  DestroyWindow(wnd);
  CurrentProgressLog() = nullptr;
}

TEST_F(ZipLibrary, MemoryExtractionEscapedNamesAndResponseFiles) {
  const std::string src = FTemp / "src";
  WriteText(src + "/-dash.txt", "dash");
  WriteText(src + "/[b].txt", "bracket");
  const std::string zip = FTemp / "n.zip";
  ASSERT_TRUE(RunPython(FTemp,
                        "import sys, zipfile\n"
                        "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                        "    z.writestr('-dash.txt', 'dash')\n"
                        "    z.writestr('[b].txt', 'bracket')\n"
                        "    z.writestr('other.txt', 'other')\n",
                        Quote(zip)));
  unsigned char buffer[64] = {};
  uint32_t written = 0;
  const std::string memLine = " -o  \"" + zip + "\" \"[[]b].txt\"";
  EXPECT_EQ(UnZipExtractMem(0, memLine.c_str(), buffer, sizeof buffer, nullptr, nullptr, &written), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), written), "bracket");
  EXPECT_EQ(UnZipExtractMem(0, memLine.c_str(), buffer, 3, nullptr, nullptr, &written), 0x8033);

  WriteText(FTemp / "names.txt", "\"[-]dash.txt\"\r\n\"[[]b].txt\"\r\n");
  const std::string dest = FTemp / "out";
  EXPECT_EQ(Unzip("-x  \"" + zip + "\" \"" + dest + "/\" \"@" + FTemp / "names.txt" + "\" ").code, 0);
  EXPECT_EQ(ReadText(dest + "/-dash.txt"), "dash");
  EXPECT_EQ(ReadText(dest + "/[b].txt"), "bracket");
  EXPECT_FALSE(fs::exists(dest + "/other.txt"));
  EXPECT_EQ(Unzip("-x -q \"" + zip + "\"").code, 0x8030);
  EXPECT_NE(UnZipCheckArchive(zip.c_str(), 0), 0);
  EXPECT_EQ(UnZipCheckArchive((FTemp / "names.txt").c_str(), 0), 0);
}

TEST_F(ZipLibrary, LmzipPacksItsDialectAndReadsWithSmallZ) {
  void* lib = dlopen(TIDEKEEP_ARCHIVERS_DIR "/liblmzip32.so", RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  auto zipEntry = reinterpret_cast<ARC_COMMAND>(dlsym(lib, "Zip"));
  auto unzipEntry = reinterpret_cast<ARC_COMMAND>(dlsym(lib, "Unzip"));
  ASSERT_NE(zipEntry, nullptr);
  ASSERT_NE(unzipEntry, nullptr);
  EXPECT_NE(dlsym(lib, "UnzipOpenArchive"), nullptr);
  EXPECT_EQ(dlsym(lib, "UnZipOpenArchive"), nullptr);
  EXPECT_EQ(dlsym(lib, "UnZipSetOwnerWindowEx"), nullptr);
  const std::string src = FTemp / "src";
  WriteText(src + "/a.txt", "a");
  WriteText(src + "/sub/b.txt", "b");
  const std::string zip = FTemp / "lm.zip";
  // Names as given: absolute here, stored without their leading "/".
  const std::string line = "-ru -o  \"" + zip + "\" \"" + src + "\" ";
  char out[4096] = {};
  ASSERT_EQ(zipEntry(0, line.c_str(), out, sizeof out), 0) << out;
  const std::string dest = FTemp / "out";
  const std::string back = "-x  \"" + zip + "\" \"" + dest + "/\" ";
  ASSERT_EQ(unzipEntry(0, back.c_str(), out, sizeof out), 0) << out;
  const std::string stored = dest + src;
  EXPECT_EQ(ReadText(stored + "/sub/b.txt"), "b");
  dlclose(lib);
}

}  // namespace
