#include "TAR32.h"

#include "Module.h"

std::string TTar32::MakeCommandLine(std::string_view command, std::string_view arcFile,
                                    const TArchiverOptions& options, std::string_view dir, const TFileArgs& files,
                                    bool useResponseFile) const {
  TCmdOpt builder;
  // The library takes a switch's value as the next argument.
  builder.FSeparateValue = true;
  builder.AddFlag("AH", options.a > 0);
  builder.AddFlag("I", options.a == 0);
  builder.AddFlag("-display-dialog=0", !HasOwnerWindow() && options.n > 0);
  builder.AddFlag("g", options.o > 0);
  builder.AddNumber("-check-all-path=", options.p);
  builder.AddNumber("-use-directory=", options.x);
  if (dynamic_cast<const TTgz32*>(this) != nullptr) {
    if (options.jm > 0)
      builder.AddNumber("z", options.jm);
    else
      builder.AddFlag("z", true);
  } else if (dynamic_cast<const TBZ232*>(this) != nullptr) {
    if (options.jm > 0)
      builder.AddNumber("B", options.jm);
    else
      builder.AddFlag("B", true);
  }
  builder.Add(options.UserOptions);
  if (!arcFile.empty()) builder.AddText("f", arcFile);
  if (!dir.empty()) builder.AddDir("o", dir);
  AddFileArgs(builder, options, useResponseFile, files);
  return std::string(command) + builder.FText;
}

std::string TTar32::ExtractCommand(HWND, std::string_view arcFile, const TArchiverOptions& options,
                                   std::string_view dir, const TFileArgs& files, bool) {
  return MakeCommandLine("x", arcFile, options, dir, files, options.ResFileUsage.Contains(ruOnUnpack));
}

std::string TTar32::PackCommand(HWND, std::string_view arcFile, const TArchiverOptions& options,
                                std::string_view dir, const TFileArgs& files, bool) {
  return MakeCommandLine("c", arcFile, options, dir, files, options.ResFileUsage.Contains(ruOnPack));
}

std::string TTar32::ExtractMemCommand(HWND, std::string_view arcFile, const TArchiverOptions& options,
                                      std::string_view fileName) {
  return MakeCommandLine("", arcFile, options, "", TFileArgs{std::string(fileName)}, false);
}

int TTar32::MakeSfx(HWND, std::string_view arcFile, const TArchiverOptions&, std::string_view dir, std::string&,
                    std::string&) {
  // Refused before anything is looked up or opened.
  if (dynamic_cast<const TBZ232*>(this) != nullptr) throw EArchiver("BZ2 形式書庫は自己解凍形式にできません。");
  constexpr std::string_view stub = "kmtarsef.exe";
  const std::string support = platform::SearchPath(stub);
  if (support.empty()) throw ESfxNoRequiredFile("tar/tgz", "", std::string(stub));
  WriteSfxFile(SfxOutputName(arcFile, ".EXE", dir), support, std::string(arcFile), TSfxTrailer::None);
  return 0;
}

TArchiverType GetTarArchiveType(std::string_view fileName) {
  try {
    switch (TTar32::Binding().GetArchiveType(std::string(fileName))) {
      case 1: return atTar;
      case 2: case 3: case 4: case 5: return atTgz;
      case 6: case 7: return atBZ2;
      default: return atNone;
    }
  } catch (const std::exception&) {
    return atNone;
  }
}
