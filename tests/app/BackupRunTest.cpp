// The backup run against the real LHA library: dated archives that lhasa extracts identical to
// their sources, history rows, and the faults a run must not have (a name computed twice, a
// failed pack logged as done, a connection left open, two runs in one minute).
#include <gtest/gtest.h>

#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QStringList>
#include <algorithm>
#include <map>
#include <regex>

#include <unistd.h>

#include "AppTestSupport.h"
#include "ARCHIVES.h"
#include "BackupRun.h"
#include "FileSearch.h"
#include "NamedStreams.h"
#include "ScriptedDialogs.h"
#include "uFMain.h"

namespace {

namespace fs = std::filesystem;
using platform::LocalDateTime;

// A small tree with what a backup must carry: subfolders, dot-files and a dot-folder, Japanese
// names, a binary file, and a user stream where the file system keeps them.
void MakeTree(const fs::path& root, const std::string& tag) {
  WriteFile((root / "readme.txt").string(), "readme of " + tag + "\n");
  WriteFile((root / ".profile").string(), "dot-file\n");
  WriteFile((root / ".config" / "settings.ini").string(), "[a]\nb=1\n");
  WriteFile((root / "資料" / "報告書.txt").string(), "日本語の内容 " + tag + "\n");
  std::string binary;
  for (int i = 0; i < 70000; ++i) binary += static_cast<char>((i * 7919 + i / 13) & 0xFF);
  WriteFile((root / "sub" / "deeper" / "data.bin").string(), binary);
  WriteFile((root / "sub" / "empty.txt").string(), "");
  if (platform::VolumeHasNamedStreams(root.string())) {
    const std::string note = "stream of " + tag;
    platform::CreateNamedStream((root / "readme.txt").string(), "note", note);
  }
}

// Every file below root by its relative path, each named stream as the member lhasa extracts
// for it ("name;stream;$DATA").
std::map<std::string, std::string> Contents(const fs::path& root, bool withStreams) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (!e.is_regular_file()) continue;
    const std::string rel = fs::relative(e.path(), root).string();
    files[rel] = *platform::ReadWholeFile(e.path().string());
    if (!withStreams) continue;
    for (const std::string& name : platform::ListNamedStreams(e.path().string())) {
      files[rel + ";" + name + ";$DATA"] = *platform::ReadNamedStream(e.path().string(), name);
    }
  }
  return files;
}

std::string Lhasa() { return QStandardPaths::findExecutable("lhasa").toStdString(); }

void ExtractWithLhasa(const std::string& archive, const fs::path& dest) {
  fs::create_directories(dest);
  QProcess p;
  p.setWorkingDirectory(QString::fromStdString(dest.string()));
  p.start(QString::fromStdString(Lhasa()), {"xq", QString::fromStdString(archive)});
  ASSERT_TRUE(p.waitForFinished(-1));
  ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}

std::vector<backupdb::LogRow> LogRows() {
  auto db = backupdb::OpenDatabase();
  return backupdb::ReadLog(*db);
}

// How many descriptors of this process are open on path.
int OpenHandles(const std::string& path) {
  int n = 0;
  for (const auto& e : fs::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    if (fs::read_symlink(e.path(), ec) == fs::path(path)) ++n;
  }
  return n;
}

class BackupRunTest : public ::testing::Test {
 protected:
  BackupRunTest() {
    auto db = backupdb::OpenDatabase();
    backupdb::EnsureSchema(*db);
  }
  void AddPair(const std::string& folder, const std::string& file) {
    auto db = backupdb::OpenDatabase();
    backupdb::InsertTarget(*db, {folder, file});
  }
  static backuprun::Clock Fixed(LocalDateTime t) {
    return [t] { return t; };
  }
  // "直ぐに実行" runs the backup again and shows this error, and no completion message.
  void ExpectTheWindowShowsOnly(const std::string& error) const {
    platform::ScriptedDialogs dialogs;
    TfrmMain main;
    main.Clock = Fixed(day);
    main.cxbtnGoM->click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].kind, platform::MsgKind::Error);
    EXPECT_EQ(dialogs.messages[0].text, error);
  }

  ScratchDb scratch;
  const LocalDateTime day = {2010, 6, 17, 9, 5, 0};
};

