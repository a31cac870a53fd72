// One libFuzzer entry, compiled once per target (see CMakeLists.txt).
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ArjDecoder.h"
#include "ArjDialect.h"
#include "ArjFormat.h"
#include "Output.h"

namespace fs = std::filesystem;

namespace {

class TDiscard final : public lzcodec::TSink {
 public:
  bool Put(const uint8_t*, size_t) override { return true; }
};

// A few bytes may stand for gigabytes: claimed sizes are capped so that each run stays short.
constexpr uint32_t kMaxOutput = 1 << 22;

[[maybe_unused]] void DecodeAll(const uint8_t* data, size_t size) {
  lzcodec::TMemorySource src({data, size});
  unarj::TArjArchive arc;
  std::string why;
  unarj::ReadArchive(src, arc, why);
  for (unarj::TArjMember m : arc.members) {
    m.originalSize = std::min(m.originalSize, kMaxOutput);
    TDiscard sink;
    uint32_t crc = 0;
    unarj::DecodeMember(src, m, sink, crc);
  }
}

// The first byte picks the method (0 to 4), the next four the claimed size; the rest is data.
[[maybe_unused]] void DecodeMethod(const uint8_t* data, size_t size) {
  if (size < 5) return;
  unarj::TArjMember m;
  m.method = static_cast<uint8_t>(data[0] % 5);
  m.originalSize = std::min<uint32_t>(data[1] | (data[2] << 8) | (data[3] << 16) | (uint32_t{data[4]} << 24), kMaxOutput);
  m.dataOffset = 5;
  m.packedSize = static_cast<uint32_t>(size - 5);
  lzcodec::TMemorySource src({data, size});
  TDiscard sink;
  uint32_t crc = 0;
  unarj::DecodeMember(src, m, sink, crc);
}

[[maybe_unused]] void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "extraction escaped its folder: %s\n", what);
    std::abort();
  }
}

// Writes the input as an archive and extracts it two levels below a scratch folder: nothing
// may appear beside the destination, and the folder above it keeps its mode.
[[maybe_unused]] void Extract(const uint8_t* data, size_t size) {
  {
    lzcodec::TMemorySource src({data, size});
    unarj::TArjArchive arc;
    std::string why;
    unarj::ReadArchive(src, arc, why);
    for (const unarj::TArjMember& m : arc.members)
      if (m.originalSize > kMaxOutput) return;
  }
  static const fs::path root = [] {
    std::string tmpl = (fs::temp_directory_path() / "unarj-fuzz-x-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) std::abort();
    return fs::path(tmpl);
  }();
  const fs::path up = root / "up";
  const fs::path dest = up / "dest";
  std::error_code ec;
  fs::remove_all(up, ec);
  fs::create_directories(dest);
  ::chmod(up.c_str(), 0755);
  const fs::path archive = root / "arc.arj";
  std::ofstream(archive, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  arclib::TOutput out(nullptr, 0);
  const std::string line = "x -+ -x1 -jse1 \"" + archive.string() + "\" \"" + dest.string() + "/\"";
  unarj::RunUnarj(line.c_str(), out);
  size_t beside = 0;
  for (const auto& e : fs::directory_iterator(root)) beside += e.path().filename() != "up" && e.path().filename() != "arc.arj";
  Check(beside == 0, "beside the archive");
  size_t inUp = 0;
  for (const auto& e : fs::directory_iterator(up)) inUp += e.path().filename() != "dest";
  Check(inUp == 0, "beside the destination");
  struct stat st {};
  Check(::stat(up.c_str(), &st) == 0 && (st.st_mode & 07777) == 0755, "mode of the folder above");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
#if defined(UNARJ_FUZZ_HEADER)
  DecodeAll(data, size);
#elif defined(UNARJ_FUZZ_METHODS)
  DecodeMethod(data, size);
#elif defined(UNARJ_FUZZ_EXTRACT)
  Extract(data, size);
#endif
  return 0;
}
