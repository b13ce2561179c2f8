#include "HeadlessFonts.h"

#include <QGuiApplication>

THeadlessFonts::THeadlessFonts() {
  if (QCoreApplication::instance()) return;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The application keeps references to these for its whole life.
  static int argc = 1;
  static char name[] = "korvex";
  static char* argv[] = {name, nullptr};
  FApp = std::make_unique<QGuiApplication>(argc, argv);
}

THeadlessFonts::~THeadlessFonts() = default;
