#include "LHA32.h"

#include <algorithm>

#include "EscapedName.h"
#include "Paths.h"

namespace {
TSharedBinding<TArchiverDll>& lhaBinding() {
  static TSharedBinding<TArchiverDll> binding;
  return binding;
}
}  // namespace

std::string LhaExactName(std::string_view name) { return EncodeEscapedName(name); }

std::string LhaNameArgument(std::string_view name) {
  // '%' alone needs no escape: it is special only inside an escaped name.
  const bool plain = !name.starts_with('@') && std::none_of(name.begin(), name.end(), [](char ch) {
    const auto c = static_cast<unsigned char>(ch);
    return c != '%' && IsEscapedNameByte(c);
  });
  return plain ? std::string(name) : EncodeEscapedName(name);
}

TArchiverDll& TLha32::Binding() {
  return lhaBinding().Get([] { return std::make_unique<TArchiverDll>("LHA 形式書庫", "UNLHA32.DLL", "Unlha"); });
}

void TLha32::FreeBinding() { lhaBinding().Reset(); }

TLha32::TLha32() { TLha32::LoadDLL(); }

void TLha32::LoadDLL() { Binding(); }
void TLha32::FreeDLL() { FreeBinding(); }

TCustomArchiverDll& TLha32::GetDll() { return Binding(); }

std::string TLha32::MakeCommandLine(std::string_view command, std::string_view arcFile,
                                    const TArchiverOptions& options, std::string_view dir, const TFileArgs& files,
                                    bool useResponseFile) const {
  TCmdOpt builder;
  builder.Add("-+");
  if (command == "x" && options.jse == -1) throw EAssertionFailed("jse オプションが設定されていません。", "LHA32", 234);
  if (options.jso == -1) throw EAssertionFailed("jso オプションが設定されていません。", "LHA32", 240);
  using K = TArchiverOptions::TSwitchKind;
  for (const TArchiverOptions::TSwitch& sw : TArchiverOptions::Switches()) {
    switch (sw.Kind) {
      case K::Number: {
        // The library reports progress to a registered window only while -n1 is given.
        const bool ownerWindow = sw.Number == &TArchiverOptions::n && HasOwnerWindow();
        builder.AddNumber(sw.Name, ownerWindow ? 1 : options.*sw.Number);
        break;
      }
      case K::Text: builder.AddText(sw.Name, options.*sw.Text); break;
      case K::Directory: builder.AddDir(sw.Name, options.*sw.Text); break;
      case K::List: builder.AddFiles(sw.Name, TFileArgs(options.*sw.List)); break;
    }
  }
  builder.Add(options.UserOptions);
  AddArchiveAndDir(builder, arcFile, dir);
  builder.FNameConverter = command == "x" && options.x == 0 ? &LhaExactName : &LhaNameArgument;
  AddFileArgs(builder, options, useResponseFile, files);
  return std::string(command) + builder.FText;
}

std::string TLha32::ExtractCommand(HWND, std::string_view arcFile, const TArchiverOptions& options,
                                   std::string_view dir, const TFileArgs& files, bool) {
  return MakeCommandLine("x", arcFile, options, dir, files, options.ResFileUsage.Contains(ruOnUnpack));
}

std::string TLha32::PackCommand(HWND, std::string_view arcFile, const TArchiverOptions& options,
                                std::string_view dir, const TFileArgs& files, bool) {
  return MakeCommandLine("u", arcFile, options, dir, files, options.ResFileUsage.Contains(ruOnPack));
}

std::string TLha32::DeleteCommand(HWND, std::string_view arcFile, const TArchiverOptions& options,
                                  std::string_view, const TFileArgs& files, bool) {
  return MakeCommandLine("d", arcFile, options, "", files, options.ResFileUsage.Contains(ruOnRemoveItem));
}

std::string TLha32::UpdateCommand(HWND, std::string_view arcFile, const TArchiverOptions& options,
                                  std::string_view dir, const TFileArgs& files, bool) {
  return MakeCommandLine("f", arcFile, options, dir, files, options.ResFileUsage.Contains(ruOnUpdate));
}

std::string TLha32::SfxCommand(HWND, std::string_view arcFile, const TArchiverOptions& options,
                               std::string_view dir) {
  return MakeCommandLine("s", arcFile, options, dir, TFileArgs(), false);
}

std::string TLha32::ExtractMemCommand(HWND, std::string_view arcFile, const TArchiverOptions& options,
                                      std::string_view fileName) {
  return MakeCommandLine("", arcFile, options, "", TFileArgs{std::string(fileName)}, false);
}

bool IsLhaArchive(std::string_view fileName) {
  try {
    TArchiverDll& dll = TLha32::Binding();
    const std::string path = platform::ExpandFileName(fileName);
    if (dll.CheckArchive(path, 16) == 0) return false;
    const HARC handle = dll.OpenArchive(0, path, 0x800002);
    dll.CloseArchive(handle);
    return handle != 0;
  } catch (const std::exception&) {
    return false;
  }
}
