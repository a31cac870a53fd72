// Packing, testing and extracting on worker threads: an archive packed by many workers is byte
// for byte the one a single worker packs, members are announced in archive order on the
// caller's thread, every peer reads the result, a test or an extraction on many workers reports
// (and writes) as one does, and TIDEKEEP_BACKGROUND lowers the workers' priority only.
#include "Notifier.h"
#include "PeerTools.h"
#include "ReadHook.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <thread>

namespace unlha {
namespace {

using namespace unlha::test;

// Sets an environment variable for a scope, restoring what was there.
class TEnv {
public:
  TEnv(const char* name, const char* value) : FName(name) {
    if (const char* was = std::getenv(name)) FWas = was;
    setenv(name, value, 1);
  }
  ~TEnv() {
    if (FWas)
      setenv(FName, FWas->c_str(), 1);
    else
      unsetenv(FName);
  }
  TEnv(const TEnv&) = delete;
  TEnv& operator=(const TEnv&) = delete;

private:
  const char* FName;
  std::optional<std::string> FWas;
};

std::vector<uint8_t> Bytes(size_t n, uint32_t seed, unsigned symbols) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>('A' + rng() % symbols);
  return v;
}

// Many small members in folders, nothing-to-pack members (empty file and folder, link), data
// that is stored because it does not shrink, and members whose packed data is larger than
// what a waiting member keeps in memory.
void MakeVariedTree(const std::string& base) {
  for (int i = 0; i < 300; ++i)
    WriteFile(base + "/d" + std::to_string(i % 7) + "/f" + std::to_string(i) + ".txt", Bytes(200 + 97u * static_cast<unsigned>(i), static_cast<uint32_t>(i), 4 + i % 20));
  WriteFile(base + "/empty.txt", "");
  fs::create_directories(base + "/emptydir");
  fs::create_symlink("d1/f1.txt", base + "/link");
  WriteFile(base + "/noise.bin", RandomBytes(3 << 20, 7));
  WriteFile(base + "/halves.bin", Bytes(6 << 20, 8, 16)); // about 3 MiB packed
  WriteFile(base + "/quarters.bin", Bytes(3 << 20, 9, 4));
}

std::vector<std::string> gAnnounced;

// Packs base into arc with the given worker count; the member names as announced.
std::vector<std::string> PackWith(const char* threads, const std::string& arc, const std::string& base,
                                  const std::string& method) {
  const TEnv env("TIDEKEEP_LHA_THREADS", threads);
  gAnnounced.clear();
  TNotifier::Instance().SetEnumProc(
      [](void* info) {
        gAnnounced.push_back(static_cast<EXTRACTINGINFOEX64*>(info)->szSourceFileName);
        return 1;
      },
      sizeof(EXTRACTINGINFOEX64));
  const auto r = Command("a -+ -r2 -x1 " + method + " \"" + arc + "\" \"" + base + "/\" \"d0\" \"d1\" \"d2\" \"d3\" \"d4\" \"d5\" \"d6\" "
                         "\"empty.txt\" \"emptydir\" \"link\" \"noise.bin\" \"halves.bin\" \"quarters.bin\"");
  TNotifier::Instance().ClearEnumProc();
  EXPECT_EQ(r.rc, 0) << r.text;
  return gAnnounced;
}

TEST(ParallelPack, ManyWorkersWriteTheBytesOfOneAndEveryPeerReadsThem) {
  TTempDir dir;
  MakeVariedTree(dir / "base");
  fs::create_directories(dir / "out");
  for (const std::string method : {"-o5", "-o7"}) {
    SCOPED_TRACE(method);
    const auto one = PackWith("1", dir / "out/one.lzh", dir / "base", method);
    const auto many = PackWith("4", dir / "out/many.lzh", dir / "base", method);
    const auto bytes = ReadBytes(dir / "out/one.lzh");
    ASSERT_FALSE(bytes.empty());
    EXPECT_TRUE(bytes == ReadBytes(dir / "out/many.lzh")) << "the archives differ";
    std::vector<std::string> stored;
    for (const auto& m : Members(dir / "out/many.lzh")) stored.push_back(m.name);
    EXPECT_EQ(many, one);
    EXPECT_EQ(many, stored) << "announced in archive order";
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir / "out")) names.insert(e.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"many.lzh", "one.lzh"})) << "no spooled data or temporary left";

    struct TPeerCheck {
      const char* tool;
      std::string line;
    };
    for (const TPeerCheck& p : {TPeerCheck{"lhasa", "lhasa t many.lzh"}, TPeerCheck{"7zz", "7zz t many.lzh"},
                                TPeerCheck{"bsdtar", "bsdtar -tf many.lzh"}}) {
      if (!HaveProgram(p.tool)) {
        std::cout << "skipped " << p.tool << ": not installed\n";
        continue;
      }
      const auto run = RunTool(p.line, dir / "out");
      EXPECT_EQ(run.status, 0) << p.tool;
      if (std::string_view(p.tool) == "bsdtar") {
        EXPECT_NE(run.out.find("halves.bin"), std::string::npos) << run.out;
      }
    }
    fs::remove(dir / "out/one.lzh");
    fs::remove(dir / "out/many.lzh");
  }
}

