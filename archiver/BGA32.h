// The BGA driver: command lines for BGA32.DLL (GZA and BZA archives). No library of ours reads
// the format, so opening such an archive names the missing BGA32.DLL.
#pragma once
#include "ARCHIVES.h"

class TBGA32 : public TArchiver {
 public:
  TBGA32();  // loads the family's library (ENoArchiverDLL when it is missing)

  void LoadDLL() override;
  void FreeDLL() override;
  TCustomArchiverDll& GetDll() override;
  std::string ExtractCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                             std::string_view dir, const TFileArgs& files, bool useResponseFile) override;
  std::string PackCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options, std::string_view dir,
                          const TFileArgs& files, bool useResponseFile) override;
  std::string DeleteCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                            std::string_view dir, const TFileArgs& files, bool useResponseFile) override;
  std::string SfxCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                         std::string_view dir) override;

  static TArchiverDll& Binding();
  static void FreeBinding();

 private:
  std::string MakeCommandLine(std::string_view command, std::string_view arcFile, const TArchiverOptions& options,
                              std::string_view dir, const TFileArgs& files, bool useResponseFile) const;
};

bool IsBgaArchive(std::string_view fileName);
