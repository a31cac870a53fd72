#include "DriverFamily.h"

#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "Paths.h"

bool OpenProbe(TCustomArchiverDll& dll, const std::string& fullPath) {
  const HARC handle = dll.OpenArchive(0, fullPath, 0x800002);
  dll.CloseArchive(handle);
  return handle != 0;
}

std::string SfxOutputName(std::string_view arcFile, std::string_view ext, std::string_view dir) {
  const std::string name = platform::ChangeFileExt(arcFile, ext);
  if (dir.empty() || IsUnsetText(dir)) return name;
  return platform::IncludeTrailingPathDelimiter(dir) + platform::ExtractFileName(name);
}

namespace {

[[noreturn]] void fileError(std::string_view what, const std::string& path) {
  throw std::system_error(errno, std::generic_category(), std::string(what) + " " + path);
}

std::ifstream openInput(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fileError("cannot open", path);
  return in;
}

// Copies the whole of In to Out; the number of bytes copied.
uint64_t copyAll(std::ifstream& in, const std::string& inPath, std::ofstream& out, const std::string& outPath) {
  uint64_t total = 0;
  char buffer[65536];
  while (in) {
    in.read(buffer, sizeof buffer);
    const std::streamsize got = in.gcount();
    if (got <= 0) break;
    if (!out.write(buffer, got)) fileError("cannot write", outPath);
    total += static_cast<uint64_t>(got);
  }
  if (in.bad()) fileError("cannot read", inPath);
  return total;
}

}  // namespace

void WriteSfxFile(const std::string& output, const std::string& support, const std::string& archive,
                  TSfxTrailer trailer) {
  std::ifstream archiveIn = openInput(archive);
  std::ifstream supportIn = openInput(support);
  const std::string temporary = platform::JoinPath(platform::ExtractFilePath(output),
                                                   "." + platform::ExtractFileName(output) + ".tk" +
                                                       std::to_string(getpid()) + ".tmp");
  struct TRemoveUnlessKept {
    const std::string& Path;
    bool Kept = false;
    ~TRemoveUnlessKept() {
      std::error_code ec;
      if (!Kept) std::filesystem::remove(Path, ec);
    }
  } cleanup{temporary};
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) fileError("cannot create", temporary);
    copyAll(supportIn, support, out, temporary);
    const uint64_t archiveSize = copyAll(archiveIn, archive, out, temporary);
    if (trailer == TSfxTrailer::BigEndianLength) {
      const auto low = static_cast<uint32_t>(archiveSize);
      const char length[4] = {static_cast<char>(low >> 24), static_cast<char>(low >> 16), static_cast<char>(low >> 8),
                              static_cast<char>(low)};
      out.write(length, sizeof length);
    }
    out.close();
    if (!out) fileError("cannot write", temporary);
  }
  std::error_code ec;
  std::filesystem::rename(temporary, output, ec);
  if (ec) throw std::system_error(ec, "cannot create " + output);
  cleanup.Kept = true;
}
