// Widget tests need one application object for the whole run.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <clocale>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Settings, the windows' and those of the programs the tests start, go to a folder of
  // this run, never into the user's own configuration.
  const QTemporaryDir config;
  if (!config.isValid()) return 1;
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  QApplication app(argc, argv);  // applies the user's locale to the C library
  // A run meant for a decimal-comma locale that did not get one would prove nothing.
  if (std::getenv("KORVEX_COMMA_LOCALE") && std::localeconv()->decimal_point[0] != ',') {
    std::fprintf(stderr, "the decimal-comma locale is missing (run scripts/install-deps)\n");
    return 1;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