// Twenty small files, f100.txt to f119.txt, packed by two workers; onAnnounce runs as each is
// announced. Small files go to the workers in batches, and a batch is handed out only once it
// is full or the files end: whatever onAnnounce does to a file announced before is done after
// that file's stat and before a worker opens it.
std::function<void(const std::string&)> gOnAnnounce;

TResult PackSmallFiles(const TTempDir& dir, std::vector<std::string>& names) {
  std::string line = "a -+ \"" + dir / "a.lzh" + "\" \"" + dir / "base/\"";
  names.clear();
  for (int i = 0; i < 20; ++i) {
    names.push_back("f" + std::to_string(100 + i) + ".txt");
    WriteFile(dir / ("base/" + names.back()), Bytes(300, static_cast<uint32_t>(i), 6));
    line += " \"" + names.back() + "\"";
  }
  const TEnv env("TIDEKEEP_LHA_THREADS", "2");
  gAnnounced.clear();
  TNotifier::Instance().SetEnumProc(
      [](void* info) {
        gAnnounced.push_back(static_cast<EXTRACTINGINFOEX64*>(info)->szSourceFileName);
        gOnAnnounce(gAnnounced.back());
        return 1;
      },
      sizeof(EXTRACTINGINFOEX64));
  const auto r = Command(line);
  TNotifier::Instance().ClearEnumProc();
  return r;
}

std::vector<std::string> StoredNames(const std::string& archive) {
  std::vector<std::string> stored;
  for (const auto& m : Members(archive)) stored.push_back(m.name);
  return stored;
}

// A file that goes in the middle of a batch is reported alone, in its place among the others,
// which are stored in order.
TEST(ParallelPack, AFileFailingInTheMiddleOfABatchIsReportedAndTheOthersStored) {
  TTempDir dir;
  gOnAnnounce = [&](const std::string& name) {
    if (name == "f111.txt") fs::remove(dir / "base/f110.txt");
  };
  std::vector<std::string> names;
  const auto r = PackSmallFiles(dir, names);
  EXPECT_EQ(r.rc, 0x801A) << r.text;
  EXPECT_EQ(gAnnounced, names) << "every file announced once, in order";
  const size_t failed = r.text.find("f110.txt: skipped: No such file or directory");
  ASSERT_NE(failed, std::string::npos) << r.text;
  EXPECT_LT(r.text.find("f109.txt - "), failed) << r.text;
  EXPECT_GT(r.text.find("f111.txt - "), failed) << r.text;
  std::vector<std::string> expected = names;
  expected.erase(expected.begin() + 10);
  EXPECT_EQ(StoredNames(dir / "a.lzh"), expected);
}

