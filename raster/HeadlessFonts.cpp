#include "HeadlessFonts.h"

#include <QDir>
#include <QGuiApplication>

#include <optional>
#include <stdlib.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// While the application starts, Qt looks into the user's runtime folder; where none is
// set (su, cron, containers) it makes /tmp/runtime-USER and warns about it. The session's
// folder is lent to it when there is one, else an empty private folder, removed at once.
class TRuntimeFolder {
public:
  TRuntimeFolder() {
    if (qEnvironmentVariable("XDG_RUNTIME_DIR").startsWith(u'/')) return;
    if (qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")) FPrevious = qgetenv("XDG_RUNTIME_DIR");
    const std::string session = "/run/user/" + std::to_string(geteuid());
    struct stat st {};
    if (stat(session.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
        (st.st_mode & 07777) == 0700) {
      FLent = session;
    } else {
      std::string folder = QDir::tempPath().toStdString() + "/korvex-XXXXXX";
      if (!mkdtemp(folder.data())) return;
      FLent = FMade = folder;
    }
    qputenv("XDG_RUNTIME_DIR", FLent.c_str());
  }
  ~TRuntimeFolder() {
    if (FLent.empty()) return;
    if (FPrevious) qputenv("XDG_RUNTIME_DIR", *FPrevious);
    else qunsetenv("XDG_RUNTIME_DIR");
    if (!FMade.empty()) rmdir(FMade.c_str());
  }
  TRuntimeFolder(const TRuntimeFolder&) = delete;
  TRuntimeFolder& operator=(const TRuntimeFolder&) = delete;

private:
  std::optional<QByteArray> FPrevious;
  std::string FLent, FMade;
};

}  // namespace

THeadlessFonts::THeadlessFonts() {
  if (QCoreApplication::instance()) return;
  // The offscreen platform whatever the environment names: nothing is shown, and a
  // display the environment names may not be there (ssh, su, cron).
  // The application keeps references to these for its whole life; it takes the platform
  // arguments out of them, so they are filled again each time.
  static int argc;
  static char name[] = "korvex", platform[] = "-platform", offscreen[] = "offscreen";
  static char* argv[4];
  argc = 3;
  argv[0] = name;
  argv[1] = platform;
  argv[2] = offscreen;
  argv[3] = nullptr;
  const TRuntimeFolder runtime;
  FApp = std::make_unique<QGuiApplication>(argc, argv);
}

THeadlessFonts::~THeadlessFonts() = default;
