// TArchiveFile against the stand-in libraries: type handling, packing with the component's own
// selection, extracting, listing, progress and enumeration relays, named streams.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "ARCHIVES.h"
#include "ARJ32.h"
#include "FakeControl.h"
#include "FileSearch.h"
#include "LHA32.h"
#include "TestSupport.h"

namespace {

using Names = std::vector<std::string>;

std::string errorOf(const std::function<void()>& run) {
  try {
    run();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no error)";
}

// The backup run's switches.
void backupSwitches(TArchiverOptions& o) {
  o.x = 1;
  o.a = 1;
  o.c = 1;
  o.r = 1;
  o.n = 1;
  o.jso = 0;
}

class ArchiveFile : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    test::WriteFile(data("a.txt"), "alpha");
    test::WriteFile(data("sub/b.txt"), "beta");
    test::WriteFile(data(".h.txt"), "hidden");
    archive = FTmp / "_20260101backup.lzh";
  }
  std::string data(std::string_view name = {}) const {
    return name.empty() ? FTmp / "data" : FTmp / ("data/" + std::string(name));
  }
  bool libraryCalled() const { return fake::Log().find("Unlha ") != std::string::npos; }

  test::TTempDir FTmp;
  std::string archive;
};

TEST_F(ArchiveFile, TypeFromTheExtension) {
  TArchiveFile af;
  EXPECT_EQ(af.ArchiverType(), atAutoDetect);
  EXPECT_EQ(af.FileName(), std::string(1, '\0'));
  af.SetFileName("/x/backup.LZH");
  EXPECT_EQ(af.ArchiverType(), atLha);
  EXPECT_NE(dynamic_cast<TLha32*>(af.Archiver()), nullptr);
  af.SetFileName("/x/other.arj");
  EXPECT_EQ(af.ArchiverType(), atArj);
  EXPECT_NE(dynamic_cast<TArj32*>(af.Archiver()), nullptr);
  af.SetFileName("/x/b.lzh");
  // An extension outside the table keeps the driver, so such a name is written as LHA.
  af.SetFileName("/x/b.bak");
  EXPECT_EQ(af.ArchiverType(), atLha);
  EXPECT_EQ(af.FileName(), "/x/b.bak");
  af.SetArchiverType(atNone);
  EXPECT_EQ(af.ArchiverType(), atLha);
  TArchiver* before = af.Archiver();
  af.SetArchiverType(atLha);
  EXPECT_NE(af.Archiver(), before);  // the same type twice makes a fresh driver
  af.SetArchiverType(atAutoDetect);
  EXPECT_EQ(af.ArchiverType(), atAutoDetect);
  EXPECT_NE(af.Archiver(), nullptr);
}

TEST_F(ArchiveFile, TypesWithoutADriverAreRefused) {
  const char* names[] = {"a.gca"};
  for (const char* name : names) {
    TArchiveFile af;
    af.SetFileName("/x/kept.lzh");
    EXPECT_EQ(errorOf([&] { af.SetFileName(name); }), "書庫の形式を特定できませんでした。") << name;
    EXPECT_EQ(af.FileName(), "/x/kept.lzh") << name;
    EXPECT_EQ(af.ArchiverType(), atLha) << name;
  }
  TArchiveFile af;
  EXPECT_EQ(errorOf([&] { af.SetArchiverType(atBel); }), "書庫の形式を特定できませんでした。");
  EXPECT_EQ(errorOf([&] { af.SetArchiverType(atGCA); }), "書庫の形式を特定できませんでした。");
  EXPECT_EQ(af.ArchiverType(), atAutoDetect);
}

