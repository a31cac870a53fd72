// The pack commands as the program and the tool call them: trees packed with every method
// extract identically with the independent tools; updates keep unchanged members verbatim;
// unreadable, vanishing and cancelled files, a full disk and a killed run never cost the
// previous archive.
#include "ArchiveWriter.h"
#include "Command.h"
#include "ErrorCodes.h"
#include "LhaHeader.h"
#include "Notifier.h"
#include "Output.h"
#include "PackCommands.h"
#include "PeerTools.h"
#include "ReadHook.h"
#include "WinMsg.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

namespace unlha {
namespace {

using namespace unlha::test;

// The program's own pack command line, with the folder recursion the tool uses.
std::string PackLine(const std::string& letter, const std::string& arc, const std::string& base,
                     const std::vector<std::string>& names, const std::string& extra = "") {
  std::string line = letter + " -+ -a1 -c1 -n1 -p1 -x1 -jso0 " + extra + " \"" + arc + "\" \"" + base + "/\"";
  for (const auto& n : names) line += " \"" + n + "\"";
  return line + " ";
}

std::vector<uint8_t> MemberBytes(const std::string& archive, const TLhaMember& m) {
  const auto all = ReadBytes(archive);
  return {all.begin() + static_cast<long>(m.headerOffset), all.begin() + static_cast<long>(m.dataOffset + m.packedSize)};
}

const TLhaMember* Find(const std::vector<TLhaMember>& ms, const std::string& name) {
  for (const auto& m : ms)
    if (m.name == name) return &m;
  return nullptr;
}

void SetTime(const std::string& path, time_t t) {
  const timespec ts[2] = {{t, 0}, {t, 0}};
  utimensat(AT_FDCWD, path.c_str(), ts, AT_SYMLINK_NOFOLLOW);
}

std::string Text(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  static const char* words[] = {"backup ", "archive ", "folder ", "file ", "tide ", "keep ", "\n", "の", "バックアップ "};
  std::string s;
  while (s.size() < n) s += words[rng() % 9];
  return s;
}

// A tree with what backups meet: subfolders, empty files and folders, dot-files, Japanese
// names, links, modes and old times.
void MakeTree(const std::string& base) {
  WriteFile(base + "/a.txt", Text(5000, 1));
  WriteFile(base + "/empty.txt", "");
  WriteFile(base + "/.profile", "dot file\n");
  WriteFile(base + "/日本語のファイル.txt", Text(3000, 2));
  WriteFile(base + "/big.txt", Text(1 << 20, 3));
  WriteFile(base + "/sub/b.txt", Text(20000, 4));
  WriteFile(base + "/sub/deep/c.bin", RandomBytes(50000, 5));
  WriteFile(base + "/sub/.hidden/d.txt", "hidden folder\n");
  fs::create_directories(base + "/emptydir");
  fs::create_directories(base + "/フォルダ");
  fs::create_symlink("sub/b.txt", base + "/link");
  fs::create_symlink("../a.txt", base + "/sub/uplink");
  chmod((base + "/a.txt").c_str(), 0600);
  chmod((base + "/sub/b.txt").c_str(), 0755);
  chmod((base + "/sub").c_str(), 0750);
  // Times last, deepest first, so that writing a child does not move its folder's time.
  std::vector<std::string> all;
  for (const auto& e : fs::recursive_directory_iterator(base)) all.push_back(e.path().string());
  std::sort(all.begin(), all.end(), [](const std::string& x, const std::string& y) { return x.size() > y.size(); });
  time_t t = 1600000000;
  for (const auto& p : all) SetTime(p, t += 3607);
}

const std::vector<std::string> kTopNames = {"a.txt", "empty.txt", ".profile", "日本語のファイル.txt", "big.txt",
                                            "sub", "emptydir", "フォルダ", "link"};

struct TPeer {
  std::string tool;
  std::string extract; // run inside an empty folder; the archive is ../a.lzh
  bool links, modes, times, japanese;
};

// What each tool restores: jlha keeps neither modes, times nor links and reads names as
// Latin-1; 7zz makes neither links nor modes; both turn a link into a folder "name|target".
// lhasa makes links last, after it has set the times of their folders.
const std::vector<TPeer> kPeers = {
    {"lhasa", "lhasa xq ../a.lzh", true, true, true, true},
    {"bsdtar", "bsdtar -xpf ../a.lzh", true, true, true, true},
    {"7zz", "7zz x -y ../a.lzh", false, false, true, true},
    {"jlha", "jlha xq ../a.lzh", false, false, false, false},
};

bool HoldsLink(const fs::path& folder) {
  if (!fs::is_directory(fs::symlink_status(folder))) return false;
  for (const auto& e : fs::directory_iterator(folder))
    if (fs::is_symlink(e.symlink_status())) return true;
  return false;
}

bool IsAscii(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Compares the extracted tree with the source, within what the peer restores.
void ExpectSameTree(const std::string& src, const std::string& got, const TPeer& peer, const std::string& what) {
  std::set<std::string> expected;
  for (const auto& e : fs::recursive_directory_iterator(src)) {
    const std::string rel = e.path().lexically_relative(src).string();
    const auto st = fs::symlink_status(e.path());
    if (fs::is_symlink(st) && !peer.links) continue;
    if (!IsAscii(rel) && !peer.japanese) continue;
    expected.insert(rel);
    const std::string g = got + "/" + rel;
    const auto gst = fs::symlink_status(g);
    ASSERT_TRUE(fs::exists(gst)) << what << ": " << rel << " missing";
    EXPECT_EQ(gst.type(), st.type()) << what << ": " << rel;
    if (fs::is_symlink(st)) {
      EXPECT_EQ(fs::read_symlink(g), fs::read_symlink(e.path())) << what << ": " << rel;
    } else if (fs::is_regular_file(st)) {
      EXPECT_TRUE(ReadBytes(g) == ReadBytes(e.path().string())) << what << ": " << rel << " differs";
    }
    struct stat a{}, b{};
    lstat(e.path().c_str(), &a);
    lstat(g.c_str(), &b);
    if (peer.modes && !fs::is_symlink(st)) {
      EXPECT_EQ(a.st_mode & 07777, b.st_mode & 07777) << what << ": " << rel;
    }
    // lhasa leaves the times of links alone, and a link it makes moves its folder's time.
    if (peer.times && !(peer.tool == "lhasa" && (fs::is_symlink(st) || HoldsLink(e.path())))) {
      EXPECT_EQ(a.st_mtime, b.st_mtime) << what << ": " << rel;
    }
  }
  std::set<std::string> extracted;
  for (const auto& e : fs::recursive_directory_iterator(got)) {
    const std::string rel = e.path().lexically_relative(got).string();
    if (!IsAscii(rel) && !peer.japanese) continue;
    if (!peer.links && rel.find('|') != std::string::npos) continue;
    extracted.insert(rel);
  }
  EXPECT_EQ(extracted, expected) << what;
}

std::string ToolPath() { return (fs::read_symlink("/proc/self/exe").parent_path() / "tidekeep-lha").string(); }

class PackInterop : public ::testing::TestWithParam<std::string> {};

TEST_P(PackInterop, TreeExtractsIdenticallyWithEveryPeer) {
  TTempDir dir;
  MakeTree(dir / "base");
  // Through the command-line tool and the library's command entry, as a user runs it.
  std::string line = ToolPath() + " u -+ -a1 -c1 -n1 -p1 -r2 -x1 -jso0 " + GetParam() + " a.lzh base/";
  for (const auto& n : kTopNames) line += " '" + n + "'";
  const auto r = RunTool(line, dir.Path());
  ASSERT_EQ(r.status, 0) << r.out;
  const auto members = Members(dir / "a.lzh");
  const std::string method = "-lh" + GetParam().substr(2) + "-";
  EXPECT_EQ(Find(members, "big.txt")->method, method);
  EXPECT_EQ(Find(members, "sub/deep/c.bin")->method, "-lh0-") << "random data is stored";
  if (HaveProgram("lhasa")) {
    const auto t = RunTool("lhasa t a.lzh", dir.Path());
    EXPECT_EQ(t.status, 0);
    size_t files = 0;
    for (const auto& m : members) files += !m.IsDirectory() && !m.IsSymlink();
    size_t tested = 0;
    for (size_t at = 0; (at = t.out.find("- Tested", at)) != std::string::npos; ++at) ++tested;
    EXPECT_EQ(tested, files) << t.out;
  }
  for (const auto& peer : kPeers) {
    if (!HaveProgram(peer.tool)) {
      std::printf("skipped %s: not installed\n", peer.tool.c_str());
      continue;
    }
    const std::string out = dir / ("x-" + peer.tool);
    fs::create_directories(out);
    EXPECT_EQ(RunTool(peer.extract, out).status, 0) << peer.tool;
    ExpectSameTree(dir / "base", out, peer, peer.tool + " " + method);
  }
}

INSTANTIATE_TEST_SUITE_P(Methods, PackInterop, ::testing::Values("-o5", "-o6", "-o7"),
                         [](const auto& param) { return "lh" + param.param.substr(2); });

// 100 MB that does not shrink: streamed through the encoder, then stored.
TEST(PackLarge, IncompressibleHundredMegabytesWithEveryMethod) {
  TTempDir dir;
  {
    std::ofstream f(dir / "base/big.bin", std::ios::binary);
    fs::create_directories(dir / "base");
    f.open(dir / "base/big.bin", std::ios::binary);
    uint64_t x = 88172645463325252ull;
    std::vector<uint64_t> block(1 << 17);
    for (int i = 0; i < 100; ++i) {
      for (auto& w : block) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        w = x;
      }
      f.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size() * 8));
    }
  }
  ASSERT_EQ(fs::file_size(dir / "base/big.bin"), 100u << 20);
  for (const char* o : {"-o5", "-o6", "-o7"}) {
    fs::remove(dir / "a.lzh");
    const auto r = Command(PackLine("u", dir / "a.lzh", dir / "base", {"big.bin"}, o));
    ASSERT_EQ(r.rc, 0) << r.text;
    const auto m = Members(dir / "a.lzh");
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].method, "-lh0-");
    EXPECT_EQ(m[0].originalSize, 100u << 20);
    for (const auto& [tool, cmd] : std::vector<std::pair<std::string, std::string>>{
             {"lhasa", "lhasa pq a.lzh | cmp - base/big.bin"},
             {"bsdtar", "bsdtar -xOf a.lzh | cmp - base/big.bin"},
             {"7zz", "7zz x -so a.lzh | cmp - base/big.bin"},
             {"jlha", "rm -rf j && mkdir j && cd j && jlha xq ../a.lzh && cmp big.bin ../base/big.bin && cd .. && rm -rf j"}}) {
      if (!HaveProgram(tool)) continue;
      EXPECT_EQ(RunTool(cmd, dir.Path()).status, 0) << tool << " " << o;
    }
  }
}

