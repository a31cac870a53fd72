// The RAR driver: extraction and listing through UNRAR32.DLL; RAR archives are never written.
#pragma once
#include "DriverFamily.h"

class TRar32 : public TFamilyDriver<TRar32> {
 public:
  static constexpr const char* DisplayName = "RAR 形式書庫";
  static constexpr const char* LibraryName = "UNRAR32.DLL";
  static constexpr const char* Prefix = "Unrar";

  std::string ExtractCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                             std::string_view dir, const TFileArgs& files, bool useResponseFile) override;
  std::string ExtractMemCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                                std::string_view fileName) override;

 private:
  static std::string MakeCommandLine(std::string_view command, std::string_view arcFile,
                                     const TArchiverOptions& options, std::string_view dir, const TFileArgs& files,
                                     bool useResponseFile);
};

bool IsRarArchive(std::string_view fileName);