// The stat taken as a file is announced stands for the file a worker opens only while it is the
// same file: one put in its place since is stored with its own size, time and bytes, and a FIFO
// put in its place is reported as no regular file, without waiting for a writer.
TEST(ParallelPack, AFileReplacedAfterItsAnnouncementIsStoredAsItIsNow) {
  TTempDir dir;
  const std::string newer = "a newer, longer file put in the old one's place";
  gOnAnnounce = [&](const std::string& name) {
    if (name == "f111.txt") {
      WriteFile(dir / "base/new.tmp", newer);
      struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
      utimensat(AT_FDCWD, (dir / "base/new.tmp").c_str(), times, 0);
      fs::rename(dir / "base/new.tmp", dir / "base/f110.txt");
    }
    if (name == "f113.txt") {
      fs::remove(dir / "base/f112.txt");
      ASSERT_EQ(mkfifo((dir / "base/f112.txt").c_str(), 0644), 0);
    }
  };
  std::vector<std::string> names;
  const auto r = PackSmallFiles(dir, names);
  EXPECT_EQ(r.rc, 0x801A) << r.text;
  EXPECT_NE(r.text.find("f112.txt: skipped: not a regular file"), std::string::npos) << r.text;
  EXPECT_EQ(r.text.find("changed while it was read"), std::string::npos) << r.text;
  const auto members = Members(dir / "a.lzh");
  ASSERT_EQ(members.size(), 19u);
  EXPECT_EQ(members[10].name, "f110.txt");
  EXPECT_EQ(members[10].originalSize, newer.size());
  EXPECT_EQ(members[10].mtime, 1000000000);
  EXPECT_EQ(members[11].name, "f111.txt");
  ASSERT_EQ(Command("x -+ \"" + dir / "a.lzh" + "\" \"" + dir / "out/\" f110.txt").rc, 0);
  const auto extracted = ReadBytes(dir / "out/f110.txt");
  EXPECT_EQ(std::string(extracted.begin(), extracted.end()), newer);
}

// Sets the soft limit of open files for a scope.
class TOpenFilesLimit {
public:
  explicit TOpenFilesLimit(rlim_t soft) {
    getrlimit(RLIMIT_NOFILE, &FWas);
    rlimit now = FWas;
    now.rlim_cur = std::min(soft, FWas.rlim_max);
    setrlimit(RLIMIT_NOFILE, &now);
  }
  ~TOpenFilesLimit() { setrlimit(RLIMIT_NOFILE, &FWas); }
  TOpenFilesLimit(const TOpenFilesLimit&) = delete;
  TOpenFilesLimit& operator=(const TOpenFilesLimit&) = delete;

private:
  rlimit FWas{};
};

// Many members on their way through the workers at once hold no open file each: thousands of
// empty files (batched, being light) pack within a small limit of open files.
TEST(ParallelPack, ManyEmptyFilesHoldNoFilesOpen) {
  TTempDir dir;
  constexpr int kFiles = 3000;
  for (int i = 0; i < kFiles; ++i) WriteFile(dir / ("base/e/" + std::to_string(i)), "");
  const TEnv env("TIDEKEEP_LHA_THREADS", "2");
  TResult r;
  {
    const TOpenFilesLimit limit(128);
    r = Command("a -+ -r2 -x1 \"" + dir / "a.lzh" + "\" \"" + dir / "base/\" e");
  }
  EXPECT_EQ(r.rc, 0) << r.text.substr(0, 2000);
  const auto members = Members(dir / "a.lzh");
  ASSERT_EQ(members.size(), kFiles + 1u);
  for (const auto& m : members) {
    if (m.IsDirectory()) continue;
    EXPECT_EQ(m.method, "-lh0-");
    EXPECT_EQ(m.originalSize, 0u);
    EXPECT_EQ(m.packedSize, 0u);
  }
  if (HaveProgram("lhasa")) {
    EXPECT_EQ(RunTool("lhasa t a.lzh", dir.Path()).status, 0);
  }
}

size_t Lines(const std::string& text, const std::string& prefix) {
  size_t n = 0;
  const std::string lines = "\n" + text;
  for (size_t at = 0; (at = lines.find("\n" + prefix, at)) != std::string::npos; ++at) ++n;
  return n;
}

// The varied tree under dir/base packed by two workers into dir/a.lzh; the archive's path.
std::string PackedVariedTree(const TTempDir& dir) {
  MakeVariedTree(dir / "base");
  const std::string arc = dir / "a.lzh";
  PackWith("2", arc, dir / "base", "-o5");
  return arc;
}

