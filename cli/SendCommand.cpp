#include "SendCommand.h"

#include "cli/CommandArgs.h"
#include "cli/StopSignals.h"
#include "platform/JobFile.h"
#include "platform/UsbPrinters.h"
#include "ports/PortExState.h"
#include "transmission/ActivityLog.h"
#include "transmission/DirectPortDriver.h"
#include "transmission/DirectSend.h"
#include "transmission/PrintQueueSend.h"
#include "transmission/SendPacer.h"
#include "transmission/UsbPrinterSend.h"
#include "translation/TransUtils.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <optional>
#include <ostream>
#include <unistd.h>

namespace {

// The number of the signal that asked the send to stop; 0 while none did.
volatile std::sig_atomic_t interrupted = 0;

void onInterrupt(int number) { interrupted = number; }

struct SendOptions {
  std::string file, port, queue;
  bool lineSettings = false;  // an option that only a serial port takes was given
  std::int32_t baud = 38400;
  TFlowMode flow = fmCtsRts;
  int txBuffer = 0;
  TPacing pacing;
};

bool parseArguments(const std::vector<std::string>& args, SendOptions& options, std::string& error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    long number = 0;
    if (arg == "--port" || arg == "--queue" || arg == "--baud" || arg == "--flow" || arg == "--tx-buffer" || arg == "--pace" ||
        arg == "--cutter-buffer" || arg == "--speed" || arg == "--travel") {
      if (!hasValue) {
        error = arg + " needs a value";
        return false;
      }
      const std::string& value = args[++i];
      options.lineSettings |= arg != "--port" && arg != "--queue";
      if (arg == "--port") {
        options.port = value;
      } else if (arg == "--queue") {
        options.queue = value;
      } else if (arg == "--baud") {
        // The port would silently run at 9600 with any other rate.
        if (!ParseWholeNumber(value, 1, 0x7FFFFFFF, number) || !IsDirectBaudRate(static_cast<std::int32_t>(number))) {
          error = "unsupported baud rate: " + value + " (2400 4800 9600 14400 19200 38400 56000 57600 115200)";
          return false;
        }
        options.baud = static_cast<std::int32_t>(number);
      } else if (arg == "--flow") {
        if (value == "cts/rts") options.flow = fmCtsRts;
        else if (value == "xon/xoff") options.flow = fmXonXoff;
        else if (value == "none") options.flow = fmNone;
        else {
          error = "bad flow control: " + value;
          return false;
        }
      } else if (arg == "--pace") {
        if (value == "none")
          options.pacing.Mode = TPaceMode::None;
        else if (value == "query")
          options.pacing.Mode = TPaceMode::Query;
        else if (value == "time")
          options.pacing.Mode = TPaceMode::Time;
        else {
          error = "bad pacing: " + value + " (none, query or time)";
          return false;
        }
      } else if (arg == "--cutter-buffer") {
        if (!ParseWholeNumber(value, 1, 1 << 24, number)) {
          error = "bad cutter buffer size: " + value;
          return false;
        }
        options.pacing.CutterBufferBytes = static_cast<std::size_t>(number);
      } else if (arg == "--speed" || arg == "--travel") {
        double& speed = arg == "--speed" ? options.pacing.Speeds.CutMmPerS : options.pacing.Speeds.TravelMmPerS;
        if (!ParseSpeed(value, 1, speed)) {
          error = "bad speed: " + value + " (millimetres a second, 1 to 100000)";
          return false;
        }
      } else {
        if (!ParseWholeNumber(value, 0, 1 << 20, number)) {
          error = "bad Tx buffer size: " + value;
          return false;
        }
        options.txBuffer = static_cast<int>(number);
      }
    } else if (arg.rfind("--", 0) == 0 || !options.file.empty()) {
      error = "unexpected argument: " + arg;
      return false;
    } else {
      options.file = arg;
    }
  }
  if (options.file.empty()) error = "no file given";
  else if (options.port.empty() && options.queue.empty()) error = "no port given (--port or --queue)";
  else if (!options.queue.empty() && (!options.port.empty() || options.lineSettings))
    error = "--queue takes no --port, --baud, --flow, --tx-buffer or pacing: the queue's device has its own settings";
  else if (options.pacing.Mode == TPaceMode::Time &&
           (options.pacing.CutterBufferBytes == 0 || options.pacing.Speeds.CutMmPerS == 0.0))
    error = "--pace time needs --cutter-buffer and --speed";
  options.pacing.Speeds.Baud = static_cast<std::uint32_t>(options.baud);
  return error.empty();
}

