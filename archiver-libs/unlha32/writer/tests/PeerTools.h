// Test helpers: a scratch folder, files made on the fly, and the independent LHA tools run as
// black boxes.
#pragma once
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "LhaHeader.h"

namespace unlha::test {

namespace fs = std::filesystem;

class TScratch {
public:
  TScratch() {
    std::string tmpl = (fs::temp_directory_path() / "lhawriter.XXXXXX").string();
    FPath = mkdtemp(tmpl.data());
  }
  ~TScratch() {
    std::error_code ec;
    fs::remove_all(FPath, ec);
  }
  TScratch(const TScratch&) = delete;
  TScratch& operator=(const TScratch&) = delete;
  const fs::path& Path() const { return FPath; }
  std::string operator/(const std::string& name) const { return (FPath / name).string(); }

private:
  fs::path FPath;
};

inline std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

inline void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void WriteFile(const std::string& path, const std::string& text) {
  WriteFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

inline std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

struct TRun {
  int status = -1; // exit code, or -1 when the tool could not be run
  std::string out;  // standard output (binary-safe)
};

// Runs a shell command line in folder dir; standard error is dropped.
inline TRun RunTool(const std::string& command, const std::string& dir = ".") {
  TRun r;
  const std::string line = "cd '" + dir + "' && " + command + " 2>/dev/null";
  FILE* p = popen(line.c_str(), "r");
  if (p == nullptr) return r;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

// The members of an archive, read with the library's own header parser.
inline std::vector<TLhaMember> Members(const std::string& archive) {
  const auto bytes = ReadFile(archive);
  TMemorySource src(bytes);
  std::vector<TLhaMember> out;
  uint64_t at = 0, next = 0;
  TLhaMember m;
  while (ParseHeader(src, at, m, next) == EHeader::Ok) {
    out.push_back(m);
    at = next;
    m = TLhaMember{};
  }
  return out;
}

inline bool HaveTool(const std::string& name) { return RunTool("command -v " + name + " >/dev/null").status == 0; }

} // namespace unlha::test