TEST(PackUpdate, UnchangedMembersAreCopiedVerbatim) {
  TTempDir dir;
  MakeTree(dir / "base");
  const std::string line = "u -+ -n1 -x1 -jso0 \"" + dir / "a.lzh" + "\" \"" + dir / "base" + "/\" \"a.txt\" \"big.txt\" \"sub/b.txt\"";
  ASSERT_EQ(Command(line).rc, 0);
  const auto first = ReadBytes(dir / "a.lzh");
  const auto m1 = Members(dir / "a.lzh");
  WriteFile(dir / "base/a.txt", "new a\n");
  SetTime(dir / "base/a.txt", 1900000000);
  const auto r = Command(line);
  ASSERT_EQ(r.rc, 0) << r.text;
  EXPECT_EQ(r.text.find("big.txt"), std::string::npos) << "unchanged members are not packed again:\n" << r.text;
  const auto m2 = Members(dir / "a.lzh");
  ASSERT_EQ(m2.size(), 4u) << "a.txt, big.txt, the folder sub and sub/b.txt";
  EXPECT_EQ(m2[0].name, "a.txt") << "a replaced member keeps its place";
  EXPECT_EQ(m2[0].originalSize, 6u);
  for (const char* kept : {"big.txt", "sub", "sub/b.txt"}) {
    const TLhaMember& o = *Find(m1, kept);
    const std::vector<uint8_t> was(first.begin() + static_cast<long>(o.headerOffset),
                                   first.begin() + static_cast<long>(o.dataOffset + o.packedSize));
    EXPECT_EQ(MemberBytes(dir / "a.lzh", *Find(m2, kept)), was) << kept;
  }
  if (HaveProgram("lhasa")) {
    EXPECT_EQ(RunTool("lhasa pq a.lzh a.txt", dir.Path()).out, "new a\n");
  }
}

