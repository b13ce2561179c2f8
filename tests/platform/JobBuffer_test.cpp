#include "platform/JobBuffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

// The buffer next to a stand-in for the editor's document, changed the way the editor
// changes its own: every edit and every undo must leave the two describing one text.
struct Memo {
  explicit Memo(std::string bytes) {
    buffer.Load(std::move(bytes));
    text = buffer.DocumentText();
  }

  void edit(std::size_t position, std::size_t removed, const std::u16string& inserted) {
    text.replace(position, removed, inserted);
    buffer.Apply(position, removed, inserted);
    check();
  }
  void type(std::size_t position, const std::u16string& inserted) { edit(position, 0, inserted); }
  void erase(std::size_t position, std::size_t count) { edit(position, count, u""); }
  bool undo() { return follow(&TJobBuffer::Undo); }
  bool redo() { return follow(&TJobBuffer::Redo); }

  bool follow(bool (TJobBuffer::*step)(TJobBuffer::TDocumentEdit&)) {
    TJobBuffer::TDocumentEdit e;
    if (!(buffer.*step)(e)) return false;
    text.replace(e.Position, e.Removed, e.Inserted);
    check();
    return true;
  }
  void check() const { EXPECT_EQ(buffer.DocumentLength(), text.size()); }
  std::size_t find(const std::u16string& what) const { return text.find(what); }

  TJobBuffer buffer;
  std::u16string text;
};

std::string everyByte() {
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b));
  return bytes + bytes;
}

}  // namespace

