#include "ZIP32.h"

#include <unistd.h>

#include <filesystem>

#include "DriverFamily.h"
#include "FileSearch.h"
#include "Paths.h"

namespace {

constexpr const char* kUnzip32 = "UNZIP32.DLL";
constexpr const char* kZip32j = "ZIP32J.DLL";
constexpr const char* kLmzip32 = "LMZIP32.DLL";

TSharedBinding<TZipDll>& zipBinding() {
  static TSharedBinding<TZipDll> binding;
  return binding;
}

// Entry names by the common binding's index; the write-time entry is spelled with a small z.
const char* zipEntryName(TCustomArchiverDll::TEntryIndex index) {
  switch (index) {
    case TCustomArchiverDll::eiOpenArchive: return "UnZipOpenArchive";
    case TCustomArchiverDll::eiCloseArchive: return "UnZipCloseArchive";
    case TCustomArchiverDll::eiFindFirst: return "UnZipFindFirst";
    case TCustomArchiverDll::eiFindNext: return "UnZipFindNext";
    case TCustomArchiverDll::eiExtractMem: return "UnZipExtractMem";
    case TCustomArchiverDll::eiCheckArchive: return "UnZipCheckArchive";
    case TCustomArchiverDll::eiSetOwnerWindowEx: return "UnZipSetOwnerWindowEx";
    case TCustomArchiverDll::eiKillOwnerWindowEx: return "UnZipKillOwnerWindowEx";
    case TCustomArchiverDll::eiGetWriteTimeEx: return "UnzipGetWriteTimeEx";
    case TCustomArchiverDll::eiGetCreateTimeEx: return "UnZipGetCreateTimeEx";
    case TCustomArchiverDll::eiGetAccessTimeEx: return "UnZipGetAccessTimeEx";
    default: return "";
  }
}

// The listing entries come first from LMZIP32, the checking ones first from UNZIP32.
constexpr std::initializer_list<TZipDll::TZipLibrary> kListingOrder = {TZipDll::zlLmzip32, TZipDll::zlZip32j,
                                                                        TZipDll::zlUnzip32};
constexpr std::initializer_list<TZipDll::TZipLibrary> kCheckingOrder = {TZipDll::zlUnzip32, TZipDll::zlLmzip32,
                                                                         TZipDll::zlZip32j};

// A name's escapes for the ZIP libraries, which read "[" as a wildcard and "-" as a switch.
// Names are UTF-8, where no byte of a multi-byte character is "\" or "[", so a byte scan finds
// exactly the characters.
std::string convertName(std::string_view name) {
  std::string result;
  result.reserve(name.size() + 8);
  if (!name.empty() && name.front() == '-') {
    result += "[-]";
    name.remove_prefix(1);
  }
  for (char ch : name) {
    if (ch == '\\')
      result += '/';
    else if (ch == '[')
      result += "[[]";
    else
      result += ch;
  }
  return result;
}

std::string convertNameFn(std::string_view name) { return convertName(name); }

}  // namespace

std::string ZipNameConverter(std::string_view name) { return convertName(name); }

// ---------------------------------------------------------------------------------------------

TZipDll::~TZipDll() { TZipDll::Unload(); }

platform::HMODULE TZipDll::Module(TZipLibrary library) const {
  switch (library) {
    case zlUnzip32: return FUnzip32;
    case zlLmzip32: return FLmzip32;
    case zlZip32j: return FZip32j;
  }
  return nullptr;
}

void TZipDll::Load() {
  if (FUnzip32 == nullptr) FUnzip32 = platform::LoadLibrary(kUnzip32);
  if (FZip32j == nullptr) FZip32j = platform::LoadLibrary(kZip32j);
  if (FLmzip32 == nullptr) FLmzip32 = platform::LoadLibrary(kLmzip32);
}

void TZipDll::Unload() {
  for (platform::HMODULE* module : {&FUnzip32, &FLmzip32, &FZip32j}) {
    if (*module != nullptr) platform::FreeLibrary(*module);
    *module = nullptr;
  }
  FZip = nullptr;
  FUnZip = nullptr;
  TCustomArchiverDll::Unload();
}

bool TZipDll::Resolve(void*& slot, const char* name, std::initializer_list<TZipLibrary> order, bool required) {
  if (slot != nullptr) return true;
  for (TZipLibrary library : order) {
    platform::HMODULE module = Module(library);
    if (module == nullptr) continue;
    std::string lookup(name);
    // LMZIP32 spells its "UnZip..." entries with a small z.
    if (library == zlLmzip32 && lookup.size() > 2 && lookup[2] == 'Z') lookup[2] = 'z';
    slot = platform::GetProcAddress(module, lookup.c_str());
    if (slot != nullptr) return true;
  }
  if (required) throw EEntryNotFound(std::string_view(name));
  return false;
}

