// Helpers of the writer tests beyond the library tests' own (temporary folder, file bytes,
// tool lookup): files made on the fly, archives read back, tools run inside a folder.
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

#include "Command.h"
#include "LhaHeader.h"
#include "Output.h"
#include "PackCommands.h"
#include "Reader.h"
#include "ShellStatus.h"
#include "TestSupport.h"

namespace unlha::test {

namespace fs = std::filesystem;
using unlha_test::HaveProgram;
using unlha_test::ReadBytes;
using unlha_test::TTempDir;

inline std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

// Writes a file, making its folders first.
inline void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  unlha_test::WriteBytes(path, bytes);
}

inline void WriteFile(const std::string& path, const std::string& text) {
  WriteFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

struct TRun {
  int status = -1; // exit code, or -1 when the tool could not be run
  std::string out;  // standard output (binary-safe)
};

// Runs a shell command line in folder dir, standard error dropped, standard output kept
// byte for byte (extracted data is compared through it).
inline TRun RunTool(const std::string& command, const std::string& dir = ".") {
  TRun r;
  const std::string line = "cd '" + dir + "' && " + command + " 2>/dev/null";
  FILE* p = popen(line.c_str(), "r");
  if (p == nullptr) return r;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  r.status = ShellExitStatus(pclose(p), command);
  return r;
}

struct TResult {
  int rc = -1;
  std::string text;
};

// Any command of the entry, reading or writing, with its output text.
inline TResult Command(const std::string& line) {
  TResult r;
  TCommand cmd;
  TCommandError err;
  std::vector<char> buf(1 << 16);
  TOutput out(buf.data(), static_cast<uint32_t>(buf.size()));
  if (!ParseCommandLine(line, cmd, err)) {
    r.rc = err.code;
    return r;
  }
  r.rc = IsReadCommand(cmd.letter) ? RunReadCommand(cmd, out) : RunWriteCommand(cmd, out);
  r.text = std::string(out.Text());
  return r;
}

// The members of an archive, read with the library's own header parser.
inline std::vector<TLhaMember> Members(const std::string& archive) {
  const auto bytes = ReadBytes(archive);
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

} // namespace unlha::test