TEST(MakeArchiveNameTest, DatePutInFrontOfTheFileName) {
  const LocalDateTime feb1 = {2011, 2, 1, 10, 0, 0};
  struct Case { const char* file; const char* dated; };
  for (const Case& c : {Case{"/backup/work.lzh", "/backup/20110201_work.lzh"}, Case{"work.lzh", "20110201_work.lzh"},
                        Case{"/a.b/c", "/a.b/20110201_c"}, Case{"/backup/", "/backup/20110201_"},
                        Case{"/バックアップ/作業.lzh", "/バックアップ/20110201_作業.lzh"}}) {
    EXPECT_EQ(backuprun::MakeArchiveName(c.file, feb1), c.dated);
  }
}

TEST_F(BackupRunTest, NoPairsPacksNothing) {
  EXPECT_TRUE(backuprun::RunBackup(0, Fixed(day)).empty());
  EXPECT_TRUE(LogRows().empty());
}

TEST_F(BackupRunTest, ARunAcrossMidnightLogsTheArchiveItWrote) {
  MakeTree(scratch.dir / "src", "midnight");
  AddPair((scratch.dir / "src").string(), scratch.Path("out/src.lzh"));
  fs::create_directories(scratch.dir / "out");
  int reads = 0;
  auto clock = [&] {
    return reads++ == 0 ? LocalDateTime{2010, 6, 17, 23, 59, 59} : LocalDateTime{2010, 6, 18, 0, 0, 1};
  };
  auto results = backuprun::RunBackup(0, clock);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].code, 0) << results[0].output;
  const std::string written = scratch.Path("out/20100617_src.lzh");
  EXPECT_TRUE(fs::exists(written));
  EXPECT_FALSE(fs::exists(scratch.Path("out/20100618_src.lzh")));
  EXPECT_EQ(LogRows(), (std::vector<backupdb::LogRow>{{(scratch.dir / "src").string(), written, "2010/06/18 00:00"}}));
}

TEST_F(BackupRunTest, AFailedPackIsReportedAndNotLogged) {
  MakeTree(scratch.dir / "src", "fail");
  // The archive's folder does not exist, so the library cannot write it.
  AddPair((scratch.dir / "src").string(), scratch.Path("missing/src.lzh"));
  auto results = backuprun::RunBackup(0, Fixed(day));
  ASSERT_EQ(results.size(), 1u);
  EXPECT_NE(results[0].code, 0);
  EXPECT_EQ(results[0].outcome, backuprun::TPairOutcome::Failed);
  EXPECT_FALSE(results[0].logged);
  EXPECT_TRUE(LogRows().empty());
  const std::string text = backuprun::FailureText(results[0]);
  EXPECT_NE(text.find(scratch.Path("missing/20100617_src.lzh")), std::string::npos);
  // In the program's language first: what failed, on which file, what to do; the library's words below.
  EXPECT_TRUE(text.starts_with("「20100617_src.lzh」: 出力先のファイルまたはフォルダを作成・書き込みできませんでした。")) << text;
  const std::string said = results[0].output.substr(0, results[0].output.find('\n'));
  ASSERT_FALSE(said.empty());
  EXPECT_NE(text.find(said), std::string::npos);

  // The window shows that text in place of the completion message.
  ExpectTheWindowShowsOnly(text);
}

