// The YZ1 driver: command lines for YYZ32.DLL or YZ1.DLL, a binding that asks for the password of
// a protected archive, and self-extractors made by copying files. No library of ours reads the
// format, so opening such an archive names the two libraries it needs.
#pragma once
#include "ARCHIVES.h"

// The entries the YZ1 libraries add to the common ones.
using YZ1_SET_DEFAULT_PASSWORD = int (*)(HARC arc, const char* password);
using YZ1_PASSWORD_DIALOG = int (*)(HWND wnd, char* buffer, uint32_t size);  // negative: cancelled

class TYZ1Dll : public TArchiverDll {
 public:
  // FindFirst's answer for an archive whose password is missing or wrong.
  static constexpr int kPasswordRequired = 0x800A;
  // FindFirst is tried at most this often: once, then after each of up to three passwords.
  static constexpr int kMaxFindFirstCalls = 4;

  using TArchiverDll::TArchiverDll;

  void Unload() override;
  HARC OpenArchive(HWND wnd, const std::string& fileName, uint32_t mode) override;
  // Asks for a password while the library wants one, until the user cancels or FindFirst has
  // been called kMaxFindFirstCalls times; the last call's result.
  int FindFirst(HARC handle, const std::string& wildName, TMemberRecord& rec) override;
  // -1 when the library lacks the entry.
  int SetDefaultPassword(HARC handle, const char* password);
  int PasswordDialog(HWND wnd, char* buffer, uint32_t size);

  HWND LastOpenWindow() const { return FLastOpenWindow; }

 private:
  HWND FLastOpenWindow = 0;
  void* FSetDefaultPassword = nullptr;
  void* FPasswordDialog = nullptr;
};

class TYZ1 : public TArchiver {
 public:
  TYZ1();  // loads one of the two libraries (EArchiver naming both when neither is there)

  // Tries YYZ32.DLL, then YZ1.DLL; a binding that loads neither is dropped, so the next call
  // tries again.
  void LoadDLL() override;
  void FreeDLL() override;
  TCustomArchiverDll& GetDll() override;
  std::string ExtractCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                             std::string_view dir, const TFileArgs& files, bool useResponseFile) override;
  std::string PackCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options, std::string_view dir,
                          const TFileArgs& files, bool useResponseFile) override;
  // The support stub (a DOS one when gw is 0 or less or unset), the archive, then the archive's
  // length in four big-endian bytes, into ArcFile with ".exe" (in Dir when given). No library call.
  int MakeSfx(HWND wnd, std::string_view arcFile, const TArchiverOptions& options, std::string_view dir,
              std::string& cmdLine, std::string& output) override;

  static TYZ1Dll& Binding();
  static void FreeBinding();

 private:
  std::string MakeCommandLine(std::string_view command, std::string_view arcFile, const TArchiverOptions& options,
                              std::string_view dir, const TFileArgs& files, bool useResponseFile) const;
};

bool IsYz1Archive(std::string_view fileName);
