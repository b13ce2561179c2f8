#include "TransMessageBox.h"

#include "TransUtils.h"
#include "TransWordList.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>

#include <utility>
#include <vector>

namespace {

struct ButtonKind {
  TMsgButtons bit;
  QMessageBox::StandardButton standard;  // NoButton: Qt has none, a pushbutton is added
  int id;
  const char* caption;  // the word list's key for the button's text
};

constexpr ButtonKind kButtonKinds[] = {
    {mbYes, QMessageBox::Yes, idYes, "Yes"},
    {mbNo, QMessageBox::No, idNo, "No"},
    {mbOK, QMessageBox::Ok, idOK, "OK"},
    {mbCancel, QMessageBox::Cancel, idCancel, "Cancel"},
    {mbAbort, QMessageBox::Abort, idAbort, "Abort"},
    {mbRetry, QMessageBox::Retry, idRetry, "Retry"},
    {mbIgnore, QMessageBox::Ignore, idIgnore, "Ignore"},
    {mbAll, QMessageBox::NoButton, idAll, "All"},
    {mbNoToAll, QMessageBox::NoToAll, idNoToAll, "No to All"},
    {mbYesToAll, QMessageBox::YesToAll, idYesToAll, "Yes to All"},
    {mbHelp, QMessageBox::Help, idHelp, "Help"},
};

TMsgBoxHandler& currentHandler() {
  static TMsgBoxHandler handler = ShowMessageBox;
  return handler;
}

// The sets that have a box style of their own; any other set gets the standard dialog.
bool hasFixedStyle(TMsgButtons buttons) {
  return buttons == (mbYes | mbNo) || buttons == (mbYes | mbNo | mbCancel) || buttons == (mbOK | mbCancel) ||
         buttons == (mbCancel | mbRetry) || buttons == mbOK;
}

QString translated(const char* marker) { return QString::fromStdU16String(TranslateMarker(marker)); }

QWidget* ownerWindow() {
  if (QWidget* active = QApplication::activeWindow()) return active;
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (qobject_cast<QMainWindow*>(widget)) return widget;
  return nullptr;
}

}  // namespace

TMsgBoxHandler SetMessageBoxHandler(TMsgBoxHandler handler) {
  return std::exchange(currentHandler(), handler ? std::move(handler) : TMsgBoxHandler(ShowMessageBox));
}

int ShowMessageBox(const TMsgBoxRequest& request) {
  // Without a widget application (the command line) there is nothing to show a box on.
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return 0;

  // On the heap and guarded: the owner may be destroyed while the box runs its loop,
  // taking the box with it.
  QPointer<QMessageBox> box = new QMessageBox(request.Icon, request.Caption, request.Text,
                                              QMessageBox::NoButton, request.Owner);
  std::vector<std::pair<QAbstractButton*, int>> shown;
  for (const ButtonKind& kind : kButtonKinds) {
    if (!(request.Buttons & kind.bit)) continue;
    QAbstractButton* button = kind.standard != QMessageBox::NoButton
                                  ? static_cast<QAbstractButton*>(box->addButton(kind.standard))
                                  : box->addButton(translated(kind.caption), QMessageBox::AcceptRole);
    // Qt's own texts follow Qt's translations, not the language file; a word it has
    // for the button takes their place (the English ones keep Qt's keyboard mnemonics).
    const TTransWordList* words = CurrentWordList();
    if (words && words->FindWord(kind.caption)) button->setText(translated(kind.caption));
    shown.emplace_back(button, kind.id);
  }
  box->exec();
  if (!box) return 0;
  int result = 0;
  for (const auto& [button, id] : shown)
    if (box->clickedButton() == button) result = id;
  // A set without any button shows Qt's own OK.
  if (shown.empty() && box->clickedButton()) result = idOK;
  delete box;
  return result;
}

int TransMessageBoxW(const std::u16string& text, TMsgKind kind, TMsgButtons buttons, int helpContext) {
  TMsgBoxRequest request;
  request.Owner = ownerWindow();
  request.Text = QString::fromStdU16String(text);
  request.Buttons = buttons;
  request.HelpContext = helpContext;
  bool fixedKind = true;
  switch (kind) {
    case mtWarning:
      request.Caption = translated("(__Warning__)");
      request.Icon = QMessageBox::Warning;
      break;
    case mtError:
      request.Caption = translated("(__Error__)");
      request.Icon = QMessageBox::Critical;
      break;
    case mtInformation:
      request.Caption = translated("(__Information__)");
      request.Icon = QMessageBox::Information;
      break;
    case mtConfirmation:
      request.Caption = translated("(__Confirm__)");
      request.Icon = QMessageBox::Question;
      break;
    default:
      request.Caption = QGuiApplication::applicationDisplayName();
      request.Icon = QMessageBox::NoIcon;
      fixedKind = false;
      break;
  }
  request.StandardDialog = !fixedKind || !hasFixedStyle(buttons);
  // A copy, so that a handler may replace itself while it answers.
  const TMsgBoxHandler handler = currentHandler();
  return handler(request);
}

int TransMessageBox(const std::string& text, TMsgKind kind, TMsgButtons buttons, int helpContext) {
  return TransMessageBoxW(TranslateMarker(text), kind, buttons, helpContext);
}