TEST_F(ArchiveFile, UnknownTypeIsFoundByContentExceptWhenExtracting) {
  test::WriteFile(FTmp / "backup.dat", "FAKEARC");
  TArchiveFile af;
  af.SetFileName(FTmp / "backup.dat");
  EXPECT_EQ(af.ArchiverType(), atAutoDetect);
  EXPECT_EQ(errorOf([&] { af.Extract(0, nullptr, FTmp.path(), {}); }), "書庫の形式を判別できません。");
  // Both stand-ins accept the file; the LHA probe runs last and wins.
  EXPECT_FALSE(af.OpenArchive(0, 0));
  EXPECT_EQ(af.ArchiverType(), atLha);
  af.CloseArchive();

  test::WriteFile(FTmp / "plain.dat", "nothing");
  TArchiveFile plain;
  plain.SetFileName(FTmp / "plain.dat");
  EXPECT_EQ(errorOf([&] { plain.Pack(0, nullptr, data(), {"*.*"}); }), "書庫の形式を判別できません。");
  EXPECT_EQ(errorOf([&] { plain.OpenArchive(0, 0); }), "書庫の形式を判別できません。");
}

TEST_F(ArchiveFile, BackupRunCommandLineTokenByToken) {
  TArchiveFile af;
  af.SetFileName(archive);
  backupSwitches(af.Options());
  af.SetOutputSize(8192);
  EXPECT_EQ(af.OutputSize(), 8192);
  EXPECT_EQ(af.Output(), "");
  EXPECT_EQ(af.Pack(0, nullptr, data(), {"*.*"}), 0);
  const std::string expected = "u -+ -a1 -c1 -n1 -p1 -x1 -jso0  \"" + archive + "\" \"" + data() +
                               "/\" \".h.txt\" \"a.txt\" \"sub/b.txt\" ";
  EXPECT_EQ(af.CommandLine(), expected);
  EXPECT_NE(fake::Log().find("Unlha " + expected + " [size 8192]"), std::string::npos) << fake::Log();
  EXPECT_EQ(af.Output(), "fake output");
  // The component's own switch set is left as the caller set it.
  EXPECT_EQ(af.Options().r, 1);
  EXPECT_EQ(af.Options().p, -1);
}

TEST_F(ArchiveFile, CallersOptionsStayUnchanged) {
  test::WriteFile(data("skip.tmp"), "t");
  TArchiveFile af;
  af.SetFileName(archive);
  TArchiverOptions o;
  o.jso = 0;
  o.r = 1;
  o.p = -1;
  o.jo = "20000101";
  o.job = "20991231";
  o.jx = {"*.tmp"};
  const TArchiverOptions before = o;
  EXPECT_EQ(af.Pack(0, &o, data(), {"*.*"}), 0);
  EXPECT_EQ(o.r, before.r);
  EXPECT_EQ(o.p, before.p);
  EXPECT_EQ(o.jo, before.jo);
  EXPECT_EQ(o.job, before.job);
  EXPECT_EQ(o.jx, before.jx);
  EXPECT_EQ(af.CommandLine(), "u -+ -p1 -jso0  \"" + archive + "\" \"" + data() + "/\" \"a.txt\" \"sub/b.txt\" ");
}

TEST_F(ArchiveFile, LibraryChoosesWhenAskedTo) {
  TArchiveFile af;
  af.SetFileName(archive);
  TArchiverOptions o;
  o.jso = 0;
  o.r = 1;
  o.jx = {"*.bak"};
  o.PackFilter = pfArchiver;
  af.Pack(0, &o, data(), {"*.*"});
  EXPECT_EQ(af.CommandLine(), "u -+ -r1 -jso0 \"-jx*.bak\"  \"" + archive + "\" \"" + data() + "/\" \"*.*\" ");
}

TEST_F(ArchiveFile, NothingSelectedSkipsTheLibrary) {
  TArchiveFile af;
  af.SetFileName(archive);
  af.SetOutputSize(64);
  af.Options().jso = 0;
  af.Pack(0, nullptr, data(), {"a.txt"});
  ASSERT_EQ(af.Output(), "fake output");
  fake::Reset();
  EXPECT_EQ(af.Pack(0, nullptr, data(), {"*.none"}), 0);
  EXPECT_FALSE(libraryCalled());
  EXPECT_EQ(af.Output(), "");
}