// Progress on one terminal line, only when stderr is a terminal, at most ten times a
// second and always at the end.
class TerminalView : public ISendView {
public:
  TerminalView(std::ostream& err, TSendSession*& session) : Err(err), Session(session), Tty(isatty(STDERR_FILENO)) {}
  ~TerminalView() override {
    if (Drawn) Err << std::endl;
  }

  void ShowStatus(const std::u16string&) override {}
  // The session shows the position first and then its text, so the line is drawn here.
  void ShowProgress(std::size_t position, std::size_t maximum) override {
    Position = position;
    Maximum = maximum;
  }
  void ShowProgressText(const std::string& text) override {
    if (!Tty || Maximum == 0 || Position == 0) return;
    const auto now = std::chrono::steady_clock::now();
    if (Position < Maximum && Drawn && now - LastDrawn < std::chrono::milliseconds(100)) return;
    LastDrawn = now;
    const std::size_t width = 30;
    const std::size_t filled = Position * width / Maximum;
    Err << "\r[" << std::string(filled, '#') << std::string(width - filled, ' ') << "] "
        << Position * 100 / Maximum << "%  " << text << " " << std::flush;
    Drawn = true;
  }
  void ShowWaiting(bool waiting) override {
    if (Tty && waiting) Err << "\rWaiting to send..." << std::flush;
  }
  void Pump() override {
    if (interrupted && Session) Session->RequestAbort();
  }

private:
  std::ostream& Err;
  TSendSession*& Session;
  bool Tty;
  bool Drawn = false;
  std::size_t Position = 0, Maximum = 0;
  std::chrono::steady_clock::time_point LastDrawn;
};

// What every route of a send starts with: the stop signals that cancel it (a second one
// ends the program whatever it is doing) and the stamped activity log on standard error.
class TSendRun {
public:
  explicit TSendRun(std::ostream& err) : Err(err) {
    interrupted = 0;
    Stops.emplace(onInterrupt, SA_RESETHAND);
    Stamps.RestartLogClock();
  }
  void Log(const std::string& line) { Err << Stamps.FormatLine(line, true) << std::endl; }
  // Gives the signals back: the exit status of a cancelled send, else `status`.
  int End(int status) {
    Stops.reset();
    return interrupted ? 128 + interrupted : status;
  }

private:
  std::ostream& Err;
  std::optional<TStopSignalHandler> Stops;
  TActivityLog Stamps;
};

// The job to a print queue: the server's job is cancelled on a stop signal.
int sendToQueue(const std::string& job, const SendOptions& options, std::ostream& err) {
  TSendRun run(err);
  const auto logLine = [&run](const std::string& line) { run.Log(line); };
  logLine("Queue\t" + options.queue + "\t" + std::to_string(job.size()) + " bytes");
  TQueueSendResult result;
  {
    TSendSession* noSession = nullptr;
    TerminalView view(err, noSession);
    const std::size_t slash = options.file.find_last_of('/');
    TPrintQueueSend send(options.queue, job, slash == std::string::npos ? options.file : options.file.substr(slash + 1));
    result = RunQueueSend(send, view, [] { return interrupted != 0; }, logLine);
  }
  const int status = run.End(result.End == TQueueSendEnd::Completed ? 0 : 1);
  if (status == 1) err << "korvex-cli send: " << QueueSendFailureText(options.queue, result) << std::endl;
  return status;
}

}  // namespace

