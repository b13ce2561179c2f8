#pragma once
// Translations of the texts that code produces: English key to translated value, read
// from the message pairs of a language file.

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

struct TTransWord {
  std::string Key;    // the English text without its markers, exactly as written
  std::string Value;  // the translation as UTF-8 bytes, still escaped
};

class TTransWordList {
public:
  // Takes the word unless its key is already present; the first word for a key stays.
  bool AddWord(std::unique_ptr<TTransWord> word);
  // Exact, case-sensitive lookup; an empty key finds nothing.
  const TTransWord* FindWord(const std::string& key) const;
  int WordCount() const;
  // Null for a position out of range.
  const TTransWord* WordAt(int index) const;
  // Reads "R=key" / "L=translation" pairs; see the .cpp for the line rules.
  void LoadFromLines(const std::vector<std::string>& lines);

private:
  static constexpr std::size_t kBucketCount = 512;

  const TTransWord* lookup(const std::string& key) const;

  std::vector<std::unique_ptr<TTransWord>> words_;
  std::array<std::vector<std::size_t>, kBucketCount> buckets_;  // positions in words_
};

// The process-wide list every lookup reads; null until a language file with message
// pairs is loaded.
const TTransWordList* CurrentWordList();
// Replaces the current list (null: back to the English texts).
void SetCurrentWordList(std::unique_ptr<TTransWordList> list);
