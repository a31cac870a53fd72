#include "CAB32.h"

#include "Paths.h"

std::string TCab32::MakeCommandLine(std::string_view command, std::string_view arcFile,
                                    const TArchiverOptions& options, std::string_view dir, const TFileArgs& files,
                                    bool useResponseFile) const {
  TCmdOpt builder;
  builder.AddFlag("o", options.c == 1);
  builder.AddFlag("i", options.n > 0 || HasOwnerWindow());
  builder.AddFlag("r", options.r > 0);
  builder.AddDir("h", options.w);
  builder.AddFlag("j", options.x == 0);
  builder.AddFlag("q", options.ji > 0);
  return FinishCommandLine(builder, command, arcFile, options, dir, files, useResponseFile);
}

std::string TCab32::ExtractCommand(HWND, std::string_view arcFile, const TArchiverOptions& options,
                                   std::string_view dir, const TFileArgs& files, bool) {
  return MakeCommandLine("-x", arcFile, options, dir, files, options.ResFileUsage.Contains(ruOnUnpack));
}

std::string TCab32::PackCommand(HWND, std::string_view arcFile, const TArchiverOptions& options,
                                std::string_view dir, const TFileArgs& files, bool) {
  return MakeCommandLine("-a", arcFile, options, dir, files, options.ResFileUsage.Contains(ruOnPack));
}

std::string TCab32::SfxCommand(HWND, std::string_view arcFile, const TArchiverOptions& options,
                               std::string_view dir) {
  return MakeCommandLine("-f", arcFile, options, dir, TFileArgs(), false);
}

std::string TCab32::ExtractMemCommand(HWND, std::string_view arcFile, const TArchiverOptions& options,
                                      std::string_view fileName) {
  return MakeCommandLine("", arcFile, options, "", TFileArgs{std::string(fileName)}, false);
}

bool IsCabArchive(std::string_view fileName) {
  try {
    return OpenProbe(TCab32::Binding(), platform::ExpandFileName(fileName));
  } catch (const std::exception&) {
    return false;
  }
}
