#include "JobMemo.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QScopedValueRollback>
#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>
#include <limits>
#include <memory>

namespace {

QString documentText(const std::u16string& text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

TJobMemo::TJobMemo(QWidget* parent) : QPlainTextEdit(parent) {
  // The document's own undo would hand back its idea of the text, not the job's bytes.
  document()->setUndoRedoEnabled(false);
  connect(document(), &QTextDocument::contentsChange, this, &TJobMemo::documentChanged);
}

void TJobMemo::LoadJob(std::string bytes) {
  BeginJob(std::move(bytes));
  while (FillJob(std::numeric_limits<std::size_t>::max())) {
  }
}

void TJobMemo::BeginJob(std::string bytes) {
  Buffer.Load(std::move(bytes));
  Filled = {};
  const QScopedValueRollback<bool> following(Following, true);
  clear();
  setReadOnly(true);
}

bool TJobMemo::FillJob(std::size_t count) {
  // Slices go in at the end as they are read from the bytes: the job is never held as
  // one whole text besides the document's own.
  Slice.clear();
  Buffer.ReadText(Filled, count, Slice);
  if (!Slice.empty()) {
    const QScopedValueRollback<bool> following(Following, true);
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.insertText(
        QString::fromRawData(reinterpret_cast<const QChar*>(Slice.data()), static_cast<qsizetype>(Slice.size())));
  }
  if (Filled.Position < Buffer.DocumentLength()) return true;
  setReadOnly(false);
  if (OnJobChanged) OnJobChanged();
  return false;
}

double TJobMemo::FillProgress() const {
  const std::size_t length = Buffer.DocumentLength();
  return length == 0 ? 1.0 : static_cast<double>(Filled.Position) / static_cast<double>(length);
}

void TJobMemo::documentChanged(int position, int removed, int added) {
  if (Following) return;
  // The change may count the document's final separator, which the buffer does not hold.
  const auto length = static_cast<std::size_t>(std::max(document()->characterCount() - 1, 0));
  const auto at = std::min(static_cast<std::size_t>(std::max(position, 0)), length);
  const std::size_t come = std::min(static_cast<std::size_t>(std::max(added, 0)), length - at);
  QTextCursor cursor(document());
  cursor.setPosition(static_cast<int>(at));
  cursor.setPosition(static_cast<int>(at + come), QTextCursor::KeepAnchor);
  const QString inserted = cursor.selectedText();
  Buffer.Apply(at, static_cast<std::size_t>(std::max(removed, 0)),
               std::u16string_view(reinterpret_cast<const char16_t*>(inserted.utf16()),
                                   static_cast<std::size_t>(inserted.size())));
  if (OnJobChanged) OnJobChanged();
}

void TJobMemo::follow(const TJobBuffer::TDocumentEdit& edit) {
  {
    const QScopedValueRollback<bool> following(Following, true);
    QTextCursor cursor(document());
    cursor.setPosition(static_cast<int>(edit.Position));
    cursor.setPosition(static_cast<int>(edit.Position + edit.Removed), QTextCursor::KeepAnchor);
    cursor.insertText(documentText(edit.Inserted));
    setTextCursor(cursor);
  }
  if (OnJobChanged) OnJobChanged();
}

void TJobMemo::UndoEdit() {
  if (TJobBuffer::TDocumentEdit edit; Buffer.Undo(edit)) follow(edit);
}

void TJobMemo::RedoEdit() {
  if (TJobBuffer::TDocumentEdit edit; Buffer.Redo(edit)) follow(edit);
}

void TJobMemo::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Undo)) {
    UndoEdit();
  } else if (event->matches(QKeySequence::Redo)) {
    RedoEdit();
  } else {
    QPlainTextEdit::keyPressEvent(event);
  }
}

void TJobMemo::contextMenuEvent(QContextMenuEvent* event) {
  const std::unique_ptr<QMenu> menu(createStandardContextMenu(event->pos()));
  for (QAction* action : menu->actions()) {
    const bool undo = action->objectName() == QLatin1String("edit-undo");
    if (!undo && action->objectName() != QLatin1String("edit-redo")) continue;
    action->disconnect();
    action->setEnabled(undo ? Buffer.CanUndo() : Buffer.CanRedo());
    connect(action, &QAction::triggered, this, undo ? &TJobMemo::UndoEdit : &TJobMemo::RedoEdit);
  }
  menu->exec(event->globalPos());
}
