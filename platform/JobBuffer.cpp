#include "JobBuffer.h"

#include <algorithm>

namespace {

// A line longer than this is broken for display after its next command separator, and
// after kHardLine characters whatever comes, so that no line costs the memo seconds.
constexpr std::size_t kDisplayLine = 256;
constexpr std::size_t kHardLine = 4096;
// A paragraph ends at the first separator after this many characters.
constexpr std::size_t kParagraph = 2048;
// Undo keeps this many steps; each holds what it removed.
constexpr std::size_t kHistorySteps = 500;

bool isSeparator(char16_t c) { return c == TJobBuffer::kSeparator || c == u'\u2029' || c == TJobBuffer::kLineSeparator; }

}  // namespace

void TJobBuffer::Load(std::string bytes) {
  FBytes = std::move(bytes);
  FSeparators.clear();
  FHistory.clear();
  FDone = 0;
  FLineBreak.clear();
  const std::size_t n = FBytes.size();
  std::size_t position = 0, line = 0, paragraph = 0;
  auto separate = [&](std::uint8_t length) {
    const char16_t c = paragraph >= kParagraph ? kSeparator : kLineSeparator;
    FSeparators.push_back({position++, length, c});
    line = 0;
    paragraph = c == kSeparator ? 0 : paragraph + 1;
  };
  for (std::size_t i = 0; i < n; ++i) {
    const char c = FBytes[i];
    if (c == '\r' || c == '\n') {
      const std::uint8_t length = c == '\r' && i + 1 < n && FBytes[i + 1] == '\n' ? 2 : 1;
      if (FLineBreak.empty()) FLineBreak = FBytes.substr(i, length);
      separate(length);
      i += length - 1;
      continue;
    }
    ++position;
    ++line;
    ++paragraph;
    const bool more = i + 1 < n && FBytes[i + 1] != '\r' && FBytes[i + 1] != '\n';
    if (more && ((c == ';' && line >= kDisplayLine) || line >= kHardLine)) separate(0);
  }
  if (FLineBreak.empty()) FLineBreak = "\r\n";
  FDocumentLength = position;
}

void TJobBuffer::ReadText(TTextCursor& cursor, std::size_t count, std::u16string& text) const {
  while (count > 0 && cursor.Position < FDocumentLength) {
    const bool separatorNext = cursor.Separator < FSeparators.size();
    const std::size_t stop = separatorNext ? FSeparators[cursor.Separator].Position : FDocumentLength;
    const std::size_t run = std::min(stop - cursor.Position, count);
    const std::size_t at = text.size();
    text.resize(at + run);
    std::copy_n(reinterpret_cast<const unsigned char*>(FBytes.data()) + cursor.Byte, run, text.begin() + at);
    cursor.Position += run;
    cursor.Byte += run;
    count -= run;
    if (count > 0 && separatorNext && cursor.Position == stop) {
      const TSeparator& s = FSeparators[cursor.Separator++];
      text.push_back(s.Character);
      ++cursor.Position;
      cursor.Byte += s.Bytes;
      --count;
    }
  }
}

std::u16string TJobBuffer::DocumentText() const {
  std::u16string text;
  text.reserve(FDocumentLength);
  TTextCursor cursor;
  ReadText(cursor, FDocumentLength, text);
  return text;
}

std::size_t TJobBuffer::ByteOffset(std::size_t position) const {
  std::size_t offset = position;
  for (const TSeparator& s : FSeparators) {
    if (s.Position >= position) break;
    offset = offset + s.Bytes - 1;
  }
  return offset;
}

std::vector<TJobBuffer::TSeparator>::iterator TJobBuffer::FirstSeparatorFrom(std::size_t position) {
  return std::lower_bound(FSeparators.begin(), FSeparators.end(), position,
                          [](const TSeparator& s, std::size_t p) { return s.Position < p; });
}

void TJobBuffer::Splice(std::size_t position, std::size_t removed, std::size_t inserted, std::size_t bytePosition,
                        std::size_t removedBytes, const std::string& bytes, const std::vector<TSeparator>& separators) {
  FBytes.replace(bytePosition, removedBytes, bytes);
  const auto first = FirstSeparatorFrom(position);
  const auto last = FirstSeparatorFrom(position + removed);
  const auto kept = FSeparators.erase(first, last);
  const std::size_t index = static_cast<std::size_t>(kept - FSeparators.begin());
  for (auto it = kept; it != FSeparators.end(); ++it) it->Position = it->Position - removed + inserted;
  std::vector<TSeparator> placed;
  placed.reserve(separators.size());
  for (const TSeparator& s : separators) placed.push_back({position + s.Position, s.Bytes, s.Character});
  FSeparators.insert(FSeparators.begin() + static_cast<std::ptrdiff_t>(index), placed.begin(), placed.end());
  FDocumentLength = FDocumentLength - removed + inserted;
}