// A member in the middle is broken; the other members test as intact, in archive order, the
// same with one worker and with four, going on after the failure or stopping at it.
TEST(ParallelTest, ManyWorkersReportAsOne) {
  TTempDir dir;
  const std::string arc = PackedVariedTree(dir);
  auto bytes = ReadBytes(arc);
  const auto members = Members(arc);
  size_t files = 0;
  const TLhaMember* victim = nullptr;
  for (const auto& m : members) {
    if (m.IsDirectory() || m.IsSymlink()) continue;
    ++files;
    if (victim == nullptr && m.name == "d3/f3.txt") victim = &m;
  }
  ASSERT_NE(victim, nullptr);
  bytes[victim->dataOffset + victim->packedSize / 2] ^= 0x55;
  unlha_test::WriteBytes(arc, bytes);
  for (const char* jse : {"-jse1", "-jse0"}) {
    SCOPED_TRACE(jse);
    const std::string line = std::string("t -+ ") + jse + " \"" + arc + "\"";
    TResult one, many;
    {
      const TEnv env("TIDEKEEP_LHA_THREADS", "1");
      one = Command(line);
    }
    {
      const TEnv env("TIDEKEEP_LHA_THREADS", "4");
      many = Command(line);
    }
    EXPECT_NE(many.rc, 0);
    EXPECT_EQ(many.rc, one.rc);
    EXPECT_EQ(many.text, one.text);
    const size_t errorAt = many.text.find("error  d3/f3.txt");
    ASSERT_NE(errorAt, std::string::npos) << many.text;
    EXPECT_LT(many.text.find("OK     d3/f10.txt"), errorAt) << "in archive order";
    if (std::string_view(jse) == "-jse1") {
      EXPECT_EQ(Lines(many.text, "OK     "), files - 1) << many.text;
      EXPECT_NE(many.text.find("OK     quarters.bin"), std::string::npos);
    } else {
      EXPECT_EQ(many.text.find("OK     ", errorAt), std::string::npos) << "nothing tested after the failure";
    }
  }
}

// A cancel from the enumeration callback ends the test there: no member from it on is reported.
TEST(ParallelTest, CancelStopsAtTheMember) {
  TTempDir dir;
  const std::string arc = PackedVariedTree(dir);
  const TEnv env("TIDEKEEP_LHA_THREADS", "4");
  TNotifier::Instance().SetEnumProc(
      [](void* info) { return std::string_view(static_cast<EXTRACTINGINFOEX64*>(info)->szSourceFileName) == "d3/f3.txt" ? 0 : 1; },
      sizeof(EXTRACTINGINFOEX64));
  const auto r = Command("t -+ \"" + arc + "\"");
  TNotifier::Instance().ClearEnumProc();
  EXPECT_EQ(r.rc, 32800);
  EXPECT_NE(r.text.find("OK     d3/f10.txt"), std::string::npos) << r.text;
  EXPECT_EQ(r.text.find("d3/f3.txt"), std::string::npos) << r.text;
  EXPECT_EQ(r.text.find("quarters.bin"), std::string::npos) << r.text;
}

// Every file under root with its bytes, by path below root.
std::map<std::string, std::vector<uint8_t>> FilesUnder(const fs::path& root) {
  std::map<std::string, std::vector<uint8_t>> files;
  if (!fs::exists(root)) return files;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file() && !e.is_symlink()) files[fs::relative(e.path(), root).string()] = ReadBytes(e.path());
  return files;
}

// Members of every size (decoded on the caller, by the workers into memory, streamed to their
// file), one of them broken: four workers write and report what one writes and reports, going
// on after the failure or stopping at it; nothing of the broken member is left.
TEST(ParallelExtract, ManyWorkersWriteAndReportAsOne) {
  TTempDir dir;
  MakeVariedTree(dir / "base");
  WriteFile(dir / "base/d2/big.bin", Bytes(9 << 20, 10, 8)); // more than a worker holds in memory
  const std::string arc = dir / "a.lzh";
  PackWith("2", arc, dir / "base", "-o5");
  auto bytes = ReadBytes(arc);
  const auto members = Members(arc);
  const auto victim = std::find_if(members.begin(), members.end(), [](const TLhaMember& m) { return m.name == "d3/f3.txt"; });
  ASSERT_NE(victim, members.end());
  bytes[victim->dataOffset + victim->packedSize / 2] ^= 0x55;
  unlha_test::WriteBytes(arc, bytes);
  auto want = FilesUnder(dir / "base");
  want.erase("d3/f3.txt");
  for (const char* jse : {"-jse1", "-jse0"}) {
    SCOPED_TRACE(jse);
    TResult one, many;
    for (auto [threads, result] : {std::pair{"1", &one}, std::pair{"4", &many}}) {
      const TEnv env("TIDEKEEP_LHA_THREADS", threads);
      const fs::path out = dir / (std::string("out") + threads + jse);
      fs::create_directories(out);
      *result = Command(std::string("x -+ ") + jse + " \"" + arc + "\" \"" + out.string() + "/\"");
      // The reports name the destination: the same for both.
      for (size_t at; (at = result->text.find(out.string())) != std::string::npos;)
        result->text.replace(at, out.string().size(), "OUT");
      const auto got = FilesUnder(out);
      EXPECT_EQ(got.count("d3/f3.txt"), 0u) << threads << " workers";
      if (std::string_view(jse) == "-jse1") {
        EXPECT_TRUE(got == want) << threads << " workers: " << got.size() << " files, want " << want.size();
      } else {
        EXPECT_LT(got.size(), want.size()) << "nothing after the failure";
        EXPECT_TRUE(got == FilesUnder(dir / "out1-jse0")) << threads << " workers";
      }
    }
    EXPECT_NE(many.rc, 0);
    EXPECT_EQ(many.rc, one.rc);
    EXPECT_TRUE(many.text == one.text) << "four workers:\n" << many.text.substr(0, 2000);
    EXPECT_NE(many.text.find("error  d3/f3.txt"), std::string::npos);
  }
}

