// The restore window driven headless through the dialog seam, with the real LHA library: a backup
// made as the backup run makes it comes back byte for byte (modes, times, links, owners, xattrs),
// and every failure is said before "解凍が終了しました".
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>

#include "ARCHIVES.h"
#include "BackupDb.h"
#include "BackupPacking.h"
#include "FileSearch.h"
#include "FileTimes.h"
#include "NamedStreams.h"
#include "Peers.h"
#include "RestoreTestSupport.h"
#include "ScriptedDialogs.h"
#include "uDPickFolder2.h"
#include "uFLogList.h"
#include "uFMeltArc.h"

namespace fs = std::filesystem;

namespace {

using platform::MsgKind;
using restoretest::ScratchDatabase;
using restoretest::ScratchDir;

constexpr std::string_view Finished = "解凍が終了しました";
constexpr std::string_view ExtractError = "ファイル解凍エラーが発生しました";

// ---- What a folder holds, for comparing a restored tree with its source -------------------

struct Entry {
  char type = '?';  // d, f, l
  unsigned mode = 0;
  unsigned uid = 0, gid = 0;
  long long mtime = 0;  // whole seconds; not compared for links
  std::string data;     // file content or link target
  std::map<std::string, std::string> streams;
  bool operator==(const Entry&) const = default;
};
using Tree = std::map<std::string, Entry>;

void PrintTo(const Entry& e, std::ostream* os) {
  *os << e.type << " mode " << std::oct << e.mode << std::dec << " owner " << e.uid << ":" << e.gid << " mtime "
      << e.mtime << " " << e.data.size() << " bytes";
  if (e.type == 'l') *os << " -> " << e.data;
  for (const auto& [name, value] : e.streams) *os << " [" << name << "=" << value << "]";
}

Tree Snapshot(const fs::path& root) {
  Tree tree;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    const std::string path = item.path().string();
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) ADD_FAILURE() << "cannot stat " << path;
    Entry e;
    if (S_ISDIR(st.st_mode)) {
      // A backup holds files and links; a folder comes back as the path to what it held,
      // without modes, owner or times of its own.
      e.type = 'd';
    } else if (S_ISLNK(st.st_mode)) {
      e.type = 'l';
      e.uid = st.st_uid;
      e.gid = st.st_gid;
      e.data = fs::read_symlink(item.path()).string();
    } else {
      e.type = 'f';
      e.mode = st.st_mode & 07777;
      e.uid = st.st_uid;
      e.gid = st.st_gid;
      e.mtime = platform::FileTimeToUnix(platform::GetFileTimes(path).value().LastWrite);
      e.data = platform::ReadWholeFile(path).value_or("<unreadable>");
      for (const std::string& name : platform::ListNamedStreams(path)) {
        e.streams[name] = platform::ReadNamedStream(path, name).value_or("<unreadable>");
      }
    }
    tree[item.path().lexically_relative(root).string()] = e;
  }
  return tree;
}

void WriteFile(const fs::path& path, std::string_view data, fs::perms mode) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << data;
  fs::permissions(path, mode);
}

void SetTime(const fs::path& path, long long unixSeconds) {
  const platform::FILETIME t = platform::UnixToFileTime(unixSeconds);
  ASSERT_TRUE(platform::SetFileTimes(path.string(), {t, t, 0})) << path;
}

// A tree with what a backup must carry: nested folders, a Japanese name, a dot-file, an empty
// file, binary content, unusual modes, links (one dangling, one up a folder), another owner and
// an xattr.
void MakeSourceTree(const fs::path& root, bool withStreams) {
  std::string binary;
  for (int i = 0; i < 120000; ++i) binary.push_back(static_cast<char>((i * 7919 + i / 13) % 251));
  WriteFile(root / "a.txt", "hello, backup\n", fs::perms(0640));
  WriteFile(root / "bin/tool", binary, fs::perms(0755));
  WriteFile(root / "写真/日本語の名前.txt", "日本語の中身\n", fs::perms(0644));
  WriteFile(root / ".dotfile", "hidden\n", fs::perms(0600));
  WriteFile(root / "empty.dat", "", fs::perms(0444));
  WriteFile(root / "sub/deeper/note.md", std::string(5000, 'n'), fs::perms(0664));
  fs::create_symlink("a.txt", root / "link");
  fs::create_symlink("../a.txt", root / "bin/up");
  fs::create_symlink("nowhere/at/all", root / "dangling");
  if (::geteuid() == 0) {
    ASSERT_EQ(::lchown((root / "bin/tool").c_str(), 1234, 2345), 0);
    ASSERT_EQ(::lchown((root / "link").c_str(), 4321, 5432), 0);
  }
  if (withStreams) {
    const std::string note = "written by the test";
    ASSERT_EQ(platform::CreateNamedStream((root / "a.txt").string(), "comment", note), 0);
  }
  long long t = 1600000000;
  for (const char* name : {"a.txt", "bin/tool", "写真/日本語の名前.txt", ".dotfile", "empty.dat", "sub/deeper/note.md"}) {
    SetTime(root / name, t += 3601);
  }
}

