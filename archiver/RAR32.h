// The RAR driver: extraction and listing through UNRAR32.DLL; RAR archives are never written.
#pragma once
#include "ARCHIVES.h"

class TRar32 : public TArchiver {
 public:
  TRar32();  // loads the family's library (ENoArchiverDLL when it is missing)

  void LoadDLL() override;
  void FreeDLL() override;
  TCustomArchiverDll& GetDll() override;
  std::string ExtractCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                             std::string_view dir, const TFileArgs& files, bool useResponseFile) override;
  std::string ExtractMemCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                                std::string_view fileName) override;

  static TArchiverDll& Binding();
  static void FreeBinding();

 private:
  static std::string MakeCommandLine(std::string_view command, std::string_view arcFile,
                                     const TArchiverOptions& options, std::string_view dir, const TFileArgs& files,
                                     bool useResponseFile);
};

bool IsRarArchive(std::string_view fileName);
