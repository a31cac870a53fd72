#include <algorithm>
#include <cctype>
#include <cstring>

#include "ARCHIVES.h"
#include "ARJ32.h"
#include "BGA32.h"
#include "CAB32.h"
#include "ExtStrms.h"
#include "FILTERS.h"
#include "FileSearch.h"
#include "LHA32.h"
#include "NamedStreams.h"
#include "Paths.h"
#include "RAR32.h"
#include "SZIP32.h"
#include "TAR32.h"
#include "YZ132.h"
#include "ZIP32.h"

namespace {

TArchiveFile* gCurrentArchiveFile = nullptr;

// Runs Action when the scope ends, also when an exception passes.
template <class F>
struct TFinally {
  F Action;
  ~TFinally() { Action(); }
};
template <class F>
TFinally(F) -> TFinally<F>;

std::string lowerCase(std::string_view s) {
  std::string result(s);
  for (char& ch : result) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return result;
}

struct TExtensionEntry {
  std::string_view Ext;
  TArchiverType Type;
};
constexpr TExtensionEntry kExtensions[] = {
    {".lzh", atLha}, {".zip", atZip}, {".jar", atZip},  {".ear", atZip}, {".war", atZip}, {".cab", atCab},
    {".arj", atArj}, {".tar", atTar}, {".a", atTar},    {".lib", atTar}, {".deb", atTar}, {".rpm", atTar},
    {".cpio", atTar}, {".gz", atTgz}, {".z", atTgz},    {".tgz", atTgz}, {".taz", atTgz}, {".bz2", atBZ2},
    {".rar", atRar}, {".gza", atBga}, {".bza", atBga},  {".yz1", atYz1}, {".gca", atGCA}, {".7z", at7z},
};

TArchiverType typeByExtension(std::string_view ext) {
  for (const TExtensionEntry& entry : kExtensions)
    if (entry.Ext == ext) return entry.Type;
  return atNone;
}

TArchiverType typeByContent(std::string_view name) {
  // Probes in their fixed order, the last positive one winning: TAR, RAR, ARJ, ZIP, BGA, YZ1,
  // CAB, LHA.
  TArchiverType result = GetTarArchiveType(name);
  if (IsRarArchive(name)) result = atRar;
  if (IsArjArchive(name)) result = atArj;
  if (IsZipArchive(name)) result = atZip;
  if (IsBgaArchive(name)) result = atBga;
  if (IsYz1Archive(name)) result = atYz1;
  if (IsCabArchive(name)) result = atCab;
  if (IsLhaArchive(name)) result = atLha;
  return result;
}

}  // namespace

std::string ArchiveFileFilter(std::string_view description) {
  std::string filter = std::string(description) + "|";
  for (const TExtensionEntry& entry : kExtensions)
    if (entry.Type != atGCA) filter += "*" + std::string(entry.Ext) + ";";
  return filter + "*.exe";  // self-extractors, told apart by their content
}

TArchiverType DetectArchiverType(std::string_view name, bool byExtension) {
  if (!byExtension) return typeByContent(name);
  const std::string ext = lowerCase(platform::ExtractFileExt(name));
  if (ext == ".exe") return typeByContent(name);
  return typeByExtension(ext);
}

TArchiveFile::TArchiveFile() = default;

TArchiveFile::~TArchiveFile() {
  if (gCurrentArchiveFile == this) gCurrentArchiveFile = nullptr;
  if (FProgressWindow != 0) DestroyWindow(FProgressWindow);
}

TArchiveFile* TArchiveFile::CurrentArchiveFile() { return gCurrentArchiveFile; }

uint32_t TArchiveFile::ProgressMessage() {
  static const uint32_t message = RegisterWindowMessage(WM_ARCEXTRACT_NAME);
  return message;
}

void TArchiveFile::SetFileName(std::string_view name) {
  SetArchiverType(DetectArchiverType(name, true));
  FFileName = std::string(name);
}

void TArchiveFile::SetArchiverType(TArchiverType t) {
  std::unique_ptr<TArchiver> driver;
  switch (t) {
    case atLha: driver = std::make_unique<TLha32>(); break;
    case atArj: driver = std::make_unique<TArj32>(); break;
    case atCab: driver = std::make_unique<TCab32>(); break;
    case atTar: driver = std::make_unique<TTar32>(); break;
    case atTgz: driver = std::make_unique<TTgz32>(); break;
    case atBZ2: driver = std::make_unique<TBZ232>(); break;
    case atRar: driver = std::make_unique<TRar32>(); break;
    case atBga: driver = std::make_unique<TBGA32>(); break;
    case atYz1: driver = std::make_unique<TYZ1>(); break;
    case atZip: driver = std::make_unique<TZip32>(); break;
    case at7z: driver = std::make_unique<TSevenZip32>(); break;
    case atNone: return;
    case atAutoDetect: FArchiverType = t; return;
    default:
      // GCA and Bel never have a driver.
      throw EArchiver("書庫の形式を特定できませんでした。");
  }
  FArchiver = std::move(driver);
  FArchiverType = t;
}

