// tidekeep-arc: lists, extracts and packs archives of every format the archiver component
// knows, through the component itself (type detection, driver, binding and library).
//
//   tidekeep-arc l ARCHIVE                 one line per member: size, packed size, date and time, name
//   tidekeep-arc x ARCHIVE DEST/           everything, with paths
//   tidekeep-arc a ARCHIVE BASE/ NAME...   pack what NAME... selects below BASE (format from the extension)
//
// Exit 0 on success; otherwise the library's text on stderr and a non-zero exit.
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "ARCHIVES.h"
#include "FileTimes.h"
#include "LocaleFormats.h"

namespace {

constexpr int kOutputSize = 64 * 1024;

// Names may hold any byte but "/" and NUL: control characters are shown escaped, never raw.
std::string Printable(std::string_view name) {
  std::string out;
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string Stamp(uint64_t fileTime) {
  if (fileTime == 0) return "----/--/-- --:--:--";
  const platform::LocalDateTime t = platform::FromUnixTime(platform::FileTimeToUnix(fileTime));
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
  return buf;
}

int Failed(TArchiveFile& archive, int code) {
  const std::string text = archive.Output();
  if (!text.empty()) std::fputs(Printable(text).c_str(), stderr);
  if (!text.empty() && text.back() != '\n') std::fputc('\n', stderr);
  std::fprintf(stderr, "tidekeep-arc: error %d (0x%04X)\n", code, static_cast<unsigned>(code));
  return 1;
}

int List(TArchiveFile& archive) {
  if (archive.OpenArchive(0, 0)) {
    std::fprintf(stderr, "tidekeep-arc: cannot open %s\n", Printable(archive.FileName()).c_str());
    return 1;
  }
  TMemberRecord rec{};
  int rc = archive.FindFirst("*.*", rec);
  for (; rc == 0; rc = archive.FindNext(rec)) {
    std::printf("%12llu %12llu %s %s\n", static_cast<unsigned long long>(rec.llOriginalSize),
                static_cast<unsigned long long>(rec.llCompressedSize), Stamp(rec.ftLastWriteTime).c_str(),
                Printable(rec.Info.szFileName).c_str());
  }
  archive.CloseArchive();
  // -1 is the end of the list; anything else is the library's error.
  if (rc != -1) {
    std::fprintf(stderr, "tidekeep-arc: listing ended with error %d (0x%04X)\n", rc, static_cast<unsigned>(rc));
    return 1;
  }
  return 0;
}

int Extract(TArchiveFile& archive, const std::string& dest) {
  TArchiverOptions& o = archive.Options();
  o.x = 1;
  o.c = 1;
  o.jse = 1;
  o.jso = 1;
  if (archive.ArchiverType() == atAutoDetect) archive.SetArchiverType(DetectArchiverType(archive.FileName(), false));
  const int rc = archive.Extract(0, nullptr, dest, {});
  return rc == 0 ? 0 : Failed(archive, rc);
}

int Pack(TArchiveFile& archive, const std::string& base, const std::vector<std::string>& names) {
  if (archive.ArchiverType() == atAutoDetect) {
    std::fprintf(stderr, "tidekeep-arc: the extension of %s names no archive format\n", archive.FileName().c_str());
    return 2;
  }
  TArchiverOptions& o = archive.Options();
  o.x = 1;
  o.a = 1;
  o.c = 1;
  o.r = 2;  // a name that is a folder brings everything below it
  o.n = 1;
  o.jso = 0;
  const int rc = archive.Pack(0, nullptr, base, TFileArgs(names));
  return rc == 0 ? 0 : Failed(archive, rc);
}

int Usage() {
  std::fputs(
      "usage: tidekeep-arc l ARCHIVE\n"
      "       tidekeep-arc x ARCHIVE DEST/\n"
      "       tidekeep-arc a ARCHIVE BASE/ NAME...\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string_view command = argv[1];
  try {
    TArchiveFile archive;
    archive.SetOutputSize(kOutputSize);
    archive.SetFileName(argv[2]);
    if (command == "l" && argc == 3) return List(archive);
    if (command == "x" && argc == 4) return Extract(archive, argv[3]);
    if (command == "a" && argc >= 5) return Pack(archive, argv[3], std::vector<std::string>(argv + 4, argv + argc));
    return Usage();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tidekeep-arc: %s\n", e.what());
    return 1;
  }
}
