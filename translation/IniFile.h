#pragma once
// INI text files, read and written whole: a "[name]" line opens a section, "key=value"
// lines hold its entries. A value is every byte after the first "=" and the blanks that
// follow it, kept exactly; the lines nobody changed are written back as they were read
// (comments, blank lines, duplicate keys, CR LF or LF line ends, a UTF-8 byte-order
// mark), so a translator's file survives a round trip through the program byte for byte.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class TIniFile {
public:
  TIniFile() = default;
  explicit TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

  const std::string& FileName() const { return fileName_; }

  // Reads FileName whole; false, leaving the contents empty, when it cannot be read.
  bool LoadFromFile();
  // Writes the whole text to FileName; false when that fails.
  bool UpdateFile() const;

  void SetText(std::string_view bytes);
  std::string Text() const;

  // Section names and keys compare ignoring ASCII letter case. Entries above the first
  // section line belong to the section "". Where a section or a key stands twice, the
  // first one is read and written and the later ones are kept as they are.
  std::string ReadString(std::string_view section, std::string_view key, std::string_view fallback = {}) const;
  // False, changing nothing, for a name or value that one line cannot hold: a line
  // break anywhere, a key that is empty, holds "=", starts with "[" or ";" or has
  // spaces around it, a section name with spaces around it.
  bool WriteString(std::string_view section, std::string_view key, std::string_view value);
  bool WriteInteger(std::string_view section, std::string_view key, std::int64_t value);
  // Removes every section of that name with all its lines.
  void EraseSection(std::string_view section);
  // The lines of the section except blank lines and comments; entries as key=value.
  std::vector<std::string> SectionLines(std::string_view section) const;

private:
  enum TLineKind : std::uint8_t { lkBlank, lkText, lkSection, lkEntry };  // lkBlank: also comments
  struct TLine {
    std::string Text;  // without its line end
    std::string End;   // "\r\n", "\n", or "" for a last line without a line break
    TLineKind Kind = lkBlank;
    std::string Name;         // the section name or the key, without spaces around it
    std::size_t ValueAt = 0;  // entries: where the value starts in Text
  };
  struct TRange {
    std::size_t Begin, End;  // the section's lines, after its header
  };

  static TLine MakeLine(std::string text, std::string end);
  // The first section of that name; Begin == npos when there is none.
  TRange FindSection(std::string_view section) const;
  std::size_t SectionEnd(std::size_t begin) const;
  void InsertLine(std::size_t at, std::string text);

  std::string fileName_;
  std::string byteOrderMark_;
  std::string lineEnd_ = "\n";  // for new lines: the file's own line end
  std::vector<TLine> lines_;
};