TEST(PackUpdate, AddReplacesAlwaysFreshenNeverAdds) {
  TTempDir dir;
  WriteFile(dir / "base/a.txt", "a");
  WriteFile(dir / "base/b.txt", "b");
  const std::string arc = dir / "a.lzh", base = dir / "base";
  ASSERT_EQ(Command("u -x1 -jso0 \"" + arc + "\" \"" + base + "/\" \"a.txt\"").rc, 0);
  // Same time, so u keeps it; a replaces it anyway; f does not add b.txt.
  WriteFile(base + "/a.txt", "A2");
  SetTime(base + "/a.txt", Members(arc)[0].mtime);
  ASSERT_EQ(Command("u -x1 -jso0 \"" + arc + "\" \"" + base + "/\" \"a.txt\"").rc, 0);
  EXPECT_EQ(Members(arc)[0].originalSize, 1u);
  ASSERT_EQ(Command("f -c1 -x1 -jso0 \"" + arc + "\" \"" + base + "/\" \"a.txt\" \"b.txt\"").rc, 0);
  EXPECT_EQ(Members(arc).size(), 1u);
  EXPECT_EQ(Members(arc)[0].originalSize, 2u) << "-c1 replaces without comparing times";
  WriteFile(base + "/a.txt", "A33");
  SetTime(base + "/a.txt", Members(arc)[0].mtime);
  ASSERT_EQ(Command("a -x1 -jso0 \"" + arc + "\" \"" + base + "/\" \"a.txt\" \"b.txt\"").rc, 0);
  const auto m = Members(arc);
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0].originalSize, 3u);
  EXPECT_EQ(m[1].name, "b.txt");
}

