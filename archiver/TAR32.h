// The TAR family's drivers: plain tar, the gzip family (TTgz32) and bzip2 (TBZ232), all through
// TAR32.DLL and one shared binding; the subclasses override nothing, the operations tell them
// apart by class. Self-extractors are made by copying files (never for bzip2).
#pragma once
#include "DriverFamily.h"

class TTar32 : public TFamilyDriver<TTar32> {
 public:
  static constexpr const char* DisplayName = "tar/tgz/taz/bz2 形式書庫";
  static constexpr const char* LibraryName = "TAR32.DLL";
  static constexpr const char* Prefix = "Tar";

  std::string ExtractCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                             std::string_view dir, const TFileArgs& files, bool useResponseFile) override;
  std::string PackCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options, std::string_view dir,
                          const TFileArgs& files, bool useResponseFile) override;
  std::string ExtractMemCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                                std::string_view fileName) override;
  // "kmtarsef.exe", then the archive, into ArcFile with ".EXE" (in Dir when given). A TBZ232
  // refuses before it looks for anything. No library call.
  int MakeSfx(HWND wnd, std::string_view arcFile, const TArchiverOptions& options, std::string_view dir,
              std::string& cmdLine, std::string& output) override;

 private:
  std::string MakeCommandLine(std::string_view command, std::string_view arcFile, const TArchiverOptions& options,
                              std::string_view dir, const TFileArgs& files, bool useResponseFile) const;
};

class TTgz32 : public TTar32 {};
class TBZ232 : public TTar32 {};

// The library's archive type code as the component's type: 1 tar, 2 to 5 the gzip family, 6 and
// 7 bzip2; anything else, and every error, atNone.
TArchiverType GetTarArchiveType(std::string_view fileName);
