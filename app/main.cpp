#include "KorvexDlg.h"
#include "transmission/DirectPortDriver.h"

#include <QApplication>
#include <QScreen>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // Lets the desktop match the window to its entry and icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("korvex"));
  TKorvexFrm window;
  window.adjustSize();
  if (const QScreen* screen = window.screen())
    window.move(screen->availableGeometry().center() - window.rect().center());
  window.show();
  // After show, so that an error box about the job opens over the window.
  window.OpenStartJob(argc, argv);
  const int result = app.exec();
  // The last job's tail drains (bounded by its write timeout) before the port closes,
  // and the port's event thread ends before the application goes away.
  DCE_ClosePort();
  return result;
}