TEST(PackDelete, RemovesExactlyTheNamedMembers) {
  TTempDir dir;
  MakeTree(dir / "base");
  ASSERT_EQ(Command(PackLine("u", dir / "a.lzh", dir / "base", {"a.txt", "sub/b.txt", "big.txt", "empty.txt"})).rc, 0);
  const auto before = Members(dir / "a.lzh");
  const auto bytes = ReadBytes(dir / "a.lzh");
  const auto r = Command("d -+ -jso0 \"" + dir / "a.lzh" + "\" \"sub/b.txt\" \"empty.txt\"");
  ASSERT_EQ(r.rc, 0) << r.text;
  const auto after = Members(dir / "a.lzh");
  ASSERT_EQ(after.size(), 3u);
  EXPECT_EQ(after[0].name, "a.txt");
  EXPECT_EQ(after[1].name, "sub") << "the folder stays: only the named members go";
  EXPECT_EQ(after[2].name, "big.txt");
  const TLhaMember& big = *Find(before, "big.txt");
  EXPECT_EQ(MemberBytes(dir / "a.lzh", after[2]),
            std::vector<uint8_t>(bytes.begin() + static_cast<long>(big.headerOffset),
                                 bytes.begin() + static_cast<long>(big.dataOffset + big.packedSize)));
  EXPECT_EQ(Command("d -jso0 \"" + dir / "a.lzh" + "\" \"nothing.txt\"").rc, kErrNoMatch);
  EXPECT_EQ(Members(dir / "a.lzh").size(), 3u);
  if (HaveProgram("lhasa")) {
    EXPECT_EQ(RunTool("lhasa t a.lzh", dir.Path()).status, 0);
  }
  // Deleting the last members removes the archive: no LHA tool reads one without members.
  ASSERT_EQ(Command("d -jso0 \"" + dir / "a.lzh" + "\" \"*.txt\" \"sub\"").rc, 0);
  EXPECT_FALSE(fs::exists(dir / "a.lzh"));
}

