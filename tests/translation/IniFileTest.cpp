#include "translation/IniFile.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string everyLineByte() {
  std::string bytes;
  for (int c = 0; c < 256; ++c)
    if (c != '\r' && c != '\n') bytes.push_back(static_cast<char>(c));
  return bytes;
}

// Each file reads back byte for byte, the entry reads as its value, and writing "new"
// to it changes that one value and nothing else.
struct RoundTripCase {
  const char* what;
  std::string text, section, key, value, afterWrite;
};

TEST(IniFile, RoundTripsFilesByteForByte) {
  const std::string bytes = everyLineByte();
  const RoundTripCase cases[] = {
      {"every byte in a value", "[s]\nk=" + bytes + "\n", "s", "k", bytes, "[s]\nk=new\n"},
      {"blanks around the first '=' set off", "[s]\n  k =\t a = b ;c \n", "s", "K", "a = b ;c ", "[s]\n  k =\t new\n"},
      {"key without a section", "top=1\r\n[s]\r\ntop=2\r\n", "", "top", "1", "top=new\r\n[s]\r\ntop=2\r\n"},
      {"duplicate keys", "[S]\nk=first\nk=second\n", "s", "k", "first", "[S]\nk=new\nk=second\n"},
      {"CR LF, comments, BOM", "\xEF\xBB\xBF; c\r\n[s]\r\n\r\nk=v\r\n", "s", "k", "v",
       "\xEF\xBB\xBF; c\r\n[s]\r\n\r\nk=new\r\n"},
      {"no final line break", "[s]\nk=v", "s", "k", "v", "[s]\nk=new"},
      {"new key below the last entry", "[s]\na=1\n\n[t]\n", "s", "k", "", "[s]\na=1\nk=new\n\n[t]\n"},
      {"new section after a blank line", "[s]\r\na=1", "t", "k", "", "[s]\r\na=1\r\n\r\n[t]\r\nk=new\r\n"},
  };
  for (const RoundTripCase& c : cases) {
    TIniFile ini;
    ini.SetText(c.text);
    EXPECT_EQ(ini.Text(), c.text) << c.what;
    EXPECT_EQ(ini.ReadString(c.section, c.key, ""), c.value) << c.what;
    ASSERT_TRUE(ini.WriteString(c.section, c.key, "new")) << c.what;
    EXPECT_EQ(ini.Text(), c.afterWrite) << c.what;
  }
}

TEST(IniFile, RefusesWhatOneLineCannotHold) {
  const std::string text = "[s]\nk=v\n";
  const char* const badKeys[] = {"", "a=b", "[x", ";x", " x", "x\t", "a\nb", "a\rb"};
  TIniFile ini;
  ini.SetText(text);
  for (const char* key : badKeys) EXPECT_FALSE(ini.WriteString("s", key, "v")) << key;
  EXPECT_FALSE(ini.WriteString("s", "k", "two\nlines"));
  EXPECT_FALSE(ini.WriteString("s", "k", "cr\r"));
  EXPECT_FALSE(ini.WriteString("s\n[t", "k", "v"));
  EXPECT_FALSE(ini.WriteString(" s", "k", "v"));
  EXPECT_EQ(ini.Text(), text);
}

TEST(IniFile, EraseSectionAndSectionLines) {
  TIniFile ini;
  ini.SetText("[Messages]\n; note\nR=Yes\n L =  Ja \nstray\n[a]\nx=1\n[messages]\nR=No\n");
  EXPECT_EQ(ini.SectionLines("MESSAGES"), (std::vector<std::string>{"R=Yes", "L=Ja ", "stray"}));
  ini.EraseSection("Messages");
  EXPECT_EQ(ini.Text(), "[a]\nx=1\n");
}

TEST(IniFile, BlanksAroundTheEqualsSignAreNeitherNameNorValue) {
  TIniFile ini;
  ini.SetText("[s]\n  Button7.VC  =  Text\n");
  EXPECT_EQ(ini.ReadString("s", "Button7.VC"), "Text");
}

}  // namespace
