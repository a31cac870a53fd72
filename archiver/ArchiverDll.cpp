#include <cstring>

#include "ARCHIVES.h"
#include "FileTimes.h"

ENoArchiverDLL::ENoArchiverDLL(std::string_view displayName, std::string_view libraryName)
    : EArchiver(std::string(displayName) + " を扱うには " + std::string(libraryName) + " が 必要です。") {}

EEntryNotFound::EEntryNotFound(std::string_view modulePath, std::string_view entryName)
    : EArchiver(std::string(modulePath) + " に " + std::string(entryName) + " のエントリが見つかりません。") {}

EEntryNotFound::EEntryNotFound(std::string_view entryName)
    : EArchiver(std::string(entryName) + " のエントリが DLL に見つかりませんでした。") {}

ESfxNoRequiredFile::ESfxNoRequiredFile(std::string arcType, std::string sfxKind, std::string requiredFile)
    : EArchiver(arcType + " 書庫からの" + sfxKind + "自己解凍書庫の作成には '" + requiredFile + "' ファイルが必要です。"),
      FArcType(std::move(arcType)),
      FSfxKind(std::move(sfxKind)),
      FRequiredFile(std::move(requiredFile)) {}

EAssertionFailed::EAssertionFailed(std::string_view message, std::string_view unit, int line)
    : std::logic_error(std::string(message) + " (" + std::string(unit) + ", " + std::to_string(line) + " 行)") {}

// ---------------------------------------------------------------------------------------------

const std::array<const char*, TCustomArchiverDll::kEntryCount>& TCustomArchiverDll::EntrySuffixes() {
  static const std::array<const char*, kEntryCount> suffixes = {
      "",  "OpenArchive",    "CloseArchive",    "FindFirst",       "FindNext",          "ExtractMem",
      "CheckArchive",      "SetOwnerWindowEx", "KillOwnerWindowEx", "GetWriteTimeEx",   "GetCreateTimeEx",
      "GetAccessTimeEx",   "GetOriginalSizeEx", "GetCompressedSizeEx", "GetArchiveType", "SetEnumMembersProc64",
      "ClearEnumMembersProc64"};
  return suffixes;
}

template <class F>
F TCustomArchiverDll::RequiredEntry(TEntryIndex index) const {
  // A derived binding resolves an entry before it lets the base call it; this only guards
  // against calling through a null address.
  if (FEntries[index] == nullptr)
    throw EArchiver(std::string("entry ") + EntrySuffixes()[index] + " used before it was resolved");
  return Entry<F>(index);
}

void TCustomArchiverDll::Unload() { FEntries.fill(nullptr); }

int TCustomArchiverDll::UnpackSideCommand(HWND wnd, std::string_view, const std::string& cmdLine, char* output,
                                          uint32_t outputSize) {
  return RequiredEntry<ARC_COMMAND>(eiCommand)(wnd, cmdLine.c_str(), outputSize == 0 ? nullptr : output, outputSize);
}

int TCustomArchiverDll::PackSideCommand(HWND wnd, std::string_view arcName, const std::string& cmdLine, char* output,
                                        uint32_t outputSize) {
  return UnpackSideCommand(wnd, arcName, cmdLine, output, outputSize);
}

int TCustomArchiverDll::CheckArchive(const std::string& fileName, int mode) {
  return RequiredEntry<ARC_CHECK_ARCHIVE>(eiCheckArchive)(fileName.c_str(), mode);
}

int TCustomArchiverDll::CloseArchive(HARC handle) { return RequiredEntry<ARC_CLOSE_ARCHIVE>(eiCloseArchive)(handle); }

int TCustomArchiverDll::ExtractMem(HWND wnd, const std::string& cmdLine, unsigned char* buffer, uint32_t bufferSize,
                                   void* time, void* attr, uint32_t* writtenSize) {
  return RequiredEntry<ARC_EXTRACT_MEM>(eiExtractMem)(wnd, cmdLine.c_str(), buffer, bufferSize, time, attr,
                                                       writtenSize);
}

int TCustomArchiverDll::FindFirst(HARC handle, const std::string& wildName, TMemberRecord& rec) {
  const int result = RequiredEntry<ARC_FIND_FIRST>(eiFindFirst)(handle, wildName.c_str(), &rec.Info);
  if (result == 0) CompleteMemberRecord(handle, rec);
  return result;
}

int TCustomArchiverDll::FindNext(HARC handle, TMemberRecord& rec) {
  const int result = RequiredEntry<ARC_FIND_NEXT>(eiFindNext)(handle, &rec.Info);
  if (result == 0) CompleteMemberRecord(handle, rec);
  return result;
}

int TCustomArchiverDll::KillOwnerWindowEx(HWND wnd) {
  auto entry = Entry<ARC_KILL_OWNER_WINDOW_EX>(eiKillOwnerWindowEx);
  return entry == nullptr ? 0 : entry(wnd);
}