TEST(PackNames, FoldersDroppedWithX0AndResponseFileRead) {
  TTempDir dir;
  WriteFile(dir / "base/sub/b c.txt", "spaced");
  WriteFile(dir / "base/日本/名前.txt", "japanese");
  WriteFile(dir / "base/sub/b c.txt;foo;$DATA", "a staged named stream");
  WriteFile(dir / "names.txt", "\"sub/b c.txt\"\r\n\"sub/b c.txt;foo;$DATA\"\r\n\"日本/名前.txt\"\r\n");
  ASSERT_EQ(Command("u -+ -x1 -jso0 \"" + dir / "a.lzh" + "\" \"" + dir / "base" + "/\" \"@" + dir / "names.txt" + "\"").rc, 0);
  auto m = Members(dir / "a.lzh");
  ASSERT_EQ(m.size(), 5u);
  EXPECT_EQ(m[0].name, "sub");
  EXPECT_EQ(m[1].name, "sub/b c.txt");
  EXPECT_EQ(m[2].name, "sub/b c.txt;foo;$DATA");
  EXPECT_EQ(m[3].name, "日本");
  EXPECT_EQ(m[4].name, "日本/名前.txt");
  ASSERT_EQ(Command("u -+ -x0 -jso0 \"" + dir / "b.lzh" + "\" \"" + dir / "base" + "/\" \"sub/b c.txt\"").rc, 0);
  EXPECT_EQ(Members(dir / "b.lzh")[0].name, "b c.txt");
  EXPECT_EQ(Command("u -x1 -jso0 \"" + dir / "c.lzh" + "\" \"" + dir / "base" + "/\" \"../names.txt\"").rc, kErrUnsafeName);
}

TEST(PackSwitches, UnknownSwitchesAndCommandsAreRefused) {
  TTempDir dir;
  WriteFile(dir / "base/a.txt", "a");
  const std::string tail = " \"" + dir / "a.lzh" + "\" \"" + dir / "base" + "/\" \"a.txt\"";
  const std::vector<std::pair<std::string, int>> cases = {
      {"u -+ -gm1 -jso0", kErrSwitch}, {"u -o9 -jso0", kErrSwitch}, {"s -jso0", kErrNotSupport}, {"u -o7 -jso0", 0}};
  for (const auto& [head, code] : cases) {
    EXPECT_EQ(Command(head + tail).rc, code) << head;
  }
  EXPECT_EQ(Members(dir / "a.lzh")[0].method, "-lh0-") << "one byte does not shrink";
}

// Owner window of the test: records members and answers with what the test says.
struct TOwner {
  std::vector<std::string> names;
  std::function<LRESULT(const std::string&)> answer = [](const std::string&) { return LRESULT{0}; };
  HWND wnd = 0;
  TOwner() {
    wnd = CreateHiddenWindow(
        [](HWND w, uint32_t msg, WPARAM state, LPARAM info) -> LRESULT {
          auto* self = static_cast<TOwner*>(GetWindowUserData(w));
          if (msg != RegisterWindowMessage(WM_ARCEXTRACT_NAME) || state != ARCEXTRACT_INPROCESS) return 0;
          const std::string name = reinterpret_cast<const EXTRACTINGINFOEX*>(info)->szSourceFileName;
          self->names.push_back(name);
          return self->answer(name);
        },
        this);
    TNotifier::Instance().SetOwner(wnd, nullptr);
  }
  ~TOwner() {
    TNotifier::Instance().KillOwner(wnd);
    DestroyWindow(wnd);
  }
  TOwner(const TOwner&) = delete;
  TOwner& operator=(const TOwner&) = delete;
};

std::vector<std::string> gEnumerated;

TEST(PackProgress, EveryMemberIsAnnouncedAndEnumerated) {
  TTempDir dir;
  MakeTree(dir / "base");
  TOwner owner;
  gEnumerated.clear();
  TNotifier::Instance().SetEnumProc(
      [](void* info) {
        gEnumerated.push_back(static_cast<EXTRACTINGINFOEX64*>(info)->szSourceFileName);
        return 1;
      },
      sizeof(EXTRACTINGINFOEX64));
  const auto r = Command(PackLine("u", dir / "a.lzh", dir / "base", {"a.txt", "sub/b.txt", "empty.txt"}));
  TNotifier::Instance().ClearEnumProc();
  ASSERT_EQ(r.rc, 0) << r.text;
  const std::vector<std::string> expected = {"a.txt", "sub", "sub/b.txt", "empty.txt"};
  EXPECT_EQ(owner.names, expected);
  EXPECT_EQ(gEnumerated, expected);
}