// Bytes that change between packing and the test (a failing disk or cable) fail the pair: it is
// reported with the library's test output and gets no history row; a sound pair beside it does.
TEST_F(BackupRunTest, ACorruptedArchiveFailsItsVerificationAndIsReported) {
  MakeTree(scratch.dir / "bad", "bad");
  MakeTree(scratch.dir / "good", "good");
  AddPair((scratch.dir / "bad").string(), scratch.Path("bad.lzh"));
  AddPair((scratch.dir / "good").string(), scratch.Path("good.lzh"));
  backuprun::TBackupEvents events;
  events.OnPacked = [](const std::string& archive) {
    if (archive.find("_bad.lzh") == std::string::npos) return;
    std::string bytes = *platform::ReadWholeFile(archive);
    for (std::size_t i = bytes.size() / 2; i < bytes.size() / 2 + 16; ++i) bytes[i] ^= 0x5A;
    WriteFile(archive, bytes);
  };
  const auto results = backuprun::RunBackup(0, Fixed(day), events);
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0].outcome, backuprun::TPairOutcome::Failed);
  EXPECT_NE(results[0].code, 0);
  EXPECT_FALSE(results[0].logged);
  EXPECT_TRUE(results[1].Succeeded());
  const auto rows = LogRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].target_folder, (scratch.dir / "good").string());
  const std::string text = backuprun::FailuresText(results);
  EXPECT_NE(text.find("書庫の検査に失敗しました"), std::string::npos);
  EXPECT_NE(text.find(scratch.Path("20100617_bad.lzh")), std::string::npos);
  EXPECT_EQ(text.find("good"), std::string::npos);
}

TEST_F(BackupRunTest, AFailedSecondRunOnTheSameDayIsNotLogged) {
  MakeTree(scratch.dir / "src", "twice");
  AddPair((scratch.dir / "src").string(), scratch.Path("src.lzh"));
  ASSERT_TRUE(backuprun::RunBackup(0, Fixed(day))[0].Succeeded());
  ASSERT_EQ(LogRows().size(), 1u);
  // The morning's archive is still there, but the library cannot read it, so the second pack fails.
  const std::string archive = scratch.Path("20100617_src.lzh");
  WriteFile(archive, "not an archive at all");
  auto results = backuprun::RunBackup(0, Fixed(day));
  ASSERT_EQ(results.size(), 1u);
  EXPECT_NE(results[0].code, 0);
  EXPECT_EQ(results[0].outcome, backuprun::TPairOutcome::Failed);
  EXPECT_TRUE(fs::exists(archive));
  EXPECT_EQ(LogRows().size(), 1u);
}

TEST_F(BackupRunTest, AnEmptyFolderMakesNoArchiveAndNoRow) {
  fs::create_directories(scratch.dir / "empty");
  AddPair((scratch.dir / "empty").string(), scratch.Path("empty.lzh"));
  auto results = backuprun::RunBackup(0, Fixed(day));
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].code, 0);
  EXPECT_EQ(results[0].outcome, backuprun::TPairOutcome::NothingToPack);
  EXPECT_TRUE(results[0].Succeeded());
  EXPECT_FALSE(results[0].logged);
  EXPECT_TRUE(LogRows().empty());
}