void TZipDll::ResolveFromUnzip(TEntryIndex index) {
  TArchiverDll::ResolveEntry(FEntries[index], FUnzip32, zipEntryName(index), true);
}

void TZipDll::ResolveZip() { Resolve(FZip, "Zip", {zlZip32j, zlLmzip32}, true); }

int TZipDll::UnpackSideCommand(HWND wnd, std::string_view, const std::string& cmdLine, char* output,
                               uint32_t outputSize) {
  Load();
  Resolve(FUnZip, "UnZip", {zlUnzip32, zlLmzip32}, true);
  return std::bit_cast<ARC_COMMAND>(FUnZip)(wnd, cmdLine.c_str(), outputSize == 0 ? nullptr : output, outputSize);
}

int TZipDll::ChangeSideCommand(HWND wnd, const std::string& cmdLine, char* output, uint32_t outputSize) {
  Load();
  ResolveZip();
  return std::bit_cast<ARC_COMMAND>(FZip)(wnd, cmdLine.c_str(), outputSize == 0 ? nullptr : output, outputSize);
}

int TZipDll::PackSideCommand(HWND wnd, std::string_view arcName, const std::string& cmdLine, char* output,
                             uint32_t outputSize) {
  Load();
  ResolveZip();
  const std::string archive(arcName);
  std::string aside;
  if (platform::FileExists(archive)) {
    aside = platform::JoinPath(platform::ExtractFilePath(archive),
                               "." + platform::ExtractFileName(archive) + ".tk" + std::to_string(getpid()) + ".tmp");
    std::error_code ec;
    std::filesystem::rename(archive, aside, ec);
    if (ec) {
      // Cannot keep it aside: the archive is removed, as packing requires.
      aside.clear();
      platform::DeleteFile(archive);
    }
  }
  const int result = std::bit_cast<ARC_COMMAND>(FZip)(wnd, cmdLine.c_str(), outputSize == 0 ? nullptr : output,
                                                      outputSize);
  if (!aside.empty()) {
    std::error_code ec;
    if (result != 0 && !platform::FileExists(archive))
      std::filesystem::rename(aside, archive, ec);
    else
      platform::DeleteFile(aside);
  }
  return result;
}

int TZipDll::CheckArchive(const std::string& fileName, int mode) {
  Load();
  Resolve(FEntries[eiCheckArchive], zipEntryName(eiCheckArchive), kCheckingOrder, true);
  return TCustomArchiverDll::CheckArchive(fileName, mode);
}

int TZipDll::CloseArchive(HARC handle) {
  Load();
  Resolve(FEntries[eiCloseArchive], zipEntryName(eiCloseArchive), kListingOrder, true);
  return TCustomArchiverDll::CloseArchive(handle);
}

int TZipDll::ExtractMem(HWND wnd, const std::string& cmdLine, unsigned char* buffer, uint32_t bufferSize, void* time,
                        void* attr, uint32_t* writtenSize) {
  Resolve(FEntries[eiExtractMem], zipEntryName(eiExtractMem), kCheckingOrder, true);
  return TCustomArchiverDll::ExtractMem(wnd, cmdLine, buffer, bufferSize, time, attr, writtenSize);
}

int TZipDll::FindFirst(HARC handle, const std::string& wildName, TMemberRecord& rec) {
  Load();
  Resolve(FEntries[eiFindFirst], zipEntryName(eiFindFirst), kListingOrder, true);
  return TCustomArchiverDll::FindFirst(handle, wildName, rec);
}

int TZipDll::FindNext(HARC handle, TMemberRecord& rec) {
  Resolve(FEntries[eiFindNext], zipEntryName(eiFindNext), kListingOrder, true);
  return TCustomArchiverDll::FindNext(handle, rec);
}

HARC TZipDll::OpenArchive(HWND wnd, const std::string& fileName, uint32_t mode) {
  Load();
  Resolve(FEntries[eiOpenArchive], zipEntryName(eiOpenArchive), kListingOrder, true);
  return TCustomArchiverDll::OpenArchive(wnd, fileName, mode);
}

int TZipDll::SetOwnerWindowEx(HWND wnd, ARC_OWNER_CALLBACK callback) {
  ResolveFromUnzip(eiSetOwnerWindowEx);
  return TCustomArchiverDll::SetOwnerWindowEx(wnd, callback);
}

int TZipDll::KillOwnerWindowEx(HWND wnd) {
  ResolveFromUnzip(eiKillOwnerWindowEx);
  return TCustomArchiverDll::KillOwnerWindowEx(wnd);
}

