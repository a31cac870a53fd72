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

#ifdef FAKE_ARCHIVERS
// Bindings are class-wide and load once, so the stand-ins must be found from the first load on.
inline const bool kFakeArchiversFirst = (setenv("TIDEKEEP_ARCHIVERS", FAKE_ARCHIVERS, 1), true);
#endif

namespace test {

namespace fs = std::filesystem;

// A fresh folder below the temporary folder, removed with everything in it.
class TTempDir {
 public:
  TTempDir() {
    std::string templ = (fs::temp_directory_path() / "tk-archiver-XXXXXX").string();
    if (mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    FPath = templ;
  }
  ~TTempDir() {
    std::error_code ec;
    for (auto& entry : fs::recursive_directory_iterator(FPath, ec))
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(FPath, ec);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const std::string& path() const { return FPath; }
  std::string operator/(std::string_view name) const { return FPath + "/" + std::string(name); }

 private:
  std::string FPath;
};

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