// The second of three pairs fails, in each way a pair can: every pair is still attempted, the
// first and third are packed and logged, and one message names the second and why.
TEST_F(BackupRunTest, ThreePairsWithTheSecondFailingPackTheFirstAndThird) {
  MakeTree(scratch.dir / "one", "one");
  MakeTree(scratch.dir / "three", "three");
  MakeTree(scratch.dir / "two", "two");
  struct Case { const char* how; std::string folder, file, reason; };
  const Case cases[] = {
      {"a missing target folder raises", scratch.Path("gone"), scratch.Path("two.lzh"), scratch.Path("gone")},
      {"an undetectable type raises", scratch.Path("two"), scratch.Path("two.unknown"), "書庫の形式を判別できません。"},
      {"a library that cannot write returns a code", scratch.Path("two"), scratch.Path("missing/two.lzh"),
       scratch.Path("missing/20100617_two.lzh")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    {
      auto db = backupdb::OpenDatabase();
      db->RunSQL("delete from m_bkup");
      db->RunSQL("delete from m_log");
    }
    for (const char* archive : {"20100617_one.lzh", "20100617_three.lzh"}) fs::remove(scratch.Path(archive));
    AddPair((scratch.dir / "one").string(), scratch.Path("one.lzh"));
    AddPair(c.folder, c.file);
    AddPair((scratch.dir / "three").string(), scratch.Path("three.lzh"));

    auto results = backuprun::RunBackup(0, Fixed(day));
    EXPECT_EQ(OpenHandles(scratch.db), 0);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_TRUE(results[0].Succeeded());
    EXPECT_EQ(results[1].outcome, backuprun::TPairOutcome::Failed);
    EXPECT_TRUE(results[2].Succeeded());
    EXPECT_TRUE(fs::exists(scratch.Path("20100617_one.lzh")));
    EXPECT_TRUE(fs::exists(scratch.Path("20100617_three.lzh")));
    const auto rows = LogRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].bkup_file, scratch.Path("20100617_one.lzh"));
    EXPECT_EQ(rows[1].bkup_file, scratch.Path("20100617_three.lzh"));

    const std::string failures = backuprun::FailuresText(results);
    EXPECT_EQ(failures, backuprun::FailureText(results[1]));
    EXPECT_NE(failures.find(c.folder), std::string::npos) << failures;
    EXPECT_NE(failures.find(c.reason), std::string::npos) << failures;
    EXPECT_EQ(failures.find(scratch.Path("20100617_three.lzh")), std::string::npos);

    // From the window: that one message, and no completion message.
    ExpectTheWindowShowsOnly(failures);
    EXPECT_EQ(LogRows().size(), 4u);
  }
}

TEST_F(BackupRunTest, APackThatSkipsAFileIsLoggedAndReportedAsPartlyFailed) {
  const fs::path src = scratch.dir / "src";
  WriteFile((src / "a.txt").string(), "first\n");
  WriteFile((src / "m.txt").string(), "middle\n");
  WriteFile((src / "z.txt").string(), "last\n");
  AddPair(src.string(), scratch.Path("src.lzh"));
  backuprun::TBackupEvents events;
  std::vector<std::string> progress;
  // The file vanishes after it was selected, while the library packs the first one.
  events.OnProgress = [&](const backuprun::TRunProgress& p) {
    progress.push_back(std::to_string(p.pair) + "/" + std::to_string(p.pairs) + " " + std::to_string(p.members) +
                       " " + p.current);
    if (p.current == "a.txt") fs::remove(src / "z.txt");
  };
  auto results = backuprun::RunBackup(0, Fixed(day), events);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].code, backuprun::kPackSkippedItems);
  EXPECT_EQ(results[0].outcome, backuprun::TPairOutcome::PartlyStored);
  EXPECT_TRUE(results[0].logged);
  EXPECT_FALSE(results[0].Succeeded());
  ASSERT_EQ(LogRows().size(), 1u);
  EXPECT_EQ(LogRows()[0].bkup_file, scratch.Path("20100617_src.lzh"));
  const std::string failures = backuprun::FailuresText(results);
  EXPECT_NE(failures.find("z.txt"), std::string::npos) << failures;
  EXPECT_NE(failures.find(scratch.Path("20100617_src.lzh")), std::string::npos) << failures;
  EXPECT_EQ(progress.front(), "1/1 0 ");
  EXPECT_NE(std::find(progress.begin(), progress.end(), "1/1 1 a.txt"), progress.end());
  EXPECT_NE(std::find(progress.begin(), progress.end(), "1/1 2 m.txt"), progress.end());
}