int TZipDll::GetWriteTimeEx(HARC handle, uint64_t* fileTime) {
  Resolve(FEntries[eiGetWriteTimeEx], zipEntryName(eiGetWriteTimeEx), kListingOrder, false);
  return TCustomArchiverDll::GetWriteTimeEx(handle, fileTime);
}

int TZipDll::GetCreateTimeEx(HARC handle, uint64_t* fileTime) {
  Resolve(FEntries[eiGetCreateTimeEx], zipEntryName(eiGetCreateTimeEx), kListingOrder, false);
  return TCustomArchiverDll::GetCreateTimeEx(handle, fileTime);
}

int TZipDll::GetAccessTimeEx(HARC handle, uint64_t* fileTime) {
  Resolve(FEntries[eiGetAccessTimeEx], zipEntryName(eiGetAccessTimeEx), kListingOrder, false);
  return TCustomArchiverDll::GetAccessTimeEx(handle, fileTime);
}

int TZipDll::GetOriginalSizeEx(HARC, uint64_t*) { return 0; }
int TZipDll::GetCompressedSizeEx(HARC, uint64_t*) { return 0; }
int TZipDll::SetEnumMembersProc64(ENUM_MEMBER_PROC64, uint32_t) { return 0; }
int TZipDll::ClearEnumMembersProc64() { return 0; }

// ---------------------------------------------------------------------------------------------

TZipDll& TZip32::Binding() {
  return zipBinding().Get([] { return std::make_unique<TZipDll>(); });
}

void TZip32::FreeBinding() { zipBinding().Reset(); }

TZip32::TZip32() { TZip32::LoadDLL(); }

void TZip32::LoadDLL() { Binding(); }
void TZip32::FreeDLL() { FreeBinding(); }
TCustomArchiverDll& TZip32::GetDll() { return Binding(); }

std::string TZip32::UnzipCommandLine(std::string_view command, std::string_view arcFile,
                                     const TArchiverOptions& options, std::string_view dir, const TFileArgs& files,
                                     bool useResponseFile) const {
  TCmdOpt builder;
  builder.FNameConverter = convertNameFn;
  if (options.c == 1) builder.Add("-o");
  if (options.n > 0 || HasOwnerWindow()) builder.Add("--i");
  if (options.x == 0) builder.Add("-j");
  builder.Add(options.UserOptions);
  AddArchiveAndDir(builder, arcFile, dir);
  AddFileArgs(builder, options, useResponseFile, files);
  return std::string(command) + builder.FText;
}

std::string TZip32::Zip32jCommandLine(std::string_view command, std::string_view arcFile,
                                      const TArchiverOptions& options, std::string_view dir, const TFileArgs& files,
                                      bool useResponseFile) const {
  TCmdOpt builder;
  builder.FNameConverter = convertNameFn;
  if (options.a > 0) builder.Add("-S");
  if (options.a < 2) builder.Add("-D");
  if (options.l > 0) builder.Add("-v");
  if (options.n > 0) builder.Add("-q");
  if (options.r > 0) builder.Add("-r");
  if (options.n > 0) builder.Add("-o");
  if (options.u > 0) builder.Add("-u");
  if (options.x == 0) builder.Add("-j");
  if (options.jc > 0) builder.Add("-FF");
  if (options.ji > 0) builder.Add("-k");
  if (options.jm >= 0) builder.Add("-" + std::to_string(options.jm));
  if (options.gd > 0) builder.Add("-J");
  builder.Add(options.UserOptions);
  AddArchiveAndDir(builder, arcFile, dir);
  AddFileArgs(builder, options, useResponseFile, files);
  return std::string(command) + builder.FText;
}

std::string TZip32::LmzipCommandLine(std::string_view command, std::string_view arcFile,
                                     const TArchiverOptions& options, const TFileArgs& files,
                                     bool useResponseFile) const {
  TCmdOpt builder;
  if (options.c == 1) builder.Add("-o");
  if (options.x == 0) builder.Add("-j");
  builder.Add(options.UserOptions);
  AddArchiveAndDir(builder, arcFile, "");
  AddFileArgs(builder, options, useResponseFile, files);
  return std::string(command) + builder.FText;
}

std::string TZip32::ExtractCommand(HWND, std::string_view arcFile, const TArchiverOptions& options,
                                   std::string_view dir, const TFileArgs& files, bool useResponseFile) {
  const TZipDll& dll = Binding();
  if (!dll.Loaded(TZipDll::zlUnzip32) && !dll.Loaded(TZipDll::zlLmzip32))
    throw EArchiver("ZIP 形式書庫の解凍には UNZIP32.DLL または LMZIP32.DLL が必要です。");
  return UnzipCommandLine("-x", arcFile, options, dir, files, useResponseFile);
}

