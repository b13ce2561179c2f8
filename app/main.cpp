#include "KorvexDlg.h"
#include "StartArguments.h"
#include "transmission/ComSendDlg.h"
#include "transmission/DirectPortDriver.h"
#include "translation/TransManClass.h"

#include <QApplication>
#include <QScreen>
#include <QSocketNotifier>

#include <csignal>
#include <iostream>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int number) {
  const char byte = static_cast<char>(number);
  if (::write(signalPipe[1], &byte, 1) < 0) {}  // the pipe holds one byte per signal; more change nothing
}

// Ctrl-C, SIGTERM and SIGHUP close the windows the ordinary way: a running send is cancelled and
// its port purged, rather than the process dying with the port's queue still cutting.
void closeWindowsOnSignals(QApplication& app, int& caught) {
  if (::pipe(signalPipe) != 0) return;
  auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
  QObject::connect(notifier, &QSocketNotifier::activated, &app, [&caught] {
    char byte = 0;
    if (::read(signalPipe[0], &byte, 1) == 1) caught = byte;
    const TCancelSendsWithoutAsking nobodyToAsk;
    QApplication::closeAllWindows();
  });
  struct sigaction action {};
  action.sa_handler = onSignal;
  action.sa_flags = SA_RESETHAND;  // a second signal ends the program at once
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  const TStartArguments start = ReadStartArguments(argc, argv);
  switch (start.Action) {
    case TStartArguments::TAction::Help:
      std::cout << kWindowHelp << std::flush;
      return std::cout ? 0 : 1;
    case TStartArguments::TAction::Version:
      std::cout << "korvex " KORVEX_VERSION << std::endl;
      return std::cout ? 0 : 1;
    case TStartArguments::TAction::Refuse: {
      const std::string_view help = kWindowHelp;
      std::cerr << "korvex: " << start.Error << "\n"
                << help.substr(0, help.find('\n')) << "\n(--help lists the options)\n";
      return 2;
    }
    case TStartArguments::TAction::Open:
      break;
  }
  QApplication app(argc, argv);
  int caught = 0;
  closeWindowsOnSignals(app, caught);
  const TReleasePtr<TTransMan> transMan = CreateTransMan();  // process-wide until the program ends
  // Lets the desktop match the window to its entry and icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("io.github.korvex.Korvex"));
  TKorvexFrm window(nullptr, start.NoSettings ? TWindowSettings() : TWindowSettings(TWindowSettings::UserFile()));
  window.adjustSize();
  // Where the last run left it, else in the middle of the screen.
  if (const QScreen* screen = window.screen(); !window.RestoreGeometry() && screen)
    window.move(screen->availableGeometry().center() - window.rect().center());
  window.show();
  // After show, so that an error box about the job opens over the window.
  window.OpenStartJob(start.JobFile);
  // A signal that came before the event loop (while an error box ran a loop of its own)
  // would be lost on one where closing the last window ends nothing.
  const int result = caught ? 0 : app.exec();
  // The last job's tail drains (bounded by what the line rate needs) before the port
  // closes, and the port's event thread ends before the application goes away.
  DCE_ClosePort([] {
    QCoreApplication::processEvents();
    return true;
  });
  return caught ? 128 + caught : result;
}