TEST_F(ArchiveFile, SelectionProgressAndCancel) {
  TArchiveFile af;
  af.SetFileName(archive);
  backupSwitches(af.Options());
  Names seen;
  af.OnProgress = [&](TArchiveFile& sender, int state, EXTRACTINGINFOEX* info, bool& abort) {
    EXPECT_EQ(&sender, &af);
    if (state == 2053) {
      seen.emplace_back(info->szSourceFileName);
      abort = true;
    }
  };
  EXPECT_EQ(af.Pack(0, nullptr, data(), {"*.*"}), 32800);
  EXPECT_EQ(seen.size(), 1u);
  EXPECT_FALSE(libraryCalled());
}

TEST_F(ArchiveFile, LibraryProgressReachesTheHandlerAndCanStopIt) {
  TArchiveFile af;
  af.SetFileName(archive);
  backupSwitches(af.Options());
  Names seen;
  bool stop = false;
  af.OnProgress = [&](TArchiveFile&, int state, EXTRACTINGINFOEX* info, bool& abort) {
    if (state == ARCEXTRACT_INPROCESS) {
      seen.emplace_back(info->szSourceFileName);
      abort = stop;
    }
  };
  EXPECT_EQ(af.Pack(0, nullptr, data(), {"*.*"}), 0);
  EXPECT_EQ(seen, (Names{".h.txt", "a.txt", "sub/b.txt"}));
  const std::string log = fake::Log();
  EXPECT_LT(log.find("SetOwnerWindowEx"), log.find("Unlha "));
  EXPECT_LT(log.find("Unlha "), log.find("KillOwnerWindowEx"));
  seen.clear();
  stop = true;
  EXPECT_EQ(af.Pack(0, nullptr, data(), {"*.*"}), ERROR_USER_CANCEL);
  EXPECT_EQ(seen.size(), 1u);
}

TEST_F(ArchiveFile, ExtractLinesAndFailingLibrary) {
  TArchiveFile af;
  af.SetFileName(archive);
  TArchiverOptions restore;
  restore.x = 1;
  restore.jse = 1;
  restore.jso = 1;
  restore.IncludeExtraStreams = false;
  fake::SetResult(0x8005);
  EXPECT_EQ(af.Extract(0, &restore, FTmp / "out", {}), 0x8005);
  EXPECT_EQ(af.CommandLine(), "x -+ -x1 -jse1 -jso1  \"" + archive + "\" \"" + FTmp / "out" + "/\" ");
  fake::SetResult(0);
  // With streams to merge back the progress window is registered, which the line shows as -n1.
  restore.IncludeExtraStreams = true;
  af.Extract(0, &restore, FTmp / "out", {});
  EXPECT_EQ(af.CommandLine(), "x -+ -n1 -x1 -jse1 -jso1  \"" + archive + "\" \"" + FTmp / "out" + "/\" ");
  TArchiverOptions noJse;
  noJse.jso = 1;
  EXPECT_EQ(errorOf([&] { af.Extract(0, &noJse, FTmp.path(), {}); }),
            "jse オプションが設定されていません。 (LHA32, 234 行)");
  EXPECT_EQ(af.CommandLine(), "");
}

TEST_F(ArchiveFile, EnumerationRelayAndStop) {
  fake::AddFile("one.txt", "1");
  fake::AddFile("two.txt", "2");
  std::filesystem::create_directories(FTmp / "out");
  TArchiveFile af;
  af.SetFileName(archive);
  af.Options().jse = 0;
  af.Options().jso = 0;
  Names seen;
  bool current = true;
  af.OnEnumMember = [&](TArchiveFile& sender, EXTRACTINGINFOEX64& info, bool& abort) {
    current = current && TArchiveFile::CurrentArchiveFile() == &sender;
    EXPECT_EQ(info.dwStructSize, 1094u);
    seen.emplace_back(info.szSourceFileName);
    abort = seen.size() == 1;
  };
  af.Extract(0, nullptr, FTmp / "out", {});
  EXPECT_EQ(seen, Names{"one.txt"});
  EXPECT_TRUE(current);
  EXPECT_EQ(TArchiveFile::CurrentArchiveFile(), nullptr);
  const std::string log = fake::Log();
  EXPECT_NE(log.find("SetEnumMembersProc64 1094"), std::string::npos);
  EXPECT_NE(log.find("enumeration stopped"), std::string::npos);
  EXPECT_NE(log.find("ClearEnumMembersProc64"), std::string::npos);
}

