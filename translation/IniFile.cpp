#include "IniFile.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool isSpace(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
  return text;
}

char foldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (foldAscii(a[i]) != foldAscii(b[i])) return false;
  return true;
}

bool holdsLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

bool fitsSectionLine(std::string_view section) { return !holdsLineBreak(section) && trimmed(section) == section; }

bool fitsKey(std::string_view key) {
  return !key.empty() && !holdsLineBreak(key) && trimmed(key) == key && key.find('=') == std::string_view::npos &&
         key.front() != '[' && key.front() != ';';
}

}  // namespace

TIniFile::TLine TIniFile::MakeLine(std::string text, std::string end) {
  TLine line;
  const std::string_view content = trimmed(text);
  if (content.empty() || content.front() == ';') {
    line.Kind = lkBlank;
  } else if (content.front() == '[' && content.back() == ']' && content.size() >= 2) {
    line.Kind = lkSection;
    line.Name = trimmed(content.substr(1, content.size() - 2));
  } else if (const std::size_t equals = text.find('='); equals != std::string::npos) {
    line.Kind = lkEntry;
    line.Name = trimmed(std::string_view(text).substr(0, equals));
    // Blanks after "=" only set the value off, as blanks before it set off the key.
    line.ValueAt = equals + 1;
    while (line.ValueAt < text.size() && isSpace(text[line.ValueAt])) ++line.ValueAt;
  } else {
    line.Kind = lkText;
  }
  line.Text = std::move(text);
  line.End = std::move(end);
  return line;
}

bool TIniFile::LoadFromFile() {
  SetText({});
  std::error_code error;
  if (!std::filesystem::is_regular_file(fileName_, error)) return false;
  std::ifstream file(fileName_, std::ios::binary);
  if (!file) return false;
  const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  if (file.bad()) return false;
  SetText(bytes);
  return true;
}

bool TIniFile::UpdateFile() const {
  std::ofstream file(fileName_, std::ios::binary | std::ios::trunc);
  if (!file) return false;
  const std::string bytes = Text();
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  return !file.fail();
}

void TIniFile::SetText(std::string_view bytes) {
  lines_.clear();
  byteOrderMark_.clear();
  lineEnd_ = "\n";
  if (bytes.starts_with(kByteOrderMark)) {
    byteOrderMark_ = kByteOrderMark;
    bytes.remove_prefix(kByteOrderMark.size());
  }
  bool endSeen = false;
  while (!bytes.empty()) {
    const std::size_t feed = bytes.find('\n');
    std::string_view text = bytes.substr(0, feed);
    std::string end;
    if (feed != std::string_view::npos) {
      const bool crlf = text.ends_with('\r');
      if (crlf) text.remove_suffix(1);
      end = crlf ? "\r\n" : "\n";
      if (!endSeen) lineEnd_ = end;
      endSeen = true;
    }
    lines_.push_back(MakeLine(std::string(text), std::move(end)));
    bytes.remove_prefix(feed == std::string_view::npos ? bytes.size() : feed + 1);
  }
}

std::string TIniFile::Text() const {
  std::string bytes = byteOrderMark_;
  for (const TLine& line : lines_) bytes.append(line.Text).append(line.End);
  return bytes;
}

std::size_t TIniFile::SectionEnd(std::size_t begin) const {
  while (begin < lines_.size() && lines_[begin].Kind != lkSection) ++begin;
  return begin;
}

TIniFile::TRange TIniFile::FindSection(std::string_view section) const {
  if (section.empty()) return {0, SectionEnd(0)};
  for (std::size_t i = 0; i < lines_.size(); ++i)
    if (lines_[i].Kind == lkSection && sameName(lines_[i].Name, section)) return {i + 1, SectionEnd(i + 1)};
  return {std::string::npos, std::string::npos};
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key, std::string_view fallback) const {
  const TRange range = FindSection(section);
  for (std::size_t i = range.Begin; i < range.End; ++i)
    if (lines_[i].Kind == lkEntry && sameName(lines_[i].Name, key)) return lines_[i].Text.substr(lines_[i].ValueAt);
  return std::string(fallback);
}

void TIniFile::InsertLine(std::size_t at, std::string text) {
  // The line before it may be a last line without a line break.
  if (at > 0 && lines_[at - 1].End.empty()) lines_[at - 1].End = lineEnd_;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), MakeLine(std::move(text), lineEnd_));
}

bool TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  if (!fitsSectionLine(section) || !fitsKey(key) || holdsLineBreak(value)) return false;
  TRange range = FindSection(section);
  if (range.Begin == std::string::npos) {
    if (!lines_.empty() && lines_.back().Kind != lkBlank) InsertLine(lines_.size(), {});
    InsertLine(lines_.size(), "[" + std::string(section) + "]");
    range = {lines_.size(), lines_.size()};
  }
  // A new entry goes below the section's last entry, above the blank lines and
  // comments that part it from the next section.
  std::size_t after = range.Begin;
  for (std::size_t i = range.Begin; i < range.End; ++i) {
    TLine& line = lines_[i];
    if (line.Kind == lkEntry && sameName(line.Name, key)) {
      line.Text.replace(line.ValueAt, std::string::npos, value);
      return true;
    }
    if (line.Kind != lkBlank) after = i + 1;
  }
  InsertLine(after, std::string(key) + "=" + std::string(value));
  return true;
}

bool TIniFile::WriteInteger(std::string_view section, std::string_view key, std::int64_t value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  return WriteString(section, key, std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)));
}

void TIniFile::EraseSection(std::string_view section) {
  for (TRange range = FindSection(section); range.Begin != std::string::npos; range = FindSection(section)) {
    const std::size_t header = section.empty() ? 0 : range.Begin - 1;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(header),
                 lines_.begin() + static_cast<std::ptrdiff_t>(range.End));
    if (section.empty()) break;
  }
}

std::vector<std::string> TIniFile::SectionLines(std::string_view section) const {
  std::vector<std::string> result;
  const TRange range = FindSection(section);
  for (std::size_t i = range.Begin; i < range.End; ++i) {
    const TLine& line = lines_[i];
    if (line.Kind == lkEntry) result.push_back(line.Name + "=" + line.Text.substr(line.ValueAt));
    else if (line.Kind == lkText) result.emplace_back(trimmed(line.Text));
  }
  return result;
}
