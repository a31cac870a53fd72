#include "SZIP32.h"

#include "Module.h"
#include "Registry.h"

std::string TSevenZip32::MakeCommandLine(std::string_view command, std::string_view arcFile,
                                         const TArchiverOptions& options, std::string_view dir,
                                         const TFileArgs& files, bool useResponseFile) const {
  TCmdOpt builder;
  if (command == "x") {
    // Overwrite policy: rename the extracted copy, skip existing files, or overwrite them.
    if (options.m == 2)
      builder.Add("-aou");
    else if (options.jn > 0)
      builder.Add("-aos");
    else if (options.c > 0)
      builder.Add("-aoa");
  }
  builder.Add("-ms=off");
  builder.AddFlag("hide", options.n > 0);
  // r = 1 (or unset) leaves recursion to the library's own rule for the patterns.
  builder.AddFlag("r-", options.r == 0);
  builder.AddFlag("r", options.r > 1);
  builder.AddDir("w", options.w);
  builder.AddFlag("y", options.y > 0);
  for (const std::string& line : options.jx) builder.AddQuoted("x!", line);
  builder.AddDir("o", dir);
  builder.Add(options.UserOptions);
  builder.AddText("", arcFile);
  AddFileArgs(builder, options, useResponseFile, files);
  const bool flat = command == "x" && options.x == 0;
  return (flat ? std::string("e") : std::string(command)) + builder.FText;
}

std::string TSevenZip32::ExtractCommand(HWND, std::string_view arcFile, const TArchiverOptions& options,
                                        std::string_view dir, const TFileArgs& files, bool) {
  return MakeCommandLine("x", arcFile, options, dir, files, options.ResFileUsage.Contains(ruOnUnpack));
}

std::string TSevenZip32::PackCommand(HWND, std::string_view arcFile, const TArchiverOptions& options,
                                     std::string_view dir, const TFileArgs& files, bool) {
  return MakeCommandLine("u", arcFile, options, dir, files, options.ResFileUsage.Contains(ruOnPack));
}

std::string TSevenZip32::DeleteCommand(HWND, std::string_view arcFile, const TArchiverOptions& options,
                                       std::string_view, const TFileArgs& files, bool) {
  return MakeCommandLine("d", arcFile, options, "", files, options.ResFileUsage.Contains(ruOnRemoveItem));
}

int TSevenZip32::MakeSfx(HWND, std::string_view arcFile, const TArchiverOptions& options, std::string_view dir,
                         std::string&, std::string&) {
  const std::string installFolder = platform::ReadLocalMachineString("SOFTWARE\\7-ZIP", "Path");
  if (options.gw <= 0) throw EArchiver("16bit SFX を作成することはできません。");
  constexpr std::string_view stub = "7z.sfx";
  const std::string support = platform::SearchPath(stub, installFolder);
  if (support.empty()) throw ESfxNoRequiredFile("7z", "", std::string(stub));
  WriteSfxFile(SfxOutputName(arcFile, ".exe", dir), support, std::string(arcFile), TSfxTrailer::None);
  return 0;
}
