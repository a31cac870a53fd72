// The archive writer against the independent LHA tools: every method's output must test good
// and extract byte-identically; a failed or dropped write must leave the previous archive and
// no temporary file behind.
#include "ArchiveWriter.h"
#include "LhaHeader.h"
#include "PeerTools.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

namespace unlha {
namespace {

using namespace unlha::test;

const std::vector<std::pair<TLhMethod, const char*>> kMethods = {
    {TLhMethod::lh5, "-lh5-"}, {TLhMethod::lh6, "-lh6-"}, {TLhMethod::lh7, "-lh7-"}};

std::string AsText(const std::vector<uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

std::vector<uint8_t> Repeat(std::string_view unit, size_t n) {
  std::vector<uint8_t> v;
  while (v.size() < n) v.insert(v.end(), unit.begin(), unit.end());
  v.resize(n);
  return v;
}

struct TInput {
  std::string name;
  std::vector<uint8_t> bytes;
  std::string packs;  // the methods that shrink it ("567": -lh5-, -lh6-, -lh7-); the others store
};

// Inputs that reach the encoder's corners: trees with one symbol, the longest match, matches at
// the window's edge, data that does not shrink. Random data repeated after a period shrinks
// only with a window that reaches back that far: 8 KiB for -lh5-, 32 KiB for -lh6-, 64 KiB
// for -lh7-.
std::vector<TInput> Inputs() {
  std::vector<TInput> in;
  in.push_back({"one byte", std::vector<uint8_t>{'x'}, ""});
  in.push_back({"one repeated byte", std::vector<uint8_t>(300000, 'a'), "567"});
  in.push_back({"short text", Repeat("hello, world\n", 40), "567"});
  std::string text;
  for (int i = 0; i < 30000; ++i) text += std::to_string(i * 7919 % 10007) + (i % 9 ? " " : "\n");
  in.push_back({"numbers", std::vector<uint8_t>(text.begin(), text.end()), "567"});
  for (const auto& [period, packs] : std::vector<std::pair<uint32_t, std::string>>{
           {8191u, "567"}, {8193u, "67"}, {32767u, "67"}, {65535u, "7"}, {65537u, ""}}) {
    auto unit = RandomBytes(period, period);
    std::vector<uint8_t> v;
    for (int k = 0; k < 3; ++k) v.insert(v.end(), unit.begin(), unit.end());
    in.push_back({"period " + std::to_string(period), v, packs});
  }
  auto mixed = RandomBytes(150000, 7);
  for (size_t i = 0; i < mixed.size(); i += 1000) std::fill_n(mixed.begin() + static_cast<long>(i), 500, uint8_t{0});
  in.push_back({"mixed", mixed, "567"});
  in.push_back({"random", RandomBytes(200000, 1), ""});
  return in;
}

TEST(ArchiveWriter, EveryMethodExtractsIdenticallyWithLhasa) {
  if (!HaveProgram("lhasa")) GTEST_SKIP() << "lhasa is not installed";
  TTempDir dir;
  for (const auto& [name, bytes, packs] : Inputs()) {
    WriteFile(dir / "f.bin", bytes);
    for (const auto& [method, id] : kMethods) {
      const std::string arc = dir / "a.lzh";
      {
        TArchiveWriter w(arc);
        const auto r = w.Add("f.bin", dir / "f.bin", method);
        ASSERT_TRUE(r.stored) << r.reason;
        w.Commit();
      }
      const auto members = Members(arc);
      ASSERT_EQ(members.size(), 1u) << name;
      const bool shrinks = packs.find(id[3]) != std::string::npos;
      EXPECT_EQ(members[0].method, shrinks ? id : "-lh0-") << name;
      if (shrinks) {
        EXPECT_LT(members[0].packedSize, bytes.size()) << name << " " << id;
      }
      EXPECT_EQ(RunTool("lhasa t a.lzh", dir.Path()).status, 0) << name << " " << id;
      const auto out = RunTool("lhasa pq a.lzh", dir.Path()).out;
      EXPECT_TRUE(out == AsText(bytes)) << name << " " << id << ": " << out.size() << " bytes back";
    }
  }
}

TEST(ArchiveWriter, OtherPeersDecodeEveryMethod) {
  TTempDir dir;
  const auto inputs = Inputs();
  const auto& bytes = inputs[3].bytes; // text: every method packs it
  WriteFile(dir / "f.bin", bytes);
  const std::vector<std::pair<std::string, std::string>> peers = {
      {"bsdtar", "bsdtar -xOf a.lzh f.bin"}, {"7zz", "7zz x -so a.lzh f.bin"}, {"jlha", "rm -rf j && mkdir j && cd j && jlha xq ../a.lzh && cat f.bin"}};
  for (const auto& [method, id] : kMethods) {
    {
      TArchiveWriter w(dir / "a.lzh");
      ASSERT_TRUE(w.Add("f.bin", dir / "f.bin", method).stored);
      w.Commit();
    }
    for (const auto& [peer, cmd] : peers) {
      if (!HaveProgram(peer)) {
        std::printf("skipped %s: not installed\n", peer.c_str());
        continue;
      }
      const auto r = RunTool(cmd, dir.Path());
      EXPECT_EQ(r.status, 0) << peer << " " << id;
      EXPECT_TRUE(r.out == AsText(bytes))
          << peer << " " << id << ": " << r.out.size() << " bytes back";
    }
  }
}

TEST(ArchiveWriter, HeaderFieldsReadBack) {
  TTempDir dir;
  WriteFile(dir / "src/sub/日本語.txt", "japanese name\n");
  fs::create_directories(dir / "src/empty");
  fs::create_symlink("../sub/plain.txt", dir / "src/empty/link"); // lhasa lists non-ASCII as "?"
  chmod((dir / "src/sub/日本語.txt").c_str(), 0640);
  // A name whose header length has a zero low byte needs padding.
  const std::string longName(256 - 4 - 26 - 5 - 13 - 7 - 4 - 7 - 1, 'n');
  WriteFile(dir / ("src/" + longName), "x");
  {
    TArchiveWriter w(dir / "a.lzh");
    for (const char* n : {"sub", "sub/日本語.txt", "empty", "empty/link"}) ASSERT_TRUE(w.Add(n, dir / ("src/" + std::string(n)), TLhMethod::lh5).stored);
    ASSERT_TRUE(w.Add(longName, dir / ("src/" + longName), TLhMethod::lh5).stored);
    w.Commit();
  }
  const auto m = Members(dir / "a.lzh");
  ASSERT_EQ(m.size(), 5u);
  EXPECT_TRUE(m[0].IsDirectory());
  EXPECT_EQ(m[0].name, "sub");
  EXPECT_EQ(m[1].name, "sub/日本語.txt");
  EXPECT_EQ(m[1].unixMode.value_or(0), 0100640);
  EXPECT_EQ(m[1].originalSize, 14u);
  struct stat st{};
  stat((dir / "src/sub/日本語.txt").c_str(), &st);
  EXPECT_EQ(m[1].mtime, st.st_mtime);
  EXPECT_EQ(m[1].uid.value_or(99999), st.st_uid);
  EXPECT_EQ(m[3].unixMode.value_or(0) & 0170000, 0120000);
  EXPECT_EQ(m[4].name, longName);
  EXPECT_EQ(m[4].headerSize % 256, 3u) << "an empty comment header pads it";
  if (HaveProgram("lhasa")) {
    EXPECT_EQ(RunTool("lhasa t a.lzh", dir.Path()).status, 0);
    // The Unix tools join folder and name before splitting "name|target".
    EXPECT_NE(RunTool("lhasa v a.lzh", dir.Path()).out.find("empty/link -> ../sub/plain.txt"), std::string::npos);
  }
}

TEST(ArchiveWriter, DroppedWriterKeepsTheOldArchiveAndLeavesNoTemporary) {
  TTempDir dir;
  WriteFile(dir / "a.lzh", "previous archive");
  WriteFile(dir / "f.txt", "data");
  {
    TArchiveWriter w(dir / "a.lzh");
    ASSERT_TRUE(w.Add("f.txt", dir / "f.txt", TLhMethod::lh5).stored);
    EXPECT_TRUE(fs::exists(w.TempPath()));
    EXPECT_EQ(fs::path(w.TempPath()).filename().string().rfind(".a.lzh.tk", 0), 0u);
  }
  EXPECT_EQ(ReadBytes(dir / "a.lzh"), Repeat("previous archive", 16));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 2);
}

TEST(ArchiveWriter, StaleTemporaryOfAKilledRunIsRemoved) {
  TTempDir dir;
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0); // its pid now names no process
  const std::string stale = dir / (".a.lzh.tk" + std::to_string(child) + ".tmp");
  const std::string live = dir / (".a.lzh.tk" + std::to_string(getppid()) + ".tmp");
  const std::string other = dir / (".b.lzh.tk" + std::to_string(child) + ".tmp");
  for (const auto& p : {stale, live, other}) WriteFile(p, "partial");
  WriteFile(dir / "f.txt", "data");
  {
    TArchiveWriter w(dir / "a.lzh");
    ASSERT_TRUE(w.Add("f.txt", dir / "f.txt", TLhMethod::lh5).stored);
    w.Commit();
  }
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(fs::exists(live)) << "a running process's temporary is not touched";
  EXPECT_TRUE(fs::exists(other)) << "another archive's temporary is not touched";
}

TEST(ArchiveWriter, UnreadableOrVanishedFileLeavesNothingBehind) {
  TTempDir dir;
  WriteFile(dir / "good.txt", "good");
  {
    TArchiveWriter w(dir / "a.lzh");
    // /proc/self/mem opens but fails on read at offset 0, also for root.
    const auto unreadable = w.Add("mem", "/proc/self/mem", TLhMethod::lh5);
    EXPECT_FALSE(unreadable.stored);
    EXPECT_FALSE(unreadable.reason.empty());
    const auto vanished = w.Add("gone.txt", dir / "gone.txt", TLhMethod::lh5);
    EXPECT_FALSE(vanished.stored);
    EXPECT_NE(vanished.reason.find("No such file"), std::string::npos) << vanished.reason;
    ASSERT_TRUE(w.Add("good.txt", dir / "good.txt", TLhMethod::lh5).stored);
    w.Commit();
  }
  const auto m = Members(dir / "a.lzh");
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].name, "good.txt");
  if (HaveProgram("lhasa")) {
    EXPECT_EQ(RunTool("lhasa t a.lzh", dir.Path()).status, 0);
  }
}

} // namespace
} // namespace unlha
