// Shared by the archiver tests: temporary trees and the stand-in libraries' folder.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "FileTimes.h"
#include "LocaleFormats.h"
#include "NamedStreams.h"
#include "TempFolder.h"

#ifdef FAKE_ARCHIVERS
// Bindings are class-wide and load once, so the stand-ins must be found from the first load on.
inline const bool kFakeArchiversFirst = (setenv("TIDEKEEP_ARCHIVERS", FAKE_ARCHIVERS, 1), true);
#endif

namespace test {

namespace fs = std::filesystem;

using TTempDir = TTempFolder;

// A field of a packed record, copied out: the assertion macros take references, and a reference
// cannot stand for a misaligned field.
template <typename T>
T Field(T value) {
  return value;
}

inline void WriteFile(const std::string& path, std::string_view content) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void SetWriteTime(const std::string& path, const platform::LocalDateTime& t) {
  const platform::FILETIME ft = platform::UnixToFileTime(platform::ToUnixTime(t));
  platform::SetFileTimes(path, {ft, ft, ft});
}

inline bool HasUserXattrs(const std::string& path) { return platform::VolumeHasNamedStreams(path); }

// The message of what Run raises, or "(no error)".
inline std::string ErrorOf(const std::function<void()>& run) {
  try {
    run();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no error)";
}

}  // namespace test

// Skips a test whose folder lies on a file system without user extended attributes.
#define REQUIRE_USER_XATTRS(dir)                                                                          \
  do {                                                                                                     \
    if (!test::HasUserXattrs(dir)) GTEST_SKIP() << "the file system of " << (dir) << " keeps no user xattrs"; \
  } while (0)
