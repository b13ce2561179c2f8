#pragma once
// The job memo: a plain text editor whose every change is applied to the job's bytes as a
// splice (platform/JobBuffer.h), so that what the editor does with line breaks and
// special characters never reaches the cutter, and undo gives back the very bytes.

#include "platform/JobBuffer.h"

#include <QPlainTextEdit>
#include <functional>
#include <string>

class TJobMemo : public QPlainTextEdit {
public:
  explicit TJobMemo(QWidget* parent = nullptr);

  // Shows a job; its bytes are kept exactly as given.
  void LoadJob(std::string bytes);
  // The same in slices, for a big job: BeginJob takes the bytes and empties the memo, each
  // FillJob adds at most count characters of text and answers whether more are to come.
  // The memo is read-only until the last slice is in.
  void BeginJob(std::string bytes);
  bool FillJob(std::size_t count);
  // The share of the text that is in, from 0 to 1.
  double FillProgress() const;
  const std::string& JobBytes() const { return Buffer.Bytes(); }
  void UndoEdit();
  void RedoEdit();

  // Called after every change of the job's bytes.
  std::function<void()> OnJobChanged;

protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

private:
  void documentChanged(int position, int removed, int added);
  void follow(const TJobBuffer::TDocumentEdit& edit);

  TJobBuffer Buffer;
  bool Following = false;          // the document is being changed to match the bytes
  TJobBuffer::TTextCursor Filled;  // how much of the text is in the document
  std::u16string Slice;            // the next slice of text, kept for its capacity
};
