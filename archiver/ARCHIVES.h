// The archiver component: TArchiveFile and everything behind it (switch set, command-line
// builder, library binding, driver base). Each format driver has a unit of its own (LHA32.h,
// ARJ32.h, CAB32.h, ...), the component's own file selection is in FILTERS.h and the
// named-stream staging in ExtStrms.h.
#pragma once
#include <array>
#include <bit>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "ArchiverApi.h"
#include "Module.h"

enum TArchiverType { atLha, atZip, atCab, atArj, atTar, atTgz, atBZ2, atRar, atBga, atYz1, atGCA, atBel, at7z, atNone, atAutoDetect };

// ---------------------------------------------------------------------------------------------
// Errors

class EArchiver : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The library of a format cannot be loaded.
class ENoArchiverDLL : public EArchiver {
 public:
  ENoArchiverDLL(std::string_view displayName, std::string_view libraryName);
};

// A required library entry is missing.
class EEntryNotFound : public EArchiver {
 public:
  EEntryNotFound(std::string_view modulePath, std::string_view entryName);
  // An entry that none of several libraries has (the ZIP binding).
  explicit EEntryNotFound(std::string_view entryName);
};

// A self-extractor cannot be made because a support file is missing.
class ESfxNoRequiredFile : public EArchiver {
 public:
  ESfxNoRequiredFile(std::string arcType, std::string sfxKind, std::string requiredFile);
  const std::string& ArcType() const { return FArcType; }
  const std::string& SfxKind() const { return FSfxKind; }
  const std::string& RequiredFile() const { return FRequiredFile; }

 private:
  std::string FArcType, FSfxKind, FRequiredFile;
};

// A broken precondition in a driver, with its source unit and line: "<msg> (<unit>, <line> 行)".
class EAssertionFailed : public std::logic_error {
 public:
  EAssertionFailed(std::string_view message, std::string_view unit, int line);
};

// ---------------------------------------------------------------------------------------------
// Member record: the library's INDIVIDUALINFO followed by what the binding completes.

#pragma pack(push, 1)
struct TMemberRecord {
  INDIVIDUALINFO Info;        // 0..557, filled by the library
  uint64_t ftLastWriteTime;   // 558, UTC file time
  uint64_t ftLastAccessTime;  // 566
  uint64_t ftCreationTime;    // 574
  uint64_t llOriginalSize;    // 582
  uint64_t llCompressedSize;  // 590
};
#pragma pack(pop)
static_assert(sizeof(TMemberRecord) == 598);
static_assert(offsetof(TMemberRecord, Info) == 0);
static_assert(offsetof(TMemberRecord, ftLastWriteTime) == 558);
static_assert(offsetof(TMemberRecord, ftLastAccessTime) == 566);
static_assert(offsetof(TMemberRecord, ftCreationTime) == 574);
static_assert(offsetof(TMemberRecord, llOriginalSize) == 582);
static_assert(offsetof(TMemberRecord, llCompressedSize) == 590);

// ---------------------------------------------------------------------------------------------
// Switch set

// A text switch equal to this one-character NUL string is not set; an empty text is.
inline const std::string kUnsetText(1, '\0');
inline bool IsUnsetText(std::string_view s) { return s.size() == 1 && s[0] == '\0'; }

enum TPackFilter { pfArchiver, pfComponent };
enum TResFileUse { ruOnPack, ruOnUnpack, ruOnRemoveItem, ruOnUpdate };

// A set of TResFileUse.
class TResFileUsage {
 public:
  constexpr TResFileUsage() = default;
  constexpr TResFileUsage(std::initializer_list<TResFileUse> uses) {
    for (TResFileUse u : uses) Include(u);
  }
  constexpr bool Contains(TResFileUse u) const { return (FBits & bit(u)) != 0; }
  constexpr void Include(TResFileUse u) { FBits = static_cast<uint8_t>(FBits | bit(u)); }
  constexpr void Exclude(TResFileUse u) { FBits = static_cast<uint8_t>(FBits & ~bit(u)); }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr bool operator==(const TResFileUsage&) const = default;

 private:
  static constexpr uint8_t bit(TResFileUse u) { return static_cast<uint8_t>(1u << u); }
  uint8_t FBits = 0;
};

class TArchiverOptions {
 public:
  TArchiverOptions();
  TArchiverOptions(const TArchiverOptions&) = default;
  TArchiverOptions& operator=(const TArchiverOptions&) = default;

  // Every number to -1, every text to the unset marker, jx emptied, the component settings to
  // their defaults except IncludeExtraStreams and StreamSeparator, which stay.
  void Reset();
  void Assign(const TArchiverOptions& source) { *this = source; }

