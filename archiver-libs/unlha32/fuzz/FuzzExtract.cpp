// libFuzzer target of the whole extraction path: the input is written as an archive and
// extracted with `x` into a scratch folder two levels down; nothing may appear beside it, and
// the folder above it must keep its mode.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Archive.h"
#include "Command.h"
#include "LhaHeader.h"
#include "Output.h"
#include "Reader.h"

namespace fs = std::filesystem;

namespace {

// Each run writes at most this much; members claiming more are not extracted (a few bytes
// of -lh5- data may stand for gigabytes).
constexpr uint64_t kMaxOriginal = 1 << 20;

const fs::path& Root() {
  static const fs::path root = [] {
    std::string tmpl = (fs::temp_directory_path() / "unlha-fuzz-x-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) std::abort();
    return fs::path(tmpl);
  }();
  return root;
}

std::vector<std::string> Entries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  return names;
}

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "extraction escaped its folder: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  unlha::TMemorySource src({data, size});
  std::vector<unlha::TLhaMember> members;
  uint64_t errorAt = 0;
  unlha::TArchive::Scan(src, members, errorAt);
  for (const unlha::TLhaMember& m : members)
    if (m.originalSize > kMaxOriginal) return 0;

  const fs::path& root = Root();
  const fs::path up = root / "up";
  const fs::path dest = up / "dest";
  std::error_code ec;
  fs::remove_all(up, ec);
  fs::create_directories(dest);
  ::chmod(up.c_str(), 0755);
  const fs::path archive = root / "arc.lzh";
  {
    std::ofstream out(archive, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  unlha::TCommand cmd;
  cmd.letter = "x";
  cmd.archive = archive.string();
  cmd.baseDir = dest.string() + "/";
  unlha::TOutput out(nullptr, 0);
  unlha::RunReadCommand(cmd, out);

  Check(Entries(root).size() == 2, "beside the archive");
  Check(Entries(up) == std::vector<std::string>{"dest"}, "beside the destination");
  struct stat st {};
  Check(::lstat(up.c_str(), &st) == 0 && (st.st_mode & 07777) == 0755 && S_ISDIR(st.st_mode), "mode of the parent");
  return 0;
}