TEST_F(BackupRunTest, AHistoryRowThatCannotBeWrittenFailsThePairAndRunNow) {
  MakeTree(scratch.dir / "src", "nolog");
  AddPair((scratch.dir / "src").string(), scratch.Path("src.lzh"));
  {
    auto db = backupdb::OpenDatabase();
    db->RunSQL("create trigger no_log before insert on m_log begin select raise(abort, 'log is read-only'); end");
  }
  auto results = backuprun::RunBackup(0, Fixed(day));
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].outcome, backuprun::TPairOutcome::Stored);
  EXPECT_FALSE(results[0].logged);
  EXPECT_FALSE(results[0].Succeeded());
  EXPECT_NE(backuprun::FailuresText(results).find("log is read-only"), std::string::npos);

  QProcess p;
  p.start(QStringLiteral(TIDEKEEP_BIN), {"--db", QString::fromStdString(scratch.db), "--run-now"});
  ASSERT_TRUE(p.waitForFinished(60000));
  EXPECT_EQ(p.exitCode(), 1);
  EXPECT_NE(p.readAllStandardError().toStdString().find("log is read-only"), std::string::npos);
}

TEST_F(BackupRunTest, TwoTicksInTheDueWindowRunOnce) {
  MakeTree(scratch.dir / "src", "ticks");
  AddPair((scratch.dir / "src").string(), scratch.Path("src.lzh"));
  platform::ScriptedDialogs dialogs;
  TfrmMain main;
  main.FormCreate();
  main.bk_time = "9:05:00";
  for (int second : {58, 59, 0, 1, 2}) {
    main.Clock = [second] { return LocalDateTime{2010, 6, 17, 9, second >= 58 ? 4 : 5, second}; };
    main.Timer1Timer();
  }
  main.Clock = Fixed({2010, 6, 17, 9, 6, 0});
  main.Timer1Timer();
  EXPECT_EQ(LogRows().size(), 1u);
  EXPECT_TRUE(dialogs.messages.empty());
  main.Clock = Fixed({2010, 6, 18, 9, 5, 1});
  main.Timer1Timer();
  EXPECT_EQ(LogRows().size(), 2u);
}

TEST_F(BackupRunTest, RunNowMakesArchivesThatExtractIdenticallyWithLhasa) {
  if (Lhasa().empty()) GTEST_SKIP() << "lhasa is not installed";
  const fs::path work = scratch.dir / "作業フォルダ";
  const fs::path photos = scratch.dir / "photos";
  MakeTree(work, "work");
  MakeTree(photos, "photos");
  fs::create_directories(scratch.dir / "backups");
  AddPair(work.string(), scratch.Path("backups/work.lzh"));
  AddPair(photos.string(), scratch.Path("backups/写真.lzh"));

  QProcess p;
  p.start(QStringLiteral(TIDEKEEP_BIN), {"--db", QString::fromStdString(scratch.db), "--run-now"});
  ASSERT_TRUE(p.waitForFinished(-1));
  const std::string out = p.readAllStandardOutput().toStdString();
  ASSERT_EQ(p.exitCode(), 0) << out << p.readAllStandardError().toStdString();

  const auto rows = LogRows();
  ASSERT_EQ(rows.size(), 2u);
  const std::regex logDate(R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2})");
  const fs::path sources[] = {work, photos};
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].target_folder, sources[i].string());
    EXPECT_TRUE(std::regex_match(rows[i].bkup_date, logDate)) << rows[i].bkup_date;
    EXPECT_TRUE(fs::exists(rows[i].bkup_file));
    EXPECT_NE(out.find(sources[i].string() + " -> " + rows[i].bkup_file + ": ok"), std::string::npos) << out;
    const fs::path dest = scratch.dir / ("x" + std::to_string(i));
    ExtractWithLhasa(rows[i].bkup_file, dest);
    EXPECT_EQ(Contents(dest, false), Contents(sources[i], true)) << rows[i].bkup_file;
  }
  EXPECT_EQ(platform::ExtractFileName(rows[1].bkup_file).substr(8), "_写真.lzh");
}