TEST(PackFaults, CancelKeepsThePreviousArchive) {
  TTempDir dir;
  MakeTree(dir / "base");
  ASSERT_EQ(Command(PackLine("u", dir / "a.lzh", dir / "base", {"a.txt"})).rc, 0);
  const auto before = ReadBytes(dir / "a.lzh");
  TOwner owner;
  owner.answer = [](const std::string& name) { return LRESULT{name == "big.txt"}; };
  const auto r = Command(PackLine("u", dir / "a.lzh", dir / "base", {"a.txt", "sub/b.txt", "big.txt"}));
  EXPECT_EQ(r.rc, kErrUserCancel);
  EXPECT_EQ(r.rc, 32800);
  EXPECT_EQ(ReadBytes(dir / "a.lzh"), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 2) << "no temporary left";
}

TEST(PackFaults, FileDeletedWhilePackingIsReportedAndTheRestStored) {
  TTempDir dir;
  MakeTree(dir / "base");
  TOwner owner;
  const std::string victim = dir / "base/sub/b.txt";
  owner.answer = [&](const std::string& name) {
    if (name == "a.txt") fs::remove(victim); // selected, then gone before its turn
    return LRESULT{0};
  };
  const auto r = Command(PackLine("u", dir / "a.lzh", dir / "base", {"a.txt", "sub/b.txt", "big.txt"}));
  EXPECT_NE(r.rc, 0);
  EXPECT_NE(r.text.find("sub/b.txt: skipped: No such file or directory"), std::string::npos) << r.text;
  const auto m = Members(dir / "a.lzh");
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(m[0].name, "a.txt");
  EXPECT_EQ(m[1].name, "sub");
  EXPECT_EQ(m[2].name, "big.txt");
}

// The file is rewritten after the library has read its first chunk: before the read position
// (already stored as it was) and after it (stored as it is now). The member holds exactly the
// bytes read, its CRC matches them, and the change is noted.
TEST(PackFaults, FileRewrittenWhilePackedIsStoredConsistently) {
  if (!HaveProgram("lhasa")) GTEST_SKIP() << "lhasa is not installed";
  TTempDir dir;
  const std::string path = dir / "base/busy.txt";
  const std::string original = Text(8 << 20, 11);
  const std::string head(4096, 'H'), tail(4096, 'T');
  constexpr off_t kTailAt = 6 << 20;
  std::string asRead = original;
  asRead.replace(static_cast<size_t>(kTailAt), tail.size(), tail);
  for (const char* o : {"-o5", "-o7"}) {
    SCOPED_TRACE(o);
    fs::remove(dir / "a.lzh");
    WriteFile(path, original);
    SetTime(path, 1600000000);  // the rewrite moves the time whatever the clock's grain
    struct stat st{};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    bool rewritten = false;
    AfterFirstRead(st.st_dev, st.st_ino, [&] {
      const int fd = open(path.c_str(), O_WRONLY);
      rewritten = pwrite(fd, head.data(), head.size(), 0) == static_cast<ssize_t>(head.size()) &&
                  pwrite(fd, tail.data(), tail.size(), kTailAt) == static_cast<ssize_t>(tail.size());
      close(fd);
    });
    const auto r = Command(PackLine("u", dir / "a.lzh", dir / "base", {"busy.txt"}, o));
    ASSERT_TRUE(rewritten);
    ASSERT_EQ(r.rc, 0) << r.text;
    EXPECT_NE(r.text.find("changed while it was read"), std::string::npos) << r.text;
    EXPECT_EQ(RunTool("lhasa t a.lzh", dir.Path()).status, 0) << "the CRC covers the bytes stored";
    EXPECT_TRUE(RunTool("lhasa pq a.lzh", dir.Path()).out == asRead) << "the member holds the bytes read";
  }
}

