// The CAB driver: command lines for CAB32.DLL, in the pattern the drivers beside LHA share.
#pragma once
#include "ARCHIVES.h"

class TCab32 : public TArchiver {
 public:
  TCab32();  // loads the family's library (ENoArchiverDLL when it is missing)

  void LoadDLL() override;
  void FreeDLL() override;
  TCustomArchiverDll& GetDll() override;
  std::string ExtractCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                             std::string_view dir, const TFileArgs& files, bool useResponseFile) override;
  std::string PackCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options, std::string_view dir,
                          const TFileArgs& files, bool useResponseFile) override;
  std::string SfxCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                         std::string_view dir) override;
  std::string ExtractMemCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                                std::string_view fileName) override;

  static TArchiverDll& Binding();
  static void FreeBinding();

 private:
  std::string MakeCommandLine(std::string_view command, std::string_view arcFile, const TArchiverOptions& options,
                              std::string_view dir, const TFileArgs& files, bool useResponseFile) const;
};

bool IsCabArchive(std::string_view fileName);