  // The 73 switches, in declaration order (the LHA driver emits them in this order).
  int8_t a, c, e, f, h, i, l, m, n, o, p, r, s, t, u;
  std::string w;
  int8_t x, y, z, jc, jd, je, jf, jh, ji, jm, jn;
  std::string jo, job;
  int8_t jp, jr, jsb, jsc, jsd, jse, jsf, jsl, jso, jss, jst, jsv, jsz, jw;
  std::vector<std::string> jx;
  int8_t jyc, jyd, jyk, jyn, jyo;
  std::string jz;
  int8_t ga, gd, ge, gf, gj, gm, gn, go, gp;
  std::string gr;
  int8_t gs, gu, gw, gya, gyc;
  std::string gyd, gye;
  int8_t gyo, gyq, gys;
  std::string gyt, gyw;
  int8_t gyx;

  // Component settings.
  std::string UserOptions;   // appended verbatim after the generated switches
  std::string UserFileList;  // appended verbatim after the file arguments
  TPackFilter PackFilter = pfComponent;
  std::string ResFileName;  // empty or the unset marker: no response file
  TResFileUsage ResFileUsage{ruOnPack, ruOnUnpack, ruOnRemoveItem};
  bool IncludeExtraStreams = true;
  std::string StreamSeparator = ";#";

  enum class TSwitchKind { Number, Text, Directory, List };
  struct TSwitch {
    const char* Name;
    TSwitchKind Kind;
    int8_t TArchiverOptions::*Number;
    std::string TArchiverOptions::*Text;
    std::vector<std::string> TArchiverOptions::*List;
  };
  // The 73 switches with their names and kinds, in declaration order.
  static const std::array<TSwitch, 73>& Switches();
};

// ---------------------------------------------------------------------------------------------
// File arguments: an ordered sequence of values of mixed kinds, flattened into names.

struct TOtherArg {};  // any other kind of value: gives no names
using TFileArg = std::variant<std::string,                // a name
                              const char*,                // a zero-terminated name
                              const char* const*,         // names, ended by a null pointer
                              std::vector<std::string>,   // a string list: each line
                              TOtherArg>;

class TFileArgs {
 public:
  TFileArgs() = default;
  TFileArgs(std::initializer_list<TFileArg> args) : FItems(args) {}
  TFileArgs(std::vector<std::string> list) { FItems.emplace_back(std::move(list)); }  // one string list
  void push_back(TFileArg arg) { FItems.push_back(std::move(arg)); }
  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }
  size_t size() const { return FItems.size(); }
  bool empty() const { return FItems.empty(); }

 private:
  std::vector<TFileArg> FItems;
};

// The names of Files in order; empty names are dropped unless KeepEmptyNames.
std::vector<std::string> FlattenArgs(const TFileArgs& files, bool keepEmptyNames = false);
// The same names handed to Visit one by one, without a copy of the list.
void ForEachName(const TFileArgs& files, bool keepEmptyNames, const std::function<void(std::string_view)>& visit);

// ---------------------------------------------------------------------------------------------
// Command-line builder: every argument is preceded by one space.

class TCmdOpt {
 public:
  using TNameConverter = std::string (*)(std::string_view name);

  bool FSeparateValue = false;
  TNameConverter FNameConverter = nullptr;
  std::string FText;

  void Add(std::string_view s);
  void AddQuoted(std::string_view sw, std::string_view value);
  void AddText(std::string_view sw, std::string_view value) { AddQuoted(sw, value); }
  void AddNumber(std::string_view sw, int n);
  void AddFlag(std::string_view sw, bool on);
  void AddDir(std::string_view sw, std::string_view dir);
  std::string ConvertName(std::string_view name) const;
  void AddName(std::string_view sw, std::string_view name);
  int AddFiles(std::string_view sw, const TFileArgs& files);
  // Writes the names, each quoted and ended by CR LF, into FileName with one write, then adds
  // the quoted "@FileName" argument. The file is left for the caller to delete.
  int AddResponseFile(const TFileArgs& files, std::string_view fileName);
};

// ---------------------------------------------------------------------------------------------
// Library binding

class TCustomArchiverDll {
 public:
  enum TEntryIndex {
    eiCommand, eiOpenArchive, eiCloseArchive, eiFindFirst, eiFindNext, eiExtractMem, eiCheckArchive,
    eiSetOwnerWindowEx, eiKillOwnerWindowEx, eiGetWriteTimeEx, eiGetCreateTimeEx, eiGetAccessTimeEx,
    eiGetOriginalSizeEx, eiGetCompressedSizeEx, eiGetArchiveType, eiSetEnumMembersProc64,
    eiClearEnumMembersProc64, kEntryCount
  };
  // Entry-name suffixes by index ("" for the command entry).
  static const std::array<const char*, kEntryCount>& EntrySuffixes();