void TJobBuffer::Apply(std::size_t position, std::size_t removed, std::u16string_view inserted) {
  position = std::min(position, FDocumentLength);
  removed = std::min(removed, FDocumentLength - position);
  TStep step;
  step.Position = position;
  step.BytePosition = ByteOffset(position);
  const std::size_t byteEnd = ByteOffset(position + removed);
  step.RemovedBytes = FBytes.substr(step.BytePosition, byteEnd - step.BytePosition);
  // The removed document text, rebuilt from its bytes and separators.
  auto separator = FirstSeparatorFrom(position);
  std::size_t at = step.BytePosition;
  for (std::size_t i = position; i < position + removed; ++i) {
    if (separator != FSeparators.end() && separator->Position == i) {
      step.RemovedSeparators.push_back({i - position, separator->Bytes, separator->Character});
      step.RemovedText.push_back(separator->Character);
      at += separator->Bytes;
      ++separator;
    } else {
      step.RemovedText.push_back(static_cast<unsigned char>(FBytes[at++]));
    }
  }
  for (std::size_t i = 0; i < inserted.size(); ++i) {
    const char16_t c = inserted[i];
    if (isSeparator(c)) {
      const char16_t kind = c == kLineSeparator ? kLineSeparator : kSeparator;
      step.InsertedSeparators.push_back({i, static_cast<std::uint8_t>(FLineBreak.size()), kind});
      step.InsertedBytes += FLineBreak;
      step.InsertedText.push_back(kind);
    } else {
      // A character without an 8-bit form is sent as '?', as everywhere else.
      step.InsertedBytes.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
      step.InsertedText.push_back(c);
    }
  }
  if (removed == 0 && inserted.empty()) return;
  Splice(position, removed, step.InsertedText.size(), step.BytePosition, step.RemovedBytes.size(), step.InsertedBytes,
         step.InsertedSeparators);
  FHistory.resize(FDone);
  if (!MergeIntoLast(step)) {
    if (FHistory.size() == kHistorySteps) FHistory.erase(FHistory.begin());
    FHistory.push_back(std::move(step));
  }
  FDone = FHistory.size();
}

bool TJobBuffer::MergeIntoLast(const TStep& step) {
  if (FHistory.empty()) return false;
  TStep& last = FHistory.back();
  const bool typing = last.RemovedText.empty() && step.RemovedText.empty() && step.InsertedSeparators.empty() &&
                      last.InsertedSeparators.empty() && step.Position == last.Position + last.InsertedText.size();
  if (typing) {
    last.InsertedText += step.InsertedText;
    last.InsertedBytes += step.InsertedBytes;
    return true;
  }
  const bool deleting = last.InsertedText.empty() && step.InsertedText.empty() &&
                        step.RemovedSeparators.empty() && last.RemovedSeparators.empty();
  if (deleting && step.Position + step.RemovedText.size() == last.Position) {  // backspace
    last.Position = step.Position;
    last.BytePosition = step.BytePosition;
    last.RemovedText.insert(0, step.RemovedText);
    last.RemovedBytes.insert(0, step.RemovedBytes);
    return true;
  }
  if (deleting && step.Position == last.Position) {  // delete
    last.RemovedText += step.RemovedText;
    last.RemovedBytes += step.RemovedBytes;
    return true;
  }
  return false;
}

void TJobBuffer::Do(const TStep& step, bool forward, TDocumentEdit& edit) {
  const std::u16string& gone = forward ? step.RemovedText : step.InsertedText;
  const std::u16string& come = forward ? step.InsertedText : step.RemovedText;
  Splice(step.Position, gone.size(), come.size(), step.BytePosition, (forward ? step.RemovedBytes : step.InsertedBytes).size(),
         forward ? step.InsertedBytes : step.RemovedBytes,
         forward ? step.InsertedSeparators : step.RemovedSeparators);
  edit = {step.Position, gone.size(), come};
}

bool TJobBuffer::Undo(TDocumentEdit& edit) {
  if (!CanUndo()) return false;
  Do(FHistory[--FDone], false, edit);
  return true;
}

bool TJobBuffer::Redo(TDocumentEdit& edit) {
  if (!CanRedo()) return false;
  Do(FHistory[FDone++], true, edit);
  return true;
}
