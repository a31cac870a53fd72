// The CAB driver: command lines for CAB32.DLL, in the pattern the drivers beside LHA share.
#pragma once
#include "DriverFamily.h"

class TCab32 : public TFamilyDriver<TCab32> {
 public:
  static constexpr const char* DisplayName = "CAB 形式書庫";
  static constexpr const char* LibraryName = "CAB32.DLL";
  static constexpr const char* Prefix = "Cab";

  std::string ExtractCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                             std::string_view dir, const TFileArgs& files, bool useResponseFile) override;
  std::string PackCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options, std::string_view dir,
                          const TFileArgs& files, bool useResponseFile) override;
  std::string SfxCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                         std::string_view dir) override;
  std::string ExtractMemCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                                std::string_view fileName) override;

 private:
  std::string MakeCommandLine(std::string_view command, std::string_view arcFile, const TArchiverOptions& options,
                              std::string_view dir, const TFileArgs& files, bool useResponseFile) const;
};

bool IsCabArchive(std::string_view fileName);
