// The LHA driver: LHA command lines for UNLHA32.DLL, the format every backup is written in.
#pragma once
#include "ARCHIVES.h"

class TLha32 : public TArchiver {
 public:
  TLha32();  // loads the family's library (ENoArchiverDLL when it is missing)

  void LoadDLL() override;
  void FreeDLL() override;
  TCustomArchiverDll& GetDll() override;
  std::string ExtractCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                             std::string_view dir, const TFileArgs& files, bool useResponseFile) override;
  std::string PackCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options, std::string_view dir,
                          const TFileArgs& files, bool useResponseFile) override;
  std::string DeleteCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                            std::string_view dir, const TFileArgs& files, bool useResponseFile) override;
  std::string UpdateCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                            std::string_view dir, const TFileArgs& files, bool useResponseFile) override;
  std::string SfxCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                         std::string_view dir) override;
  std::string ExtractMemCommand(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                                std::string_view fileName) override;

  // The family's binding: created and loaded on first need, then kept.
  static TArchiverDll& Binding();
  static void FreeBinding();

 protected:
  struct TNoLoad {};
  explicit TLha32(TNoLoad) {}  // for subclasses with a family of their own
  std::string MakeCommandLine(std::string_view command, std::string_view arcFile, const TArchiverOptions& options,
                              std::string_view dir, const TFileArgs& files, bool useResponseFile) const;
};

bool IsLhaArchive(std::string_view fileName);