HARC TCustomArchiverDll::OpenArchive(HWND wnd, const std::string& fileName, uint32_t mode) {
  return RequiredEntry<ARC_OPEN_ARCHIVE>(eiOpenArchive)(wnd, fileName.c_str(), mode);
}

int TCustomArchiverDll::SetOwnerWindowEx(HWND wnd, ARC_OWNER_CALLBACK callback) {
  auto entry = Entry<ARC_SET_OWNER_WINDOW_EX>(eiSetOwnerWindowEx);
  return entry == nullptr ? 0 : entry(wnd, callback);
}

#define TK_OPTIONAL_QUERY(Method, Index, Type)                     \
  int TCustomArchiverDll::Method(HARC handle, uint64_t* value) {   \
    auto entry = Entry<Type>(Index);                               \
    return entry == nullptr ? 0 : entry(handle, value);            \
  }
TK_OPTIONAL_QUERY(GetWriteTimeEx, eiGetWriteTimeEx, ARC_GET_FILE_TIME_EX)
TK_OPTIONAL_QUERY(GetCreateTimeEx, eiGetCreateTimeEx, ARC_GET_FILE_TIME_EX)
TK_OPTIONAL_QUERY(GetAccessTimeEx, eiGetAccessTimeEx, ARC_GET_FILE_TIME_EX)
TK_OPTIONAL_QUERY(GetOriginalSizeEx, eiGetOriginalSizeEx, ARC_GET_SIZE_EX)
TK_OPTIONAL_QUERY(GetCompressedSizeEx, eiGetCompressedSizeEx, ARC_GET_SIZE_EX)
#undef TK_OPTIONAL_QUERY

int TCustomArchiverDll::GetArchiveType(const std::string& fileName) {
  return RequiredEntry<ARC_GET_ARCHIVE_TYPE>(eiGetArchiveType)(fileName.c_str());
}

int TCustomArchiverDll::SetEnumMembersProc64(ENUM_MEMBER_PROC64 proc, uint32_t structSize) {
  auto entry = Entry<ARC_SET_ENUM_MEMBERS_PROC64>(eiSetEnumMembersProc64);
  return entry == nullptr ? 0 : entry(proc, structSize);
}

int TCustomArchiverDll::ClearEnumMembersProc64() {
  auto entry = Entry<ARC_CLEAR_ENUM_MEMBERS_PROC64>(eiClearEnumMembersProc64);
  return entry == nullptr ? 0 : entry();
}

void TCustomArchiverDll::CompleteMemberRecord(HARC handle, TMemberRecord& rec) {
  const uint16_t dosDate = rec.Info.wDate;
  const uint16_t dosTime = rec.Info.wTime;
  // Packed fields have no aligned address of their own; go through a local.
  auto fillTime = [&](int (TCustomArchiverDll::*query)(HARC, uint64_t*), uint64_t& field) {
    uint64_t value = field;
    if ((this->*query)(handle, &value) == 0) {
      if (auto t = platform::DosDateTimeToFileTime(dosDate, dosTime)) value = *t;
    }
    field = value;
  };
  uint64_t writeTime = rec.ftLastWriteTime, accessTime = rec.ftLastAccessTime, createTime = rec.ftCreationTime;
  fillTime(&TCustomArchiverDll::GetWriteTimeEx, writeTime);
  fillTime(&TCustomArchiverDll::GetAccessTimeEx, accessTime);
  fillTime(&TCustomArchiverDll::GetCreateTimeEx, createTime);
  rec.ftLastWriteTime = writeTime;
  rec.ftLastAccessTime = accessTime;
  rec.ftCreationTime = createTime;

  uint64_t size = 0;
  if (GetOriginalSizeEx(handle, &size) == 0) size = rec.Info.dwOriginalSize;
  rec.llOriginalSize = size;
  size = 0;
  if (GetCompressedSizeEx(handle, &size) == 0) size = rec.Info.dwCompressedSize;
  rec.llCompressedSize = size;
}

// ---------------------------------------------------------------------------------------------

TArchiverDll::TArchiverDll(std::string displayName, std::string libraryName, std::string prefix)
    : FDisplayName(std::move(displayName)), FLibraryName(std::move(libraryName)), FPrefix(std::move(prefix)) {}

TArchiverDll::~TArchiverDll() { TArchiverDll::Unload(); }

void TArchiverDll::Load() {
  if (FModule == nullptr) FModule = platform::LoadLibrary(FLibraryName);
  if (FModule == nullptr) throw ENoArchiverDLL(FDisplayName, FLibraryName);
}

void TArchiverDll::Unload() {
  TCustomArchiverDll::Unload();
  if (FModule != nullptr) {
    platform::FreeLibrary(FModule);
    FModule = nullptr;
  }
}

