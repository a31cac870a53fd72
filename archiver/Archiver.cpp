#include "ARCHIVES.h"
#include "Paths.h"

void TArchiver::LoadDLL() { throw EArchiver("Abstract method 'TArchiver.LoadDLL' was called"); }
void TArchiver::FreeDLL() { throw EArchiver("Abstract method 'TArchiver.FreeDLL' was called"); }

HARC TArchiver::OpenArchive(HWND wnd, std::string_view arcFile, uint32_t mode) {
  return GetDll().OpenArchive(wnd, platform::ExpandFileName(arcFile), mode);
}

int TArchiver::FindFirst(HARC handle, TMemberRecord& rec, std::string_view wildName) {
  return GetDll().FindFirst(handle, std::string(wildName), rec);
}

int TArchiver::FindNext(HARC handle, TMemberRecord& rec) { return GetDll().FindNext(handle, rec); }
int TArchiver::CloseArchive(HARC handle) { return GetDll().CloseArchive(handle); }
void TArchiver::BeforeEnumMember(void*, TArchiverOptions&, bool&) {}

int TArchiver::Extract(HWND wnd, std::string_view arcFile, const TArchiverOptions& options, std::string_view dir,
                       const TFileArgs& files, bool useResponseFile, std::string& cmdLine, std::string& output) {
  cmdLine = ExtractCommand(wnd, arcFile, options, dir, files, useResponseFile);
  return RunUnpackCommand(wnd, arcFile, cmdLine, output);
}

int TArchiver::Pack(HWND wnd, std::string_view arcFile, const TArchiverOptions& options, std::string_view dir,
                    const TFileArgs& files, bool useResponseFile, std::string& cmdLine, std::string& output) {
  cmdLine = PackCommand(wnd, arcFile, options, dir, files, useResponseFile);
  return RunPackCommand(wnd, arcFile, cmdLine, output);
}

int TArchiver::Delete(HWND wnd, std::string_view arcFile, const TArchiverOptions& options, std::string_view dir,
                      const TFileArgs& files, bool useResponseFile, std::string& cmdLine, std::string& output) {
  cmdLine = DeleteCommand(wnd, arcFile, options, dir, files, useResponseFile);
  return RunPackCommand(wnd, arcFile, cmdLine, output);
}

int TArchiver::Update(HWND wnd, std::string_view arcFile, const TArchiverOptions& options, std::string_view dir,
                      const TFileArgs& files, bool useResponseFile, std::string& cmdLine, std::string& output) {
  cmdLine = UpdateCommand(wnd, arcFile, options, dir, files, useResponseFile);
  return RunPackCommand(wnd, arcFile, cmdLine, output);
}

int TArchiver::MakeSfx(HWND wnd, std::string_view arcFile, const TArchiverOptions& options, std::string_view dir,
                       std::string& cmdLine, std::string& output) {
  cmdLine = SfxCommand(wnd, arcFile, options, dir);
  return RunPackCommand(wnd, arcFile, cmdLine, output);
}

int TArchiver::ExtractMem(HWND wnd, std::string_view arcFile, const TArchiverOptions& options,
                          std::string_view fileName, unsigned char* buffer, uint32_t bufferSize,
                          uint32_t* writtenSize, std::string& cmdLine) {
  cmdLine = ExtractMemCommand(wnd, arcFile, options, fileName);
  return GetDll().ExtractMem(wnd, cmdLine, buffer, bufferSize, nullptr, nullptr, writtenSize);
}

int TArchiver::CheckArchive(std::string_view arcFile, int mode, int extra) {
  return GetDll().CheckArchive(std::string(arcFile), mode + extra);
}

std::string TArchiver::PackCommand(HWND, std::string_view, const TArchiverOptions&, std::string_view,
                                   const TFileArgs&, bool) {
  throw EArchiver("この形式では書庫ファイルの作成をサポートしておりません。");
}

std::string TArchiver::DeleteCommand(HWND, std::string_view, const TArchiverOptions&, std::string_view,
                                     const TFileArgs&, bool) {
  throw EArchiver("この形式の書庫ではファイルの削除をサポートしておりません。");
}

std::string TArchiver::UpdateCommand(HWND, std::string_view, const TArchiverOptions&, std::string_view,
                                     const TFileArgs&, bool) {
  throw EArchiver("この形式の書庫では書庫の更新をサポートしておりません。");
}

std::string TArchiver::SfxCommand(HWND, std::string_view, const TArchiverOptions&, std::string_view) {
  throw EArchiver("この形式では自己解凍書庫の作成をサポートしておりません。");
}

std::string TArchiver::ExtractMemCommand(HWND, std::string_view, const TArchiverOptions&, std::string_view) {
  throw EArchiver("この形式ではメモリ展開をサポートしておりません。");
}

bool TArchiver::SetOwnerWindow(HWND wnd, ARC_OWNER_CALLBACK callback) {
  FOwnerWindow = wnd;
  return GetDll().SetOwnerWindowEx(wnd, callback) != 0;
}

bool TArchiver::KillOwnerWindow(HWND wnd) {
  struct Reset {
    HWND& window;
    ~Reset() { window = 0; }
  } reset{FOwnerWindow};
  return GetDll().KillOwnerWindowEx(wnd) != 0;
}

void TArchiver::SetEnumMembersProc(ENUM_MEMBER_PROC64 proc, uint32_t param) {
  GetDll().SetEnumMembersProc64(proc, param);
}

void TArchiver::ClearEnumMembersProc() { GetDll().ClearEnumMembersProc64(); }
void TArchiver::EnsureDLL() { LoadDLL(); }

int TArchiver::RunUnpackCommand(HWND wnd, std::string_view arcFile, const std::string& cmdLine, std::string& output) {
  return GetDll().UnpackSideCommand(wnd, arcFile, cmdLine, output.data(), static_cast<uint32_t>(output.size()));
}

int TArchiver::RunPackCommand(HWND wnd, std::string_view arcFile, const std::string& cmdLine, std::string& output) {
  return GetDll().PackSideCommand(wnd, arcFile, cmdLine, output.data(), static_cast<uint32_t>(output.size()));
}

void TArchiver::AddArchiveAndDir(TCmdOpt& builder, std::string_view arcFile, std::string_view dir) {
  builder.AddText("", arcFile);
  builder.AddDir("", dir);
}

int TArchiver::AddFileArgs(TCmdOpt& builder, const TArchiverOptions& options, bool useResponseFile,
                           const TFileArgs& files) {
  int count = 0;
  if (useResponseFile && !options.ResFileName.empty() && !IsUnsetText(options.ResFileName))
    count = builder.AddResponseFile(files, options.ResFileName);
  else
    count = builder.AddFiles("", files);
  builder.Add(options.UserFileList);
  return count;
}

std::string TArchiver::FinishCommandLine(TCmdOpt& builder, std::string_view command, std::string_view arcFile,
                                         const TArchiverOptions& options, std::string_view dir,
                                         const TFileArgs& files, bool useResponseFile) {
  builder.Add(options.UserOptions);
  AddArchiveAndDir(builder, arcFile, dir);
  AddFileArgs(builder, options, useResponseFile, files);
  return std::string(command) + builder.FText;
}