// Runs f in a child process without root's rights (root reads every file); returns its exit code.
int AsUnprivileged(const std::function<int()>& f) {
  const pid_t child = fork();
  if (child == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(99);
    _exit(f());
  }
  int st = 0;
  waitpid(child, &st, 0);
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

TEST(PackFaults, UnreadableFileIsReportedAndTheRestStored) {
  TTempDir dir;
  WriteFile(dir / "base/a.txt", "readable");
  WriteFile(dir / "base/secret.txt", "not for you");
  chmod((dir / "base/secret.txt").c_str(), 0);
  chmod(dir.Path().c_str(), 0777);
  chmod((dir / "base").c_str(), 0777);
  const std::string line = PackLine("u", dir / "a.lzh", dir / "base", {"a.txt", "secret.txt"});
  const int code = AsUnprivileged([&] {
    const auto r = Command(line);
    if (r.rc != kErrCannotRead) return 1;
    if (r.text.find("secret.txt: skipped: Permission denied") == std::string::npos) return 2;
    return 0;
  });
  if (code == 99) GTEST_SKIP() << "root cannot switch to another user here";
  EXPECT_EQ(code, 0);
  const auto m = Members(dir / "a.lzh");
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].name, "a.txt");
}

// The disk fills up mid-pack: a child process may write files of at most 1 MiB (writing past
// that fails with EFBIG, as ENOSPC on a full disk), so no root or mount is needed.
TEST(PackFaults, FullDiskKeepsThePreviousArchive) {
  TTempDir dir;
  const std::string out = dir / "out";
  fs::create_directories(out);
  WriteFile(dir / "base/a.txt", "small");
  WriteFile(dir / "base/big.bin", RandomBytes(3 << 20, 9));
  ASSERT_EQ(Command(PackLine("u", out + "/a.lzh", dir / "base", {"a.txt"})).rc, 0);
  const auto before = ReadBytes(out + "/a.lzh");
  const std::string line = PackLine("u", out + "/a.lzh", dir / "base", {"a.txt", "big.bin"});
  const pid_t child = fork();
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1 << 20, 1 << 20};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(99);
    const auto r = Command(line);
    if (r.rc != kErrCannotWrite) _exit(1);
    if (r.text.find("the archive is left as it was") == std::string::npos) _exit(2);
    _exit(0);
  }
  int st = 0;
  waitpid(child, &st, 0);
  ASSERT_TRUE(WIFEXITED(st));
  ASSERT_NE(WEXITSTATUS(st), 99) << "cannot limit the file size";
  EXPECT_EQ(WEXITSTATUS(st), 0) << "1: another code than kErrCannotWrite, 2: no word that the archive is kept";
  EXPECT_EQ(ReadBytes(out + "/a.lzh"), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1) << "no temporary left";
}

TEST(PackFaults, KilledRunLeavesTheArchiveAndTheNextRunCleansUp) {
  TTempDir dir;
  MakeTree(dir / "base");
  ASSERT_EQ(Command(PackLine("u", dir / "a.lzh", dir / "base", {"a.txt"})).rc, 0);
  const auto before = ReadBytes(dir / "a.lzh");
  const std::string line = PackLine("u", dir / "a.lzh", dir / "base", {"a.txt", "big.txt", "sub/b.txt"});
  const pid_t child = fork();
  if (child == 0) {
    TOwner owner;
    owner.answer = [](const std::string& name) {
      if (name == "sub/b.txt") kill(getpid(), SIGKILL); // mid-pack, temporary half written
      return LRESULT{0};
    };
    Command(line);
    _exit(0);
  }
  int st = 0;
  waitpid(child, &st, 0);
  ASSERT_TRUE(WIFSIGNALED(st));
  EXPECT_EQ(ReadBytes(dir / "a.lzh"), before);
  EXPECT_TRUE(fs::exists(dir / (".a.lzh.tk" + std::to_string(child) + ".tmp")));
  ASSERT_EQ(Command(line).rc, 0);
  EXPECT_EQ(Members(dir / "a.lzh").size(), 4u);
  EXPECT_FALSE(fs::exists(dir / (".a.lzh.tk" + std::to_string(child) + ".tmp")));
}

} // namespace
} // namespace unlha
