// The component over the project's own LHA library, found in bin/archivers as installed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "ARCHIVES.h"
#include "FileSearch.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

std::map<std::string, std::string> treeOf(const std::string& root) {
  std::map<std::string, std::string> tree;
  for (auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file()) tree[fs::relative(entry.path(), root).string()] = test::ReadFile(entry.path());
  return tree;
}

// The archive comes from the independent jlha, so this checks our reading side against a peer.
TEST(RealLibrary, ListAndExtractAPeersArchive) {
  test::TTempDir tmp;
  const std::string data = tmp / "data";
  test::WriteFile(data + "/a.txt", "alpha\n");
  test::WriteFile(data + "/sub/b.txt", std::string(5000, 'b'));
  const std::string archive = tmp / "peer.lzh";
  const std::string make = "cd '" + data + "' && jlha a '" + archive + "' a.txt sub/b.txt >/dev/null 2>&1";
  if (std::system(make.c_str()) != 0) GTEST_SKIP() << "the peer archiver jlha is not available";

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
  TArchiveFile extractor;
  extractor.SetFileName(archive);
  extractor.Options().x = 1;
  extractor.Options().jse = 1;
  extractor.Options().jso = 1;
  extractor.SetOutputSize(8192);
  ASSERT_EQ(extractor.Extract(0, nullptr, out, {}), 0) << extractor.Output();
  EXPECT_EQ(treeOf(out), treeOf(data));
}

}  // namespace
