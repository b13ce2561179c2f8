#include "translation/TransWordList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct LinesCase {
  const char* name;
  std::vector<std::string> lines;
  std::vector<std::pair<std::string, std::string>> words;  // expected, in order
};

class LoadFromLinesTest : public ::testing::TestWithParam<LinesCase> {};

TEST_P(LoadFromLinesTest, ReadsThePairs) {
  const LinesCase& c = GetParam();
  TTransWordList list;
  list.LoadFromLines(c.lines);
  ASSERT_EQ(list.WordCount(), static_cast<int>(c.words.size()));
  for (int i = 0; i < list.WordCount(); ++i) {
    EXPECT_EQ(list.WordAt(i)->Key, c.words[i].first);
    EXPECT_EQ(list.WordAt(i)->Value, c.words[i].second);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LoadFromLinesTest,
    ::testing::Values(
        LinesCase{"Pair", {"R=Abort Transmission?", "L=Abbrechen?"}, {{"Abort Transmission?", "Abbrechen?"}}},
        LinesCase{"CommentBetween", {"R=Yes", "; a note", "L=Ja"}, {{"Yes", "Ja"}}},
        LinesCase{"OtherLetterAndShortLinesBetween", {"R=Yes", "X=skip", "", "Q", "L=Ja"}, {{"Yes", "Ja"}}},
        LinesCase{"LineWithoutEqualsBreaksThePair", {"R=Yes", "Rx", "L=Ja"}, {}},
        LinesCase{"FirstTranslationWins", {"R=Yes", "L=Ja", "R=Yes", "L=Oui"}, {{"Yes", "Ja"}}},
        LinesCase{"LWithoutR", {"L=Ja", "R=No", "L=Nein"}, {{"No", "Nein"}}},
        LinesCase{"EmptyTranslationDropsTheKey", {"R=Yes", "L=", "L=Ja"}, {}},
        LinesCase{"LaterRReplacesPendingKey", {"R=Yes", "R=No", "L=Nein"}, {{"No", "Nein"}}},
        LinesCase{"EmptyKeyPairsWithNothing", {"R=", "L=Leer"}, {}},
        LinesCase{"LettersAreCaseSensitive", {"r=Yes", "l=Ja", "R=Yes", "l=Ja"}, {}},
        LinesCase{"TextKeepsEqualsAndSpaces", {"R= a=b ", "L=x=y "}, {{" a=b ", "x=y "}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TransWordList, EveryKeyIsFoundWhenBucketsHoldMany) {
  TTransWordList list;
  const int count = 3000;  // several entries per bucket
  for (int i = 0; i < count; ++i)
    ASSERT_TRUE(list.AddWord(std::make_unique<TTransWord>(TTransWord{"key " + std::to_string(i), std::to_string(i)})));
  ASSERT_EQ(list.WordCount(), count);
  for (int i = 0; i < count; ++i) {
    const TTransWord* word = list.FindWord("key " + std::to_string(i));
    ASSERT_NE(word, nullptr) << i;
    EXPECT_EQ(word->Value, std::to_string(i));
    EXPECT_EQ(list.WordAt(i), word);
  }
  EXPECT_EQ(list.FindWord("key 3000"), nullptr);
}

TEST(TransWordList, OneEntryPerKeyAndExactLookup) {
  TTransWordList list;
  EXPECT_TRUE(list.AddWord(std::make_unique<TTransWord>(TTransWord{"", "a"})));
  EXPECT_FALSE(list.AddWord(std::make_unique<TTransWord>(TTransWord{"", "b"})));
  EXPECT_TRUE(list.AddWord(std::make_unique<TTransWord>(TTransWord{"Yes", "Ja"})));
  EXPECT_FALSE(list.AddWord(std::make_unique<TTransWord>(TTransWord{"Yes", "Oui"})));
  EXPECT_FALSE(list.AddWord(nullptr));
  EXPECT_EQ(list.WordCount(), 2);
  EXPECT_EQ(list.FindWord("Yes")->Value, "Ja");
  EXPECT_EQ(list.FindWord("yes"), nullptr);
  EXPECT_EQ(list.FindWord(""), nullptr);
  EXPECT_EQ(list.WordAt(-1), nullptr);
  EXPECT_EQ(list.WordAt(2), nullptr);
}

}  // namespace
