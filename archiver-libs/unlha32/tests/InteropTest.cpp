// Interop with the peers: archives made by jlha (methods 5, 6, 7; header levels 0, 1, 2) list
// like lhasa lists them and extract byte-identically with tidekeep-lha. Skipped without the peers.
#include <gtest/gtest.h>
#include <iconv.h>
#include <sys/stat.h>
#include <utime.h>

#include <ctime>
#include <filesystem>
#include <map>
#include <random>
#include <regex>
#include <sstream>

#include "TestSupport.h"

using namespace unlha_test;
namespace fs = std::filesystem;

namespace {

const std::string kTool = TIDEKEEP_LHA_TOOL;

// A tree with subfolders, empty files, an empty folder, Japanese names and a 10 MB file; every
// entry stamped with one even second a day ago (MS-DOS stamps have two-second steps).
void MakeTree(const std::string& root, time_t stamp) {
  fs::create_directories(root + "/sub/deeper");
  fs::create_directories(root + "/empty folder");
  fs::create_directories(root + "/日本語フォルダ");
  auto write = [](const std::string& path, const std::string& text) { WriteBytes(path, {text.begin(), text.end()}); };
  write(root + "/a.txt", "hello\n");
  write(root + "/sub/empty.txt", "");
  write(root + "/sub/deeper/notes.md", std::string(5000, 'n') + "tail");
  write(root + "/日本語フォルダ/メモ.txt", "日本語のメモ\n");
  std::mt19937 rng(42);
  const char* words[] = {"backup ", "archive ", "tide ", "keep ", "folder\n", "member ", "LHA "};
  std::string big;
  big.reserve(10 << 20);
  while (big.size() < (10u << 20)) {
    big += words[rng() % 7];
    if (rng() % 100 == 0)
      for (int i = 0; i < 16; ++i) big += static_cast<char>(rng());
  }
  big.resize(10 << 20);
  write(root + "/sub/big.bin", big);
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    struct utimbuf times {stamp, stamp};
    ::utime(e.path().c_str(), &times);
  }
}

struct TEntry {
  uint64_t size = 0;
  std::string stamp;  // as lhasa prints it: month, day and "HH:MM" (recent files)
};

std::string LhasaStyleStamp(const std::string& ymd, const std::string& hms) {
  std::tm tm{};
  std::istringstream in(ymd + " " + hms);
  in >> std::get_time(&tm, "%Y-%m-%d %H:%M:%S");
  char buf[32];
  std::strftime(buf, sizeof buf, "%b %e %H:%M", &tm);
  return buf;
}

// What lhasa shows of a name: each byte outside printable ASCII as "?". Names reach lhasa as
// the archive's Shift_JIS bytes.
std::string LhasaStyleName(const std::string& utf8) {
  iconv_t cd = iconv_open("CP932", "UTF-8");
  std::string in = utf8, out(utf8.size() * 2 + 8, '\0');
  char* ip = in.data();
  char* op = out.data();
  size_t il = in.size(), ol = out.size();
  iconv(cd, &ip, &il, &op, &ol);
  iconv_close(cd);
  out.resize(out.size() - ol);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
  return out;
}

// "tidekeep-lha l": size, packed, ratio, method, date, time, name.
std::map<std::string, TEntry> OurListing(const std::string& text) {
  std::map<std::string, TEntry> out;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream f(line);
    std::string size, packed, ratio, method, ymd, hms;
    if (!(f >> size >> packed >> ratio >> method >> ymd >> hms) || !std::isdigit(static_cast<unsigned char>(size[0])) ||
        method.size() != 5)
      continue;
    std::string name;
    std::getline(f >> std::ws, name);
    out[LhasaStyleName(name)] = {std::stoull(size), LhasaStyleStamp(ymd, hms)};
  }
  return out;
}

// "lhasa l": permissions and ids (fixed width), size, ratio, "Mon dd HH:MM", name.
std::map<std::string, TEntry> LhasaListing(const std::string& text) {
  static const std::regex kLine(R"(^.{10} .{11} *(\d+) +\S+ (\w{3} [ 0-9]\d (?: \d{4}|\d\d:\d\d)) (.*)$)");
  std::map<std::string, TEntry> out;
  std::istringstream lines(text);
  std::string line;
  std::smatch m;
  while (std::getline(lines, line))
    if (std::regex_match(line, m, kLine)) out[m[3].str()] = {std::stoull(m[1].str()), m[2].str()};
  return out;
}