bool TArchiverDll::ResolveEntry(void*& slot, platform::HMODULE module, const std::string& name, bool required) {
  if (slot != nullptr) return true;
  slot = platform::GetProcAddress(module, name.c_str());
  if (slot != nullptr) return true;
  if (!required) return false;
  throw EEntryNotFound(platform::GetModuleFileName(module), name);
}

bool TArchiverDll::Resolve(TEntryIndex index, bool required) {
  return ResolveEntry(FEntries[index], FModule, FPrefix + EntrySuffixes()[index], required);
}

int TArchiverDll::UnpackSideCommand(HWND wnd, std::string_view arcName, const std::string& cmdLine, char* output,
                                    uint32_t outputSize) {
  Load();
  Resolve(eiCommand, true);
  return TCustomArchiverDll::UnpackSideCommand(wnd, arcName, cmdLine, output, outputSize);
}

int TArchiverDll::CheckArchive(const std::string& fileName, int mode) {
  Load();
  Resolve(eiCheckArchive, true);
  return TCustomArchiverDll::CheckArchive(fileName, mode);
}

int TArchiverDll::CloseArchive(HARC handle) {
  Load();
  Resolve(eiCloseArchive, true);
  return TCustomArchiverDll::CloseArchive(handle);
}

int TArchiverDll::ExtractMem(HWND wnd, const std::string& cmdLine, unsigned char* buffer, uint32_t bufferSize,
                             void* time, void* attr, uint32_t* writtenSize) {
  Resolve(eiExtractMem, true);
  return TCustomArchiverDll::ExtractMem(wnd, cmdLine, buffer, bufferSize, time, attr, writtenSize);
}

int TArchiverDll::FindFirst(HARC handle, const std::string& wildName, TMemberRecord& rec) {
  Load();
  Resolve(eiFindFirst, true);
  return TCustomArchiverDll::FindFirst(handle, wildName, rec);
}

int TArchiverDll::FindNext(HARC handle, TMemberRecord& rec) {
  Resolve(eiFindNext, true);
  return TCustomArchiverDll::FindNext(handle, rec);
}

int TArchiverDll::KillOwnerWindowEx(HWND wnd) {
  Resolve(eiKillOwnerWindowEx, false);
  return TCustomArchiverDll::KillOwnerWindowEx(wnd);
}

HARC TArchiverDll::OpenArchive(HWND wnd, const std::string& fileName, uint32_t mode) {
  Load();
  Resolve(eiOpenArchive, true);
  return TCustomArchiverDll::OpenArchive(wnd, fileName, mode);
}

int TArchiverDll::SetOwnerWindowEx(HWND wnd, ARC_OWNER_CALLBACK callback) {
  Resolve(eiSetOwnerWindowEx, false);
  return TCustomArchiverDll::SetOwnerWindowEx(wnd, callback);
}

int TArchiverDll::GetWriteTimeEx(HARC handle, uint64_t* fileTime) {
  Resolve(eiGetWriteTimeEx, false);
  return TCustomArchiverDll::GetWriteTimeEx(handle, fileTime);
}

int TArchiverDll::GetCreateTimeEx(HARC handle, uint64_t* fileTime) {
  Resolve(eiGetCreateTimeEx, false);
  return TCustomArchiverDll::GetCreateTimeEx(handle, fileTime);
}

int TArchiverDll::GetAccessTimeEx(HARC handle, uint64_t* fileTime) {
  Resolve(eiGetAccessTimeEx, false);
  return TCustomArchiverDll::GetAccessTimeEx(handle, fileTime);
}

int TArchiverDll::GetOriginalSizeEx(HARC handle, uint64_t* size) {
  Resolve(eiGetOriginalSizeEx, false);
  return TCustomArchiverDll::GetOriginalSizeEx(handle, size);
}

int TArchiverDll::GetCompressedSizeEx(HARC handle, uint64_t* size) {
  Resolve(eiGetCompressedSizeEx, false);
  return TCustomArchiverDll::GetCompressedSizeEx(handle, size);
}

int TArchiverDll::GetArchiveType(const std::string& fileName) {
  Load();
  Resolve(eiGetArchiveType, true);
  return TCustomArchiverDll::GetArchiveType(fileName);
}

int TArchiverDll::SetEnumMembersProc64(ENUM_MEMBER_PROC64 proc, uint32_t structSize) {
  Load();
  Resolve(eiSetEnumMembersProc64, false);
  return TCustomArchiverDll::SetEnumMembersProc64(proc, structSize);
}

int TArchiverDll::ClearEnumMembersProc64() {
  Load();
  Resolve(eiClearEnumMembersProc64, false);
  return TCustomArchiverDll::ClearEnumMembersProc64();
}
