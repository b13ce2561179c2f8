#pragma once
// Message boxes with a caption chosen by the kind of message and translated like every
// marker text. Every box goes through one replaceable handler, so tests answer boxes
// without a modal loop.

#include <QMessageBox>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>

enum TMsgKind : std::uint8_t { mtWarning = 0, mtError = 1, mtInformation = 2, mtConfirmation = 3, mtCustom = 4 };

// A set of buttons, one bit each.
using TMsgButtons = std::uint16_t;
inline constexpr TMsgButtons mbYes = 1 << 0;
inline constexpr TMsgButtons mbNo = 1 << 1;
inline constexpr TMsgButtons mbOK = 1 << 2;
inline constexpr TMsgButtons mbCancel = 1 << 3;
inline constexpr TMsgButtons mbAbort = 1 << 4;
inline constexpr TMsgButtons mbRetry = 1 << 5;
inline constexpr TMsgButtons mbIgnore = 1 << 6;
inline constexpr TMsgButtons mbAll = 1 << 7;
inline constexpr TMsgButtons mbNoToAll = 1 << 8;
inline constexpr TMsgButtons mbYesToAll = 1 << 9;
inline constexpr TMsgButtons mbHelp = 1 << 10;

// The code of the pressed button; 0 when the box could not be shown.
inline constexpr int idOK = 1;
inline constexpr int idCancel = 2;
inline constexpr int idAbort = 3;
inline constexpr int idRetry = 4;
inline constexpr int idIgnore = 5;
inline constexpr int idYes = 6;
inline constexpr int idNo = 7;
inline constexpr int idHelp = 9;
inline constexpr int idAll = 12;
inline constexpr int idNoToAll = 13;
inline constexpr int idYesToAll = 14;

// One box as it is to be shown, caption and icon already resolved.
struct TMsgBoxRequest {
  QWidget* Owner = nullptr;  // the active window, else the main window, else none
  QString Caption;
  QString Text;
  QMessageBox::Icon Icon = QMessageBox::NoIcon;
  TMsgButtons Buttons = 0;
  // True when the set or the kind has no fixed box style (Yes/No, Yes/No/Cancel,
  // OK/Cancel, Retry/Cancel, OK with warning, error, information or confirmation).
  bool StandardDialog = false;
  int HelpContext = 0;
};

using TMsgBoxHandler = std::function<int(const TMsgBoxRequest&)>;

// Installs the handler every box goes through and returns the one it replaces; an
// empty handler restores ShowMessageBox.
TMsgBoxHandler SetMessageBoxHandler(TMsgBoxHandler handler);

// The default handler: a modal QMessageBox with one button per bit of the set.
int ShowMessageBox(const TMsgBoxRequest& request);

int TransMessageBoxW(const std::u16string& text, TMsgKind kind, TMsgButtons buttons, int helpContext);
// Translates the marker text first.
int TransMessageBox(const std::string& text, TMsgKind kind, TMsgButtons buttons, int helpContext);
