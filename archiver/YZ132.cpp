#include "YZ132.h"

#include <array>

#include "DriverFamily.h"
#include "FileSearch.h"
#include "Module.h"
#include "Paths.h"

void TYZ1Dll::Unload() {
  TArchiverDll::Unload();
  FSetDefaultPassword = nullptr;
  FPasswordDialog = nullptr;
}

HARC TYZ1Dll::OpenArchive(HWND wnd, const std::string& fileName, uint32_t mode) {
  FLastOpenWindow = wnd;
  return TArchiverDll::OpenArchive(wnd, fileName, mode);
}

int TYZ1Dll::SetDefaultPassword(HARC handle, const char* password) {
  if (!ResolveEntry(FSetDefaultPassword, FModule, FPrefix + "SetDefaultPassword", false)) return -1;
  return std::bit_cast<YZ1_SET_DEFAULT_PASSWORD>(FSetDefaultPassword)(handle, password);
}

int TYZ1Dll::PasswordDialog(HWND wnd, char* buffer, uint32_t size) {
  if (!ResolveEntry(FPasswordDialog, FModule, FPrefix + "PasswordDialog", false)) return -1;
  return std::bit_cast<YZ1_PASSWORD_DIALOG>(FPasswordDialog)(wnd, buffer, size);
}

int TYZ1Dll::FindFirst(HARC handle, const std::string& wildName, TMemberRecord& rec) {
  int result = TArchiverDll::FindFirst(handle, wildName, rec);
  // A password asked for after the last call could never be tried, so none is asked for then.
  for (int calls = 1; result == kPasswordRequired && calls < kMaxFindFirstCalls; ++calls) {
    std::array<char, 256> password{};
    if (PasswordDialog(FLastOpenWindow, password.data(), static_cast<uint32_t>(password.size())) < 0) break;
    password.back() = '\0';
    SetDefaultPassword(handle, password.data());
    result = TArchiverDll::FindFirst(handle, wildName, rec);
  }
  return result;
}

// ---------------------------------------------------------------------------------------------

namespace {

constexpr std::array<const char*, 2> kLibraries = {"YYZ32.DLL", "YZ1.DLL"};

TSharedBinding<TYZ1Dll>& yz1Binding() {
  static TSharedBinding<TYZ1Dll> binding;
  return binding;
}

}  // namespace

TYZ1Dll& TYZ1::Binding() {
  // The first library of the list that loads; none is kept when neither does.
  return yz1Binding().Get([] {
    for (const char* library : kLibraries) {
      auto binding = std::make_unique<TYZ1Dll>("YZ1 形式書庫", library, "Yz1");
      try {
        binding->Load();
        return binding;
      } catch (const EArchiver&) {
        // not here: the next name is tried
      }
    }
    std::string names;
    for (const char* library : kLibraries) names += (names.empty() ? "" : " か ") + std::string(library);
    throw EArchiver("Yz1 形式書庫を扱うには " + names + " が必要です。");
  });
}

void TYZ1::FreeBinding() { yz1Binding().Reset(); }

TYZ1::TYZ1() { TYZ1::LoadDLL(); }

void TYZ1::LoadDLL() { Binding(); }
void TYZ1::FreeDLL() { FreeBinding(); }
TCustomArchiverDll& TYZ1::GetDll() { return Binding(); }

std::string TYZ1::MakeCommandLine(std::string_view command, std::string_view arcFile,
                                  const TArchiverOptions& options, std::string_view dir, const TFileArgs& files,
                                  bool useResponseFile) const {
  // The library's "y" level follows from the method; level 2 forces "c" to 2 as well.
  int y = -1;
  switch (options.m) {
    case 0: y = 2; break;
    case 1: y = 1; break;
    case 2: y = 2; break;
    case 9: y = 0; break;
    default: break;
  }
  const int c = y == 2 ? 2 : options.c;
  TCmdOpt builder;
  builder.Add("-+");
  builder.AddNumber("c", c);
  builder.AddNumber("y", y);
  builder.AddFlag("i", options.n > 0 || HasOwnerWindow());
  builder.AddNumber("z", options.p);
  builder.AddNumber("x", options.x);
  return FinishCommandLine(builder, command, arcFile, options, dir, files, useResponseFile);
}

std::string TYZ1::ExtractCommand(HWND, std::string_view arcFile, const TArchiverOptions& options,
                                 std::string_view dir, const TFileArgs& files, bool useResponseFile) {
  return MakeCommandLine("x", arcFile, options, dir, files, useResponseFile);
}

std::string TYZ1::PackCommand(HWND, std::string_view arcFile, const TArchiverOptions& options,
                              std::string_view dir, const TFileArgs& files, bool useResponseFile) {
  return MakeCommandLine("c", arcFile, options, dir, files, useResponseFile);
}

int TYZ1::MakeSfx(HWND, std::string_view arcFile, const TArchiverOptions& options, std::string_view dir,
                  std::string&, std::string&) {
  std::string support;
  if (options.gw <= 0) {
    constexpr std::string_view dosStub = "yzdos16.sfx";
    support = platform::SearchPath(dosStub);
    if (support.empty())
      throw EArchiver("yz1 書庫からのDOS自己解凍書庫の作成には " + std::string(dosStub) + " が必要です。");
  } else {
    support = platform::SearchPath("yzw32cui.sfx");
    if (support.empty()) support = platform::SearchPath("yzdec.exe");
    if (support.empty())
      throw EArchiver("yz1 書庫からのWin32自己解凍書庫の作成には yzw32cui.sfx か yzdec.exe が必要です。");
  }
  WriteSfxFile(SfxOutputName(arcFile, ".exe", dir), support, std::string(arcFile), TSfxTrailer::BigEndianLength);
  return 0;
}

bool IsYz1Archive(std::string_view fileName) {
  try {
    TYZ1Dll& dll = TYZ1::Binding();
    const std::string path = platform::ExpandFileName(fileName);
    return platform::FileExists(path) && OpenProbe(dll, path);
  } catch (const std::exception&) {
    return false;
  }
}