  TCustomArchiverDll() = default;
  TCustomArchiverDll(const TCustomArchiverDll&) = delete;
  TCustomArchiverDll& operator=(const TCustomArchiverDll&) = delete;
  virtual ~TCustomArchiverDll() = default;

  virtual void Load() = 0;
  virtual void Unload();  // forgets every resolved entry
  virtual int UnpackSideCommand(HWND wnd, std::string_view arcName, const std::string& cmdLine, char* output,
                                uint32_t outputSize);
  virtual int PackSideCommand(HWND wnd, std::string_view arcName, const std::string& cmdLine, char* output,
                              uint32_t outputSize);
  virtual int CheckArchive(const std::string& fileName, int mode);
  virtual int CloseArchive(HARC handle);
  virtual int ExtractMem(HWND wnd, const std::string& cmdLine, unsigned char* buffer, uint32_t bufferSize, void* time,
                         void* attr, uint32_t* writtenSize);
  virtual int FindFirst(HARC handle, const std::string& wildName, TMemberRecord& rec);
  virtual int FindNext(HARC handle, TMemberRecord& rec);
  virtual int KillOwnerWindowEx(HWND wnd);
  virtual HARC OpenArchive(HWND wnd, const std::string& fileName, uint32_t mode);
  virtual int SetOwnerWindowEx(HWND wnd, ARC_OWNER_CALLBACK callback);
  virtual int GetWriteTimeEx(HARC handle, uint64_t* fileTime);
  virtual int GetCreateTimeEx(HARC handle, uint64_t* fileTime);
  virtual int GetAccessTimeEx(HARC handle, uint64_t* fileTime);
  virtual int GetOriginalSizeEx(HARC handle, uint64_t* size);
  virtual int GetCompressedSizeEx(HARC handle, uint64_t* size);
  virtual int GetArchiveType(const std::string& fileName);
  virtual int SetEnumMembersProc64(ENUM_MEMBER_PROC64 proc, uint32_t structSize);
  virtual int ClearEnumMembersProc64();

 protected:
  // Fills the record's times and 64-bit sizes, from the library where it offers them, else
  // from the MS-DOS stamps (local time) and the 32-bit sizes.
  void CompleteMemberRecord(HARC handle, TMemberRecord& rec);
  template <class F>
  F Entry(TEntryIndex index) const {
    return std::bit_cast<F>(FEntries[index]);
  }
  template <class F>
  F RequiredEntry(TEntryIndex index) const;

  std::array<void*, kEntryCount> FEntries{};
};

// The binding for libraries whose entries share a prefix ("Unlha", "UnlhaOpenArchive", ...).
class TArchiverDll : public TCustomArchiverDll {
 public:
  TArchiverDll(std::string displayName, std::string libraryName, std::string prefix);
  ~TArchiverDll() override;

  void Load() override;
  void Unload() override;
  int UnpackSideCommand(HWND wnd, std::string_view arcName, const std::string& cmdLine, char* output,
                        uint32_t outputSize) override;
  int CheckArchive(const std::string& fileName, int mode) override;
  int CloseArchive(HARC handle) override;
  int ExtractMem(HWND wnd, const std::string& cmdLine, unsigned char* buffer, uint32_t bufferSize, void* time,
                 void* attr, uint32_t* writtenSize) override;
  int FindFirst(HARC handle, const std::string& wildName, TMemberRecord& rec) override;
  int FindNext(HARC handle, TMemberRecord& rec) override;
  int KillOwnerWindowEx(HWND wnd) override;
  HARC OpenArchive(HWND wnd, const std::string& fileName, uint32_t mode) override;
  int SetOwnerWindowEx(HWND wnd, ARC_OWNER_CALLBACK callback) override;
  int GetWriteTimeEx(HARC handle, uint64_t* fileTime) override;
  int GetCreateTimeEx(HARC handle, uint64_t* fileTime) override;
  int GetAccessTimeEx(HARC handle, uint64_t* fileTime) override;
  int GetOriginalSizeEx(HARC handle, uint64_t* size) override;
  int GetCompressedSizeEx(HARC handle, uint64_t* size) override;
  int GetArchiveType(const std::string& fileName) override;
  int SetEnumMembersProc64(ENUM_MEMBER_PROC64 proc, uint32_t structSize) override;
  int ClearEnumMembersProc64() override;

