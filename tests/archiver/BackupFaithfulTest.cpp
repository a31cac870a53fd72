// A backup keeps everything or says what it could not: the component's pack over the project's
// own LHA library, then its extract, on trees with every kind of name and metadata a Linux file
// system holds, unreadable folders, concurrent packs and single-member extraction.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <thread>

#include "ARCHIVES.h"
#include "BackupPacking.h"
#include "ExtStrms.h"
#include "FILTERS.h"
#include "LHA32.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

// Every entry below root: kind, bytes or link target, mode, write time, owner.
std::map<std::string, std::string> signatureOf(const std::string& root) {
  std::map<std::string, std::string> tree;
  for (auto& entry : fs::recursive_directory_iterator(root)) {
    struct stat st{};
    lstat(entry.path().c_str(), &st);
    std::string sig = std::to_string(st.st_mode) + " t" + std::to_string(st.st_mtime) + " o" +
                      std::to_string(st.st_uid) + ":" + std::to_string(st.st_gid) + " ";
    if (S_ISLNK(st.st_mode))
      sig += "-> " + fs::read_symlink(entry.path()).string();
    else if (S_ISREG(st.st_mode))
      sig += test::ReadFile(entry.path());
    tree[fs::relative(entry.path(), root).string()] = sig;
  }
  return tree;
}

int extractAll(const std::string& archive, const std::string& out, std::string& output) {
  TArchiveFile extractor;
  extractor.SetFileName(archive);
  extractor.Options().x = 1;
  extractor.Options().jse = 1;
  extractor.Options().jso = 1;
  extractor.SetOutputSize(65536);
  const int rc = extractor.Extract(0, nullptr, out, {});
  output = extractor.Output();
  return rc;
}

void setTime(const std::string& path, time_t t) {
  const timespec ts[2] = {{t, 0}, {t, 0}};
  utimensat(AT_FDCWD, path.c_str(), ts, AT_SYMLINK_NOFOLLOW);
}

TEST(BackupFaithful, EveryNameComesBackByteIdentical) {
  test::TTempDir tmp;
  const std::string data = tmp / "data";
  const std::vector<std::string> names = {
      "say \"hi\".txt", "@eaDir/x.jpg", "@only", "-dash.txt", "p|pe.txt", "a\\b.txt", "caf\xE9.txt", "caf\xE8.txt",
      "new\nline.txt", "tab\there", "per%41cent", "\"", "star*?.txt", " lead and trail ", "\x01\x7F"};
  for (const std::string& n : names) test::WriteFile(data + "/" + n, "content of " + n);
  std::string out;
  ASSERT_EQ(test::PackAsBackup(tmp / "b.lzh", data, out), 0) << out;
  std::string xout;
  ASSERT_EQ(extractAll(tmp / "b.lzh", tmp / "restored", xout), 0) << xout;
  EXPECT_EQ(signatureOf(tmp / "restored"), signatureOf(data));
}

TEST(BackupFaithful, NamesNeedingNoEscapeKeepTheWorkedExamplesForm) {
  EXPECT_EQ(LhaNameArgument("sub/file.txt"), "sub/file.txt");
  EXPECT_EQ(LhaNameArgument("a%b|c\\d-e"), "a%b|c\\d-e");
  EXPECT_EQ(LhaNameArgument("@eaDir/x"), "@=@eaDir/x");
  EXPECT_EQ(LhaNameArgument("say \"hi\"%"), "@=say %22hi%22%25");
  EXPECT_EQ(LhaNameArgument("new\nline"), "@=new%0Aline");
  EXPECT_EQ(LhaExactName("readme.txt"), "@=readme.txt");
}

