// The switch set, the command-line builder and the argument flattening.
#include <gtest/gtest.h>

#include "ARCHIVES.h"
#include "ExtStrms.h"
#include "FILTERS.h"
#include "TestSupport.h"

namespace {

TEST(ArchiverOptions, FreshSetHasEverySwitchUnset) {
  TArchiverOptions o;
  EXPECT_EQ(o.a, -1);
  EXPECT_EQ(o.gyx, -1);
  EXPECT_EQ(o.w, std::string(1, '\0'));
  EXPECT_FALSE(o.w.empty());
  EXPECT_TRUE(o.jx.empty());
  EXPECT_EQ(o.PackFilter, pfComponent);
  EXPECT_EQ(o.ResFileUsage, (TResFileUsage{ruOnPack, ruOnUnpack, ruOnRemoveItem}));
  EXPECT_FALSE(o.ResFileUsage.Contains(ruOnUpdate));
  EXPECT_EQ(o.StreamSeparator, ";#");
  EXPECT_TRUE(o.IncludeExtraStreams);
  EXPECT_TRUE(o.UserOptions.empty());
  EXPECT_TRUE(o.ResFileName.empty());
}

TEST(ArchiverOptions, SwitchTableFollowsDeclarationOrder) {
  const char* expected[] = {"a", "c", "e", "f", "h", "i", "l", "m", "n", "o", "p", "r", "s", "t", "u", "w", "x", "y",
                            "z", "jc", "jd", "je", "jf", "jh", "ji", "jm", "jn", "jo", "job", "jp", "jr", "jsb",
                            "jsc", "jsd", "jse", "jsf", "jsl", "jso", "jss", "jst", "jsv", "jsz", "jw", "jx", "jyc",
                            "jyd", "jyk", "jyn", "jyo", "jz", "ga", "gd", "ge", "gf", "gj", "gm", "gn", "go", "gp",
                            "gr", "gs", "gu", "gw", "gya", "gyc", "gyd", "gye", "gyo", "gyq", "gys", "gyt", "gyw",
                            "gyx"};
  const auto& table = TArchiverOptions::Switches();
  ASSERT_EQ(std::size(expected), table.size());
  int texts = 0;
  for (size_t k = 0; k < table.size(); ++k) {
    EXPECT_STREQ(table[k].Name, expected[k]);
    if (table[k].Text != nullptr) ++texts;
  }
  EXPECT_EQ(texts, 9);  // w jo job jz gr gyd gye gyt gyw
}

TEST(ArchiverOptions, ResetKeepsStreamSettings) {
  TArchiverOptions o;
  o.a = 1;
  o.jo = "20100101";
  o.jx = {"*.tmp"};
  o.UserOptions = "-q";
  o.PackFilter = pfArchiver;
  o.ResFileUsage = {};
  o.IncludeExtraStreams = false;
  o.StreamSeparator = "@@";
  o.Reset();
  EXPECT_EQ(o.a, -1);
  EXPECT_TRUE(IsUnsetText(o.jo));
  EXPECT_TRUE(o.jx.empty());
  EXPECT_TRUE(o.UserOptions.empty());
  EXPECT_EQ(o.PackFilter, pfComponent);
  EXPECT_TRUE(o.ResFileUsage.Contains(ruOnPack));
  EXPECT_FALSE(o.IncludeExtraStreams);
  EXPECT_EQ(o.StreamSeparator, "@@");
}

TEST(ArchiverOptions, AssignCopiesEverythingAndOwnsItsList) {
  TArchiverOptions source;
  source.jso = 0;
  source.gyt = "x";
  source.jx = {"a", "b"};
  source.ResFileUsage = {};
  source.IncludeExtraStreams = false;
  source.StreamSeparator = "%%";
  TArchiverOptions copy;
  copy.Assign(source);
  EXPECT_EQ(copy.jso, 0);
  EXPECT_EQ(copy.gyt, "x");
  EXPECT_TRUE(copy.ResFileUsage.Empty());
  EXPECT_FALSE(copy.IncludeExtraStreams);
  EXPECT_EQ(copy.StreamSeparator, "%%");
  copy.jx.push_back("c");
  EXPECT_EQ(source.jx.size(), 2u);
}

TEST(CmdOpt, QuotingRules) {
  struct Case {
    const char* what;
    void (*run)(TCmdOpt&);
    const char* text;
  } cases[] = {
      {"number -1", [](TCmdOpt& b) { b.AddNumber("a", -1); }, ""},
      {"number 0", [](TCmdOpt& b) { b.AddNumber("a", 0); }, " -a0"},
      {"jso 0", [](TCmdOpt& b) { b.AddNumber("jso", 0); }, " -jso0"},
      {"unset text", [](TCmdOpt& b) { b.AddText("jo", kUnsetText); }, ""},
      {"empty text", [](TCmdOpt& b) { b.AddText("jo", ""); }, " \"-jo\""},
      {"name", [](TCmdOpt& b) { b.AddQuoted("", "a b.txt"); }, " \"a b.txt\""},
      {"switch with value", [](TCmdOpt& b) { b.AddText("w", "/tmp/"); }, " \"-w/tmp/\""},
      {"switch led by space", [](TCmdOpt& b) { b.AddText(" --x=", "v"); }, " \"--x=v\""},
      {"separate value", [](TCmdOpt& b) { b.FSeparateValue = true; b.AddText("w", "/t"); }, " -w \"/t\""},
      {"dir gets delimiter", [](TCmdOpt& b) { b.AddDir("", "/data"); }, " \"/data/\""},
      {"dir keeps delimiter", [](TCmdOpt& b) { b.AddDir("", "/data/"); }, " \"/data/\""},
      {"empty dir", [](TCmdOpt& b) { b.AddDir("", ""); }, ""},
      {"unset dir", [](TCmdOpt& b) { b.AddDir("w", kUnsetText); }, ""},
      {"empty add", [](TCmdOpt& b) { b.Add(""); }, " "},
      {"flag", [](TCmdOpt& b) { b.AddFlag("r", true); b.AddFlag("q", false); }, " -r"},
      {"embedded quote kept", [](TCmdOpt& b) { b.AddQuoted("", "a\"b"); }, " \"a\"b\""},
  };
  for (const Case& c : cases) {
    TCmdOpt b;
    c.run(b);
    EXPECT_EQ(b.FText, c.text) << c.what;
  }
}

TEST(CmdOpt, AddFilesDropsEmptyLinesAndConverts) {
  TCmdOpt b;
  EXPECT_EQ(b.AddFiles("", TFileArgs{std::vector<std::string>{"a.txt", "", "b c.txt"}}), 2);
  EXPECT_EQ(b.FText, " \"a.txt\" \"b c.txt\"");
  TCmdOpt converted;
  converted.FNameConverter = [](std::string_view n) { return "[" + std::string(n) + "]"; };
  converted.AddName("", "x");
  EXPECT_EQ(converted.FText, " \"[x]\"");
}

TEST(CmdOpt, FlattenKeepsKindsAndOrder) {
  const char* array[] = {"p1", "p2", nullptr};
  const char* const* noArray = nullptr;
  TFileArgs files{std::string("s"), "c", array, noArray, std::vector<std::string>{"l1", "l2"}, TOtherArg{},
                  std::string("s")};
  EXPECT_EQ(FlattenArgs(files), (std::vector<std::string>{"s", "c", "p1", "p2", "l1", "l2", "s"}));
  EXPECT_EQ(FlattenArgs(TFileArgs{std::vector<std::string>{"", "x"}}, true), (std::vector<std::string>{"", "x"}));
  EXPECT_EQ(FlattenArgs(TFileArgs{"*.*"}), std::vector<std::string>{"*.*"});
}

TEST(CmdOpt, ResponseFileHoldsQuotedLinesWithCrLf) {
  test::TTempDir tmp;
  const std::string file = tmp / "list.txt";
  test::WriteFile(file, "old content that must go away entirely");
  TCmdOpt b;
  EXPECT_EQ(b.AddResponseFile(TFileArgs{"a.txt", "b c.txt"}, file), 2);
  EXPECT_EQ(test::ReadFile(file), "\"a.txt\"\r\n\"b c.txt\"\r\n");
  EXPECT_EQ(b.FText, " \"@" + file + "\"");
}

TEST(CmdOpt, ResponseFileThatCannotBeCreatedRaisesAndAddsNothing) {
  TCmdOpt b;
  EXPECT_THROW(b.AddResponseFile(TFileArgs{"a"}, "/nonexistent-folder/x/list.txt"), std::system_error);
  EXPECT_TRUE(b.FText.empty());
}

TEST(ParseDateSwitch, Forms) {
  using platform::LocalDateTime;
  EXPECT_EQ(ParseDateSwitch("20100101", "000000"), (LocalDateTime{2010, 1, 1, 0, 0, 0}));
  EXPECT_EQ(ParseDateSwitch("20100131", "235959"), (LocalDateTime{2010, 1, 31, 23, 59, 59}));
  EXPECT_EQ(ParseDateSwitch("100101", "000000"), (LocalDateTime{2010, 1, 1, 0, 0, 0}));
  EXPECT_EQ(ParseDateSwitch("l100101", "000000"), (LocalDateTime{2010, 1, 1, 0, 0, 0}));
  EXPECT_EQ(ParseDateSwitch("20100131123456", "235959"), (LocalDateTime{2010, 1, 31, 12, 34, 56}));
  EXPECT_EQ(ParseDateSwitch("100131123456", "000000"), (LocalDateTime{2010, 1, 31, 12, 34, 56}));
  // Two-digit years fall within the fifty years either side of now.
  const int year = platform::NowLocal().year;
  const int yy = (year + 49) % 100;
  const std::string text = (yy < 10 ? "0" : "") + std::to_string(yy) + "0101";
  EXPECT_EQ(ParseDateSwitch(text, "000000")->year, year + 49);
  EXPECT_FALSE(ParseDateSwitch(kUnsetText, "000000"));
  EXPECT_FALSE(ParseDateSwitch("", "000000"));
  EXPECT_FALSE(ParseDateSwitch("2010011", "000000"));
  EXPECT_THROW(ParseDateSwitch("20101301", "000000"), platform::EConvertError);
  EXPECT_THROW(ParseDateSwitch("2010x101", "000000"), platform::EConvertError);
  EXPECT_THROW(ParseDateSwitch("20100101250000", "000000"), platform::EConvertError);
}

TEST(StreamNames, MemberSuffix) {
  EXPECT_EQ(StreamNameToMemberSuffix(":foo:$DATA", ";#"), ";foo;$DATA");
  EXPECT_EQ(StreamNameToMemberSuffix(":\x05SummaryInformation:$DATA", ";#"), ";#SummaryInformation;$DATA");
  EXPECT_EQ(StreamNameToMemberSuffix(":a\x05:$DATA", ";#"), ";a\x05;$DATA");
  EXPECT_EQ(StreamNameToMemberSuffix(":foo:$DATA", ";"), ":foo:$DATA");
}

}  // namespace
