// A stand-in archiver library for the component's tests. It records every call, answers
// listing calls from canned member records, writes canned files on "x", reports progress to a
// registered owner window and calls a registered enumeration callback. Built in variants:
// FAKE_PREFIX names the entry prefix; FAKE_NO_OPTIONAL leaves out every optional entry (owner
// window, enumeration callback, times, sizes);
// FAKE_NO_FINDNEXT leaves out FindNext; FAKE_PASSWORD adds the YZ1 libraries' password entries.
// A file is an archive to every variant when it begins "FAKEARC", and to one variant alone when
// it begins "FAKE:" and that variant's prefix.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "ArchiverApi.h"

#define FAKE_CAT2(a, b) a##b
#define FAKE_CAT(a, b) FAKE_CAT2(a, b)
#define FAKE_ENTRY(suffix) FAKE_CAT(FAKE_PREFIX, suffix)
#define FAKE_STR2(a) #a
#define FAKE_STR(a) FAKE_STR2(a)

namespace {

struct TMember {
  std::string Name;
  uint32_t Size, CompressedSize;
  uint16_t Date, Time;
};
struct TFile {
  std::string Member, Content;
};

std::string gLog;
std::string gLogView;
int gResult = 0;
HWND gOwner = 0;
ENUM_MEMBER_PROC64 gEnumProc = nullptr;
std::vector<TMember> gMembers;
std::vector<TFile> gFiles;
size_t gIndex = 0;
int gArchiveType = 0;
std::string gRequiredPassword;  // FindFirst wants it while not empty and not given
std::string gGivenPassword;
std::vector<std::string> gDialogAnswers;  // what the password dialog answers, in turn; then it cancels

void logCall(const std::string& line) { gLog += line + "\n"; }

// Arguments as the command line holds them: quoted ones without their quotes.
std::vector<std::string> tokens(const char* cmdLine) {
  std::vector<std::string> result;
  std::string_view rest(cmdLine);
  while (!rest.empty()) {
    if (rest.front() == ' ') {
      rest.remove_prefix(1);
      continue;
    }
    if (rest.front() == '"') {
      auto end = rest.find('"', 1);
      result.emplace_back(rest.substr(1, end == std::string_view::npos ? std::string_view::npos : end - 1));
      rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    } else {
      auto end = rest.find(' ');
      result.emplace_back(rest.substr(0, end));
      rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
    }
  }
  return result;
}

// Sends one progress message; true when the receiver asked to stop.
bool report(uint32_t state, const std::string& source, const std::string& dest) {
  if (gOwner == 0) return false;
  EXTRACTINGINFOEX info{};
  std::strncpy(info.szSourceFileName, source.c_str(), FNAME_MAX32);
  std::strncpy(info.szDestFileName, dest.c_str(), FNAME_MAX32);
  return SendMessage(gOwner, RegisterWindowMessage(WM_ARCEXTRACT_NAME), state, reinterpret_cast<LPARAM>(&info)) != 0;
}

// Calls the enumeration callback; true when it asked to stop.
bool enumerate(const std::string& name) {
  if (gEnumProc == nullptr) return false;
  EXTRACTINGINFOEX64 info{};
  info.dwStructSize = sizeof info;
  std::strncpy(info.szSourceFileName, name.c_str(), FNAME_MAX32);
  return gEnumProc(&info) == 0;
}

void fill(INDIVIDUALINFO* info) {
  const TMember& m = gMembers[gIndex];
  std::memset(info, 0, sizeof *info);
  info->dwOriginalSize = m.Size;
  info->dwCompressedSize = m.CompressedSize;
  info->wDate = m.Date;
  info->wTime = m.Time;
  std::strncpy(info->szFileName, m.Name.c_str(), FNAME_MAX32);
}

bool isFakeArchive(const char* fileName) {
  std::ifstream in(fileName, std::ios::binary);
  std::string head(32, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(in.gcount()));
  return head.starts_with("FAKEARC") || head.starts_with(std::string("FAKE:") + FAKE_STR(FAKE_PREFIX));
}

}  // namespace

