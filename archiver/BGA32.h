// The BGA driver: command lines for BGA32.DLL (GZA and BZA archives). No library of ours reads
// the format, so opening such an archive names the missing BGA32.DLL.
#pragma once
#include "DriverFamily.h"

class TBGA32 : public TFamilyDriver<TBGA32> {
 public:
  static constexpr const char* DisplayName = "BGA 形式書庫";
  static constexpr const char* LibraryName = "BGA32.DLL";
  static constexpr const char* Prefix = "Bga";

  std::string ExtractCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                             std::string_view dir, const TFileArgs& files, bool useResponseFile) override;
  std::string PackCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options, std::string_view dir,
                          const TFileArgs& files, bool useResponseFile) override;
  std::string DeleteCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                            std::string_view dir, const TFileArgs& files, bool useResponseFile) override;
  std::string SfxCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                         std::string_view dir) override;

 private:
  std::string MakeCommandLine(std::string_view command, std::string_view arcFile, const TArchiverOptions& options,
                              std::string_view dir, const TFileArgs& files, bool useResponseFile) const;
};

bool IsBgaArchive(std::string_view fileName);
