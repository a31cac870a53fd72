// The ZIP driver. ZIP work is spread over up to three libraries: "UNZIP32.DLL" (reading),
// "ZIP32J.DLL" (writing) and "LMZIP32.DLL" (both). The binding loads whichever exist and takes
// each entry from the first library that has it; the driver picks a command-line dialect by the
// libraries present.
#pragma once
#include <initializer_list>

#include "ARCHIVES.h"

class TZipDll : public TCustomArchiverDll {
 public:
  enum TZipLibrary { zlUnzip32, zlLmzip32, zlZip32j };

  TZipDll() = default;
  ~TZipDll() override;

  // Tries every library whose handle is still 0; never fails.
  void Load() override;
  void Unload() override;
  int UnpackSideCommand(HWND wnd, std::string_view arcName, const std::string& cmdLine, char* output,
                        uint32_t outputSize) override;
  // Removes the archive first, so packing always writes a new archive in its place. The old
  // file is only moved aside until "Zip" succeeds, and comes back when it fails.
  int PackSideCommand(HWND wnd, std::string_view arcName, const std::string& cmdLine, char* output,
                      uint32_t outputSize) override;
  // "Zip" on the archive as it is (deleting or freshening members of an existing archive).
  int ChangeSideCommand(HWND wnd, const std::string& cmdLine, char* output, uint32_t outputSize);
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
  // Never resolved for ZIP: these answer 0 without asking any library.
  int GetOriginalSizeEx(HARC handle, uint64_t* size) override;
  int GetCompressedSizeEx(HARC handle, uint64_t* size) override;
  int SetEnumMembersProc64(ENUM_MEMBER_PROC64 proc, uint32_t structSize) override;
  int ClearEnumMembersProc64() override;

  bool Loaded(TZipLibrary library) const { return Module(library) != nullptr; }

 private:
  platform::HMODULE Module(TZipLibrary library) const;
  // Looks Name up in the loaded libraries of Order, the first hit kept in Slot. A miss raises
  // EEntryNotFound when Required, else leaves Slot null.
  bool Resolve(void*& slot, const char* name, std::initializer_list<TZipLibrary> order, bool required);
  // The owner-window entries come only from "UNZIP32.DLL" and are required.
  void ResolveFromUnzip(TEntryIndex index);
  void ResolveZip();

  platform::HMODULE FUnzip32 = nullptr;
  platform::HMODULE FLmzip32 = nullptr;
  platform::HMODULE FZip32j = nullptr;
  void* FZip = nullptr;
  void* FUnZip = nullptr;
};

class TZip32 : public TArchiver {
 public:
  TZip32();  // loads whichever ZIP libraries exist; a missing one is reported when needed

  void LoadDLL() override;
  void FreeDLL() override;
  TCustomArchiverDll& GetDll() override;
  int Delete(HWND wnd, std::string_view arcFile, const TArchiverOptions& options, std::string_view dir,
             const TFileArgs& files, bool useResponseFile, std::string& cmdLine, std::string& output) override;
  int Update(HWND wnd, std::string_view arcFile, const TArchiverOptions& options, std::string_view dir,
             const TFileArgs& files, bool useResponseFile, std::string& cmdLine, std::string& output) override;
  std::string ExtractCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                             std::string_view dir, const TFileArgs& files, bool useResponseFile) override;
  std::string PackCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options, std::string_view dir,
                          const TFileArgs& files, bool useResponseFile) override;
  std::string DeleteCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                            std::string_view dir, const TFileArgs& files, bool useResponseFile) override;
  std::string UpdateCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                            std::string_view dir, const TFileArgs& files, bool useResponseFile) override;
  // Copies the support file and the archive into "<archive>.EXE" and returns "-A <that name>".
  std::string SfxCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                         std::string_view dir) override;
  std::string ExtractMemCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                                std::string_view fileName) override;

  static TZipDll& Binding();
  static void FreeBinding();

 private:
  std::string UnzipCommandLine(std::string_view command, std::string_view arcFile, const TArchiverOptions& options,
                               std::string_view dir, const TFileArgs& files, bool useResponseFile) const;
  std::string Zip32jCommandLine(std::string_view command, std::string_view arcFile, const TArchiverOptions& options,
                                std::string_view dir, const TFileArgs& files, bool useResponseFile) const;
  std::string LmzipCommandLine(std::string_view command, std::string_view arcFile, const TArchiverOptions& options,
                               const TFileArgs& files, bool useResponseFile) const;
};

// The name converter of the unzip and ZIP32J dialects: a leading "-" becomes "[-]", then every
// "\" becomes "/" and every "[" becomes "[[]".
std::string ZipNameConverter(std::string_view name);

bool IsZipArchive(std::string_view fileName);