const char kSendHelp[] =
    "usage: korvex-cli send FILE --port NAME [--baud N] [--flow cts/rts|xon/xoff|none] [--tx-buffer N]\n"
    "                       [--pace none|query|time [--cutter-buffer BYTES --speed MM_PER_S [--travel MM_PER_S]]]\n"
    "       korvex-cli send FILE --queue NAME\n"
    "Sends the bytes of FILE unchanged to the cutter on port NAME and waits until the port has sent\n"
    "them, or as one raw job to the CUPS print queue NAME and waits until the job has completed.\n"
    "The activity log, and on a terminal a progress bar, go to standard error.\n"
    "\n"
    "Options:\n"
    "  --port NAME      the serial port: a device name below /dev (ttyUSB0, ttyACM0, rfcomm0, ttyS0)\n"
    "                   or a full path; or a USB printer: its node (/dev/usb/lp0), usb:lp0, or its\n"
    "                   product as korvex-cli ports lists it. A USB printer holds the job back by\n"
    "                   itself and takes no --baud, --flow, --tx-buffer or pacing\n"
    "  --queue NAME     the CUPS print queue whose device is the cutter (korvex-cli ports lists them);\n"
    "                   the job goes raw, past any driver the queue has. Takes no other option\n"
    "  --baud N         2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600 or 115200 (default 38400)\n"
    "  --flow MODE      flow control: cts/rts, xon/xoff or none (default cts/rts)\n"
    "  --tx-buffer N    0 sends pieces cut at command boundaries and pads a job under 100 bytes with\n"
    "                   spaces to 100; 2 or more sends fixed blocks of N bytes; 1 blocks of 2048\n"
    "                   (default 0)\n"
    "  --pace MODE      for a line whose handshake cannot be trusted: none (default), query (ask the\n"
    "                   cutter for its free buffer space with ESC . B and write no more than its last\n"
    "                   answer less what went since; a cutter that does not answer twice in a row, or\n"
    "                   answers what is no buffer size, fails the send), or time (estimate what the\n"
    "                   cutter still holds from the job's moves and the line rate, and write only\n"
    "                   while it is below its buffer; a job that fills the buffer with commands the\n"
    "                   estimate cannot time fails the send)\n"
    "  --cutter-buffer BYTES  with --pace time: the cutter's buffer, 1 to 16777216 bytes\n"
    "  --speed MM_PER_S with --pace time: the cutter's speed with the blade down, 1 to 100000\n"
    "  --travel MM_PER_S  with --pace time: its speed with the blade up (default 800)\n"
    "  -h, --help       print this help and exit\n"
    "  --version        print the version and exit\n"
    "\n"
    "Once every byte is written, the send waits for the port to send what it still holds. With flow\n"
    "control on, a queue that does not shrink is the cutter holding the line, and the send waits\n"
    "until it takes the rest or the send is cancelled. With none, it gives up when the queue has not\n"
    "shrunk for 3 s, or after twice what the queued bytes need at the baud rate plus half a second.\n"
    "\n"
    "A queue's job counts as sent only when the print server says it completed; a stopped or\n"
    "rejecting queue is refused, and a job the server holds, aborts or stops is cancelled there and\n"
    "told with the server's reason. A server that does not answer for 4 s ends the send.\n"
    "\n"
    "Exit status:\n"
    "  0    every byte was written and the port has sent them, or the queue's job completed\n"
    "  1    the port could not be opened or the send did not finish; the queue refused or failed\n"
    "       the job or its server could not be reached\n"
    "  2    bad arguments, or the file is unreadable or empty\n"
    "  130  cancelled with Ctrl-C, 143 with SIGTERM, 129 with SIGHUP (128 plus the signal's\n"
    "       number); what the port still held was thrown away, a queue's job is cancelled\n";

