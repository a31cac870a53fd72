// The LHA driver: LHA command lines for UNLHA32.DLL, the format every backup is written in.
#pragma once
#include "ARCHIVES.h"

class TLha32 : public TArchiver {
 public:
  TLha32();  // loads the family's library (ENoArchiverDLL when it is missing)

  void LoadDLL() override;
  void FreeDLL() override;
  TCustomArchiverDll& GetDll() override;
  // Extracting without paths (x 0) is how single members are taken out: each name is one
  // member's full name and goes in the exact form, so "readme.txt" never also takes
  // "sub/readme.txt" and "*", "?" are ordinary characters.
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

// A name as the LHA library reads it from a command line or response file: as it is, unless it
// holds a double quote or a control character or begins with "@" (it would name a response
// file); then in the library's escaped form, "@=" with "%XX" for such bytes and for "%".
std::string LhaNameArgument(std::string_view name);
// The escaped form always: the library takes it as one member's exact name, never a pattern.
std::string LhaExactName(std::string_view name);
