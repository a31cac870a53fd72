#include "RAR32.h"

#include "Paths.h"

std::string TRar32::MakeCommandLine(std::string_view command, std::string_view arcFile,
                                    const TArchiverOptions& options, std::string_view dir, const TFileArgs& files,
                                    bool useResponseFile) {
  TCmdOpt builder;
  builder.AddFlag("u", options.c < 1);
  builder.AddFlag("y", options.m > 0);
  builder.AddFlag("s", options.p > 0);
  return FinishCommandLine(builder, command, arcFile, options, dir, files, useResponseFile);
}

std::string TRar32::ExtractCommand(HWND, std::string_view arcFile, const TArchiverOptions& options,
                                   std::string_view dir, const TFileArgs& files, bool) {
  // Only an explicit 0 drops the stored folders; an unset x keeps them.
  return MakeCommandLine(options.x == 0 ? "-e" : "-x", arcFile, options, dir, files,
                         options.ResFileUsage.Contains(ruOnUnpack));
}

std::string TRar32::ExtractMemCommand(HWND, std::string_view arcFile, const TArchiverOptions& options,
                                      std::string_view fileName) {
  return MakeCommandLine("", arcFile, options, "", TFileArgs{std::string(fileName)}, false);
}

bool IsRarArchive(std::string_view fileName) {
  try {
    return OpenProbe(TRar32::Binding(), platform::ExpandFileName(fileName));
  } catch (const std::exception&) {
    return false;
  }
}
