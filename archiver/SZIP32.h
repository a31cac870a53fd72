// The 7z driver: 7-Zip's own argument order for 7-zip32.dll; self-extractors are made by copying
// files. The format has no probe: 7z archives are found by their extension alone.
#pragma once
#include "DriverFamily.h"

class TSevenZip32 : public TFamilyDriver<TSevenZip32> {
 public:
  static constexpr const char* DisplayName = "7z 形式書庫";
  static constexpr const char* LibraryName = "7-zip32.dll";
  static constexpr const char* Prefix = "SevenZip";

  // "x", or "e" (no stored folders) when x is 0.
  std::string ExtractCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                             std::string_view dir, const TFileArgs& files, bool useResponseFile) override;
  std::string PackCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options, std::string_view dir,
                          const TFileArgs& files, bool useResponseFile) override;
  std::string DeleteCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                            std::string_view dir, const TFileArgs& files, bool useResponseFile) override;
  // "7z.sfx" (from 7-Zip's installation folder, else the default search), then the archive, into
  // ArcFile with ".exe" (in Dir when given). 16-bit stubs (gw 0 or less, or unset) are refused.
  // No library call.
  int MakeSfx(HWND wnd, std::string_view arcFile, const TArchiverOptions& options, std::string_view dir,
              std::string& cmdLine, std::string& output) override;

 private:
  std::string MakeCommandLine(std::string_view command, std::string_view arcFile, const TArchiverOptions& options,
                              std::string_view dir, const TFileArgs& files, bool useResponseFile) const;
};
