// The library binding: loading, entry resolution, member-record completion and the messages.
#include <gtest/gtest.h>

#include <cstring>

#include "ARCHIVES.h"
#include "FakeControl.h"
#include "LHA32.h"
#include "TestSupport.h"

namespace {

TEST(ArchiverDll, LoadsOnceFromTheFirstSearchFolder) {
  TArchiverDll dll("LHA 形式書庫", "UNLHA32.DLL", "Unlha");
  EXPECT_FALSE(dll.Loaded());
  dll.Load();
  const platform::HMODULE first = dll.Module();
  dll.Load();
  EXPECT_EQ(dll.Module(), first);
  EXPECT_EQ(platform::GetModuleFileName(first), std::string(FAKE_ARCHIVERS) + "/libunlha32.so");
  dll.Unload();
  EXPECT_FALSE(dll.Loaded());
}

TEST(ArchiverDll, MissingLibraryNamesFormatAndFile) {
  TArchiverDll dll("LHA 形式書庫", "NOSUCH32.DLL", "Nosuch");
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      dll.Load();
      FAIL() << "a missing library must raise";
    } catch (const ENoArchiverDLL& e) {
      EXPECT_STREQ(e.what(), "LHA 形式書庫 を扱うには NOSUCH32.DLL が 必要です。");
    }
    EXPECT_FALSE(dll.Loaded());
  }
}

TEST(ArchiverDll, ResolveEntryRules) {
  TArchiverDll dll("LHA 形式書庫", "UNLHA32.DLL", "Unlha");
  dll.Load();
  void* slot = nullptr;
  EXPECT_TRUE(TArchiverDll::ResolveEntry(slot, dll.Module(), "UnlhaFindFirst", true));
  void* const found = slot;
  EXPECT_NE(found, nullptr);
  // A filled slot is not looked up again.
  EXPECT_TRUE(TArchiverDll::ResolveEntry(slot, nullptr, "whatever", true));
  EXPECT_EQ(slot, found);
  // Export lookup is exact.
  void* other = nullptr;
  EXPECT_FALSE(TArchiverDll::ResolveEntry(other, dll.Module(), "unlhaFindFirst", false));
  EXPECT_EQ(other, nullptr);
  try {
    TArchiverDll::ResolveEntry(other, dll.Module(), "UnlhaNoSuchEntry", true);
    FAIL() << "a missing required entry must raise";
  } catch (const EEntryNotFound& e) {
    EXPECT_EQ(std::string(e.what()),
              std::string(FAKE_ARCHIVERS) + "/libunlha32.so に UnlhaNoSuchEntry のエントリが見つかりません。");
  }
}

TEST(ArchiverDll, CompletesRecordsFromTheLibrary) {
  fake::Reset();
  fake::AddMember("a.txt", 10, 5, 0x3C21, 0x6000);
  fake::AddMember("b.txt", 20, 7, 0, 0);
  TArchiverDll& dll = TLha32::Binding();
  TMemberRecord rec{};
  ASSERT_EQ(dll.FindFirst(77, "*", rec), 0);
  EXPECT_STREQ(rec.Info.szFileName, "a.txt");
  EXPECT_EQ(test::Field(rec.ftLastWriteTime), 0x01D9000000000000ULL);
  EXPECT_EQ(test::Field(rec.ftLastAccessTime), 0x01D9000000000100ULL);
  EXPECT_EQ(test::Field(rec.ftCreationTime), 0x01D9000000000200ULL);
  EXPECT_EQ(test::Field(rec.llOriginalSize), (1ULL << 32) + 10);
  EXPECT_EQ(test::Field(rec.llCompressedSize), (2ULL << 32) + 5);
  ASSERT_EQ(dll.FindNext(77, rec), 0);
  EXPECT_STREQ(rec.Info.szFileName, "b.txt");
  EXPECT_EQ(test::Field(rec.ftLastWriteTime), 0x01D9000000000001ULL);
  // The end of the listing leaves the record as it was.
  std::memset(&rec, 0xAB, sizeof rec);
  EXPECT_NE(dll.FindNext(77, rec), 0);
  EXPECT_EQ(test::Field(rec.ftLastWriteTime), 0xABABABABABABABABULL);
  EXPECT_EQ(test::Field(rec.llOriginalSize), 0xABABABABABABABABULL);
}

TEST(ArchiverDll, OptionalEntriesAnswerTheLibrary) {
  TArchiverDll& dll = TLha32::Binding();
  EXPECT_EQ(dll.SetOwnerWindowEx(5, nullptr), 1);
  EXPECT_EQ(dll.KillOwnerWindowEx(5), 1);
}

TEST(Errors, SfxMessageKeepsItsParts) {
  ESfxNoRequiredFile e("zip", "DOS", "sfx16.dat");
  EXPECT_STREQ(e.what(), "zip 書庫からのDOS自己解凍書庫の作成には 'sfx16.dat' ファイルが必要です。");
  EXPECT_EQ(e.ArcType(), "zip");
  EXPECT_EQ(e.SfxKind(), "DOS");
  EXPECT_EQ(e.RequiredFile(), "sfx16.dat");
  const EArchiver& base = e;
  EXPECT_NE(dynamic_cast<const ESfxNoRequiredFile*>(&base), nullptr);
}

TEST(Errors, MissingLibraryAndEntryTexts) {
  EXPECT_STREQ(ENoArchiverDLL("LHA 形式書庫", "UNLHA32.DLL").what(), "LHA 形式書庫 を扱うには UNLHA32.DLL が 必要です。");
  EXPECT_STREQ(EEntryNotFound("/lib/x.so", "UnlhaFindNext").what(), "/lib/x.so に UnlhaFindNext のエントリが見つかりません。");
  EXPECT_STREQ(EAssertionFailed("m", "LHA32", 240).what(), "m (LHA32, 240 行)");
}

TEST(ModuleNames, SearchEachConfiguredFolderInOrder) {
  test::TTempDir empty;
  const std::string saved = std::getenv("TIDEKEEP_ARCHIVERS");
  setenv("TIDEKEEP_ARCHIVERS", (empty.path() + "::/nonexistent:" + FAKE_ARCHIVERS).c_str(), 1);
  platform::HMODULE module = platform::LoadLibrary("UNARJ32J.DLL");
  EXPECT_EQ(platform::GetModuleFileName(module), std::string(FAKE_ARCHIVERS) + "/libunarj32j.so");
  platform::FreeLibrary(module);
  EXPECT_EQ(platform::LoadLibrary("NOSUCH32.DLL"), nullptr);
  setenv("TIDEKEEP_ARCHIVERS", saved.c_str(), 1);
}

TEST(ModuleNames, MapToSharedObjects) {
  EXPECT_EQ(platform::SharedObjectName("UNLHA32.DLL"), "libunlha32.so");
  EXPECT_EQ(platform::SharedObjectName("7-zip32.dll"), "lib7-zip32.so");
  EXPECT_EQ(platform::SharedObjectName("YZ1"), "libyz1.so");
}

}  // namespace