TEST(JobBuffer, EditsChangeOnlyTheBytesTheyTouch) {
  struct Row {
    const char* what;
    std::string job;
    std::function<void(Memo&)> edits;
    std::string expected;
  };
  const Row rows[] = {
      {"CR-only job: typing and Enter keep CR", "IN;\rPU0,0;\rPD1,1;\r",
       [](Memo& m) {
         m.type(3, u"X");
         m.type(m.text.size(), u"\n@");
       },
       "IN;X\rPU0,0;\rPD1,1;\r\r@"},
      {"CR LF job keeps its lone LF", "IN;\r\nPU0,0;\nPD1,1;\r\n", [](Memo& m) { m.type(0, u"A"); },
       "AIN;\r\nPU0,0;\nPD1,1;\r\n"},
      {"a typed break is the job's own", "IN;\nPU0,0;\r\n", [](Memo& m) { m.type(3, u"\u2029"); },
       "IN;\n\nPU0,0;\r\n"},
      {"no break in the job: CR LF", "IN;PU0,0;", [](Memo& m) { m.type(3, u"\n"); }, "IN;\r\nPU0,0;"},
      {"no-break space and every other byte stay", everyByte(), [](Memo& m) { m.type(m.text.size(), u"Z"); },
       everyByte() + "Z"},
      {"joining two lines removes exactly their break", "A\r\nB\nC\rD", [](Memo& m) { m.erase(1, 1); },
       "AB\nC\rD"},
      {"a paste of lines", "IN;\nPU;", [](Memo& m) { m.edit(3, 1, u"PD1,1;\u2029PD2,2;\u2029"); },
       "IN;PD1,1;\nPD2,2;\nPU;"},
      {"replacing everything", "A\r\nB", [](Memo& m) { m.edit(0, m.text.size(), u"new\ntext"); },
       "new\r\ntext"},
      {"a character without an 8-bit form is sent as '?'", "IN;", [](Memo& m) { m.type(0, u"\u20AC"); },
       "?IN;"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Memo memo(row.job);
    EXPECT_EQ(memo.buffer.Bytes(), row.job);
    row.edits(memo);
    EXPECT_EQ(memo.buffer.Bytes(), row.expected);
  }
}

TEST(JobBuffer, UndoGivesBackTheVeryBytesAndRedoTheEditAgain) {
  const std::string job = "IN;\r\nPU0,0;\nPD1,1;\rPA\xA0;\r\n" + everyByte();
  Memo memo(job);
  memo.erase(3, 1);                       // a CR LF break
  memo.erase(memo.find(u"\u2028PA\u00A0") - 1, 6);  // across a lone CR and a no-break space
  memo.type(0, u"a");
  memo.type(1, u"b");  // typing runs are one step
  memo.edit(2, 3, u"\u2029");
  const std::string edited = memo.buffer.Bytes();
  ASSERT_NE(edited, job);
  int steps = 0;
  while (memo.undo()) ++steps;
  EXPECT_EQ(steps, 4);
  EXPECT_EQ(memo.buffer.Bytes(), job);
  while (memo.redo()) {
  }
  EXPECT_EQ(memo.buffer.Bytes(), edited);
  memo.undo();
  memo.type(0, u"new");  // an edit after an undo drops what could be redone
  EXPECT_FALSE(memo.buffer.CanRedo());
}

TEST(JobBuffer, LongLinesAreBrokenForDisplayOnly) {
  std::string line;
  for (int i = 0; i < 2000; ++i) line += "PD" + std::to_string(i) + ",0;";
  const std::string job = "IN;\n" + line + "\n@";
  Memo memo(job);
  EXPECT_EQ(memo.buffer.Bytes(), job);
  const std::u16string separators = {TJobBuffer::kSeparator, TJobBuffer::kLineSeparator};
  const std::size_t breaks = std::count(memo.text.begin(), memo.text.end(), TJobBuffer::kLineSeparator);
  EXPECT_GT(breaks, 40u);  // about one every 256 characters, within paragraphs of about 2 KB
  EXPECT_GT(std::count(memo.text.begin(), memo.text.end(), TJobBuffer::kSeparator), 3);
  // A display break joined away changes no byte; one typed there is a real break.
  const std::size_t display = memo.text.find_first_of(separators, 300);
  ASSERT_EQ(memo.text[display - 1], u';');
  memo.erase(display, 1);
  EXPECT_EQ(memo.buffer.Bytes(), job);
  memo.type(display, u"\n");
  const std::string& typed = memo.buffer.Bytes();
  ASSERT_EQ(typed.size(), job.size() + 1);
  const std::size_t at = static_cast<std::size_t>(std::mismatch(job.begin(), job.end(), typed.begin()).first - job.begin());
  EXPECT_EQ(typed[at], '\n');
  EXPECT_EQ(job[at - 1], ';');
  EXPECT_EQ(typed.substr(0, at) + typed.substr(at + 1), job);
  memo.undo();
  memo.undo();
  EXPECT_EQ(memo.buffer.Bytes(), job);
  // Whatever the separators, the document length stays in step with the bytes.
  memo.erase(0, memo.text.size());
  EXPECT_EQ(memo.buffer.Bytes(), "");
}

TEST(JobBuffer, TextReadInSlicesIsTheWholeText) {
  std::string job = "IN;\r\nPU0,0;\rPD1,1;\n\n";
  for (int i = 0; i < 3000; ++i) job += "PD" + std::to_string(i) + ",0;";
  job += "\r\n@";
  TJobBuffer buffer;
  buffer.Load(job);
  const std::u16string whole = buffer.DocumentText();
  ASSERT_EQ(whole.size(), buffer.DocumentLength());
  EXPECT_EQ(whole.substr(0, 12), u"IN;\u2028PU0,0;\u2028P");  // breaks within the first paragraph
  for (const std::size_t slice : {std::size_t{1}, std::size_t{3}, std::size_t{255}, std::size_t{4096}}) {
    TJobBuffer::TTextCursor cursor;
    std::u16string text;
    while (cursor.Position < buffer.DocumentLength()) {
      const std::size_t before = text.size();
      buffer.ReadText(cursor, slice, text);
      ASSERT_EQ(text.size() - before, std::min(slice, whole.size() - before)) << slice;
    }
    EXPECT_EQ(text, whole) << slice;
    EXPECT_EQ(cursor.Byte, job.size()) << slice;
  }
}