  bool Loaded() const { return FModule != nullptr; }
  platform::HMODULE Module() const { return FModule; }

  // True when Slot holds an address (looked up now unless it did already); a missing required
  // entry raises EEntryNotFound naming the module's path; a missing optional one gives false.
  static bool ResolveEntry(void*& slot, platform::HMODULE module, const std::string& name, bool required);

 protected:
  platform::HMODULE FModule = nullptr;
  std::string FDisplayName;
  std::string FLibraryName;
  std::string FPrefix;

 private:
  bool Resolve(TEntryIndex index, bool required);
};

// One library's binding, shared by every driver of its family and by every thread: made by Make
// and then loaded on first use, kept (also when that load failed: calls that load first retry)
// until Reset. Threads that ask at once get the one binding, never a replaced one.
template <class Dll>
class TSharedBinding {
 public:
  template <class MakeFn>
  Dll& Get(MakeFn&& make) {
    std::lock_guard lock(FLock);
    if (!FDll) {
      FDll = make();
      FDll->Load();
    }
    return *FDll;
  }
  void Reset() {
    std::lock_guard lock(FLock);
    FDll.reset();
  }

 private:
  std::mutex FLock;
  std::unique_ptr<Dll> FDll;
};

// ---------------------------------------------------------------------------------------------
// Driver base

class TArchiver {
 public:
  TArchiver() = default;
  TArchiver(const TArchiver&) = delete;
  TArchiver& operator=(const TArchiver&) = delete;
  virtual ~TArchiver() = default;

  // Class-wide: each family keeps one binding shared by its instances and subclasses.
  virtual void LoadDLL();
  virtual void FreeDLL();
  virtual TCustomArchiverDll& GetDll() = 0;
  virtual HARC OpenArchive(HWND wnd, std::string_view arcFile, uint32_t mode);
  virtual int FindFirst(HARC handle, TMemberRecord& rec, std::string_view wildName);
  virtual int FindNext(HARC handle, TMemberRecord& rec);
  virtual int CloseArchive(HARC handle);
  virtual void BeforeEnumMember(void* info, TArchiverOptions& options, bool& cancel);
  virtual int Extract(HWND wnd, std::string_view arcFile, const TArchiverOptions& options, std::string_view dir,
                      const TFileArgs& files, bool useResponseFile, std::string& cmdLine, std::string& output);
  virtual int Pack(HWND wnd, std::string_view arcFile, const TArchiverOptions& options, std::string_view dir,
                   const TFileArgs& files, bool useResponseFile, std::string& cmdLine, std::string& output);
  virtual int Delete(HWND wnd, std::string_view arcFile, const TArchiverOptions& options, std::string_view dir,
                     const TFileArgs& files, bool useResponseFile, std::string& cmdLine, std::string& output);
  virtual int Update(HWND wnd, std::string_view arcFile, const TArchiverOptions& options, std::string_view dir,
                     const TFileArgs& files, bool useResponseFile, std::string& cmdLine, std::string& output);
  virtual int MakeSfx(HWND wnd, std::string_view arcFile, const TArchiverOptions& options, std::string_view dir,
                      std::string& cmdLine, std::string& output);
  virtual int ExtractMem(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                         std::string_view fileName, unsigned char* buffer, uint32_t bufferSize,
                         uint32_t* writtenSize, std::string& cmdLine);
  virtual int CheckArchive(std::string_view arcFile, int mode, int extra);
  virtual std::string ExtractCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                                     std::string_view dir, const TFileArgs& files, bool useResponseFile) = 0;
  virtual std::string PackCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                                  std::string_view dir, const TFileArgs& files, bool useResponseFile);
  virtual std::string DeleteCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                                    std::string_view dir, const TFileArgs& files, bool useResponseFile);
  virtual std::string UpdateCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                                    std::string_view dir, const TFileArgs& files, bool useResponseFile);
  virtual std::string SfxCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                                 std::string_view dir);
  virtual std::string ExtractMemCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                                        std::string_view fileName);
  virtual bool SetOwnerWindow(HWND wnd, ARC_OWNER_CALLBACK callback);
  virtual bool KillOwnerWindow(HWND wnd);
  virtual void SetEnumMembersProc(ENUM_MEMBER_PROC64 proc, uint32_t param);
  virtual void ClearEnumMembersProc();
  virtual void EnsureDLL();

  bool HasOwnerWindow() const { return FOwnerWindow != 0; }

 protected:
  int RunUnpackCommand(HWND wnd, std::string_view arcFile, const std::string& cmdLine, std::string& output);
  int RunPackCommand(HWND wnd, std::string_view arcFile, const std::string& cmdLine, std::string& output);
  static void AddArchiveAndDir(TCmdOpt& builder, std::string_view arcFile, std::string_view dir);
  static int AddFileArgs(TCmdOpt& builder, const TArchiverOptions& options, bool useResponseFile,
                         const TFileArgs& files);
  // The end of the common command line: UserOptions verbatim, the archive and directory, the
  // file arguments; gives the command letter followed directly by the builder's text.
  static std::string FinishCommandLine(TCmdOpt& builder, std::string_view command, std::string_view arcFile,
                                       const TArchiverOptions& options, std::string_view dir,
                                       const TFileArgs& files, bool useResponseFile);

 private:
  HWND FOwnerWindow = 0;
};

