#include "VirtualCutterCommand.h"

#include "cli/CommandArgs.h"
#include "cli/CutterEmulator.h"
#include "cli/StopSignals.h"
#include "platform/NumberText.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <ostream>
#include <poll.h>
#include <pthread.h>
#include <stdlib.h>
#include <string_view>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

using TClock = TCutterEmulator::TClock;

constexpr char kXon = 0x11, kXoff = 0x13;
// While no sender has the port open, how often to look whether one came.
constexpr auto kHangupRecheck = std::chrono::milliseconds(50);
// How long a hang-up must last with nothing left to read before the job ends: bytes the
// sender wrote just before it closed can reach the master after the hang-up does.
constexpr auto kHangupSettle = std::chrono::milliseconds(200);
// How often a busy line is read, and the closest two wake-ups for the cutter come.
constexpr auto kTick = std::chrono::milliseconds(1);

struct TCutterOptions {
  std::string Link = "/tmp/korvex-cutter";
  std::string Device;  // an existing terminal to serve instead of a pseudo-terminal of our own
  std::string Out;
  TCutterEmulator::TSettings Settings{.CutMmPerS = 400.0, .TravelMmPerS = 800.0};
};

bool ParseArguments(const std::vector<std::string>& Args, TCutterOptions& Options, std::string& Error) {
  for (std::size_t i = 0; i < Args.size(); ++i) {
    const std::string& arg = Args[i];
    if (arg != "--link" && arg != "--device" && arg != "--baud" && arg != "--flow" && arg != "--buffer" &&
        arg != "--out" && arg != "--speed" && arg != "--travel") {
      Error = "unexpected argument: " + arg;
      return false;
    }
    if (i + 1 == Args.size()) {
      Error = arg + " needs a value";
      return false;
    }
    const std::string& value = Args[++i];
    long number = 0;
    if (arg == "--link") {
      Options.Link = value;
    } else if (arg == "--device") {
      Options.Device = value;
    } else if (arg == "--out") {
      Options.Out = value;
    } else if (arg == "--baud") {
      if (!ParseWholeNumber(value, 50, 4'000'000, number)) {
        Error = "bad baud rate: " + value;
        return false;
      }
      Options.Settings.Baud = static_cast<std::uint32_t>(number);
    } else if (arg == "--buffer") {
      if (!ParseWholeNumber(value, 1, 1 << 24, number)) {
        Error = "bad buffer size: " + value;
        return false;
      }
      Options.Settings.BufferBytes = static_cast<std::size_t>(number);
    } else if (arg == "--speed" || arg == "--travel") {
      double& speed = arg == "--speed" ? Options.Settings.CutMmPerS : Options.Settings.TravelMmPerS;
      if (!ParseSpeed(value, arg == "--speed" ? 0 : 1, speed)) {
        Error = "bad speed: " + value + " (millimetres a second, up to 100000)";
        return false;
      }
    } else if (value == "none" || value == "xon/xoff") {
      Options.Settings.XonXoff = value == "xon/xoff";
    } else {
      Error = "bad flow control: " + value + (value == "cts/rts" ? " (a pseudo-terminal has no RTS/CTS lines)" : "");
      return false;
    }
  }
  if (Options.Link.empty()) Error = "--link needs a path";
  if (Options.Device.empty() && std::find(Args.begin(), Args.end(), "--device") != Args.end())
    Error = "--device needs a path";
  if (!Options.Device.empty() && std::find(Args.begin(), Args.end(), "--link") != Args.end())
    Error = "--device serves an existing terminal, which takes no --link";
  return Error.empty();
}

std::string Reason(int error) { return std::strerror(error); }

class TPseudoTerminal {
public:
  ~TPseudoTerminal() {
    if (Master >= 0) ::close(Master);
  }

  bool Open(std::string& Error) {
    Master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char name[128];
    if (Master < 0 || grantpt(Master) != 0 || unlockpt(Master) != 0 || ptsname_r(Master, name, sizeof name) != 0) {
      Error = "cannot open a pseudo-terminal: " + Reason(errno);
      return false;
    }
    SlavePath = name;
    // Raw from the start (set through the master, it applies to the slave), so that a
    // sender that changes no line settings gets neither echo nor rewritten line breaks.
    termios tio{};
    if (tcgetattr(Master, &tio) == 0) {
      cfmakeraw(&tio);
      tcsetattr(Master, TCSANOW, &tio);
    }
    return true;
  }

