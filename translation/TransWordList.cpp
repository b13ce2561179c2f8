#include "TransWordList.h"

#include <cstdint>
#include <utility>

namespace {

// FNV-1a, folded onto the bucket count.
std::size_t bucketOf(const std::string& key, std::size_t bucketCount) {
  std::uint32_t hash = 2166136261u;
  for (unsigned char c : key) {
    hash ^= c;
    hash *= 16777619u;
  }
  return hash % bucketCount;
}

std::unique_ptr<TTransWordList>& currentList() {
  static std::unique_ptr<TTransWordList> list;
  return list;
}

}  // namespace

// Also finds an empty key, so that the one-entry-per-key rule holds for it too.
const TTransWord* TTransWordList::lookup(const std::string& key) const {
  for (std::size_t position : buckets_[bucketOf(key, kBucketCount)])
    if (words_[position]->Key == key) return words_[position].get();
  return nullptr;
}

bool TTransWordList::AddWord(std::unique_ptr<TTransWord> word) {
  if (!word || lookup(word->Key)) return false;
  buckets_[bucketOf(word->Key, kBucketCount)].push_back(words_.size());
  words_.push_back(std::move(word));
  return true;
}

const TTransWord* TTransWordList::FindWord(const std::string& key) const {
  return key.empty() ? nullptr : lookup(key);
}

int TTransWordList::WordCount() const { return static_cast<int>(words_.size()); }

const TTransWord* TTransWordList::WordAt(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= words_.size()) return nullptr;
  return words_[index].get();
}

// Each line is a letter, "=" and text. "R=" sets the pending key, "L=" pairs a non-empty
// text with it; lines of other letters and comments (";", or shorter than two
// characters) leave the key pending, a line without "=" in second place drops it.
void TTransWordList::LoadFromLines(const std::vector<std::string>& lines) {
  std::string pendingKey;
  for (const std::string& line : lines) {
    if (line.size() < 2 || line[0] == ';') continue;
    if (line[1] != '=') {
      pendingKey.clear();
      continue;
    }
    std::string rest = line.substr(2);
    if (line[0] == 'R') {
      pendingKey = std::move(rest);
    } else if (line[0] == 'L') {
      // An empty key could never be looked up, so "R=" leaves nothing pending.
      if (!pendingKey.empty() && !rest.empty())
        AddWord(std::make_unique<TTransWord>(TTransWord{std::move(pendingKey), std::move(rest)}));
      pendingKey.clear();
    }
  }
}

const TTransWordList* CurrentWordList() { return currentList().get(); }

void SetCurrentWordList(std::unique_ptr<TTransWordList> list) { currentList() = std::move(list); }