// The Direct USB path: the printer driver holds the writes back, so no line settings apply.
int sendToUsbPrinter(const std::string& job, const SendOptions& options, std::ostream& err) {
  TSendRun run(err);
  bool opened = true;
  TUsbSendHooks hooks;
  hooks.Log = [&run](const std::string& line) { run.Log(line); };
  hooks.OpenFailed = [&](const std::string& message, const std::string& hint) {
    opened = false;
    err << message << std::endl;
    if (!hint.empty()) err << hint << std::endl;
  };
  hooks.Transfer = [&err](const TSendLine& line, const std::string& text) {
    TSendSession* noSession = nullptr;
    TerminalView view(err, noSession);
    return TransferToUsbPrinter(view, line, text, [] { return interrupted != 0; });
  };
  hooks.SendFailed = [&err](const std::u16string& message) {
    err << "korvex-cli send: " << WideToUtf8(message) << std::endl;
  };
  const bool sent = RunUsbPrinterSend(job, options.port, hooks);
  return run.End(sent && opened ? 0 : 1);
}

int RunSendCommand(const std::vector<std::string>& args, std::istream&, std::ostream&, std::ostream& err) {
  SendOptions options;
  std::string error;
  if (!parseArguments(args, options, error)) {
    err << "korvex-cli send: " << error << "\n";
    WriteUsage(err, kSendHelp);
    return 2;
  }
  std::string job, reason;
  if (!LoadJobFile(options.file, job, reason)) {
    err << "korvex-cli send: cannot read \"" << options.file << "\": " << reason << "\n";
    return 2;
  }
  if (job.empty()) {
    err << "korvex-cli send: \"" << options.file << "\" is empty: nothing to send\n";
    return 2;
  }
  if (!options.queue.empty()) return sendToQueue(job, options, err);
  std::vector<TUsbPrinter> printers;
  ScanUsbPrinters(printers);
  if (NamesUsbPrinter(options.port) || FindUsbPrinter(printers, options.port)) {
    if (options.lineSettings) {
      err << "korvex-cli send: " << options.port
          << " is a USB printer: --baud, --flow, --tx-buffer and pacing do not apply to it\n";
      WriteUsage(err, kSendHelp);
      return 2;
    }
    return sendToUsbPrinter(job, options, err);
  }

  TPortExState state;
  state.SetPortName(options.port);
  state.SetBaudRate(options.baud);
  state.SetFlowMode(options.flow);

  // Every stop signal cancels, throws away what the port holds and logs the result.
  TSendRun run(err);
  bool opened = true;
  TDirectSendHooks hooks;
  hooks.Log = [&run](const std::string& line) { run.Log(line); };
  hooks.OpenFailed = [&](const std::string& message, const std::string& why, const std::string& hint) {
    opened = false;
    err << message << " " << why << std::endl;
    if (!hint.empty()) err << hint << std::endl;
  };
  hooks.Transfer = [&err, &hooks, &options](const std::string& text, bool useTxBuffer) {
    TSendSession* current = nullptr;
    TerminalView view(err, current);
    TSendSession session(view, DirectPortWriter(), DirectComPort()->Port());
    current = &session;
    session.UseTailWait(DirectPortTailWait());
    if (const std::string caution = UnguardedSendWarning(options.flow, options.pacing.Mode); !caution.empty())
      hooks.Log("Warning\t" + caution);
    const std::unique_ptr<ISendPacer> pacer = MakeSendPacer(options.pacing, DirectPacerPort(), hooks.Log);
    session.UsePacer(pacer.get());
    session.Run(text, useTxBuffer);
    return session.Outcome();
  };
  hooks.SendFailed = [&err](const std::u16string& message) {
    err << "korvex-cli send: " << WideToUtf8(message) << std::endl;
  };
  hooks.KeepWaiting = [] { return !interrupted; };
  // The send has waited for the port to send the job's tail; what a cancelled or failed
  // one left was thrown away.
  const bool sent = RunDirectSend(job, state.BuildDescriptor(), options.txBuffer, hooks);
  const TDrainResult drained = DCE_ClosePort(hooks.KeepWaiting);
  return run.End(opened && sent && drained == TDrainResult::Drained ? 0 : 1);
}