extern "C" {

// Test control.
const char* FakeLog() {
  gLogView = gLog;
  return gLogView.c_str();
}
void FakeReset() {
  gLog.clear();
  gResult = 0;
  gMembers.clear();
  gFiles.clear();
  gArchiveType = 0;
  gRequiredPassword.clear();
  gGivenPassword.clear();
  gDialogAnswers.clear();
}
void FakeSetArchiveType(int type) { gArchiveType = type; }
void FakeRequirePassword(const char* password) { gRequiredPassword = password; }
void FakeAddDialogAnswer(const char* answer) { gDialogAnswers.emplace_back(answer); }
void FakeSetResult(int result) { gResult = result; }
void FakeAddMember(const char* name, uint32_t size, uint32_t compressedSize, uint16_t date, uint16_t time) {
  gMembers.push_back({name, size, compressedSize, date, time});
}
void FakeAddFile(const char* member, const char* content) { gFiles.push_back({member, content}); }

int FAKE_PREFIX(HWND, const char* cmdLine, char* output, uint32_t size) {
  logCall(std::string(FAKE_STR(FAKE_PREFIX)) + " " + cmdLine + (output == nullptr ? " [no output]" : "") +
          " [size " + std::to_string(size) + "]");
  if (output != nullptr && size > 0) std::snprintf(output, size, "fake output");
  const std::vector<std::string> args = tokens(cmdLine);
  std::vector<std::string> plain;  // archive, folder, names
  for (size_t k = 1; k < args.size(); ++k)
    if (!args[k].empty() && args[k].front() != '-') plain.push_back(args[k]);
  if (report(ARCEXTRACT_BEGIN, "", "")) return ERROR_USER_CANCEL;
  if (!args.empty() && args[0] == "x" && plain.size() >= 2) {
    for (const TFile& f : gFiles) {
      const std::string dest = plain[1] + f.Member;
      std::ofstream(dest, std::ios::binary) << f.Content;
      if (enumerate(f.Member)) {
        logCall("enumeration stopped");
        break;
      }
      if (report(ARCEXTRACT_INPROCESS, f.Member, dest)) return ERROR_USER_CANCEL;
    }
  } else {
    for (size_t k = 2; k < plain.size(); ++k)
      if (report(ARCEXTRACT_INPROCESS, plain[k], plain[k])) return ERROR_USER_CANCEL;
  }
  report(ARCEXTRACT_END, "", "");
  return gResult;
}

HARC FAKE_ENTRY(OpenArchive)(HWND, const char* fileName, uint32_t mode) {
  logCall(std::string("OpenArchive ") + fileName + " " + std::to_string(mode));
  gIndex = 0;
  return isFakeArchive(fileName) ? 77 : 0;
}
int FAKE_ENTRY(CloseArchive)(HARC arc) {
  logCall("CloseArchive " + std::to_string(arc));
  return 0;
}
int FAKE_ENTRY(FindFirst)(HARC arc, const char* wildName, INDIVIDUALINFO* info) {
  logCall(std::string("FindFirst ") + std::to_string(arc) + " " + wildName);
  gIndex = 0;
  if (arc == 0) return -1;
  if (!gRequiredPassword.empty() && gGivenPassword != gRequiredPassword) return 0x800A;
  if (gMembers.empty()) return -1;
  fill(info);
  return 0;
}
#ifndef FAKE_NO_FINDNEXT
int FAKE_ENTRY(FindNext)(HARC arc, INDIVIDUALINFO* info) {
  logCall("FindNext " + std::to_string(arc));
  if (arc == 0 || gIndex + 1 >= gMembers.size()) return -1;
  ++gIndex;
  fill(info);
  return 0;
}
#endif
int FAKE_ENTRY(ExtractMem)(HWND, const char* cmdLine, unsigned char*, uint32_t, void*, void*, uint32_t* written) {
  logCall(std::string("ExtractMem ") + cmdLine);
  if (written != nullptr) *written = 0;
  return gResult;
}
int FAKE_ENTRY(CheckArchive)(const char* fileName, int mode) {
  logCall(std::string("CheckArchive ") + fileName + " " + std::to_string(mode));
  return isFakeArchive(fileName) ? 1 : 0;
}
int FAKE_ENTRY(GetArchiveType)(const char* fileName) {
  logCall(std::string("GetArchiveType ") + fileName);
  return gArchiveType;
}
#ifdef FAKE_PASSWORD
int FAKE_ENTRY(SetDefaultPassword)(HARC arc, const char* password) {
  logCall("SetDefaultPassword " + std::to_string(arc) + " " + password);
  gGivenPassword = password;
  return 0;
}
int FAKE_ENTRY(PasswordDialog)(HWND wnd, char* buffer, uint32_t size) {
  logCall("PasswordDialog " + std::to_string(wnd) + " " + std::to_string(size));
  if (gDialogAnswers.empty()) return -1;
  std::snprintf(buffer, size, "%s", gDialogAnswers.front().c_str());
  gDialogAnswers.erase(gDialogAnswers.begin());
  return 0;
}
#endif
#ifndef FAKE_NO_OPTIONAL
int FAKE_ENTRY(SetOwnerWindowEx)(HWND wnd, ARC_OWNER_CALLBACK) {
  logCall("SetOwnerWindowEx");
  gOwner = wnd;
  return 1;
}
int FAKE_ENTRY(KillOwnerWindowEx)(HWND) {
  logCall("KillOwnerWindowEx");
  gOwner = 0;
  return 1;
}
int FAKE_ENTRY(SetEnumMembersProc64)(ENUM_MEMBER_PROC64 proc, uint32_t structSize) {
  logCall("SetEnumMembersProc64 " + std::to_string(structSize));
  gEnumProc = proc;
  return 0;
}
int FAKE_ENTRY(ClearEnumMembersProc64)(void) {
  logCall("ClearEnumMembersProc64");
  gEnumProc = nullptr;
  return 0;
}
// Times and sizes that no MS-DOS stamp or 32-bit field could give, so tests see their origin.
int FAKE_ENTRY(GetWriteTimeEx)(HARC, uint64_t* t) {
  *t = 0x01D9000000000000ULL + gIndex;
  return 1;
}
int FAKE_ENTRY(GetAccessTimeEx)(HARC, uint64_t* t) {
  *t = 0x01D9000000000100ULL + gIndex;
  return 1;
}
int FAKE_ENTRY(GetCreateTimeEx)(HARC, uint64_t* t) {
  *t = 0x01D9000000000200ULL + gIndex;
  return 1;
}
int FAKE_ENTRY(GetOriginalSizeEx)(HARC, uint64_t* size) {
  *size = (1ULL << 32) + gMembers[gIndex].Size;
  return 1;
}
int FAKE_ENTRY(GetCompressedSizeEx)(HARC, uint64_t* size) {
  *size = (2ULL << 32) + gMembers[gIndex].CompressedSize;
  return 1;
}
#endif

}  // extern "C"