TEST_F(ArchiveFile, ListingWalksTheMembers) {
  test::WriteFile(archive, "FAKEARC");
  fake::AddMember("a.txt", 1, 1, 0x3C21, 0);
  fake::AddMember("dir/b.txt", 2, 2, 0x3C21, 0);
  TArchiveFile af;
  af.SetFileName(archive);
  ASSERT_FALSE(af.OpenArchive(0, 0));
  Names names;
  TMemberRecord rec{};
  for (int r = af.FindFirst("*", rec); r == 0; r = af.FindNext(rec)) names.emplace_back(rec.Info.szFileName);
  af.CloseArchive();
  EXPECT_EQ(names, (Names{"a.txt", "dir/b.txt"}));
  EXPECT_NE(fake::Log().find("CloseArchive 77"), std::string::npos);

  TArchiveFile missing;
  missing.SetFileName(FTmp / "missing.lzh");
  EXPECT_TRUE(missing.OpenArchive(0, 0));
  EXPECT_NE(missing.FindFirst("*", rec), 0);
  EXPECT_NE(fake::Log().find("FindFirst 0 *"), std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// Named streams

class Streams : public ArchiveFile {
 protected:
  void SetUp() override {
    ArchiveFile::SetUp();
    if (!test::HasUserXattrs(data())) GTEST_SKIP() << "the file system of " << data() << " keeps no user xattrs";
  }
  static void addStream(const std::string& file, std::string_view name, std::string_view value) {
    ASSERT_EQ(platform::CreateNamedStream(file, name, std::span<const char>(value.data(), value.size())), 0);
  }
  // Packs with the backup run's switches; returns the staged files seen while the library ran.
  std::map<std::string, std::string> packAndWatch(TArchiveFile& af, const TFileArgs& files = {"*.*"}) {
    std::map<std::string, std::string> staged;
    af.OnProgress = [&](TArchiveFile&, int state, EXTRACTINGINFOEX* info, bool&) {
      const std::string name = info->szSourceFileName;
      if (state == ARCEXTRACT_INPROCESS && name.find(";$DATA") != std::string::npos)
        staged[name] = test::ReadFile(data(name));
    };
    EXPECT_EQ(af.Pack(0, nullptr, data(), files), 0);
    return staged;
  }
};

TEST_F(Streams, StagedBesideTheFileAndRemovedAfterThePack) {
  addStream(data("a.txt"), "foo", "stream bytes");
  addStream(data("sub/b.txt"), "\x05Summary", "props");
  test::SetWriteTime(data("a.txt"), {2011, 5, 6, 7, 8, 10});
  TArchiveFile af;
  af.SetFileName(archive);
  backupSwitches(af.Options());
  Names notified;
  const auto staged = packAndWatch(af);
  EXPECT_EQ(staged, (std::map<std::string, std::string>{{"a.txt;foo;$DATA", "stream bytes"},
                                                        {"sub/b.txt;#Summary;$DATA", "props"}}));
  EXPECT_NE(af.CommandLine().find("\"a.txt\" \"a.txt;foo;$DATA\" \"sub/b.txt\" \"sub/b.txt;#Summary;$DATA\" "),
            std::string::npos)
      << af.CommandLine();
  EXPECT_FALSE(platform::FileExists(data("a.txt;foo;$DATA")));
  EXPECT_FALSE(platform::FileExists(data("sub/b.txt;#Summary;$DATA")));
}

TEST_F(Streams, StagedCopyCarriesTheFilesTimes) {
  addStream(data("a.txt"), "foo", "x");
  test::SetWriteTime(data("a.txt"), {2011, 5, 6, 7, 8, 10});
  TArchiveFile af;
  af.SetFileName(archive);
  backupSwitches(af.Options());
  platform::FILETIME stagedTime = 0;
  af.OnProgress = [&](TArchiveFile&, int state, EXTRACTINGINFOEX* info, bool&) {
    if (state == ARCEXTRACT_INPROCESS && std::string(info->szSourceFileName) == "a.txt;foo;$DATA")
      stagedTime = platform::GetFileTimes(data("a.txt;foo;$DATA"))->LastWrite;
  };
  af.Pack(0, nullptr, data(), {"*.*"});
  EXPECT_EQ(stagedTime, platform::GetFileTimes(data("a.txt"))->LastWrite);
}

TEST_F(Streams, SelectionNotifiesTheFileButNotItsStreamMembers) {
  addStream(data("a.txt"), "foo", "x");
  TArchiveFile af;
  af.SetFileName(archive);
  backupSwitches(af.Options());
  Names notified;
  af.OnProgress = [&](TArchiveFile&, int state, EXTRACTINGINFOEX* info, bool&) {
    if (state == 2053) notified.emplace_back(info->szSourceFileName);
  };
  af.Pack(0, nullptr, data(), {"*.*"});
  EXPECT_EQ(notified, (Names{".h.txt", "a.txt", "sub/b.txt"}));
}

TEST_F(Streams, NoStagingWhenSwitchedOff) {
  addStream(data("a.txt"), "foo", "x");
  TArchiveFile af;
  af.SetFileName(archive);
  backupSwitches(af.Options());
  af.Options().IncludeExtraStreams = false;
  EXPECT_TRUE(packAndWatch(af).empty());
  EXPECT_EQ(af.CommandLine().find(";$DATA"), std::string::npos);
}

TEST_F(Streams, OtherNamespacesAreNeverStaged) {
  // Only user attributes are streams; a trusted or security attribute never becomes a member.
  addStream(data("a.txt"), "foo", "x");
  if (setxattr(data("a.txt").c_str(), "trusted.tidekeep", "t", 1, 0) != 0)
    GTEST_SKIP() << "trusted attributes need privileges this run does not have";
  TArchiveFile af;
  af.SetFileName(archive);
  backupSwitches(af.Options());
  const auto staged = packAndWatch(af);
  EXPECT_EQ(staged, (std::map<std::string, std::string>{{"a.txt;foo;$DATA", "x"}}));
  EXPECT_EQ(af.CommandLine().find("tidekeep"), std::string::npos);
}

TEST_F(Streams, UsersFileWithTheStagedNameIsNeitherOverwrittenNorDeleted) {
  addStream(data("a.txt"), "foo", "stream bytes");
  test::WriteFile(data("a.txt;foo;$DATA"), "the user's own file");
  TArchiveFile af;
  af.SetFileName(archive);
  backupSwitches(af.Options());
  packAndWatch(af);
  ASSERT_TRUE(platform::FileExists(data("a.txt;foo;$DATA")));
  EXPECT_EQ(test::ReadFile(data("a.txt;foo;$DATA")), "the user's own file");
  // It is still packed, once, as the ordinary file it is.
  const std::string line = af.CommandLine();
  EXPECT_EQ(line.find("\"a.txt;foo;$DATA\""), line.rfind("\"a.txt;foo;$DATA\""));
}

TEST_F(Streams, CancelledSelectionRemovesStagedFiles) {
  addStream(data(".h.txt"), "foo", "x");
  TArchiveFile af;
  af.SetFileName(archive);
  backupSwitches(af.Options());
  bool stagedDuringSelection = false;
  af.OnProgress = [&](TArchiveFile&, int state, EXTRACTINGINFOEX*, bool& abort) {
    if (state != 2053) return;
    stagedDuringSelection = platform::FileExists(data(".h.txt;foo;$DATA"));
    abort = true;
  };
  EXPECT_EQ(af.Pack(0, nullptr, data(), {"*.*"}), 32800);
  EXPECT_TRUE(stagedDuringSelection);
  EXPECT_FALSE(platform::FileExists(data(".h.txt;foo;$DATA")));
}

TEST_F(Streams, StreamsThatCannotBeStagedLeaveTheFileInThePack) {
  // A staged name too long for the file system cannot be created.
  const std::string longName = std::string(200, 'n') + ".txt";
  test::WriteFile(data(longName), "long");
  addStream(data(longName), std::string(80, 's'), "lost stream");
  addStream(data(longName), "ok", "kept stream");
  TArchiveFile af;
  af.SetFileName(archive);
  backupSwitches(af.Options());
  const auto staged = packAndWatch(af);
  EXPECT_EQ(staged.count(longName + ";ok;$DATA"), 1u);
  EXPECT_EQ(staged.size(), 1u);
  EXPECT_NE(af.CommandLine().find("\"" + longName + "\""), std::string::npos);
}

TEST_F(Streams, ReadOnlyFolderPacksItsFilesWithoutStreams) {
  if (geteuid() == 0) GTEST_SKIP() << "running as root: folder permissions do not stop writing";
  test::WriteFile(data("ro/c.txt"), "c");
  addStream(data("ro/c.txt"), "foo", "x");
  chmod(data("ro").c_str(), 0555);
  TArchiveFile af;
  af.SetFileName(archive);
  backupSwitches(af.Options());
  EXPECT_TRUE(packAndWatch(af).empty());
  EXPECT_NE(af.CommandLine().find("\"ro/c.txt\""), std::string::npos);
  chmod(data("ro").c_str(), 0755);
}

TEST_F(Streams, ExtractMergesStreamsBackWithoutAProgressHandler) {
  const std::string out = FTmp / "out";
  std::filesystem::create_directories(out);
  fake::AddFile("a.txt", "main data");
  fake::AddFile("a.txt;foo;$DATA", "stream bytes");
  fake::AddFile("a.txt;#Summary;$DATA", "props");
  TArchiveFile af;
  af.SetFileName(archive);
  af.Options().x = 1;
  af.Options().jse = 1;
  af.Options().jso = 1;
  EXPECT_EQ(af.Extract(0, nullptr, out, {}), 0);
  EXPECT_EQ(test::ReadFile(out + "/a.txt"), "main data");
  EXPECT_EQ(platform::ReadNamedStream(out + "/a.txt", "foo"), "stream bytes");
  EXPECT_EQ(platform::ReadNamedStream(out + "/a.txt", "\x05Summary"), "props");
  EXPECT_FALSE(platform::FileExists(out + "/a.txt;foo;$DATA"));
  EXPECT_FALSE(platform::FileExists(out + "/a.txt;#Summary;$DATA"));
}

TEST_F(Streams, MergeBackNeverReplacesAnExistingStream) {
  const std::string out = FTmp / "out";
  test::WriteFile(out + "/a.txt", "main data");
  addStream(out + "/a.txt", "foo", "already there");
  fake::AddFile("a.txt;foo;$DATA", "from the archive");
  fake::AddFile("lonely.txt;bar;$DATA", "no file to go to");
  TArchiveFile af;
  af.SetFileName(archive);
  af.Options().jse = 1;
  af.Options().jso = 1;
  af.Extract(0, nullptr, out, {});
  EXPECT_EQ(platform::ReadNamedStream(out + "/a.txt", "foo"), "already there");
  // Bytes that found no place stay on disk rather than being thrown away.
  EXPECT_EQ(test::ReadFile(out + "/a.txt;foo;$DATA"), "from the archive");
  EXPECT_EQ(test::ReadFile(out + "/lonely.txt;bar;$DATA"), "no file to go to");
}

TEST_F(Streams, NoMergeWhenSwitchedOff) {
  const std::string out = FTmp / "out";
  std::filesystem::create_directories(out);
  fake::AddFile("a.txt", "main");
  fake::AddFile("a.txt;foo;$DATA", "stream");
  TArchiveFile af;
  af.SetFileName(archive);
  af.Options().jse = 1;
  af.Options().jso = 1;
  af.Options().IncludeExtraStreams = false;
  af.Extract(0, nullptr, out, {});
  EXPECT_FALSE(platform::ReadNamedStream(out + "/a.txt", "foo"));
  EXPECT_TRUE(platform::FileExists(out + "/a.txt;foo;$DATA"));
}

}  // namespace