// A cancel from the enumeration callback ends an extraction there: the members before it are
// written, it and those after it are not, though the workers had decoded some of them.
TEST(ParallelExtract, CancelStopsAtTheMember) {
  TTempDir dir;
  const std::string arc = PackedVariedTree(dir);
  const TEnv env("TIDEKEEP_LHA_THREADS", "4");
  fs::create_directories(dir / "out");
  gAnnounced.clear();
  TNotifier::Instance().SetEnumProc(
      [](void* info) {
        gAnnounced.push_back(static_cast<EXTRACTINGINFOEX64*>(info)->szSourceFileName);
        return gAnnounced.back() == "d3/f3.txt" ? 0 : 1;
      },
      sizeof(EXTRACTINGINFOEX64));
  const auto r = Command("x -+ \"" + arc + "\" \"" + (dir / "out/") + "\"");
  TNotifier::Instance().ClearEnumProc();
  EXPECT_EQ(r.rc, 32800);
  const auto got = FilesUnder(dir / "out");
  const auto all = FilesUnder(dir / "base");
  for (const auto& name : gAnnounced) {
    if (name == "d3/f3.txt") break;
    if (all.count(name) != 0) {
      EXPECT_TRUE(got.count(name) == 1 && got.at(name) == all.at(name)) << name;
    }
  }
  EXPECT_EQ(got.count("d3/f3.txt"), 0u);
  EXPECT_EQ(got.count("quarters.bin"), 0u);
  EXPECT_NE(got.count("d3/f10.txt"), 0u);
}

// Members too large to be held are written by the caller in their turn; announcing runs only as
// far ahead of the writing as the pool has room (8 jobs for one worker), not through all of them.
TEST(ParallelExtract, AnnouncingStaysNearTheWriting) {
  TTempDir dir;
  constexpr int kFiles = 16;
  const std::string arc = dir / "a.lzh";
  std::string pack = "a -+ -r2 -x1 \"" + arc + "\" \"" + (dir / "base/") + "\"";
  for (int i = 0; i < kFiles; ++i) {
    const std::string name = "big" + std::to_string(100 + i) + ".bin";
    WriteFile(dir / ("base/" + name), Bytes((4 << 20) + 1000, 11, 1));
    pack += " \"" + name + "\"";
  }
  ASSERT_EQ(Command(pack).rc, 0);
  const TEnv env("TIDEKEEP_LHA_THREADS", "1");
  fs::create_directories(dir / "out");
  static std::string out;
  static std::vector<size_t> writtenAtAnnounce;
  out = dir / "out";
  writtenAtAnnounce.clear();
  TNotifier::Instance().SetEnumProc(
      [](void*) {
        size_t n = 0;
        for (const auto& e : fs::directory_iterator(out)) n += e.path().extension() == ".bin";
        writtenAtAnnounce.push_back(n);
        return 1;
      },
      sizeof(EXTRACTINGINFOEX64));
  const auto r = Command("x -+ \"" + arc + "\" \"" + out + "/\"");
  TNotifier::Instance().ClearEnumProc();
  ASSERT_EQ(r.rc, 0) << r.text;
  ASSERT_EQ(writtenAtAnnounce.size(), static_cast<size_t>(kFiles));
  for (size_t i = 0; i < writtenAtAnnounce.size(); ++i)
    EXPECT_GE(writtenAtAnnounce[i] + 10, i) << "member " << i << " announced with " << writtenAtAnnounce[i] << " written";
}