void TArchiveFile::SetOutputSize(int n) {
  FOutput.resize(static_cast<size_t>(std::max(n, 0)));
  if (n > 0) FOutput[0] = '\0';
}

std::string TArchiveFile::Output() const { return std::string(FOutput.c_str()); }

void TArchiveFile::EnsureArchiverType() {
  if (FArchiverType == atAutoDetect) SetArchiverType(DetectArchiverType(FFileName, false));
}

void TArchiveFile::CheckArchiver() const {
  if (!FArchiver) throw EArchiver("書庫の形式を判別できません。");
}

int TArchiveFile::Pack(HWND wnd, TArchiverOptions* options, std::string_view baseDir, const TFileArgs& files) {
  EnsureArchiverType();
  CheckArchiver();
  const TArchiverOptions& opts = options != nullptr ? *options : FOptions;
  FArchiver->EnsureDLL();
  if (opts.PackFilter == pfArchiver) return RunPack(wnd, opts, baseDir, files);

  TStagedFiles staged;  // declared first, so the staged files go after everything else
  TArchiverOptions copy(opts);
  bool cancel = false;
  std::vector<std::string> unreadable;
  const TSelection selection = CollectFiles(
      staged, copy, baseDir, cancel, files,
      [this](int state, EXTRACTINGINFOEX* info, bool& abort) { DispatchProgress(state, info, abort); }, &unreadable);
  if (cancel) return ERROR_USER_CANCEL;
  const bool nothingSelected = selection.empty();
  int rc = 0;
  if (!nothingSelected) {
    copy.jx.clear();
    rc = RunPack(wnd, copy, baseDir, TFileArgs{selection.Names()});
  } else if (!FOutput.empty()) {
    FOutput[0] = '\0';
  }
  if (unreadable.empty()) return rc;
  // Folders the selection could not read are lost to this archive: say which (first, so that a
  // full buffer never hides them), and never report success.
  std::string text;
  for (const std::string& line : unreadable) text += line + "\n";
  text += Output();
  if (!FOutput.empty()) {
    const size_t n = std::min(text.size(), FOutput.size() - 1);
    std::copy_n(text.begin(), n, FOutput.begin());
    FOutput[n] = '\0';
  }
  if (rc != 0) return rc;
  return nothingSelected ? kPackNothingStored : kPackSkippedItems;
}

int TArchiveFile::RunPack(HWND wnd, const TArchiverOptions& options, std::string_view baseDir,
                          const TFileArgs& files) {
  const TOperationState state = BeginOperation(options);
  TFinally end{[&] { EndOperation(state); }};
  return FArchiver->Pack(wnd, FFileName, options, baseDir, files, options.ResFileUsage.Contains(ruOnPack),
                         FCommandLine, FOutput);
}

int TArchiveFile::Extract(HWND wnd, TArchiverOptions* options, std::string_view destDir, const TFileArgs& files) {
  FCommandLine.clear();
  CheckArchiver();
  const TArchiverOptions& opts = options != nullptr ? *options : FOptions;
  FStreamMembers.reset();
  FStreamOptions = nullptr;
  FStreamHook = nullptr;
  if (opts.IncludeExtraStreams && !opts.StreamSeparator.empty()) {
    FStreamMembers = std::make_unique<std::vector<std::string>>();
    FStreamOptions = &opts;
    FStreamHook = &TArchiveFile::CollectStreamMember;
  }
  TOperationState state;
  TFinally end{[&] {
    try {
      RestoreStreams(destDir);
    } catch (const std::exception&) {
      // Merging streams back is best effort; the extraction's own result stands.
    }
    FStreamMembers.reset();
    FStreamOptions = nullptr;
    FStreamHook = nullptr;
    EndOperation(state);
  }};
  // The hook is in place before the operation begins, so the progress window that feeds it is
  // registered whether or not the caller listens to progress itself.
  state = BeginOperation(opts);
  return FArchiver->Extract(wnd, FFileName, opts, destDir, files, opts.ResFileUsage.Contains(ruOnUnpack),
                            FCommandLine, FOutput);
}

bool TArchiveFile::OpenArchive(HWND wnd, int mode) {
  EnsureArchiverType();
  CheckArchiver();
  FArchiveHandle = FArchiver->OpenArchive(wnd, FFileName, static_cast<uint32_t>(mode));
  return FArchiveHandle == 0;
}

int TArchiveFile::FindFirst(std::string_view wildName, TMemberRecord& rec) {
  CheckArchiver();
  return FArchiver->FindFirst(FArchiveHandle, rec, wildName);
}

int TArchiveFile::FindNext(TMemberRecord& rec) {
  CheckArchiver();
  return FArchiver->FindNext(FArchiveHandle, rec);
}

