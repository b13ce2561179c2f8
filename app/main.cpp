#include "KorvexDlg.h"
#include "transmission/DirectPortDriver.h"
#include "translation/TransManClass.h"

#include <QApplication>
#include <QScreen>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const TReleasePtr<TTransMan> transMan = CreateTransMan();  // process-wide until the program ends
  TKorvexFrm window;
  window.adjustSize();
  if (const QScreen* screen = window.screen())
    window.move(screen->availableGeometry().center() - window.rect().center());
  window.show();
  const int result = app.exec();
  // The last job's tail drains (bounded by its write timeout) before the port closes,
  // and the port's event thread ends before the application goes away.
  DCE_ClosePort();
  return result;
}
