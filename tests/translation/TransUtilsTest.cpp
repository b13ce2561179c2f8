#include "translation/TransUtils.h"
#include "translation/TransWordList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Installs a word list read from message pair lines for one test.
class WithWordList : public ::testing::Test {
protected:
  void use(const std::vector<std::string>& lines) {
    auto list = std::make_unique<TTransWordList>();
    list->LoadFromLines(lines);
    SetCurrentWordList(std::move(list));
  }
  void TearDown() override { SetCurrentWordList(nullptr); }
};

TEST(UnescapeText, DecodesEscapes) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"line\\ntwo", u"line\r\ntwo"}, {u"\\65", u"A"}, {u"\\656", u"A6"},
      {u"a\\7", u"a\\7"}, {u"\\7x", u"\\7x"}, {u"\\\\n", u"\\n"},
      {u"\\\\65", u"\\65"}, {u"\\t|", u"\t|"}, {u"end\\", u"end\\"},
      {u"\\q\\N\\T", u"\\q\\N\\T"}, {u"\\00", std::u16string(1, u'\0')}, {u"\\99", u"c"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(UnescapeText(in), out) << in.size();
}

TEST(Utf8ToWide, DecodesWellFormedAndRefusesMalformedText) {
  std::u16string wide;
  ASSERT_TRUE(Utf8ToWide("Gr\xC3\xBC\xC3\x9F" "e \xE4\xB8\xAD \xF0\x9F\x98\x80", wide));
  EXPECT_EQ(wide, u"Gr\u00fc\u00dfe \u4e2d \U0001F600");

  const char* bad[] = {
      "\xE9t\xE9",              // Latin-1
      "\xC3",                   // cut off
      "ab\xE4\xB8",             // cut off
      "\xC0\xAF",               // overlong
      "\xE0\x80\xAF",           // overlong
      "\xED\xA0\x80",           // surrogate
      "\xF4\x90\x80\x80",       // above U+10FFFF
      "\xF8\x88\x80\x80\x80",   // five bytes
      "\x80",                   // stray continuation
      "\xC3\x28",               // bad continuation
  };
  for (const char* text : bad) {
    wide = u"stale";
    EXPECT_FALSE(Utf8ToWide(text, wide)) << text;
    EXPECT_TRUE(wide.empty());
  }
}

TEST(TranslateMarker, WithoutWordListShowsTheEnglishWords) {
  EXPECT_EQ(TranslateMarker("(__Abort Transmission?__)"), u"Abort Transmission?");
  EXPECT_EQ(TranslateMarker("(__a (__b__) c__)"), u"a (__b c__)");
  EXPECT_EQ(TranslateMarker("no markers"), u"no markers");
  EXPECT_EQ(TranslateMarker("only end__)"), u"only end");
  EXPECT_EQ(TranslateMarker("(__two\\nlines__)"), u"two\r\nlines");
  EXPECT_EQ(TranslateMarker("(__caf\xE9__)"), u"caf\u00e9");
}

TEST_F(WithWordList, TranslatesAndDecodesTheValue) {
  use({"R=Abort Transmission?", "L=\xC3\x9C" "bertragung\\nabbrechen?"});
  EXPECT_EQ(TranslateMarker("(__Abort Transmission?__)"), u"\u00dcbertragung\r\nabbrechen?");
  EXPECT_EQ(TranslateKey("Abort Transmission?"), u"\u00dcbertragung\r\nabbrechen?");
  EXPECT_EQ(TranslateKey("abort transmission?"), u"abort transmission?");
}

TEST_F(WithWordList, MalformedValueFallsBackToTheEnglishText) {
  use({"R=Yes", "L=J\xE4", "R=No", "L=\\00"});
  EXPECT_EQ(TranslateKey("Yes"), u"Yes");
  // A value that decodes to a character is not empty, even when it is NUL.
  EXPECT_EQ(TranslateKey("No"), std::u16string(1, u'\0'));
}

struct PlaceholderCase {
  const char* text;
  std::vector<std::string> names;
};

TEST(ExtractPlaceholders, CollectsNamesInOrder) {
  const PlaceholderCase cases[] = {
      {"Sending data to [0_PORT]", {"0_PORT"}},
      {"[a] and [b]", {"a", "b"}},
      {"[]", {""}},
      {"[a[b]", {"b"}},
      {"a] [b", {}},
      {"no brackets", {}},
      {"[open", {}},
      {"close]", {}},
      {"[x]]", {"x"}},
  };
  for (const PlaceholderCase& c : cases) EXPECT_EQ(ExtractPlaceholders(c.text), c.names) << c.text;
}

TEST(TransFormat, FillsPlaceholdersWithoutWordList) {
  EXPECT_EQ(TransFormat("(__Sending data to [0_PORT]__)", {u"ttyUSB0"}), u"Sending data to ttyUSB0");
  EXPECT_EQ(TransFormat("(__Sending data to: [0_PORT]__)", {u"/dev/pts/3"}), u"Sending data to: /dev/pts/3");
  // More placeholders than arguments: the missing one gives nothing.
  EXPECT_EQ(TransFormat("[a]-[b]", {u"1"}), u"1-");
  EXPECT_EQ(TransFormat("[a]-[b]", {}), u"-");
  // A repeated name receives the argument of its first occurrence.
  EXPECT_EQ(TransFormat("[a]+[a]", {u"1", u"2"}), u"1+1");
}

TEST_F(WithWordList, TranslationMayReorderPlaceholders) {
  use({"R=Copy [1_FROM] to [2_TO]", "L=Nach [2_TO] von [1_from] kopieren"});
  EXPECT_EQ(TransFormat("(__Copy [1_FROM] to [2_TO]__)", {u"A", u"B"}), u"Nach B von A kopieren");
}

TEST_F(WithWordList, TranslationPlaceholderFaults) {
  use({"R=Port [0_PORT]", "L=Anschluss [0_PORT] [9_X] ok",
       "R=Open [0_PORT]", "L=\xC3\x96" "ffne [0_PORT",
       "R=Plain", "L=Schlicht [0_PORT] [x]"});
  // A name missing from the English text is dropped.
  EXPECT_EQ(TransFormat("(__Port [0_PORT]__)", {u"ttyS0"}), u"Anschluss ttyS0  ok");
  // An unclosed "[" drops the rest.
  EXPECT_EQ(TransFormat("(__Open [0_PORT]__)", {u"ttyS0"}), u"\u00d6ffne ");
  // Without placeholders in the English text the translation is taken as it is.
  EXPECT_EQ(TransFormat("(__Plain__)", {u"ttyS0"}), u"Schlicht [0_PORT] [x]");
}

TEST_F(WithWordList, ArgumentsAreNotUnescapedOrScanned) {
  use({"R=At [0_P]", "L=Bei [0_P]"});
  EXPECT_EQ(TransFormat("(__At [0_P]__)", {u"[0_P]\\n"}), u"Bei [0_P]\\n");
}

}  // namespace
