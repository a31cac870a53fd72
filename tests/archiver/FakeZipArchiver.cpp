// A stand-in for one of the three ZIP libraries, for the ZIP driver's tests. Built in three
// variants, FAKE_LIB naming the library (unzip32, zip32j, lmzip32); each exports the entries that
// library has, with LMZIP32's small-z spelling. Every call is appended to the file named by
// $FAKE_ZIP_LOG as "<library> <entry> <arguments>", so a test sees which library answered.
// $FAKE_ZIP_CHECK sets what CheckArchive answers (default 1).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ArchiverApi.h"

#define FAKE_STR2(a) #a
#define FAKE_STR(a) FAKE_STR2(a)
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

void logCall(const std::string& line) {
  const char* path = std::getenv("FAKE_ZIP_LOG");
  if (path == nullptr) return;
  if (std::FILE* f = std::fopen(path, "ab")) {
    std::fprintf(f, "%s %s\n", FAKE_STR(FAKE_LIB), line.c_str());
    std::fclose(f);
  }
}

// The first double-quoted argument: the archive.
std::string firstQuoted(const char* cmdLine) {
  std::string_view line(cmdLine);
  auto open = line.find('"');
  if (open == std::string_view::npos) return {};
  auto close = line.find('"', open + 1);
  return std::string(line.substr(open + 1, close == std::string_view::npos ? close : close - open - 1));
}

bool exists(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f != nullptr) std::fclose(f);
  return f != nullptr;
}

int command(const char* entry, const char* cmdLine, char* output, uint32_t size) {
  std::string line = std::string(entry) + " [" + cmdLine + "]";
  if (std::string(entry) == "Zip") line += exists(firstQuoted(cmdLine)) ? " archive-present" : " archive-absent";
  logCall(line + (output == nullptr ? " no-output" : "") + " size " + std::to_string(size));
  if (output != nullptr && size > 0) std::snprintf(output, size, "%s", FAKE_STR(FAKE_LIB));
  if (const char* result = std::getenv("FAKE_ZIP_RESULT")) return std::atoi(result);
  return 0;
}

HARC openArchive(const char* entry, const char* fileName, uint32_t mode) {
  logCall(std::string(entry) + " " + fileName + " " + std::to_string(mode));
  return 55;
}

int closeArchive(const char* entry, HARC arc) {
  logCall(std::string(entry) + " " + std::to_string(arc));
  return 0;
}

int findFirst(const char* entry, HARC arc, const char* wild, INDIVIDUALINFO* info) {
  logCall(std::string(entry) + " " + std::to_string(arc) + " " + wild);
  std::memset(info, 0, sizeof *info);
  info->dwOriginalSize = 3;
  info->wDate = static_cast<uint16_t>(((2024 - 1980) << 9) | (5 << 5) | 6);
  std::strcpy(info->szFileName, "a.txt");
  return 0;
}

int findNext(const char* entry, HARC arc) {
  logCall(std::string(entry) + " " + std::to_string(arc));
  return -1;
}

int writeTime(const char* entry, uint64_t* t) {
  logCall(entry);
  *t = 0x01DA000000000000ULL;
  return 1;
}

int noTime(const char* entry) {
  logCall(entry);
  return 0;
}

int checkArchive(const char* entry, const char* fileName, int mode) {
  logCall(std::string(entry) + " " + fileName + " " + std::to_string(mode));
  const char* answer = std::getenv("FAKE_ZIP_CHECK");
  return answer != nullptr ? std::atoi(answer) : 1;
}

int extractMem(const char* entry, const char* cmdLine, uint32_t* written) {
  logCall(std::string(entry) + " [" + cmdLine + "]");
  if (written != nullptr) *written = 0;
  return 0;
}

}  // namespace

// The entries every variant has under one spelling or the other.
#ifdef FAKE_SMALL_Z
#define FAKE_UNZIP(suffix) Unzip##suffix
#else
#define FAKE_UNZIP(suffix) UnZip##suffix
#endif
#define FAKE_NAME(suffix) FAKE_STR(FAKE_UNZIP(suffix))

FAKE_EXPORT HARC FAKE_UNZIP(OpenArchive)(HWND, const char* fileName, uint32_t mode) {
  return openArchive(FAKE_NAME(OpenArchive), fileName, mode);
}
FAKE_EXPORT int FAKE_UNZIP(CloseArchive)(HARC arc) { return closeArchive(FAKE_NAME(CloseArchive), arc); }
FAKE_EXPORT int FAKE_UNZIP(FindFirst)(HARC arc, const char* wild, INDIVIDUALINFO* info) {
  return findFirst(FAKE_NAME(FindFirst), arc, wild, info);
}
FAKE_EXPORT int FAKE_UNZIP(FindNext)(HARC arc, INDIVIDUALINFO*) { return findNext(FAKE_NAME(FindNext), arc); }
FAKE_EXPORT int UnzipGetWriteTimeEx(HARC, uint64_t* t) { return writeTime("UnzipGetWriteTimeEx", t); }
FAKE_EXPORT int FAKE_UNZIP(GetCreateTimeEx)(HARC, uint64_t*) { return noTime(FAKE_NAME(GetCreateTimeEx)); }
FAKE_EXPORT int FAKE_UNZIP(GetAccessTimeEx)(HARC, uint64_t*) { return noTime(FAKE_NAME(GetAccessTimeEx)); }
FAKE_EXPORT int FAKE_UNZIP(CheckArchive)(const char* fileName, int mode) {
  return checkArchive(FAKE_NAME(CheckArchive), fileName, mode);
}
FAKE_EXPORT int FAKE_UNZIP(ExtractMem)(HWND, const char* cmdLine, unsigned char*, uint32_t, void*, void*,
                                       uint32_t* written) {
  return extractMem(FAKE_NAME(ExtractMem), cmdLine, written);
}

#ifdef FAKE_HAS_UNZIP
FAKE_EXPORT int FAKE_UNZIP()(HWND, const char* cmdLine, char* output, uint32_t size) {
  return command(FAKE_NAME(), cmdLine, output, size);
}
#endif

#ifdef FAKE_HAS_ZIP
FAKE_EXPORT int Zip(HWND, const char* cmdLine, char* output, uint32_t size) {
  return command("Zip", cmdLine, output, size);
}
#endif

#ifdef FAKE_HAS_OWNER_WINDOW
FAKE_EXPORT int UnZipSetOwnerWindowEx(HWND, ARC_OWNER_CALLBACK) {
  logCall("UnZipSetOwnerWindowEx");
  return 1;
}
FAKE_EXPORT int UnZipKillOwnerWindowEx(HWND) {
  logCall("UnZipKillOwnerWindowEx");
  return 1;
}
#endif