// ---------------------------------------------------------------------------------------------
// The component

class TArchiveFile {
 public:
  using TProgressEvent = std::function<void(TArchiveFile& sender, int state, EXTRACTINGINFOEX* info, bool& abort)>;
  using TEnumMemberEvent = std::function<void(TArchiveFile& sender, EXTRACTINGINFOEX64& info, bool& abort)>;

  TArchiveFile();
  TArchiveFile(const TArchiveFile&) = delete;
  TArchiveFile& operator=(const TArchiveFile&) = delete;
  ~TArchiveFile();

  std::string FileName() const { return FFileName; }
  // Detects the type by extension first; when setting the type raises, the name is not kept.
  void SetFileName(std::string_view name);
  int OutputSize() const { return static_cast<int>(FOutput.size()); }
  void SetOutputSize(int n);
  std::string Output() const;  // the library's output text, up to the first NUL
  TArchiverOptions& Options() { return FOptions; }
  TArchiverType ArchiverType() const { return FArchiverType; }
  void SetArchiverType(TArchiverType t);
  const std::string& CommandLine() const { return FCommandLine; }
  TArchiver* Archiver() const { return FArchiver.get(); }

  TProgressEvent OnProgress;
  TEnumMemberEvent OnEnumMember;

  int Pack(HWND wnd, TArchiverOptions* options, std::string_view baseDir, const TFileArgs& files);
  int Extract(HWND wnd, TArchiverOptions* options, std::string_view destDir, const TFileArgs& files);
  bool OpenArchive(HWND wnd, int mode);  // true when the open FAILED
  int FindFirst(std::string_view wildName, TMemberRecord& rec);
  int FindNext(TMemberRecord& rec);
  void CloseArchive();

  // The component whose enumeration callback is registered, or null.
  static TArchiveFile* CurrentArchiveFile();
  // The number of the "wm_arcextract" message, registered on first need.
  static uint32_t ProgressMessage();

 private:
  using TStreamHook = void (TArchiveFile::*)(int state, EXTRACTINGINFOEX* info, bool& abort);
  struct TOperationState {
    bool EnumRegistered = false;
    bool WindowRegistered = false;
  };

  void EnsureArchiverType();
  void CheckArchiver() const;
  int RunPack(HWND wnd, const TArchiverOptions& options, std::string_view baseDir, const TFileArgs& files);
  TOperationState BeginOperation(const TArchiverOptions& options);
  void EndOperation(TOperationState state);
  void DispatchProgress(int state, EXTRACTINGINFOEX* info, bool& abort);
  void DispatchEnumMember(void* info, bool& abort);
  void CollectStreamMember(int state, EXTRACTINGINFOEX* info, bool& abort);
  void RestoreStreams(std::string_view destDir);
  static LRESULT ProgressWndProc(HWND wnd, uint32_t msg, WPARAM wParam, LPARAM lParam);
  static int EnumMembersCallback(void* info);

  TArchiverType FArchiverType = atAutoDetect;
  std::unique_ptr<TArchiver> FArchiver;
  TArchiverOptions FOptions;
  std::string FFileName = kUnsetText;
  std::string FCommandLine;
  std::string FOutput;
  HWND FProgressWindow = 0;
  TStreamHook FStreamHook = nullptr;
  const TArchiverOptions* FStreamOptions = nullptr;
  std::unique_ptr<std::vector<std::string>> FStreamMembers;  // sorted, no duplicates; only during Extract
  HARC FArchiveHandle = 0;
};

// Type detection: by extension, or by running every format probe (last positive wins).
TArchiverType DetectArchiverType(std::string_view name, bool byExtension);
// A file-dialog filter ("description|*.lzh;*.zip;...") of every name the detection takes.
std::string ArchiveFileFilter(std::string_view description);