TEST_F(BackupRunTest, RunNowReportsAFailedPackAndExitsNonZero) {
  MakeTree(scratch.dir / "src", "cli");
  AddPair((scratch.dir / "src").string(), scratch.Path("missing/src.lzh"));
  QProcess p;
  p.start(QStringLiteral(TIDEKEEP_BIN), {"--db", QString::fromStdString(scratch.db), "--run-now"});
  ASSERT_TRUE(p.waitForFinished(-1));
  EXPECT_EQ(p.exitCode(), 1);
  const std::string err = p.readAllStandardError().toStdString();
  EXPECT_NE(err.find("missing/"), std::string::npos) << err;
  EXPECT_GT(err.find('\n'), 0u);
  EXPECT_NE(p.readAllStandardOutput().toStdString().find(": error "), std::string::npos);
  EXPECT_TRUE(LogRows().empty());
}

// A file the run's user cannot read: the rest is stored and logged, the file is named, and the
// exit status says the backup is not whole. Root reads everything, so as root the program runs
// as nobody.
TEST_F(BackupRunTest, RunNowExitsNonZeroWhenAFileCouldNotBeRead) {
  const bool root = ::geteuid() == 0;
  const QString setpriv = QStandardPaths::findExecutable("setpriv");
  if (root && setpriv.isEmpty()) GTEST_SKIP() << "running as root without setpriv to drop to an ordinary user";
  const fs::path src = scratch.dir / "src";
  WriteFile((src / "ok.txt").string(), "readable\n");
  WriteFile((src / "secret.txt").string(), "unreadable\n");
  fs::permissions(src / "secret.txt", fs::perms::none);
  AddPair(src.string(), scratch.Path("src.lzh"));
  QStringList args{"--db", QString::fromStdString(scratch.db), "--run-now"};
  QString program = QStringLiteral(TIDEKEEP_BIN);
  if (root) {
    for (const auto& e : fs::recursive_directory_iterator(scratch.dir)) {
      ASSERT_EQ(::lchown(e.path().c_str(), 65534, 65534), 0);
    }
    ASSERT_EQ(::chown(scratch.dir.c_str(), 65534, 65534), 0);
    args.prepend(program);
    args = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups"} + args;
    program = setpriv;
  }
  QProcess p;
  p.start(program, args);
  ASSERT_TRUE(p.waitForFinished(60000));
  const std::string err = p.readAllStandardError().toStdString();
  EXPECT_EQ(p.exitCode(), 1) << err;
  EXPECT_NE(err.find("secret.txt"), std::string::npos) << err;
  const auto rows = LogRows();
  ASSERT_EQ(rows.size(), 1u);
  TArchiveFile archive;
  archive.SetFileName(rows[0].bkup_file);
  archive.OpenArchive(0, 0);
  std::vector<std::string> names;
  TMemberRecord rec{};
  for (int rc = archive.FindFirst("*.*", rec); rc == 0; rc = archive.FindNext(rec)) names.emplace_back(rec.Info.szFileName);
  archive.CloseArchive();
  EXPECT_EQ(names, (std::vector<std::string>{"ok.txt"}));
}

TEST_F(BackupRunTest, PurgeNowDeletesExpiredArchives) {
  const std::string old = scratch.Path("20000101_old.lzh");
  const std::string newer = scratch.Path("20000201_old.lzh");
  WriteFile(old, "old");
  PackArchive(scratch, newer, "newer");
  {
    auto db = backupdb::OpenDatabase();
    backupdb::InsertLog(*db, {"/data", old, "2000/01/01 12:00"});
    backupdb::InsertLog(*db, {"/data", newer, "2000/02/01 12:00"});
    backupdb::ReplaceDeleteFlag(*db, 1);
  }
  QProcess p;
  p.start(QStringLiteral(TIDEKEEP_BIN), {"--db", QString::fromStdString(scratch.db), "--purge-now"});
  ASSERT_TRUE(p.waitForFinished(-1));
  EXPECT_EQ(p.exitCode(), 0);
  EXPECT_EQ(p.readAllStandardOutput().toStdString(),
            "deleted " + old + "\nkept (the pair's newest) " + newer + "\n");
  EXPECT_FALSE(fs::exists(old));
  EXPECT_TRUE(fs::exists(newer));
  EXPECT_EQ(LogRows().size(), 2u);
}

}  // namespace
