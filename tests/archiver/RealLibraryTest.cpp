// The component over the project's own LHA library, found in bin/archivers as installed: what
// the backup run, the archive views and the restore window do with it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "ARCHIVES.h"
#include "BackupPacking.h"
#include "FileSearch.h"
#include "LHA32.h"
#include "Peers.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

// Every file with its bytes and every folder (as "/"), relative to root.
std::map<std::string, std::string> treeOf(const std::string& root) {
  std::map<std::string, std::string> tree;
  for (auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string name = fs::relative(entry.path(), root).string();
    if (entry.is_regular_file()) tree[name] = test::ReadFile(entry.path());
    if (entry.is_directory()) tree[name] = "/";
  }
  return tree;
}

// Extracts every member into out, as the restore window does.
void ExtractAll(const std::string& archive, const std::string& out) {
  TArchiveFile extractor;
  extractor.SetFileName(archive);
  extractor.Options().x = 1;
  extractor.Options().jse = 1;
  extractor.Options().jso = 1;
  extractor.SetOutputSize(8192);
  ASSERT_EQ(extractor.Extract(0, nullptr, out, {}), 0) << extractor.Output();
}

// The archive comes from the independent jlha, so this checks our reading side against a peer.
TEST(RealLibrary, ListAndExtractAPeersArchive) {
  REQUIRE_PEER("jlha");
  test::TTempDir tmp;
  const std::string data = tmp / "data";
  test::WriteFile(data + "/a.txt", "alpha\n");
  test::WriteFile(data + "/sub/b.txt", std::string(5000, 'b'));
  const std::string archive = tmp / "peer.lzh";
  const std::string make = "cd '" + data + "' && jlha a '" + archive + "' a.txt sub/b.txt >/dev/null 2>&1";
  ASSERT_EQ(std::system(make.c_str()), 0) << make;

  TArchiveFile lister;
  lister.SetFileName(archive);
  ASSERT_FALSE(lister.OpenArchive(0, 0));
  std::map<std::string, uint64_t> sizes;
  TMemberRecord rec{};
  for (int r = lister.FindFirst("*", rec); r == 0; r = lister.FindNext(rec))
    sizes[rec.Info.szFileName] = rec.llOriginalSize;
  lister.CloseArchive();
  EXPECT_EQ(sizes, (std::map<std::string, uint64_t>{{"a.txt", 6}, {"sub/b.txt", 5000}}));

  const std::string out = tmp / "out";
  fs::create_directories(out);
  ASSERT_NO_FATAL_FAILURE(ExtractAll(archive, out));
  EXPECT_EQ(treeOf(out), treeOf(data));
}

TEST(RealLibrary, PackListAndExtractATinyTree) {
  test::TTempDir tmp;
  const std::string data = tmp / "data";
  test::WriteFile(data + "/a.txt", "alpha\n");
  test::WriteFile(data + "/sub/b.txt", std::string(5000, 'b'));
  test::WriteFile(data + "/sub/深い/c.txt", "日本語");
  fs::create_directories(data + "/sub/空");  // an empty folder survives the round trip too
  const std::string archive = tmp / "_20260101backup.lzh";

  std::string packed;
  ASSERT_EQ(test::PackAsBackup(archive, data, packed), 0) << packed;
  ASSERT_TRUE(platform::FileExists(archive));
  EXPECT_TRUE(IsLhaArchive(archive));

  TArchiveFile lister;
  lister.SetFileName(archive);
  ASSERT_FALSE(lister.OpenArchive(0, 0));
  std::vector<std::string> names;
  TMemberRecord rec{};
  for (int r = lister.FindFirst("*", rec); r == 0; r = lister.FindNext(rec)) names.emplace_back(rec.Info.szFileName);
  lister.CloseArchive();
  std::sort(names.begin(), names.end());
  // Folders holding files are stored too, for their own mode and time.
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "sub/", "sub/b.txt", "sub/深い/", "sub/深い/c.txt", "sub/空/"}));

  const std::string out = tmp / "out";
  fs::create_directories(out);
  ASSERT_NO_FATAL_FAILURE(ExtractAll(archive, out));
  EXPECT_EQ(treeOf(out), treeOf(data));

  // What the backup writes, the independent lhasa reads back the same.
  const std::string peerOut = tmp / "peer";
  fs::create_directories(peerOut);
  const std::string peer = "cd '" + peerOut + "' && lhasa xq '" + archive + "' >/dev/null 2>&1";
  REQUIRE_PEER("lhasa");
  ASSERT_EQ(std::system(peer.c_str()), 0);
  EXPECT_EQ(treeOf(peerOut), treeOf(data));
}

TEST(RealLibrary, NamedStreamsSurviveTheRoundTrip) {
  test::TTempDir tmp;
  const std::string data = tmp / "data";
  test::WriteFile(data + "/a.txt", "main");
  REQUIRE_USER_XATTRS(data);
  ASSERT_EQ(platform::CreateNamedStream(data + "/a.txt", "foo", std::span<const char>("stream", 6)), 0);
  const std::string archive = tmp / "s.lzh";
  TArchiveFile packer;
  packer.SetFileName(archive);
  packer.Options().r = 1;
  packer.Options().jso = 0;
  ASSERT_EQ(packer.Pack(0, nullptr, data, {"*.*"}), 0);
  EXPECT_FALSE(platform::FileExists(data + "/a.txt;foo;$DATA"));

  const std::string out = tmp / "out";
  fs::create_directories(out);
  ASSERT_NO_FATAL_FAILURE(ExtractAll(archive, out));
  EXPECT_EQ(test::ReadFile(out + "/a.txt"), "main");
  EXPECT_EQ(platform::ReadNamedStream(out + "/a.txt", "foo"), "stream");
  EXPECT_FALSE(platform::FileExists(out + "/a.txt;foo;$DATA"));
}

}  // namespace