  int Master = -1;
  std::string SlavePath;
};

// What the symbolic link at Path holds; empty when there is none.
std::string ReadLink(const std::string& Path) {
  char target[4096];
  const ssize_t n = readlink(Path.c_str(), target, sizeof target);
  return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

// Whether Path names a pseudo-terminal's slave side, as a cutter's link does.
bool IsPtySlavePath(const std::string& Path) {
  constexpr std::string_view prefix = "/dev/pts/";
  return Path.size() > prefix.size() && Path.starts_with(prefix) &&
         Path.find_first_not_of("0123456789", prefix.size()) == std::string::npos;
}

// The link to the slave side. It takes the place of nothing but a cutter's link left
// behind by a cutter that was killed, whose pseudo-terminal is gone with it: a link that
// leads anywhere else belongs to someone. Removed at the end only while it is still ours.
class TLink {
public:
  ~TLink() {
    if (!Path.empty() && ReadLink(Path) == Target) unlink(Path.c_str());
  }

  bool Make(const std::string& LinkPath, const std::string& LinkTarget, std::string& Error) {
    struct stat st {};
    if (lstat(LinkPath.c_str(), &st) == 0) {
      if (!S_ISLNK(st.st_mode)) {
        Error = LinkPath + " exists and is not a link; choose another with --link";
        return false;
      }
      const std::string old = ReadLink(LinkPath);
      if (!IsPtySlavePath(old)) {
        Error = LinkPath + " is a link to " + old + ", not a virtual cutter's; choose another with --link";
        return false;
      }
      // A pseudo-terminal's slave exists while a process holds its master: a live cutter,
      // or a terminal that was given the number of a dead cutter's.
      if (stat(old.c_str(), &st) == 0 || errno != ENOENT) {
        Error = "another virtual cutter is on " + LinkPath + " (" + old + " is in use); choose another with --link";
        return false;
      }
      if (unlink(LinkPath.c_str()) != 0 && errno != ENOENT) {
        Error = "cannot remove the link " + LinkPath + " that a killed cutter left behind: " + Reason(errno);
        return false;
      }
    }
    // Fails rather than replaces when another cutter made the link in the meantime.
    if (symlink(LinkTarget.c_str(), LinkPath.c_str()) != 0) {
      Error = errno == EEXIST ? "another virtual cutter is on " + LinkPath + "; choose another with --link"
                              : "cannot make the link " + LinkPath + ": " + Reason(errno);
      return false;
    }
    Path = LinkPath;
    Target = LinkTarget;
    return true;
  }

private:
  std::string Path, Target;
};

class TOutFile {
public:
  ~TOutFile() {
    if (Fd >= 0) ::close(Fd);
  }
  bool Open(const std::string& Path, std::string& Error) {
    Fd = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (Fd < 0) Error = "cannot write " + Path + ": " + Reason(errno);
    return Fd >= 0;
  }
  // True when every byte was written (or there is no file).
  bool Write(const char* Data, std::size_t Count) {
    while (Fd >= 0 && Count > 0) {
      const ssize_t n = ::write(Fd, Data, Count);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      Data += n;
      Count -= static_cast<std::size_t>(n);
    }
    return true;
  }

private:
  int Fd = -1;
};

volatile std::sig_atomic_t stopRequested = 0;

void onStop(int) { stopRequested = 1; }

// The stop signals are blocked except while waiting, so a stop request cannot slip in
// between looking at the flag and going to sleep.
class TStopSignals {
public:
  TStopSignals() {
    stopRequested = 0;
    sigemptyset(&Stops);
    for (const int number : kStopSignals) sigaddset(&Stops, number);
    pthread_sigmask(SIG_BLOCK, &Stops, &Previous);
    WaitMask = Previous;
    for (const int number : kStopSignals) sigdelset(&WaitMask, number);
    Handler.emplace(onStop, 0);
  }
  ~TStopSignals() {
    Handler.reset();  // given back in the reverse order: the handlers, then the mask
    pthread_sigmask(SIG_SETMASK, &Previous, nullptr);
  }
  const sigset_t& WhileWaiting() const { return WaitMask; }

private:
  sigset_t Stops, Previous, WaitMask;
  std::optional<TStopSignalHandler> Handler;
};

timespec Until(TClock::time_point Wake, TClock::time_point Now) {
  const auto ns = std::chrono::nanoseconds(std::max(Wake - Now, TClock::duration::zero())).count();
  return {static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

// The cutter's end of the line: the master of its own pseudo-terminal, whose slave the
// sender opens, or an existing terminal whose far side is out of sight (the host end of a
// virtual machine's serial port).
struct TLineEnd {
  int Fd = -1;
  bool SenderVisible = true;

  // Whether the sender stops its output on XOFF. A visible sender does when its tty has
  // IXON (read through the master, whose terminal settings are the slave's). One out of
  // sight is taken to use the flow control the cutter was given: its settings are not
  // ours to read, and treating it as deaf would count as lost what it holds back.
  bool SenderHonoursXoff(const TCutterEmulator::TSettings& Settings) const {
    if (!SenderVisible) return Settings.XonXoff;
    termios tio{};
    return tcgetattr(Fd, &tio) == 0 && (tio.c_iflag & IXON) != 0;
  }
};

// Opens an existing terminal to serve, raw, so the line's bytes pass unchanged.
bool OpenDevice(const std::string& Path, int& Fd, std::string& Error) {
  Fd = ::open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (Fd < 0 || !isatty(Fd)) {
    Error = "cannot serve " + Path + ": " + Reason(Fd < 0 ? errno : ENOTTY);
    return false;
  }
  termios tio{};
  if (tcgetattr(Fd, &tio) == 0) {
    cfmakeraw(&tio);
    tcsetattr(Fd, TCSANOW, &tio);
  }
  return true;
}

// Serves the line until a stop signal. The line delivers what the sender wrote at the
// baud rate whether or not the buffer has room, as a real line does; only a sender that
// honours XOFF stops it. Tells the sender XON/XOFF as the cutter decides and answers its
// buffer queries, and ends a job once the sender has closed the port and every command
// was worked off. A sender that closes and opens again finds the cutter still there.
// Answers the exit status.
int ServeLine(const TLineEnd& End, TCutterEmulator& Cutter, TOutFile& Out, const TCutterEmulator::TSettings& Settings,
              const sigset_t& WaitMask, std::ostream& Err) {
  const int Master = End.Fd;
  bool idleHangup = false;  // no sender, and nothing left to read
  TClock::time_point idleSince{};
  bool senderHeld = false;  // what the sender was last told
  bool lineBusy = false;    // bytes are on their way: the line is read as they come in
  TClock::time_point lineStart{};
  std::uint64_t lineBytes = 0;  // taken off the line since lineStart
  std::string onLine;           // read from the pseudo-terminal while the line was stopped
  std::string kept;
  char buffer[65536];
  while (!stopRequested) {
    auto now = TClock::now();
    bool hangup = false;
    if (lineBusy) {
      // Every byte due by now, each at the time it came in, so that the buffer's fill,
      // the losses and the answers to queries fall where they would on a line. Bytes
      // the line held back when it stopped come first.
      const auto due = LineBytes(now - lineStart, Settings.Baud) - lineBytes;
      std::string batch = onLine.substr(0, std::min<std::uint64_t>(due, onLine.size()));
      onLine.erase(0, batch.size());
      const ssize_t n =
          batch.size() == due ? -2 : ::read(Master, buffer, std::min<std::uint64_t>(due - batch.size(), sizeof buffer));
      if (n > 0) {
        batch.append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || (n == -1 && errno == EIO)) {
        hangup = true;
      } else if (n == -1 && errno != EAGAIN && errno != EINTR) {
        Err << "korvex-cli virtual-cutter: " << Reason(errno) << "\n";
        return 1;
      }
      // A sender that honours XOFF stops at the byte that brings the XOFF, however late
      // this process got round to reading; the rest stays on the line.
      const bool honours = Settings.XonXoff && !senderHeld && End.SenderHonoursXoff(Settings);
      std::size_t k = 0;
      while (k < batch.size()) {
        Cutter.Receive({batch.data() + k++, 1}, lineStart + LineTime(++lineBytes, Settings.Baud), kept);
        if (honours && Cutter.HoldSender()) break;
      }
      if (!Out.Write(kept.data(), kept.size())) {
        Err << "korvex-cli virtual-cutter: cannot write the received bytes: " << Reason(errno) << "\n";
        return 1;
      }
      kept.clear();
      onLine.insert(0, batch, k);
      // Fewer than due: the sender's bytes ran out.
      lineBusy = k == batch.size() && batch.size() == due;
    }
    Cutter.Advance(now);
    // The line keeps its stopped state while no sender has it open, so an XON due
    // then still reaches the next one.
    if (Settings.XonXoff && Cutter.HoldSender() != senderHeld) {
      const char c = Cutter.HoldSender() ? kXoff : kXon;
      if (::write(Master, &c, 1) == 1) senderHeld = Cutter.HoldSender();
    }
    // A sender that does not read its answers loses them once the pseudo-terminal is full.
    if (const std::string replies = Cutter.TakeReplies(); !replies.empty())
      if (::write(Master, replies.data(), replies.size()) < 0) {
      }
    const bool lineStopped = senderHeld && End.SenderHonoursXoff(Settings);
    if (lineStopped) lineBusy = false;
    // Bytes held back on the line go on as soon as it carries again.
    if (!lineBusy && !lineStopped && !onLine.empty()) {
      lineBusy = true;
      lineStart = now;
      lineBytes = 0;
    }
    if (idleHangup && now - idleSince >= kHangupSettle && !Cutter.Working() && onLine.empty()) Cutter.EndJob();

    TClock::time_point wake = Cutter.NextWake();
    if (wake != TClock::time_point::max()) wake = std::max(wake, now + kTick);
    if (lineBusy) wake = std::min(wake, now + kTick);
    // A master without a sender reports a hang-up at once, so it is looked at again
    // after a pause rather than waited on.
    if (idleHangup) wake = std::min(wake, now + kHangupRecheck);
    const timespec timeout = Until(wake, now);
    pollfd line{idleHangup || lineBusy || lineStopped ? -1 : Master, POLLIN, 0};
    if (ppoll(&line, 1, wake == TClock::time_point::max() ? nullptr : &timeout, &WaitMask) < 0 && errno != EINTR) {
      Err << "korvex-cli virtual-cutter: " << Reason(errno) << "\n";
      return 1;
    }
    if (stopRequested) break;
    if (idleHangup) {
      line = {Master, POLLIN, 0};
      poll(&line, 1, 0);
    }
    const bool readable = (line.revents & POLLIN) != 0;
    hangup = hangup || (line.revents & POLLHUP) != 0;
    if (readable && !lineBusy && !lineStopped) {
      // The first byte is on its way now; it is in a byte's time later.
      lineBusy = true;
      lineStart = TClock::now();
      lineBytes = 0;
    }
    const bool wasIdle = idleHangup;
    idleHangup = hangup && !readable && !lineBusy;
    if (idleHangup && !wasIdle) idleSince = TClock::now();
  }
  return 0;
}

}  // namespace

const char kVirtualCutterHelp[] =
    "usage: korvex-cli virtual-cutter [--link PATH | --device PATH] [--baud N] [--flow none|xon/xoff]\n"
    "                                 [--buffer BYTES]\n"
    "                                 [--speed MM_PER_S] [--travel MM_PER_S] [--out FILE]\n"
    "Acts as a cutter on a pseudo-terminal until Ctrl-C, SIGTERM or SIGHUP. PATH links to its side\n"
    "of the pseudo-terminal and is printed as \"Port: PATH\", the port name to send to. The line delivers\n"
    "what the sender writes at the baud rate whether or not the buffer has room; the cutter works\n"
    "its buffer off as fast as it cuts, and a byte that finds the buffer full is lost. Each page end\n"
    "and each job end (the sender closing the port) prints what was cut, how busy the line was, the\n"
    "cut time and the bytes lost. The buffer query ESC . B is answered with the free bytes and a\n"
    "carriage return.\n"
    "\n"
    "Options:\n"
    "  --link PATH      where the link to the pseudo-terminal goes (default /tmp/korvex-cutter); a\n"
    "                   path that exists is left alone and refused, unless it is a link that a\n"
    "                   killed cutter left behind\n"
    "  --device PATH    serve an existing terminal instead, such as the host end of a virtual\n"
    "                   machine's serial port; its sender is out of sight, so with --flow xon/xoff it\n"
    "                   is taken to honour XOFF, and a job ends only at a page end or when the cutter\n"
    "                   stops\n"
    "  --baud N         line rate the bytes are taken at, 10 bits a byte, 50 to 4000000\n"
    "                   (default 38400)\n"
    "  --flow MODE      none, or xon/xoff: XOFF at three quarters full, XON at a quarter full\n"
    "                   (default none); a pseudo-terminal has no RTS/CTS lines\n"
    "  --buffer BYTES   the cutter's buffer, 1 to 16777216 bytes (default 4096)\n"
    "  --speed MM_PER_S cutting speed with the blade down, 0 to 100000 (default 400), which a VS in\n"
    "                   the job may lower; 0 works the buffer off at the line rate\n"
    "  --travel MM_PER_S  speed with the blade up, 1 to 100000 (default 800)\n"
    "  --out FILE       keep every job byte that reached the buffer in FILE, emptied once the cutter\n"
    "                   has started (default: none kept)\n"
    "  -h, --help       print this help and exit\n"
    "  --version        print the version and exit\n"
    "\n"
    "Exit status:\n"
    "  0    ended by Ctrl-C, SIGTERM or SIGHUP; the link was removed\n"
    "  1    the pseudo-terminal, the link or the output file failed, or the summaries could not be\n"
    "       written to standard output (the cutter went on cutting without them)\n"
    "  2    bad arguments\n";

int RunVirtualCutterCommand(const std::vector<std::string>& Args, std::istream&, std::ostream& Out, std::ostream& Err) {
  TCutterOptions options;
  std::string error;
  if (!ParseArguments(Args, options, error)) {
    Err << "korvex-cli virtual-cutter: " << error << "\n";
    WriteUsage(Err, kVirtualCutterHelp);
    return 2;
  }
  // Before the link exists, so that a stop request from then on still removes it.
  const TStopSignals stops;
  TPseudoTerminal pty;
  TLink link;
  TOutFile received;
  TLineEnd end;
  const bool device = !options.Device.empty();
  if (device) {
    pty.SlavePath = options.Device;
    end.SenderVisible = false;
    if (!OpenDevice(options.Device, pty.Master, error)) pty.Master = -1;
  }
  const std::string& portName = device ? options.Device : options.Link;
  // The file is emptied only once the cutter is sure to start.
  if ((device ? pty.Master < 0 : !pty.Open(error) || !link.Make(options.Link, pty.SlavePath, error)) ||
      (!options.Out.empty() && !received.Open(options.Out, error))) {
    Err << "korvex-cli virtual-cutter: " << error << "\n";
    return 1;
  }
  end.Fd = pty.Master;
  // A reader that went away (| head) loses the summaries, not the job: the cutter goes on.
  bool summariesLost = false;
  const auto print = [&Out, &Err, &summariesLost](const std::string& Text) {
    if (summariesLost) return;
    Out << Text << std::endl;
    if (Out) return;
    summariesLost = true;
    Err << "korvex-cli virtual-cutter: cannot write the summaries to standard output; the cutter goes on "
           "without them\n";
  };
  const TCutterEmulator::TSettings& settings = options.Settings;
  print("korvex-cli virtual-cutter: " + portName + (device ? "" : " -> " + pty.SlavePath) + ", " +
        std::to_string(settings.Baud) + " baud, flow " + (settings.XonXoff ? "xon/xoff" : "none") + ", buffer " +
        std::to_string(settings.BufferBytes) + " bytes, " +
        (settings.CutMmPerS > 0 ? "speed " + FixedPoint(settings.CutMmPerS, 0) + " mm/s, travel " +
                                      FixedPoint(settings.TravelMmPerS, 0) + " mm/s"
                                : std::string("worked off at the line rate")) +
        "; Ctrl-C ends\nPort: " + portName);
  TCutterEmulator cutter(settings, print);
  const int status = ServeLine(end, cutter, received, settings, stops.WhileWaiting(), Err);
  cutter.EndJob();
  return status == 0 && summariesLost ? 1 : status;
}