std::string TZip32::PackCommand(HWND, std::string_view arcFile, const TArchiverOptions& options,
                                std::string_view dir, const TFileArgs& files, bool useResponseFile) {
  const TZipDll& dll = Binding();
  if (dll.Loaded(TZipDll::zlZip32j)) return Zip32jCommandLine("", arcFile, options, dir, files, useResponseFile);
  if (dll.Loaded(TZipDll::zlLmzip32)) return LmzipCommandLine("-ru", arcFile, options, files, useResponseFile);
  throw EArchiver("ZIP 形式書庫の作成には ZIP32J.DLL または LMZIP32.DLL が必要です。");
}

std::string TZip32::DeleteCommand(HWND, std::string_view arcFile, const TArchiverOptions& options,
                                  std::string_view, const TFileArgs& files, bool useResponseFile) {
  return Zip32jCommandLine("-d", arcFile, options, "", files, useResponseFile);
}

std::string TZip32::UpdateCommand(HWND, std::string_view arcFile, const TArchiverOptions& options,
                                  std::string_view dir, const TFileArgs& files, bool useResponseFile) {
  return Zip32jCommandLine("-f", arcFile, options, dir, files, useResponseFile);
}

std::string TZip32::ExtractMemCommand(HWND, std::string_view arcFile, const TArchiverOptions& options,
                                      std::string_view fileName) {
  return UnzipCommandLine("", arcFile, options, "", TFileArgs{std::string(fileName)}, false);
}

// Deleting and freshening work on the existing archive: unlike packing, they must not remove it
// before "Zip" runs, or every member would be lost.
int TZip32::Delete(HWND wnd, std::string_view arcFile, const TArchiverOptions& options, std::string_view dir,
                   const TFileArgs& files, bool useResponseFile, std::string& cmdLine, std::string& output) {
  std::string line = DeleteCommand(wnd, arcFile, options, dir, files, useResponseFile);
  cmdLine = line;
  return Binding().ChangeSideCommand(wnd, line, output.data(), static_cast<uint32_t>(output.size()));
}

int TZip32::Update(HWND wnd, std::string_view arcFile, const TArchiverOptions& options, std::string_view dir,
                   const TFileArgs& files, bool useResponseFile, std::string& cmdLine, std::string& output) {
  std::string line = UpdateCommand(wnd, arcFile, options, dir, files, useResponseFile);
  cmdLine = line;
  return Binding().ChangeSideCommand(wnd, line, output.data(), static_cast<uint32_t>(output.size()));
}

std::string TZip32::SfxCommand(HWND, std::string_view arcFile, const TArchiverOptions& options,
                               std::string_view dir) {
  if (!Binding().Loaded(TZipDll::zlZip32j)) throw ESfxNoRequiredFile("zip", "", kZip32j);
  const bool win32 = options.gw > 0;
  const std::string supportName = win32 ? "sfx32gui.dat" : "sfx16.dat";
  const std::string support = platform::SearchPath(supportName);
  if (support.empty()) throw ESfxNoRequiredFile("zip", win32 ? "Win32" : "DOS", supportName);

  const std::string outName = SfxOutputName(arcFile, ".EXE", dir);
  // "Zip" deletes the archive the .EXE was made from: an archive already bearing the .EXE's name
  // would be replaced by the self-extractor and then deleted with it.
  std::error_code same;
  if (std::filesystem::equivalent(outName, std::string(arcFile), same))
    throw EArchiver("Cannot create file \"" + outName + "\".");
  WriteSfxFile(outName, support, std::string(arcFile), TSfxTrailer::None,
               [&](TSfxFailure failure, const std::string& path) {
                 switch (failure) {
                   case TSfxFailure::Open: throw EArchiver("Cannot open file \"" + path + "\".");
                   case TSfxFailure::Create: throw EArchiver("Cannot create file \"" + outName + "\".");
                   case TSfxFailure::Read: throw EArchiver("Stream read error: \"" + outName + "\".");
                   case TSfxFailure::Write: throw EArchiver("Stream write error: \"" + outName + "\".");
                 }
               });
  return "-A " + outName;
}

bool IsZipArchive(std::string_view fileName) {
  try {
    TZipDll& dll = TZip32::Binding();
    const std::string path = platform::ExpandFileName(fileName);
    if (dll.CheckArchive(path, 24) == 0) return false;
    if (!platform::FileExists(path)) return false;
    const HARC handle = dll.OpenArchive(0, path, 0x800002);
    if (handle != 0) dll.CloseArchive(handle);
    return handle != 0;
  } catch (const std::exception&) {
    return false;
  }
}
