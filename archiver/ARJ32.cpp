#include "ARJ32.h"

#include "DriverFamily.h"
#include "Paths.h"

namespace {
TSharedBinding<TArchiverDll>& arjBinding() {
  static TSharedBinding<TArchiverDll> binding;
  return binding;
}
}  // namespace

TArchiverDll& TArj32::Binding() {
  return arjBinding().Get([] { return std::make_unique<TArchiverDll>("ARJ 形式書庫", "UNARJ32J.DLL", "Unarj"); });
}

void TArj32::FreeBinding() { arjBinding().Reset(); }

TArj32::TArj32() : TLha32(TNoLoad{}) { TArj32::LoadDLL(); }

void TArj32::LoadDLL() { Binding(); }
void TArj32::FreeDLL() { FreeBinding(); }
TCustomArchiverDll& TArj32::GetDll() { return Binding(); }

std::string TArj32::ExtractCommand(HWND, std::string_view arcFile, const TArchiverOptions& options,
                                   std::string_view dir, const TFileArgs& files, bool useResponseFile) {
  return MakeCommandLine("x", arcFile, options, dir, files, useResponseFile);
}

bool IsArjArchive(std::string_view fileName) {
  try {
    return OpenProbe(TArj32::Binding(), platform::ExpandFileName(fileName));
  } catch (const std::exception&) {
    return false;
  }
}