void TArchiveFile::CloseArchive() {
  CheckArchiver();
  FArchiver->CloseArchive(FArchiveHandle);
  FArchiveHandle = 0;
}

TArchiveFile::TOperationState TArchiveFile::BeginOperation(const TArchiverOptions& options) {
  TOperationState state;
  if (OnEnumMember || options.IncludeExtraStreams) {
    gCurrentArchiveFile = this;
    try {
      FArchiver->SetEnumMembersProc(&TArchiveFile::EnumMembersCallback, sizeof(EXTRACTINGINFOEX64));
    } catch (...) {
      gCurrentArchiveFile = nullptr;
      throw;
    }
    state.EnumRegistered = true;
  }
  if (FStreamHook != nullptr || OnProgress) {
    ProgressMessage();
    if (FProgressWindow == 0) FProgressWindow = CreateHiddenWindow(&TArchiveFile::ProgressWndProc, this);
    try {
      FArchiver->SetOwnerWindow(FProgressWindow, nullptr);
    } catch (const std::exception&) {
      // Without a registered window the library just reports no progress.
    }
    state.WindowRegistered = true;
  }
  return state;
}

void TArchiveFile::EndOperation(TOperationState state) {
  if (state.EnumRegistered) {
    gCurrentArchiveFile = nullptr;
    try {
      FArchiver->ClearEnumMembersProc();
    } catch (const std::exception&) {
      // Registering succeeded, so the library is there; nothing more to undo.
    }
  }
  if (state.WindowRegistered) {
    try {
      FArchiver->KillOwnerWindow(FProgressWindow);
    } catch (const std::exception&) {
      // As when registering: ignored.
    }
  }
}

LRESULT TArchiveFile::ProgressWndProc(HWND wnd, uint32_t msg, WPARAM wParam, LPARAM lParam) {
  if (msg != ProgressMessage()) return DefWindowProc(wnd, msg, wParam, lParam);
  auto* self = static_cast<TArchiveFile*>(GetWindowUserData(wnd));
  bool abort = false;
  if (self != nullptr) {
    try {
      self->DispatchProgress(static_cast<int>(wParam), reinterpret_cast<EXTRACTINGINFOEX*>(lParam), abort);
    } catch (...) {
      // An exception cannot cross the library's frames; a failing handler stops the command.
      abort = true;
    }
  }
  return abort ? 1 : 0;
}

void TArchiveFile::DispatchProgress(int state, EXTRACTINGINFOEX* info, bool& abort) {
  if (FStreamHook != nullptr) (this->*FStreamHook)(state, info, abort);
  if (OnProgress) OnProgress(*this, state, info, abort);
}

int TArchiveFile::EnumMembersCallback(void* info) {
  bool abort = false;
  if (TArchiveFile* current = gCurrentArchiveFile) {
    try {
      current->DispatchEnumMember(info, abort);
    } catch (...) {
      abort = true;  // as in ProgressWndProc
    }
  }
  return abort ? 0 : -1;
}

void TArchiveFile::DispatchEnumMember(void* info, bool& abort) {
  FArchiver->BeforeEnumMember(info, FOptions, abort);
  if (!abort && OnEnumMember) OnEnumMember(*this, *static_cast<EXTRACTINGINFOEX64*>(info), abort);
}

void TArchiveFile::CollectStreamMember(int state, EXTRACTINGINFOEX* info, bool&) {
  if (state != ARCEXTRACT_INPROCESS || info == nullptr || FStreamOptions == nullptr || !FStreamMembers) return;
  const std::string source(info->szSourceFileName, strnlen(info->szSourceFileName, sizeof info->szSourceFileName));
  // The member name must have the form staging gives it. A plain search for the separator, as
  // once done, matched only property-set streams (";#") and let every other stream go unmerged.
  if (!IsStreamMemberName(source, FStreamOptions->StreamSeparator)) return;
  std::string dest(info->szDestFileName, strnlen(info->szDestFileName, sizeof info->szDestFileName));
  auto pos = std::lower_bound(FStreamMembers->begin(), FStreamMembers->end(), dest);
  if (pos == FStreamMembers->end() || *pos != dest) FStreamMembers->insert(pos, std::move(dest));
}

void TArchiveFile::RestoreStreams(std::string_view destDir) {
  if (!FStreamMembers || FStreamMembers->empty() || FStreamOptions == nullptr) return;
  if (!platform::VolumeHasNamedStreams(destDir.empty() ? std::string_view(".") : destDir)) return;
  for (const std::string& name : *FStreamMembers) {
    if (name.empty()) continue;  // a member the library refused has no file
    const bool asGiven = name.front() == platform::PathDelim || platform::FileExists(name);
    RestoreStreamMember(destDir, asGiven ? name : platform::JoinPath(destDir, name), FStreamOptions->StreamSeparator);
  }
}
