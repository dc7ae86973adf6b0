#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>

#include "platform/Exceptions.h"
#include "platform/IniFile.h"
#include "platform/Numbers.h"
#include "tests/support/Files.h"
#include "tests/support/Scratch.h"

namespace fs = std::filesystem;
using testsupport::ReadText;

namespace {

class IniFileTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    std::string p = (dir / name).string();
    testsupport::WriteBytes(p, bytes);
    return p;
  }
  testsupport::TScratchDir scratch{"ini"};
  const fs::path dir = scratch.Path();
};

}  // namespace

TEST_F(IniFileTest, LookupIgnoresCaseAndTakesTheFirstMatch) {
  std::string f = Write("a.ini",
                        "top=ignored\n"
                        "[Model-Male]\n"
                        "Name=First\n"
                        "NAME=Second\n"
                        "; Prefix=Comment\n"
                        "Prefix = Male  \n"
                        "[model-male]\n"
                        "Name=Other section\n"
                        "Extra=only here\n");
  TIniFile ini(f);
  EXPECT_EQ(ini.ReadString("MODEL-MALE", "name", "?"), "First");
  EXPECT_EQ(ini.ReadString("model-male", "prefix", "?"), "Male");
  // The second section of the same name is never searched.
  EXPECT_EQ(ini.ReadString("Model-Male", "Extra", "dflt"), "dflt");
  // Keys before the first section and comment lines belong to nothing.
  EXPECT_EQ(ini.ReadString("", "top", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadString("Model-Male", "; Prefix", "dflt"), "dflt");
  std::vector<std::string> sections, keys;
  ini.ReadSections(sections);
  EXPECT_EQ(sections, (std::vector<std::string>{"Model-Male"}));
  ini.ReadSection("model-MALE", keys);
  EXPECT_EQ(keys, (std::vector<std::string>{"Name", "Prefix"}));
}

TEST_F(IniFileTest, ValuesAreTrimmedAndLoseOnePairOfQuotes) {
  std::string f = Write("q.ini",
                        "[s]\n"
                        "a=  \"quoted value\"  \n"
                        "b='single'\n"
                        "c=\"\"double\"\"\n"
                        "d=\"mismatched'\n"
                        "e=\"\n"
                        "f=\t\n"
                        "g=a=b\n"
                        "  h  =  spaced key\n");
  TIniFile ini(f);
  EXPECT_EQ(ini.ReadString("s", "a", "?"), "quoted value");
  EXPECT_EQ(ini.ReadString("s", "b", "?"), "single");
  EXPECT_EQ(ini.ReadString("s", "c", "?"), "\"double\"");
  EXPECT_EQ(ini.ReadString("s", "d", "?"), "\"mismatched'");
  EXPECT_EQ(ini.ReadString("s", "e", "?"), "\"");
  EXPECT_EQ(ini.ReadString("s", "f", "?"), "");
  EXPECT_EQ(ini.ReadString("s", "g", "?"), "a=b");
  EXPECT_EQ(ini.ReadString("s", "H", "?"), "spaced key");
  std::vector<std::string> values;
  ini.ReadSectionValues("S", values);
  ASSERT_EQ(values.size(), 8u);
  EXPECT_EQ(values[0], "a=quoted value");
  EXPECT_EQ(values[7], "h=spaced key");
}

TEST_F(IniFileTest, ReadsCrlfLfBomAndALastLineWithoutEnd) {
  for (std::string eol : {"\r\n", "\n"}) {
    for (std::string bom : {"", "\xEF\xBB\xBF"}) {
      std::string f = Write("e.ini", bom + "[Sec]" + eol + "Key=Value" + eol + eol + "[Two]" + eol + "Last=end");
      TIniFile ini(f);
      EXPECT_EQ(ini.ReadString("sec", "key", "?"), "Value") << "eol " << eol.size() << " bom " << bom.size();
      EXPECT_EQ(ini.ReadString("two", "last", "?"), "end");
      std::vector<std::string> s;
      ini.ReadSections(s);
      EXPECT_EQ(s, (std::vector<std::string>{"Sec", "Two"}));
    }
  }
  // A pipe or a folder of that name reads as empty instead of blocking or failing.
  ASSERT_EQ(::mkfifo((dir / "pipe.ini").c_str(), 0600), 0);
  fs::create_directories(dir / "folder.ini");
  for (const char* n : {"pipe.ini", "folder.ini"}) {
    TIniFile odd((dir / n).string());
    std::vector<std::string> none;
    odd.ReadSections(none);
    EXPECT_TRUE(none.empty()) << n;
  }
  // A huge file is refused by name before anything is read (sparse: no disk space used).
  fs::resize_file(Write("huge.ini", "[s]\n"), 65u << 20);
  try {
    TIniFile huge((dir / "huge.ini").string());
    ADD_FAILURE() << "huge file read";
  } catch (const EInOutError& e) {
    EXPECT_NE(e.Message.find("huge.ini"), std::string::npos) << e.Message;
  }
  TIniFile missing((dir / "none.ini").string());
  std::vector<std::string> s;
  missing.ReadSections(s);
  EXPECT_TRUE(s.empty());
  EXPECT_EQ(missing.ReadString("a", "b", "dflt"), "dflt");
}

TEST_F(IniFileTest, WritingAValueKeepsEveryOtherByte) {
  const std::string original =
      "\xEF\xBB\xBF; made by hand\n"
      "[Model-Male]\r\n"
      "Name = Male Soldier\n"
      "  ScaleX =\t1,25   \n"
      "Section1=Body, TEAM\n"
      "\n"
      "[Other]\n"
      "ScaleX=7";
  std::string f = Write("w.ini", original);
  TIniFile ini(f);
  ini.WriteString("model-male", "scalex", "1.50000");
  std::string expected = original;
  expected.replace(expected.find("1,25   "), 7, "1.50000");
  EXPECT_EQ(ReadText(f), expected);

  // A new key goes after the section's last key, before the blank line.
  ini.WriteString("Model-Male", "Preset1", "Front;0;0;500;0;0;0");
  expected.insert(expected.find("\n\n[Other]") + 1, "Preset1=Front;0;0;500;0;0;0\r\n");
  EXPECT_EQ(ReadText(f), expected);

  // A key of the last section, which has no line end: the line gets one, the new one CRLF.
  ini.WriteString("Other", "Turn", "90");
  expected += "\r\nTurn=90\r\n";
  EXPECT_EQ(ReadText(f), expected);

  // A new section is appended after a blank line.
  ini.WriteString("New", "k", "v");
  expected += "\r\n[New]\r\nk=v\r\n";
  EXPECT_EQ(ReadText(f), expected);

  TIniFile again(f);
  EXPECT_EQ(again.ReadString("MODEL-MALE", "ScaleX", "?"), "1.50000");
  EXPECT_EQ(again.ReadString("other", "scalex", "?"), "7");
  EXPECT_EQ(again.ReadString("new", "K", "?"), "v");

  // Writing the value a key already holds leaves the file as it is (no new file renamed over it).
  struct stat before {
  }, after{};
  ASSERT_EQ(stat(f.c_str(), &before), 0);
  again.WriteString("Model-Male", "ScaleX", "1.50000");
  ASSERT_EQ(stat(f.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(ReadText(f), expected);
}

// The exact bytes after a series of writes. Keys are found through an index in long sections
// and the file is held section by section, so the cases include long sections, duplicates
// that differ in case, and writes that go back to an earlier section, as a project's [Groups]
// gains a key for each skin while the texture sections are added after it.
TEST_F(IniFileTest, WritesChangeOnlyTheirLineOrAddOneWhereTheRulesSay) {
  struct TWrite {
    std::string Section, Key, Value;
  };
  // A long [Groups] with comments and a later duplicate of one key in other letter case.
  auto groups = [](const std::string& g5, const std::string& g39, const std::string& added) {
    std::string text = "[Groups]\n";
    for (int i = 0; i < 40; ++i) {
      if (i % 8 == 3) text += "; note\n";
      text += "g" + std::to_string(i) + "=" + (i == 5 ? g5 : i == 39 ? g39 : "v") + "\n";
    }
    return text + "G5=dup\n" + added + "\n\n[t]\nk=1\n";
  };
  const struct {
    const char* Name;
    std::string Before;
    std::vector<TWrite> Writes;
    std::string After;
  } cases[] = {
      {"new sections and keys, interleaved",
       "",
       {{"General", "Model", "Bench"},
        {"Groups", "s0", "Skin 0"},
        {"s0#1#< Default >", "Filename", "t.bmp"},
        {"Groups", "s1", "Skin 1"},
        {"s1#1#Face", "Filename", "u.bmp"},
        {"general", "Only", "0"}},
       "[General]\r\nModel=Bench\r\nOnly=0\r\n\r\n[Groups]\r\ns0=Skin 0\r\ns1=Skin 1\r\n\r\n"
       "[s0#1#< Default >]\r\nFilename=t.bmp\r\n\r\n[s1#1#Face]\r\nFilename=u.bmp\r\n"},
      {"replaced values keep the key's spelling and the blanks after '='",
       "; head\n[Sec]\nKey =  old  \nkey=second\n\n[SEC]\nKey=other\n",
       {{"sec", "KEY", "new"}, {"SEC", "extra", "1"}, {"Sec", "EXTRA", "2"}},
       "; head\n[Sec]\nKey =  new\nkey=second\nextra=2\r\n\n[SEC]\nKey=other\n"},
      {"comments and blank lines stay; a new key follows the last non-blank line",
       "[a]\r\nx=1\r\n; note\r\n\r\n\r\n[b]\r\n",
       {{"a", "y", "2"}, {"b", "z", "3"}},
       "[a]\r\nx=1\r\n; note\r\ny=2\r\n\r\n\r\n[b]\r\nz=3\r\n"},
      {"a last line without its end",
       "[a]\nx=1",
       {{"a", "y", "2"}, {"c", "k", "v"}},
       "[a]\nx=1\r\ny=2\r\n\r\n[c]\r\nk=v\r\n"},
      {"a long section: first of duplicate keys, new keys before its blank lines",
       groups("v", "v", ""),
       {{"GROUPS", "G5", "x"},
        {"groups", "new1", "a"},
        {"t", "k2", "2"},
        {"Groups", "NEW1", "b"},
        {"groups", "g39", "y"},
        {"Groups", "new2", "c"}},
       groups("x", "y", "new1=b\r\nnew2=c\r\n") + "k2=2\r\n"},
      {"names with blanks around them are the names a reader finds",
       "",
       {{" s ", " k ", "1"}, {" s ", " k ", "2"}, {"s", "k", "3"}},
       "[ s ]\r\n k =3\r\n"},
  };
  for (const auto& c : cases) {
    TIniFile ini(Write("bytes.ini", c.Before));
    ini.AutoUpdate = false;
    for (const TWrite& w : c.Writes) ini.WriteString(w.Section, w.Key, w.Value);
    EXPECT_EQ(ini.Text(), c.After) << c.Name;
  }
}

TEST_F(IniFileTest, EraseAndDeleteRemoveOnlyTheirLines) {
  std::string f = Write("d.ini", "[a]\nx=1\ny=2\n[b]\nz=3\n[A]\nx=9\n");
  TIniFile ini(f);
  ini.DeleteKey("A", "X");
  EXPECT_EQ(ReadText(f), "[a]\ny=2\n[b]\nz=3\n[A]\nx=9\n");
  ini.DeleteKey("a", "missing");
  ini.DeleteKey("missing", "x");
  EXPECT_EQ(ReadText(f), "[a]\ny=2\n[b]\nz=3\n[A]\nx=9\n");
  // Every section of the name goes, so a duplicate cannot surface afterwards.
  ini.EraseSection("a");
  EXPECT_EQ(ReadText(f), "[b]\nz=3\n");
  EXPECT_FALSE(ini.SectionExists("A"));
  EXPECT_TRUE(ini.ValueExists("B", "Z"));
}

TEST_F(IniFileTest, RefusesWritesThatCouldNotBeReadBackAndKeepsTheFile) {
  const std::string original = "[s]\nk=v\n";
  std::string f = Write("r.ini", original);
  TIniFile ini(f);
  EXPECT_THROW(ini.WriteString("s", "k", "two\nlines"), EConvertError);
  EXPECT_THROW(ini.WriteString("s", "k=x", "v"), EConvertError);
  EXPECT_THROW(ini.WriteString("s]", "k", "v"), EConvertError);
  EXPECT_THROW(ini.WriteString("s", "", "v"), EConvertError);
  EXPECT_THROW(ini.WriteString("s", ";k", "v"), EConvertError);
  EXPECT_EQ(ReadText(f), original);
  EXPECT_EQ(ini.ReadString("s", "k", "?"), "v");

  TIniFile nowhere((dir / "no-such-folder" / "x.ini").string());
  EXPECT_THROW(nowhere.WriteString("s", "k", "v"), Exception);
  // The same write again, once it can succeed, reaches the file.
  fs::create_directory(dir / "no-such-folder");
  nowhere.WriteString("s", "k", "v");
  EXPECT_EQ(ReadText((dir / "no-such-folder" / "x.ini").string()), "[s]\r\nk=v\r\n");
}

TEST_F(IniFileTest, BatchedWritesReachTheFileOnUpdate) {
  std::string f = Write("b.ini", "[s]\nk=v\n");
  TIniFile ini(f);
  ini.AutoUpdate = false;
  ini.WriteString("s", "k", "w");
  ini.WriteInteger("s", "n", -12);
  EXPECT_EQ(ReadText(f), "[s]\nk=v\n");
  EXPECT_EQ(ini.ReadString("s", "k", "?"), "w");
  ini.UpdateFile();
  EXPECT_EQ(ReadText(f), "[s]\nk=w\nn=-12\r\n");
}

TEST_F(IniFileTest, NumbersAcceptPointOrCommaAndNeverUseTheLocale) {
  std::string f = Write("n.ini",
                        "[n]\n"
                        "a=1,25\nb=1.25\nc=-3e2\nd=1.2.3\ne=abc\nf=  42 \ng=0x1F\nh=$ff\n"
                        "i=2147483648\nj=-2147483648\nk=.5\nl=7.\nm=1,000.5\nn=1e999\no=nan\n");
  TIniFile ini(f);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("n", "a", 0), 1.25);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("n", "b", 0), 1.25);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("n", "c", 0), -300);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("n", "d", 9), 9);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("n", "e", 9), 9);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("n", "k", 9), 0.5);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("n", "l", 9), 7);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("n", "m", 9), 9);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("n", "n", 9), 9);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("n", "o", 9), 9);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("n", "missing", 9), 9);
  EXPECT_EQ(ini.ReadInteger("n", "f", 0), 42);
  EXPECT_EQ(ini.ReadInteger("n", "g", 0), 31);
  EXPECT_EQ(ini.ReadInteger("n", "h", 0), 255);
  EXPECT_EQ(ini.ReadInteger("n", "i", 5), 5);
  EXPECT_EQ(ini.ReadInteger("n", "j", 5), -2147483647 - 1);
  EXPECT_EQ(ini.ReadInteger("n", "a", 5), 5);

  ini.WriteFloat("w", "five", 1.234567, 5);
  ini.WriteFloat("w", "two", -0.001, 2);
  ini.WriteFloat("w", "big", 123456.5, 0);
  EXPECT_EQ(ini.ReadString("w", "five", "?"), "1.23457");
  EXPECT_EQ(ini.ReadString("w", "two", "?"), "0.00");
  EXPECT_EQ(ini.ReadString("w", "big", "?"), "123456");  // ties go to even, like printf
}