TEST(BackupFaithful, FolderModesTimesOwnersOldTimesAndLinksComeBack) {
  test::TTempDir tmp;
  const std::string data = tmp / "data";
  test::WriteFile(data + "/kept/deeper/id.txt", "big id\n");
  test::WriteFile(data + "/old.txt", "1965\n");
  test::WriteFile(data + "/future.txt", "2200\n");
  test::WriteFile(data + "/dots/.only", "hidden\n");
  fs::create_symlink("say \"hi\".txt", data + "/l|nk");
  fs::create_symlink("sub|dir/t|x", data + "/sub|link");
  const bool root = geteuid() == 0;
  if (root) {
    // Ids above 65535, with names, as real accounts have: found by name on restore.
    std::system("getent group 100001 >/dev/null || groupadd -g 100001 tkbiggroup 2>/dev/null;"
                "getent passwd 100000 >/dev/null || useradd -M -N -u 100000 -g 100001 tkbiguser 2>/dev/null");
    ASSERT_EQ(lchown((data + "/kept/deeper/id.txt").c_str(), 100000, 100001), 0);
  }
  chmod((data + "/kept").c_str(), 0750);
  setTime(data + "/old.txt", -152720400);     // 1965-03-01
  setTime(data + "/future.txt", 7258118400);  // 2200-01-01
  setTime(data + "/kept/deeper", 1293937445);
  setTime(data + "/kept", 1293937445);
  setTime(data + "/dots", 1000000000);
  std::string out;
  ASSERT_EQ(test::PackAsBackup(tmp / "m.lzh", data, out), 0) << out;
  std::string xout;
  ASSERT_EQ(extractAll(tmp / "m.lzh", tmp / "restored", xout), 0) << xout;
  auto want = signatureOf(data), got = signatureOf(tmp / "restored");
  if (!root) {  // owners come back only as root
    for (auto* tree : {&want, &got})
      for (auto& [k, v] : *tree) v.erase(v.find(" o"), v.find(' ', v.find(" o") + 1) - v.find(" o"));
  }
  EXPECT_EQ(got, want);
}

// A child that is not root packs a tree holding a folder it cannot read.
TEST(BackupFaithful, UnreadableFoldersAreNamedAndThePackFails) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to switch to an ordinary user";
  test::TTempDir tmp;
  const std::string data = tmp / "data";
  test::WriteFile(data + "/ok.txt", "ok\n");
  test::WriteFile(data + "/locked/secret.txt", "secret\n");
  test::WriteFile(data + "/sub/noexec/x.txt", "x\n");
  chmod(tmp.path().c_str(), 0755);
  std::system(("chown -R 65534:65534 '" + tmp.path() + "'").c_str());
  chmod((data + "/locked").c_str(), 0);
  chmod((data + "/sub/noexec").c_str(), 0644);  // listed, but its entries cannot be reached
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(99);
    std::string out;
    const int rc = test::PackAsBackup(tmp / "u.lzh", data, out);
    out = std::to_string(rc) + "\n" + out;
    (void)!write(fds[1], out.data(), out.size());
    _exit(0);
  }
  close(fds[1]);
  std::string text;
  char buf[4096];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "could not switch to an ordinary user";
  EXPECT_EQ(text.substr(0, text.find('\n')), std::to_string(kPackSkippedItems)) << text;
  EXPECT_NE(text.find("locked: cannot read the folder: Permission denied"), std::string::npos) << text;
  EXPECT_NE(text.find("sub/noexec: cannot read the folder"), std::string::npos) << text;
  std::string xout;
  ASSERT_EQ(extractAll(tmp / "u.lzh", tmp / "restored", xout), 0) << xout;
  EXPECT_TRUE(fs::exists(tmp / "restored/ok.txt"));
  EXPECT_FALSE(fs::exists(tmp / "restored/locked")) << "never stored as if it were empty";
}

TEST(BackupFaithful, OneMemberIsExtractedByItsExactName) {
  test::TTempDir tmp;
  const std::string data = tmp / "data";
  test::WriteFile(data + "/sub/readme.txt", "deeper\n");
  test::WriteFile(data + "/readme.txt", "top\n");
  test::WriteFile(data + "/a*.txt", "star\n");
  test::WriteFile(data + "/ab.txt", "ab\n");
  std::string out;
  ASSERT_EQ(test::PackAsBackup(tmp / "e.lzh", data, out), 0) << out;
  // As the backup browser takes one member out (without paths) and opens it.
  auto single = [&](const std::string& member, const std::string& dest) {
    TArchiveFile browser;
    browser.SetFileName(tmp / "e.lzh");
    browser.Options().x = 0;
    browser.Options().jso = 1;
    browser.Options().jse = 1;
    browser.SetOutputSize(8192);
    return browser.Extract(0, nullptr, dest, TFileArgs{member});
  };
  ASSERT_EQ(single("readme.txt", tmp / "one"), 0);
  EXPECT_EQ(test::ReadFile(tmp / "one/readme.txt"), "top\n");
  ASSERT_EQ(single("sub/readme.txt", tmp / "two"), 0);
  EXPECT_EQ(test::ReadFile(tmp / "two/readme.txt"), "deeper\n");
  ASSERT_EQ(single("a*.txt", tmp / "three"), 0);
  EXPECT_FALSE(fs::exists(tmp / "three/ab.txt")) << "* is an ordinary character in a member's name";
  EXPECT_EQ(test::ReadFile(tmp / "three/a*.txt"), "star\n");
}