class Interop : public ::testing::TestWithParam<std::string> {
 protected:
  // One tree per process; each test packs it with its own method and header level.
  static void SetUpTestSuite() {
    if (!HaveProgram("jlha") || !HaveProgram("lhasa")) return;
    FDir = new TTempDir();
    FStamp = (std::time(nullptr) - 86400) & ~static_cast<time_t>(1);
    MakeTree(*FDir / "tree", FStamp);
  }
  static void TearDownTestSuite() {
    delete FDir;
    FDir = nullptr;
  }
  void SetUp() override {
    if (!FDir) GTEST_SKIP() << "jlha or lhasa is not installed";
    const std::string& p = GetParam();  // "<level>o<method>"
    FArchive = *FDir / ("h" + p + ".lzh");
    int status = 0;
    RunShell("cd " + Quote(*FDir / "tree") + " && LC_ALL=C.UTF-8 jlha a" + p.substr(0, 1) + "o" + p.substr(2) + "y " +
                 Quote(FArchive) + " * >/dev/null 2>&1",
             status);
    ASSERT_TRUE(fs::exists(FArchive)) << "jlha made no archive";
  }

  static TTempDir* FDir;
  static time_t FStamp;
  std::string FArchive;
};

TTempDir* Interop::FDir = nullptr;
time_t Interop::FStamp = 0;

TEST_P(Interop, ListsAsLhasaDoesAndExtractsByteIdentically) {
  int status = 0;
  std::string ours = RunShell(kTool + " l " + Quote(FArchive), status);
  ASSERT_EQ(status, 0) << ours;
  std::string theirs = RunShell("lhasa l " + Quote(FArchive), status);
  ASSERT_EQ(status, 0);
  auto a = OurListing(ours), b = LhasaListing(theirs);
  ASSERT_EQ(a.size(), b.size()) << ours << theirs;
  EXPECT_GE(a.size(), 9u);
  for (const auto& [name, entry] : b) {
    auto it = a.find(name);
    ASSERT_NE(it, a.end()) << name << "\n" << ours;
    EXPECT_EQ(it->second.size, entry.size) << name;
    EXPECT_EQ(it->second.stamp, entry.stamp) << name;
  }

  std::string dest = *FDir / ("out" + GetParam() + "/");
  std::string text = RunShell(kTool + " x -x1 " + Quote(FArchive) + " " + Quote(dest), status);
  ASSERT_EQ(status, 0) << text;
  std::string diff = RunShell("diff -r " + Quote(*FDir / "tree") + " " + Quote(dest) + " 2>&1", status);
  EXPECT_EQ(status, 0) << diff;
  EXPECT_TRUE(fs::is_directory(dest + "empty folder"));
  EXPECT_TRUE(fs::exists(dest + "日本語フォルダ/メモ.txt"));
  struct stat st {};
  ASSERT_EQ(::stat((dest + "sub/big.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, FStamp);
  text = RunShell(kTool + " t " + Quote(FArchive), status);
  EXPECT_EQ(status, 0) << text;
}

INSTANTIATE_TEST_SUITE_P(Jlha, Interop,
                         ::testing::Values("0o5", "1o5", "2o5", "0o6", "1o6", "2o6", "0o7", "1o7", "2o7"),
                         [](const ::testing::TestParamInfo<std::string>& p) { return "level" + p.param.substr(0, 1) + "_lh" + p.param.substr(2); });

}  // namespace

namespace {

TEST(Tool, QuotesArgumentsAndReportsTheCode) {
  TTempDir dir;
  int status = 0;
  std::string dest = dir / "with space/";
  std::string text = RunShell(kTool + " x -x1 " + Quote(Fixture("level3.lzh")) + " " + Quote(dest) + " 2>&1", status);
  EXPECT_EQ(status, 0) << text;
  EXPECT_TRUE(fs::exists(dest + "dir3/file3.txt"));
  text = RunShell(kTool + " l " + Quote(dir / "missing.lzh") + " 2>&1", status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(text.find("0x8018"), std::string::npos) << text;
}

}  // namespace
