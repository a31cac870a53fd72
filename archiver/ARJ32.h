// The ARJ driver: LHA command lines sent to UNARJ32J.DLL.
#pragma once
#include "LHA32.h"

class TArj32 : public TLha32 {
 public:
  TArj32();

  void LoadDLL() override;
  void FreeDLL() override;
  TCustomArchiverDll& GetDll() override;
  std::string ExtractCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                             std::string_view dir, const TFileArgs& files, bool useResponseFile) override;

  static TArchiverDll& Binding();
  static void FreeBinding();
};

bool IsArjArchive(std::string_view fileName);
