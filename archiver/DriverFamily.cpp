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

[[noreturn]] void fileError(TSfxFailure failure, const std::string& path, const TSfxErrorFn& raise) {
  const int error = errno;
  if (raise) raise(failure, path);
  static constexpr const char* kWhat[] = {"cannot open", "cannot create", "cannot read", "cannot write"};
  throw std::system_error(error, std::generic_category(), std::string(kWhat[static_cast<int>(failure)]) + " " + path);
}

std::ifstream openInput(const std::string& path, const TSfxErrorFn& raise) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fileError(TSfxFailure::Open, path, raise);
  return in;
}

// Copies the whole of In to Out; the number of bytes copied.
uint64_t copyAll(std::ifstream& in, const std::string& inPath, std::ofstream& out, const std::string& outPath,
                 const TSfxErrorFn& raise) {
  uint64_t total = 0;
  char buffer[65536];
  while (in) {
    in.read(buffer, sizeof buffer);
    const std::streamsize got = in.gcount();
    if (got <= 0) break;
    if (!out.write(buffer, got)) fileError(TSfxFailure::Write, outPath, raise);
    total += static_cast<uint64_t>(got);
  }
  if (in.bad()) fileError(TSfxFailure::Read, inPath, raise);
  return total;
}

}  // namespace

void WriteSfxFile(const std::string& output, const std::string& support, const std::string& archive,
                  TSfxTrailer trailer, const TSfxErrorFn& raise) {
  std::ifstream archiveIn = openInput(archive, raise);
  std::ifstream supportIn = openInput(support, raise);
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
    if (!out) fileError(TSfxFailure::Create, temporary, raise);
    copyAll(supportIn, support, out, temporary, raise);
    const uint64_t archiveSize = copyAll(archiveIn, archive, out, temporary, raise);
    if (trailer == TSfxTrailer::BigEndianLength) {
      const auto low = static_cast<uint32_t>(archiveSize);
      const char length[4] = {static_cast<char>(low >> 24), static_cast<char>(low >> 16), static_cast<char>(low >> 8),
                              static_cast<char>(low)};
      out.write(length, sizeof length);
    }
    out.close();
    if (!out) fileError(TSfxFailure::Write, temporary, raise);
  }
  std::error_code ec;
  std::filesystem::rename(temporary, output, ec);
  if (ec) {
    errno = ec.value();
    fileError(TSfxFailure::Create, output, raise);
  }
  cleanup.Kept = true;
}
