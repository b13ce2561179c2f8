#pragma once
// The job's bytes behind the memo that edits them. The memo's document holds one
// character per byte (Latin-1), except that each line break of the job (CR LF, CR or LF)
// is one separator there, and that long lines get further separators after command
// separators, for display only. Separators are paragraph breaks every few kilobytes and
// line breaks within a paragraph (U+2028) otherwise, so that a job of half a million
// short lines does not become half a million paragraphs. Every change of the document is
// applied to the bytes as a splice, so bytes nobody edited stay exactly as loaded, and
// undo restores the very bytes an edit took away.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TJobBuffer {
public:
  // Separators in document text: a paragraph break and a line break within a paragraph.
  static constexpr char16_t kSeparator = u'\n';
  static constexpr char16_t kLineSeparator = u'\u2028';

  // Takes the job's bytes without copying them; the document's text is then read from
  // them in slices (ReadText), so that a big job is never held as text twice.
  void Load(std::string bytes);
  // Where a reading of the document's text has got to.
  struct TTextCursor {
    std::size_t Position = 0, Byte = 0, Separator = 0;
  };
  // Appends the document's next characters, at most count, to text (separators as
  // kSeparator or kLineSeparator) and moves the cursor past them.
  void ReadText(TTextCursor& cursor, std::size_t count, std::u16string& text) const;
  // The whole text for the document.
  std::u16string DocumentText() const;
  const std::string& Bytes() const { return FBytes; }
  // The document's length as this buffer sees it (without the document's final separator).
  std::size_t DocumentLength() const { return FDocumentLength; }
  // The break a typed separator becomes: the job's first one, CR LF when it has none.
  const std::string& LineBreak() const { return FLineBreak; }

  // The document changed at position: removed characters went, inserted came (a
  // separator is kSeparator, U+2029 or kLineSeparator). Positions beyond the document
  // are clamped.
  void Apply(std::size_t position, std::size_t removed, std::u16string_view inserted);

  // What the document must do to follow an undo or a redo, which the buffer has
  // already applied to its bytes: replace Removed characters at Position by Inserted.
  struct TDocumentEdit {
    std::size_t Position = 0, Removed = 0;
    std::u16string Inserted;
  };
  bool CanUndo() const { return FDone > 0; }
  bool CanRedo() const { return FDone < FHistory.size(); }
  bool Undo(TDocumentEdit& edit);
  bool Redo(TDocumentEdit& edit);

private:
  struct TSeparator {
    std::size_t Position;  // in the document
    std::uint8_t Bytes;    // 0 for a display-only break, else 1 or 2
    char16_t Character;    // kSeparator or kLineSeparator
  };
  // One edit, enough to make it and take it back in both document and bytes.
  struct TStep {
    std::size_t Position, BytePosition;
    std::u16string RemovedText, InsertedText;
    std::string RemovedBytes, InsertedBytes;
    std::vector<TSeparator> RemovedSeparators, InsertedSeparators;  // positions relative to Position
  };

  std::size_t ByteOffset(std::size_t position) const;
  std::vector<TSeparator>::iterator FirstSeparatorFrom(std::size_t position);
  // Replaces `removed` characters at position by `inserted` ones, made of the given bytes
  // and separators.
  void Splice(std::size_t position, std::size_t removed, std::size_t inserted, std::size_t bytePosition,
              std::size_t removedBytes, const std::string& bytes, const std::vector<TSeparator>& separators);
  void Do(const TStep& step, bool forward, TDocumentEdit& edit);
  bool MergeIntoLast(const TStep& step);

  std::string FBytes;
  std::string FLineBreak = "\r\n";
  std::vector<TSeparator> FSeparators;  // sorted by position
  std::size_t FDocumentLength = 0;
  std::vector<TStep> FHistory;
  std::size_t FDone = 0;  // steps of FHistory in effect
};
