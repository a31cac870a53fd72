// The command-line parser and the output buffer.
#include <gtest/gtest.h>

#include <cstring>

#include "Command.h"
#include "ErrorCodes.h"
#include "Output.h"
#include "TestSupport.h"

using namespace unlha;

TEST(CommandLine, ParsesTheRestoreCommandLineOfTheDriver) {
  TCommand cmd;
  TCommandError err;
  ASSERT_TRUE(ParseCommandLine(R"(x -+ -x1 -jse1 -jso1  "/path/a b.lzh" "/dest/dir/" )", cmd, err)) << err.message;
  EXPECT_EQ(cmd.letter, "x");
  EXPECT_TRUE(cmd.plus);
  ASSERT_EQ(cmd.switches.size(), 3u);
  EXPECT_EQ(cmd.Number("x", -1), 1);
  EXPECT_EQ(cmd.Number("jse", -1), 1);
  EXPECT_EQ(cmd.Number("jso", -1), 1);
  EXPECT_EQ(cmd.archive, "/path/a b.lzh");
  EXPECT_EQ(cmd.baseDir, "/dest/dir/");
  EXPECT_TRUE(cmd.files.empty());
}

TEST(CommandLine, ParsesTheBackupCommandLineWithNamesAndQuotedSwitches) {
  TCommand cmd;
  TCommandError err;
  ASSERT_TRUE(ParseCommandLine(
      R"(u -+ -a1 -c1 -n1 -p1 -x1 "-jo2026/01/01" "-jx*.tmp" "-jx*.bak" -jso0  "/b/_x.lzh" "/src/" "a.txt" "sub/b c.txt" )",
      cmd, err))
      << err.message;
  EXPECT_EQ(cmd.letter, "u");
  EXPECT_EQ(cmd.Find("jo")->value, "2026/01/01");
  EXPECT_EQ(cmd.Values("jx"), (std::vector<std::string>{"*.tmp", "*.bak"}));
  EXPECT_EQ(cmd.Number("jso", -1), 0);
  EXPECT_EQ(cmd.baseDir, "/src/");
  EXPECT_EQ(cmd.files, (std::vector<TNameArg>{"a.txt", "sub/b c.txt"}));
}

TEST(CommandLine, MemoryFormHasNoLetterAndNoFolder) {
  TCommand cmd;
  TCommandError err;
  ASSERT_TRUE(ParseCommandLine(R"( -+ -x0 -jso1  "/a.lzh" "dir/member.txt" )", cmd, err));
  EXPECT_EQ(cmd.letter, "");
  EXPECT_EQ(cmd.archive, "/a.lzh");
  EXPECT_EQ(cmd.baseDir, "");
  EXPECT_EQ(cmd.files, std::vector<TNameArg>{"dir/member.txt"});
}

TEST(CommandLine, ExpandsResponseFiles) {
  unlha_test::TTempDir dir;
  std::string res = dir / "names.txt";
  std::string text = "\"a.txt\"\r\n\"b c.txt\"\r\n\r\nplain.txt\n";
  unlha_test::WriteBytes(res, {text.begin(), text.end()});
  TCommand cmd;
  TCommandError err;
  ASSERT_TRUE(ParseCommandLine("x -+ -jse1 -jso1 \"a.lzh\" \"out/\" \"first\" \"@" + res + "\" ", cmd, err));
  EXPECT_EQ(cmd.files, (std::vector<TNameArg>{"first", "a.txt", "b c.txt", "plain.txt"}));

  EXPECT_FALSE(ParseCommandLine("x \"a.lzh\" \"@" + dir / "missing" + "\"", cmd, err));
  EXPECT_EQ(err.code, kErrResponseRead);
}

// Any name can travel: the escaped form carries quotes, line breaks, a leading "@" and any
// byte, on the command line and in response files, and marks the name exact.
TEST(CommandLine, EscapedNamesCarryAnyByteAndAreExact) {
  unlha_test::TTempDir dir;
  std::string res = dir / "names.txt";
  std::string text = "\"@=say %22hi%22.txt\"\r\n\"@=new%0Aline\"\r\n@eaDir/plain\r\n";
  unlha_test::WriteBytes(res, {text.begin(), text.end()});
  TCommand cmd;
  TCommandError err;
  ASSERT_TRUE(ParseCommandLine("u -+ -jso0 \"a.lzh\" \"base/\" \"@=@eaDir/x.jpg\" \"@=caf%e9%25.txt\" \"*.txt\" \"@" + res + "\"",
                               cmd, err))
      << err.message;
  EXPECT_EQ(cmd.files, (std::vector<TNameArg>{{"@eaDir/x.jpg", true},
                                              {"caf\xE9%.txt", true},
                                              {"*.txt", false},
                                              {"say \"hi\".txt", true},
                                              {"new\nline", true},
                                              {"@eaDir/plain", false}}));
  const std::string any = "a\"%\n\xE9@";
  EXPECT_EQ(EncodeEscapedName(any), "@=a%22%25%0A\xE9@");
  TNameArg back;
  ASSERT_TRUE(DecodeNameArgument(EncodeEscapedName(any), back, err)) << err.message;
  EXPECT_EQ(back, TNameArg(any, true));
  for (const char* bad : {"\"@=a%2\"", "\"@=a%zz\"", "\"@=\""}) {
    EXPECT_FALSE(ParseCommandLine(std::string("x -+ \"a.lzh\" ") + bad, cmd, err)) << bad;
    EXPECT_EQ(err.code, kErrCommandLine) << bad;
  }
}

TEST(CommandLine, RejectsWhatItCannotRead) {
  struct TCase {
    const char* line;
    int code;
  } cases[] = {
      {"x -+ -q1 \"a.lzh\"", kErrSwitch},
      {"x -+ -jso1 \"a.lzh", kErrCommandLine},
      {"x -+ -jso1 ", kErrNoArchiveName},
  };
  for (const TCase& c : cases) {
    TCommand cmd;
    TCommandError err;
    EXPECT_FALSE(ParseCommandLine(c.line, cmd, err)) << c.line;
    EXPECT_EQ(err.code, c.code) << c.line;
    EXPECT_FALSE(err.message.empty());
  }
}

TEST(CommandLine, CheckSwitchesNamesTheSwitchItDoesNotAllow) {
  TCommand cmd;
  TCommandError err;
  ASSERT_TRUE(ParseCommandLine("x -+ -jso1 -gm1 \"a.lzh\"", cmd, err));
  EXPECT_FALSE(CheckSwitches(cmd, {"jso"}, err));
  EXPECT_EQ(err.code, kErrSwitch);
  EXPECT_NE(err.message.find("-gm1"), std::string::npos);
}

TEST(OutputBuffer, NeverOverrunsAndStaysTerminated) {
  char buf[12];
  std::memset(buf, 'Z', sizeof buf);
  {
    TOutput out(buf, 8);
    out.Line("0123456789");
    EXPECT_TRUE(out.Truncated());
  }
  EXPECT_STREQ(buf, "0123456");
  EXPECT_EQ(buf[8], 'Z');  // untouched beyond the given size

  TOutput none(nullptr, 0);
  none.Line("dropped");
  EXPECT_TRUE(none.Truncated());
  TOutput zero(buf, 0);
  zero.Line("dropped");
  EXPECT_EQ(buf[0], '0');
}

TEST(OutputBuffer, CutsOnlyAtCharacterBoundaries) {
  char buf[6];
  TOutput out(buf, sizeof buf);
  out.Write("ab日本");  // 2 + 3 + 3 bytes; only "ab日" fits in 5
  EXPECT_STREQ(buf, "ab日");
}
