#include "KorvexDlg.h"

#include <QApplication>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  TKorvexFrm window;
  window.show();
  return app.exec();
}