// Bytes this process has read so far (all threads), or -1 when the kernel does not tell.
long long BytesRead() {
  std::ifstream io("/proc/self/io");
  std::string key;
  long long value = 0;
  while (io >> key >> value)
    if (key == "rchar:") return value;
  return -1;
}

// A cancel while a large file is being packed on a worker stops that worker within a few
// pieces: far less than the file is read, and the previous archive stays.
TEST(ParallelPack, CancelStopsTheWorkers) {
  TTempDir dir;
  constexpr size_t kBig = 64 << 20;
  WriteFile(dir / "base/big.bin", Bytes(kBig, 3, 16));
  WriteFile(dir / "base/small.txt", "small");
  ASSERT_EQ(Command("a -+ \"" + dir / "a.lzh" + "\" \"" + dir / "base/\" \"small.txt\"").rc, 0);
  const auto before = ReadBytes(dir / "a.lzh");
  if (BytesRead() < 0) GTEST_SKIP() << "/proc/self/io is not available";
  TNotifier::Instance().SetEnumProc(
      [](void* info) { return std::string_view(static_cast<EXTRACTINGINFOEX64*>(info)->szSourceFileName) == "small.txt" ? 0 : 1; },
      sizeof(EXTRACTINGINFOEX64));
  const long long start = BytesRead();
  const auto r = Command("a -+ \"" + dir / "a.lzh" + "\" \"" + dir / "base/\" \"big.bin\" \"small.txt\"");
  const long long read = BytesRead() - start;
  TNotifier::Instance().ClearEnumProc();
  EXPECT_EQ(r.rc, 32800);
  EXPECT_TRUE(ReadBytes(dir / "a.lzh") == before);
  EXPECT_LT(read, static_cast<long long>(kBig / 4)) << "the worker went on reading after the cancel";
}

struct TPriority {
  int nice = 0;
  int ioprio = 0;
  pid_t tid = 0;
};

TPriority OwnPriority() {
  TPriority p;
  p.tid = static_cast<pid_t>(gettid());
  p.nice = getpriority(PRIO_PROCESS, static_cast<id_t>(p.tid));
  p.ioprio = static_cast<int>(syscall(SYS_ioprio_get, 1 /* IOPRIO_WHO_PROCESS */, p.tid));
  return p;
}

// The priority of the thread that reads a member's file, seen from inside its read.
TEST(ParallelPack, BackgroundLowersTheWorkersOnly) {
  TTempDir dir;
  WriteFile(dir / "base/a.txt", Bytes(100000, 1, 8));
  struct stat st{};
  ASSERT_EQ(stat((dir / "base/a.txt").c_str(), &st), 0);
  const TPriority caller = OwnPriority();
  if (caller.nice >= 10) GTEST_SKIP() << "running at nice " << caller.nice << ": lowering to 10 cannot be seen";
  const int bestEffort7 = (2 << 13) | 7;
  struct TCase {
    const char* background;
    bool lowered;
  };
  for (const TCase& c : {TCase{"1", true}, TCase{"0", false}}) {
    SCOPED_TRACE(c.background);
    const TEnv env("TIDEKEEP_BACKGROUND", c.background);
    std::optional<TPriority> worker;
    AfterFirstRead(st.st_dev, st.st_ino, [&] { worker = OwnPriority(); });
    fs::remove(dir / "a.lzh");
    const auto r = Command("a -+ \"" + dir / "a.lzh" + "\" \"" + dir / "base/\" \"a.txt\"");
    ASSERT_EQ(r.rc, 0) << r.text;
    ASSERT_TRUE(worker.has_value());
    EXPECT_NE(worker->tid, caller.tid) << "packed on a worker";
    EXPECT_EQ(worker->nice, c.lowered ? 10 : caller.nice);
    if (c.lowered) {
      EXPECT_EQ(worker->ioprio, bestEffort7);
    }
    const TPriority after = OwnPriority();
    EXPECT_EQ(after.nice, caller.nice) << "the caller's thread is untouched";
    EXPECT_EQ(after.ioprio, caller.ioprio);
  }
}

} // namespace
} // namespace unlha