// ---- Hand-made archives, for what no packer writes --------------------------------------

uint16_t Crc16(std::string_view data) {
  uint16_t crc = 0;
  for (unsigned char ch : data) {
    crc ^= ch;
    for (int k = 0; k < 8; ++k) crc = static_cast<uint16_t>((crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1);
  }
  return crc;
}

void PutLE(std::string& out, uint32_t v, int bytes) {
  for (int k = 0; k < bytes; ++k) out.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
}

struct Member {
  std::string name;
  std::string data;
};

// A level-0 archive of stored (-lh0-) members; badCrc spoils every member's check value.
std::string StoredArchive(const std::vector<Member>& members, bool badCrc = false) {
  std::string out;
  for (const Member& m : members) {
    std::string h = "-lh0-";
    PutLE(h, static_cast<uint32_t>(m.data.size()), 4);
    PutLE(h, static_cast<uint32_t>(m.data.size()), 4);
    PutLE(h, (12u << 11) | (0u << 5), 2);                   // 12:00:00
    PutLE(h, ((2024u - 1980u) << 9) | (6u << 5) | 17u, 2);  // 2024-06-17
    h.push_back(0x20);                                      // archive attribute
    h.push_back(0);                                         // header level 0
    h.push_back(static_cast<char>(m.name.size()));
    h += m.name;
    PutLE(h, static_cast<uint16_t>(Crc16(m.data) ^ (badCrc ? 0x5A5A : 0)), 2);
    unsigned sum = 0;
    for (unsigned char ch : h) sum += ch;
    out.push_back(static_cast<char>(h.size()));
    out.push_back(static_cast<char>(sum & 0xFF));
    out += h;
    out += m.data;
  }
  out.push_back(0);
  return out;
}

// ---- The window ------------------------------------------------------------------------

class MeltArcWindowTest : public ::testing::Test {
 protected:
  void ChooseFile(const std::string& path) {
    dialogs.fileAnswers.push_back(path);
    w.cxBtnFile->click();
  }
  // Picks folder through the destination picker, as the user does with the second "参照".
  void ChooseDest(const std::string& folder) {
    dialogs.modalHandlers.push_back([this, folder](QDialog&) {
      dialogs.folderAnswers.push_back(folder);
      picker.BtnBrowse->click();
      picker.OKBtn->click();
      return picker.result();
    });
    w.cxBtnDir->click();
  }
  struct Said {
    MsgKind kind;
    std::string text;
    bool operator==(const Said&) const = default;
    friend void PrintTo(const Said& s, std::ostream* os) { *os << static_cast<int>(s.kind) << " \"" << s.text << "\""; }
  };
  std::vector<Said> Run() {
    dialogs.messages.clear();
    w.cxBtnGO->click();
    std::vector<Said> said;
    for (const auto& m : dialogs.messages) said.push_back({m.kind, m.text});
    return said;
  }
  static Said Done() { return {MsgKind::Information, std::string(Finished)}; }

  QApplication& app = TestApp();
  ScratchDir dir;
  platform::ScriptedDialogs dialogs;
  TDlgPickFolder2 picker;
  TfrmMeltArc w{picker};
};

TEST_F(MeltArcWindowTest, WindowAsDefined) {
  EXPECT_EQ(w.windowTitle().toStdString(), "バックアップの解凍");
  EXPECT_EQ(w.Label1->text().toStdString(), "バックアップファイル");
  EXPECT_EQ(w.Label2->text().toStdString(), "解凍先");
  EXPECT_EQ(w.ChkBx1->text().toStdString(), "ファイル名と同名のフォルダを作成し解凍する");
  EXPECT_TRUE(w.ChkBx1->isChecked());
  EXPECT_EQ(w.cxBtnGO->text().toStdString(), "実行");
  EXPECT_EQ(w.cxBtnNG->text().toStdString(), "キャンセル");
  EXPECT_TRUE(w.BackupFile.empty());
  EXPECT_TRUE(w.DestFolder.empty());
}

TEST_F(MeltArcWindowTest, FileChooserOffersBackupFilesAndCancelChangesNothing) {
  w.cxBtnFile->click();  // cancelled
  EXPECT_EQ(dialogs.fileFilters, (std::vector<std::string>{"バックアップファイル|*.lzh|書庫ファイル|*.lzh;*.zip;*.jar;*.ear;*.war;*.cab;*.arj;*.tar;*.a;*.lib;*.deb;"
                                       "*.rpm;*.cpio;*.gz;*.z;*.tgz;*.taz;*.bz2;*.rar;*.gza;*.bza;*.yz1;*.7z;*.exe"}));
  EXPECT_TRUE(w.BackupFile.empty());
  ChooseFile("/backups/20100617_data.lzh");
  EXPECT_EQ(w.BackupFile, "/backups/20100617_data.lzh");
  EXPECT_EQ(w.EditFile->text().toStdString(), w.BackupFile);
  w.cxBtnFile->click();  // cancelled again: the last choice stays
  EXPECT_EQ(w.BackupFile, "/backups/20100617_data.lzh");
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(MeltArcWindowTest, DestinationPickerWithoutOpenAfterAndCancelKeepsTheLastChoice) {
  picker.SetMode(1);  // as the browser leaves it
  bool optionShown = true;
  dialogs.modalHandlers.push_back([&](QDialog&) {
    optionShown = picker.RdBtn1->isVisible();
    dialogs.folderAnswers.push_back("/work/one");
    picker.BtnBrowse->click();
    picker.OKBtn->click();
    return picker.result();
  });
  w.cxBtnDir->click();
  EXPECT_FALSE(optionShown);
  EXPECT_EQ(picker.Mode, 0);
  EXPECT_EQ(w.DestFolder, "/work/one");
  EXPECT_EQ(w.EditDir->text().toStdString(), "/work/one");

  dialogs.modalHandlers.push_back([&](QDialog&) {
    dialogs.folderAnswers.push_back("/work/two");
    picker.BtnBrowse->click();
    picker.CancelBtn->click();
    return picker.result();
  });
  w.cxBtnDir->click();
  EXPECT_EQ(w.DestFolder, "/work/one");
  EXPECT_EQ(w.EditDir->text().toStdString(), "/work/one");

  dialogs.modalHandlers.push_back([&](QDialog&) {
    picker.EditFolder->clear();
    picker.OKBtn->click();
    return picker.result();
  });
  w.cxBtnDir->click();
  EXPECT_EQ(w.DestFolder, "");
}

TEST_F(MeltArcWindowTest, RunNeedsBothChoicesAndIgnoresTypedText) {
  w.EditDir->setText(QString::fromStdString(dir.str()));
  w.EditFile->setText("/somewhere/typed.lzh");
  EXPECT_TRUE(Run().empty());
  ChooseFile(dir.str("x.lzh"));
  EXPECT_TRUE(Run().empty());
  w.BackupFile.clear();
  ChooseDest(dir.str());
  w.BackupFile.clear();
  EXPECT_TRUE(Run().empty());
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST_F(MeltArcWindowTest, ComponentErrorShowsTheFixedMessageThenFinished) {
  // No driver exists for this format: the component raises before the library is reached.
  ChooseFile(dir.str("old.gca"));
  ChooseDest(dir.str());
  EXPECT_EQ(Run(), (std::vector<Said>{{MsgKind::Error, std::string(ExtractError)}, Done()}));
}

// Absolute names and ".." components (as other LHA tools store them) are restored below the
// destination, as the Unix LHA tools do; nothing lands outside it.
TEST_F(MeltArcWindowTest, NamesLeavingTheDestinationAreRestoredInsideIt) {
  const fs::path work = dir.path() / "work";
  fs::create_directories(work);
  const std::string archive = dir.str("names.lzh");
  std::ofstream(archive, std::ios::binary) << StoredArchive({{"ok.txt", "fine"},
                                                             {"../escaped.txt", "one"},
                                                             {"../../escaped-too.txt", "two"},
                                                             {"..\\escaped-dos.txt", "three"},
                                                             {"sub/../../escaped-sub.txt", "four"},
                                                             {dir.str("absolute.txt"), "five"}});
  ChooseFile(archive);
  ChooseDest(work.string());
  EXPECT_EQ(Run(), (std::vector<Said>{Done()}));
  for (const std::string& path : {(work / "escaped.txt").string(), dir.str("escaped-too.txt"),
                                  (work / "escaped-dos.txt").string(), (work / "escaped-sub.txt").string()})
    EXPECT_FALSE(platform::FileExists(path)) << path;
  std::map<std::string, std::string> restored;
  for (const auto& e : fs::recursive_directory_iterator(work))
    if (e.is_regular_file()) restored[e.path().filename().string()] = platform::ReadWholeFile(e.path().string()).value_or("");
  EXPECT_EQ(restored, (std::map<std::string, std::string>{{"ok.txt", "fine"},
                                                          {"escaped.txt", "one"},
                                                          {"escaped-too.txt", "two"},
                                                          {"escaped-dos.txt", "three"},
                                                          {"escaped-sub.txt", "four"},
                                                          {"absolute.txt", "five"}}));
}

// Failures that only the library's result code tells: each is shown, in the library's words,
// before the restore is called finished.
TEST_F(MeltArcWindowTest, LibraryFailureIsShownBeforeFinished) {
  struct Case {
    const char* label;
    std::string archive;               // content written to the backup file; empty: no file
    std::vector<std::string> outside;  // paths that must not appear
    bool fileAtDest = false;           // a file already holds the new folder's name
  };
  const fs::path work = dir.path() / "work";
  const std::vector<Case> cases = {
      {"damaged member", StoredArchive({{"a.txt", "check value spoiled"}}, true), {}},
      {"missing archive", "", {}},
      {"file in the way of the new folder", StoredArchive({{"a.txt", "x"}}), {}, true},
  };
  fs::create_directories(work);
  ChooseDest(work.string());
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string archive = dir.str("case" + std::to_string(++n) + ".lzh");
    if (!c.archive.empty()) std::ofstream(archive, std::ios::binary) << c.archive;
    if (c.fileAtDest) std::ofstream(work / ("case" + std::to_string(n))) << "in the way";
    ChooseFile(archive);
    const std::vector<Said> said = Run();
    ASSERT_EQ(said.size(), 2u);
    EXPECT_EQ(said[0].kind, MsgKind::Error);
    EXPECT_FALSE(said[0].text.empty());
    // A Japanese sentence naming the archive first, the library's words below it.
    EXPECT_TRUE(said[0].text.starts_with("「case" + std::to_string(n) + ".lzh」: ")) << said[0].text;
    EXPECT_EQ(said[0].text.find("書庫ライブラリでエラー"), std::string::npos) << said[0].text;
    EXPECT_TRUE(said[0].text.ends_with("\n\n詳細:\n" + w.ArchiveFile1->Output())) << said[0].text;
    EXPECT_EQ(said[1], Done());
    for (const std::string& path : c.outside) EXPECT_FALSE(platform::FileExists(path)) << path;
  }
}

TEST_F(MeltArcWindowTest, FileUnderALinksNameIsRestoredInsideTheDestination) {
  // A link to a folder outside is packed, then a file under the link's name from another tree.
  const fs::path outside = dir.path() / "outside";
  fs::create_directories(outside);
  fs::create_directories(dir.path() / "b1");
  fs::create_symlink(outside, dir.path() / "b1/evil");
  WriteFile(dir.path() / "b2/evil/x.txt", "through the link", fs::perms(0644));
  const std::string archive = dir.str("linked.lzh");
  std::string output;
  ASSERT_EQ(test::PackAsBackup(archive, dir.str("b1"), output, TFileArgs{"evil"}), 0) << output;
  ASSERT_EQ(test::PackAsBackup(archive, dir.str("b2"), output, TFileArgs{"evil/x.txt"}), 0) << output;

  fs::create_directories(dir.path() / "work");
  ChooseFile(archive);
  ChooseDest(dir.str("work"));
  // The second pack stores the folder above the file, and that folder member replaces the link
  // member of the same name: the archive holds no link any more, and everything is restored as a
  // real folder below the destination. (A link in the way of a file at extraction is refused
  // by the library; its tests show that on a crafted archive.)
  EXPECT_EQ(Run(), (std::vector<Said>{Done()}));
  EXPECT_TRUE(fs::is_empty(outside));
  const fs::path restored = dir.path() / "work/linked/evil";
  EXPECT_EQ(fs::symlink_status(restored).type(), fs::file_type::directory);
  EXPECT_EQ(platform::ReadWholeFile((restored / "x.txt").string()), "through the link");
}

TEST_F(MeltArcWindowTest, RestoresAPeerArchiveIntoAFolderNamedAfterIt) {
  REQUIRE_PEER("jlha");
  // An archive written by an independent packer, with two dots in its name.
  const fs::path src = dir.path() / "peer";
  WriteFile(src / "a.txt", "from the peer\n", fs::perms(0644));
  WriteFile(src / "sub/b.bin", std::string(3000, '\x01') + "tail", fs::perms(0644));
  const std::string archive = dir.str("a.b.lzh");
  QProcess jlha;
  jlha.setWorkingDirectory(QString::fromStdString(src.string()));
  jlha.start("jlha", {"a2", QString::fromStdString(archive), "a.txt", "sub/b.bin"});
  ASSERT_TRUE(jlha.waitForFinished(-1));
  ASSERT_TRUE(fs::exists(archive)) << jlha.readAllStandardError().toStdString();

  fs::create_directories(dir.path() / "work");
  ChooseFile(archive);
  ChooseDest(dir.str("work"));
  EXPECT_EQ(Run(), (std::vector<Said>{Done()}));
  EXPECT_EQ(platform::ReadWholeFile(dir.str("work/a.b/a.txt")), "from the peer\n");
  EXPECT_EQ(platform::ReadWholeFile(dir.str("work/a.b/sub/b.bin")), std::string(3000, '\x01') + "tail");
}

TEST_F(MeltArcWindowTest, RestoresABackupExactlyAgainAndStraightIntoTheFolder) {
  const fs::path src = dir.path() / "data";
  const bool streams = platform::VolumeHasNamedStreams(dir.str());
  MakeSourceTree(src, streams);
  fs::create_directories(dir.path() / "bk");
  const std::string archive = dir.str("bk/20240617_data.lzh");
  const Tree source = Snapshot(src);
  std::string output;
  ASSERT_EQ(test::PackAsBackup(archive, src.string(), output), 0) << output;
  if (streams) {
    ASSERT_EQ(source.at("a.txt").streams.size(), 1u);
  }

  const fs::path work = dir.path() / "work";
  fs::create_directories(work);
  ChooseFile(archive);
  ChooseDest(work.string());
  EXPECT_EQ(Run(), (std::vector<Said>{Done()}));
  std::vector<std::string> made;
  for (const auto& item : fs::directory_iterator(work)) made.push_back(item.path().filename().string());
  EXPECT_EQ(made, (std::vector<std::string>{"20240617_data"}));
  EXPECT_EQ(Snapshot(work / "20240617_data"), source);

  // Again into the same, now existing, folder.
  EXPECT_EQ(Run(), (std::vector<Said>{Done()}));
  EXPECT_EQ(Snapshot(work / "20240617_data"), source);

  // Without the check box the members land in the chosen folder itself.
  const fs::path straight = dir.path() / "straight";
  fs::create_directories(straight);
  w.ChkBx1->setChecked(false);
  ChooseDest(straight.string());
  EXPECT_EQ(Run(), (std::vector<Said>{Done()}));
  EXPECT_EQ(Snapshot(straight), source);
  EXPECT_EQ(Snapshot(src), source) << "the source is left as it was";
}

// The whole road: the program's own headless backup, its history row, and the restore of the
// archive that row names.
TEST_F(MeltArcWindowTest, RestoresWhatTheProgramBackedUp) {
  const std::string program = platform::JoinPath(platform::ExeDir(), "tidekeep");
  if (!fs::exists(program)) GTEST_SKIP() << program << " is not built";
  ScratchDatabase database(dir);
  const fs::path src = dir.path() / "data";
  MakeSourceTree(src, platform::VolumeHasNamedStreams(dir.str()));
  fs::create_directories(dir.path() / "bk");
  {
    auto db = backupdb::OpenDatabase();
    backupdb::EnsureSchema(*db);
    backupdb::InsertTarget(*db, {src.string(), dir.str("bk/data.lzh")});
  }
  const Tree source = Snapshot(src);
  QProcess run;
  run.start(QString::fromStdString(program), {"--db", QString::fromStdString(database.path()), "--run-now"});
  ASSERT_TRUE(run.waitForFinished(-1));
  ASSERT_EQ(run.exitCode(), 0) << run.readAllStandardOutput().toStdString() << run.readAllStandardError().toStdString();

  TfrmLogList history;
  dialogs.modalHandlers.push_back([](QDialog&) { return int(QDialog::Accepted); });
  platform::dialogs().ShowModal(history);
  ASSERT_EQ(history.ListViewBK->rowCount(), 1);
  EXPECT_EQ(history.ListViewBK->item(0, 0)->text().toStdString(), src.string());
  const std::string archive = history.ListViewBK->item(0, 1)->text().toStdString();
  ASSERT_TRUE(fs::exists(archive)) << archive;

  fs::create_directories(dir.path() / "work");
  ChooseFile(archive);
  ChooseDest(dir.str("work"));
  EXPECT_EQ(Run(), (std::vector<Said>{Done()}));
  const std::string base = platform::ChangeFileExt(platform::ExtractFileName(archive), "");
  EXPECT_EQ(Snapshot(dir.path() / "work" / base), source);
}

}  // namespace