// Two packs into one archive at once (the tray program's schedule and a run from cron) take
// turns: neither loses the other's member.
TEST(BackupFaithful, ConcurrentPacksIntoOneArchiveLoseNothing) {
  test::TTempDir tmp;
  constexpr int kRounds = 6;
  for (int i = 0; i < 2 * kRounds; ++i)
    test::WriteFile(tmp / ("data/f" + std::to_string(i) + ".txt"), std::string(200000 + i, 'a' + static_cast<char>(i)));
  auto packOne = [&](int i) {
    TArchiveFile packer;
    packer.SetFileName(tmp / "c.lzh");
    packer.Options().x = 1;
    packer.Options().jso = 0;
    packer.Options().IncludeExtraStreams = false;  // no process-wide callback: the threads share nothing else
    return packer.Pack(0, nullptr, tmp / "data", {"f" + std::to_string(i) + ".txt"});
  };
  const pid_t child = fork();
  if (child == 0) {
    int failures = 0;
    for (int i = 0; i < kRounds; ++i) failures += packOne(2 * i) != 0;
    _exit(failures);
  }
  int rcs[kRounds] = {};
  std::thread other([&] {
    for (int i = 0; i < kRounds / 2; ++i) rcs[i] = packOne(2 * i + 1);
  });
  for (int i = kRounds / 2; i < kRounds; ++i) rcs[i] = packOne(2 * i + 1);
  other.join();
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (int rc : rcs) EXPECT_EQ(rc, 0);
  std::string xout;
  ASSERT_EQ(extractAll(tmp / "c.lzh", tmp / "restored", xout), 0) << xout;
  for (int i = 0; i < 2 * kRounds; ++i) EXPECT_TRUE(fs::exists(tmp / ("restored/f" + std::to_string(i) + ".txt"))) << i;
  EXPECT_FALSE(fs::exists(tmp / ".c.lzh.tklock")) << "the lock file goes with the last pack";
}

TEST(BackupFaithful, StagedStreamCopiesArePrivate) {
  test::TTempDir tmp;
  const std::string data = tmp / "data";
  test::WriteFile(data + "/a.txt", "a");
  chmod((data + "/a.txt").c_str(), 0600);
  if (setxattr((data + "/a.txt").c_str(), "user.secret", "s", 1, 0) != 0) GTEST_SKIP() << "no user xattrs here";
  TArchiverOptions options;
  options.r = 1;
  bool cancel = false;
  TStagedFiles staged;
  const auto selection = CollectFiles(staged, options, data, cancel, {"*.*"}, nullptr);
  ASSERT_EQ(selection, (std::vector<std::string>{"a.txt", "a.txt;secret;$DATA"}));
  struct stat st{};
  ASSERT_EQ(stat((data + "/a.txt;secret;$DATA").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(BackupFaithful, MergeBackStaysInsideTheDestination) {
  test::TTempDir tmp;
  const std::string dest = tmp / "dest", outside = tmp / "outside";
  test::WriteFile(outside + "/f.txt", "f");
  test::WriteFile(dest + "/f.txt", "f");
  if (setxattr((dest + "/f.txt").c_str(), "user.probe", "p", 1, 0) != 0) GTEST_SKIP() << "no user xattrs here";
  test::WriteFile(outside + "/f.txt;s;$DATA", "s");
  fs::create_directory_symlink(outside, dest + "/via");
  test::WriteFile(dest + "/big.txt", "b");
  test::WriteFile(dest + "/big.txt;s;$DATA", std::string(1 << 20, 'x'));
  EXPECT_FALSE(RestoreStreamMember(dest, dest + "/via/f.txt;s;$DATA", ";#")) << "through a link";
  EXPECT_FALSE(RestoreStreamMember(dest, outside + "/f.txt;s;$DATA", ";#")) << "outside";
  EXPECT_FALSE(RestoreStreamMember(dest, dest + "/../outside/f.txt;s;$DATA", ";#")) << "climbs out";
  EXPECT_FALSE(RestoreStreamMember(dest, dest + "/big.txt;s;$DATA", ";#")) << "larger than any stream";
  EXPECT_FALSE(RestoreStreamMember(dest, "", ";#"));
  EXPECT_FALSE(RestoreStreamMember(dest, dest + "/;s;$DATA", ";#"));
  char value[8];
  EXPECT_LT(getxattr((outside + "/f.txt").c_str(), "user.s", value, sizeof value), 0);
  EXPECT_TRUE(fs::exists(outside + "/f.txt;s;$DATA"));
  test::WriteFile(dest + "/f.txt;s;$DATA", "s");
  EXPECT_TRUE(RestoreStreamMember(dest, dest + "/f.txt;s;$DATA", ";#"));
}

}  // namespace
