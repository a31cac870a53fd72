#include "BGA32.h"

#include "FileSearch.h"
#include "Paths.h"

std::string TBGA32::MakeCommandLine(std::string_view command, std::string_view arcFile,
                                    const TArchiverOptions& options, std::string_view dir, const TFileArgs& files,
                                    bool useResponseFile) const {
  TCmdOpt builder;
  builder.AddFlag("a", options.a > 0);
  builder.AddFlag(options.c > 0 ? "o" : "n", true);
  builder.AddFlag("i", options.n > 0 || HasOwnerWindow());
  builder.AddFlag("r", options.r > 0);
  builder.AddFlag("j", options.x < 1);
  builder.AddNumber("l", options.jm);
  return FinishCommandLine(builder, command, arcFile, options, dir, files, useResponseFile);
}

std::string TBGA32::ExtractCommand(HWND, std::string_view arcFile, const TArchiverOptions& options,
                                   std::string_view dir, const TFileArgs& files, bool useResponseFile) {
  return MakeCommandLine("x", arcFile, options, dir, files, useResponseFile);
}

std::string TBGA32::PackCommand(HWND, std::string_view arcFile, const TArchiverOptions& options,
                                std::string_view dir, const TFileArgs& files, bool useResponseFile) {
  return MakeCommandLine("a", arcFile, options, dir, files, useResponseFile);
}

std::string TBGA32::DeleteCommand(HWND, std::string_view arcFile, const TArchiverOptions& options,
                                  std::string_view, const TFileArgs& files, bool) {
  return MakeCommandLine("d", arcFile, options, "", files, options.ResFileUsage.Contains(ruOnRemoveItem));
}

std::string TBGA32::SfxCommand(HWND, std::string_view arcFile, const TArchiverOptions& options,
                               std::string_view dir) {
  return MakeCommandLine("s", arcFile, options, dir, TFileArgs(), options.ResFileUsage.Contains(ruOnRemoveItem));
}

bool IsBgaArchive(std::string_view fileName) {
  try {
    TArchiverDll& dll = TBGA32::Binding();
    const std::string path = platform::ExpandFileName(fileName);
    return platform::FileExists(path) && OpenProbe(dll, path);
  } catch (const std::exception&) {
    return false;
  }
}