TEST(Numbers, ShortestFormRoundTripsAndFixedFormMatchesPrintf) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> d(-1e6, 1e6);
  for (int i = 0; i < 2000; ++i) {
    double v = d(rng);
    double back = 0;
    ASSERT_TRUE(TryStrToFloat(FormatShortest(v), back)) << FormatShortest(v);
    EXPECT_EQ(back, v);
    // printf in the C locale is an independent formatter of the same rule.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%1.5f", v);
    std::string expected = buf;
    if (expected == "-0.00000") expected = "0.00000";
    EXPECT_EQ(FormatFixed(v, 5), expected);
  }
  double v;
  EXPECT_FALSE(TryStrToFloat("", v));
  EXPECT_FALSE(TryStrToFloat("-", v));
  EXPECT_FALSE(TryStrToFloat(",", v));
  EXPECT_FALSE(TryStrToFloat("1e", v));
  EXPECT_FALSE(TryStrToFloat("inf", v));
  EXPECT_TRUE(TryStrToFloat(" +2,5E+1 ", v));
  EXPECT_DOUBLE_EQ(v, 25);
}

// Finding sections goes through an index kept up to date while lines are inserted and removed.
// After every step of a random edit sequence, each lookup must agree with a file parsed afresh
// from the same text.
TEST_F(IniFileTest, SectionIndexFollowsEveryEdit) {
  std::mt19937 rng(7);
  const std::string sections[] = {"A", "b", "B", "Groups", "x#1#< Default >", "Zed", " b "};
  const std::string keys[] = {"k", "K", "Filename", "id"};
  TIniFile ini((dir / "edits.ini").string());
  ini.AutoUpdate = false;
  for (int step = 0; step < 400; ++step) {
    const std::string& s = sections[rng() % 7];
    const std::string& k = keys[rng() % 4];
    switch (rng() % 10) {
      case 0: ini.EraseSection(s); break;
      case 1: ini.DeleteKey(s, k); break;
      case 2: ini.AddSection(s); break;
      default: ini.WriteString(s, k, std::to_string(step)); break;
    }
    const std::string fresh = Write("fresh.ini", ini.Text());
    TIniFile again(fresh);
    for (const std::string& sec : sections) {
      ASSERT_EQ(ini.SectionExists(sec), again.SectionExists(sec)) << step << " " << sec;
      std::vector<std::string> a, b;
      ini.ReadSectionValues(sec, a);
      again.ReadSectionValues(sec, b);
      ASSERT_EQ(a, b) << step << " " << sec;
      for (const std::string& key : keys) ASSERT_EQ(ini.ReadString(sec, key, "-"), again.ReadString(sec, key, "-"));
    }
  }
}
