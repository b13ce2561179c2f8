#include "comm.h"
#include "SerialDevices.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <linux/serial.h>
#include <mutex>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <utility>
#include <vector>

namespace comm_detail {

// comm_termios2.cpp; both return 0 or an errno value. The code is the rate's B constant,
// or B0 for a rate that has none.
int SetLineSpeed(int fd, std::uint32_t baud, unsigned code);
int GetLineSpeed(int fd, std::uint32_t& baud);

using Clock = std::chrono::steady_clock;

struct Object {
  virtual ~Object() = default;
};

struct Event final : Object {
  Event(bool manual, bool initial) : manualReset(manual), signalled(initial) {}
  const bool manualReset;
  bool signalled;  // guarded by the event board
};

// One lock and one condition for all events, so that a wait can watch several at once.
struct EventBoard {
  std::mutex mutex;
  std::condition_variable changed;
};

EventBoard& board() {
  static auto* events = new EventBoard;  // never destroyed: I/O threads may still signal at exit
  return *events;
}

void signal(Event& event) {
  {
    std::lock_guard lock(board().mutex);
    event.signalled = true;
  }
  board().changed.notify_all();
}

void reset(Event& event) {
  std::lock_guard lock(board().mutex);
  event.signalled = false;
}

}  // namespace comm_detail

struct CommRequest {
  std::shared_ptr<comm_detail::Event> event;

  // The outcome, guarded by mutex.
  std::mutex mutex;
  std::condition_variable completed;
  bool done = false;
  int error = 0;
  std::uint32_t transferred = 0;
  std::uint32_t events = 0;

  // A pending write, guarded by its port's mutex: what is left, how much of that went out,
  // and how much went out at once before the write went pending.
  std::vector<std::uint8_t> rest;
  std::uint32_t sent = 0;
  std::uint32_t before = 0;
  std::uint64_t timeoutMs = 0;  // 0: no limit
  bool started = false;
  comm_detail::Clock::time_point deadline;

  void complete(int failure, std::uint32_t count, std::uint32_t eventMask) {
    {
      std::lock_guard lock(mutex);
      done = true;
      error = failure;
      transferred = count;
      events = eventMask;
    }
    completed.notify_all();
    if (event) comm_detail::signal(*event);
  }
};

namespace comm_detail {
namespace {

thread_local int lastError = 0;

bool fail(int error) {
  lastError = error;
  return false;
}

HANDLE failOpen(int error) {
  lastError = error;
  return INVALID_HANDLE_VALUE;
}

constexpr int kScanIntervalMs = 10;  // how often lines, counters and unread input are looked at
constexpr std::uint64_t kLongestTimeoutMs = std::uint64_t{1} << 40;  // about 35 years
constexpr std::uint32_t kLineEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
constexpr std::uint32_t kCounterEvents = EV_ERR | EV_BREAK;

std::uint64_t writeTimeoutMs(const COMMTIMEOUTS& timeouts, std::uint32_t count) {
  const std::uint64_t ms = std::uint64_t{timeouts.WriteTotalTimeoutMultiplier} * count +
                           timeouts.WriteTotalTimeoutConstant;
  return std::min(ms, kLongestTimeoutMs);
}

int msUntil(Clock::time_point deadline, Clock::time_point now) {
  if (deadline <= now) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
  return static_cast<int>(std::min<std::int64_t>(ms, 1 << 30));
}

int shorter(int timeout, int other) { return timeout < 0 ? other : std::min(timeout, other); }

// Writes what fits now, advancing done; 0 or the errno of a failing write.
int writeNow(int fd, const std::uint8_t* data, std::uint32_t count, std::uint32_t& done) {
  while (done < count) {
    const ssize_t n = ::write(fd, data + done, count - done);
    if (n > 0) {
      done += static_cast<std::uint32_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno != EAGAIN) {
      return errno;
    } else {
      return 0;
    }
  }
  return 0;
}

// The errno that tells why a device reports a hang-up or an error.
int hangupError(int fd) {
  termios tio{};
  return tcgetattr(fd, &tio) != 0 ? errno : EIO;
}

bool noModemLines(int error) { return error == EINVAL || error == ENOTTY; }

struct FileDescriptor {
  int fd = -1;
  explicit FileDescriptor(int value) : fd(value) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd >= 0) ::close(fd);
  }
  int release() { return std::exchange(fd, -1); }
};

constexpr std::pair<std::uint32_t, speed_t> kStandardSpeeds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

speed_t standardSpeed(std::uint32_t baud) {
  for (const auto& [rate, code] : kStandardSpeeds)
    if (rate == baud) return code;
  return B0;
}

std::uint32_t rtsControl(std::uint32_t flags) { return (flags & DCB::fRtsControl) >> DCB::RtsControlShift; }

void setRtsControl(std::uint32_t& flags, std::uint32_t code) {
  flags = (flags & ~DCB::fRtsControl) | (code << DCB::RtsControlShift);
}

bool wantsHandshake(const DCB& dcb) {
  return (dcb.Flags & DCB::fOutxCtsFlow) || rtsControl(dcb.Flags) == RTS_CONTROL_HANDSHAKE;
}

void setFlag(std::uint32_t& flags, std::uint32_t bit, bool on) { flags = on ? flags | bit : flags & ~bit; }

// What the device reports, over the fields the last set stored.
DCB describe(const termios& tio, std::uint32_t baud, const DCB& stored) {
  DCB dcb = stored;
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = baud;
  switch (tio.c_cflag & CSIZE) {
    case CS5: dcb.ByteSize = 5; break;
    case CS6: dcb.ByteSize = 6; break;
    case CS7: dcb.ByteSize = 7; break;
    default: dcb.ByteSize = 8; break;
  }
  const bool odd = tio.c_cflag & PARODD;
  if (!(tio.c_cflag & PARENB)) dcb.Parity = NOPARITY;
  else if (tio.c_cflag & CMSPAR) dcb.Parity = odd ? MARKPARITY : SPACEPARITY;
  else dcb.Parity = odd ? ODDPARITY : EVENPARITY;
  dcb.StopBits = (tio.c_cflag & CSTOPB) ? TWOSTOPBITS : ONESTOPBIT;
  dcb.XonChar = tio.c_cc[VSTART];
  dcb.XoffChar = tio.c_cc[VSTOP];
  dcb.Flags |= DCB::fBinary;
  setFlag(dcb.Flags, DCB::fParity, tio.c_iflag & INPCK);
  setFlag(dcb.Flags, DCB::fOutX, tio.c_iflag & IXON);
  setFlag(dcb.Flags, DCB::fInX, tio.c_iflag & IXOFF);
  const bool handshake = tio.c_cflag & CRTSCTS;
  if (handshake && !wantsHandshake(stored)) {
    dcb.Flags |= DCB::fOutxCtsFlow;
    setRtsControl(dcb.Flags, RTS_CONTROL_HANDSHAKE);
  } else if (!handshake && wantsHandshake(stored)) {
    dcb.Flags &= ~DCB::fOutxCtsFlow;
    if (rtsControl(dcb.Flags) == RTS_CONTROL_HANDSHAKE) setRtsControl(dcb.Flags, RTS_CONTROL_ENABLE);
  }
  return dcb;
}

bool validState(const DCB& dcb) {
  if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY) return false;
  if (dcb.StopBits != ONESTOPBIT && dcb.StopBits != TWOSTOPBITS) return false;
  return !((dcb.Flags & (DCB::fOutX | DCB::fInX)) && dcb.XonChar == dcb.XoffChar);
}

void applyFraming(termios& tio, const DCB& dcb) {
  cfmakeraw(&tio);
  tio.c_iflag &= ~(IXANY | INPCK | IXON | IXOFF);
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  tio.c_cflag |= CLOCAL | CREAD;
  constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
  tio.c_cflag |= sizes[dcb.ByteSize - 5];
  switch (dcb.Parity) {
    case ODDPARITY: tio.c_cflag |= PARENB | PARODD; break;
    case EVENPARITY: tio.c_cflag |= PARENB; break;
    case MARKPARITY: tio.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case SPACEPARITY: tio.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  if (dcb.StopBits == TWOSTOPBITS) tio.c_cflag |= CSTOPB;
  if (dcb.Flags & DCB::fParity) tio.c_iflag |= INPCK;
  if (dcb.Flags & DCB::fOutX) tio.c_iflag |= IXON;
  if (dcb.Flags & DCB::fInX) tio.c_iflag |= IXOFF;
  if (wantsHandshake(dcb)) tio.c_cflag |= CRTSCTS;
  tio.c_cc[VSTART] = dcb.XonChar;
  tio.c_cc[VSTOP] = dcb.XoffChar;
}

}  // namespace

struct Port final : Object {
  Port(int device, bool overlappedIo, int wakeDevice) : fd(device), overlapped(overlappedIo), wakeFd(wakeDevice) {}
  ~Port() override {
    shutdown();
    // A pseudo-terminal keeps the flag after the last close while its master is open,
    // so without this the next non-root open of the same port would fail as busy.
    ioctl(fd, TIOCNXCL);
    if (closesAtOnce()) {
      ::close(fd);
    } else {
      // The kernel holds the last close of a tty until its queue has gone out, up to 30 s,
      // and some drivers (cdc-acm) discard nothing on a purge: no caller may wait that long.
      std::thread([device = fd] { ::close(device); }).detach();
    }
    if (wakeFd >= 0) ::close(wakeFd);
  }

  // True when nothing is queued, or the driver lets the close skip its wait for the queue
  // (it takes the system administrator's capability to change that on most drivers).
  bool closesAtOnce() const {
    int queued = 0;
    if (ioctl(fd, TIOCOUTQ, &queued) != 0 || queued == 0) return true;
    serial_struct serial{};
    if (ioctl(fd, TIOCGSERIAL, &serial) != 0) return false;
    serial.closing_wait = ASYNC_CLOSING_WAIT_NONE;
    return ioctl(fd, TIOCSSERIAL, &serial) == 0;
  }

  const int fd;
  const bool overlapped;
  const int wakeFd;  // interrupts the I/O thread's poll; -1 without overlapped I/O
  bool hasModemLines = false;
  bool hasCounters = false;

  std::mutex mutex;
  // Guarded by mutex.
  DCB stored;
  COMMTIMEOUTS timeouts;
  std::uint32_t inQueue = 4096, outQueue = 4096;
  std::uint32_t mask = 0, history = 0;
  bool txBusy = false;  // written since the transmit queue was last seen empty
  std::uint32_t lastInQueue = 0, lastLines = 0;
  serial_icounter_struct eventCounts{}, errorCounts{};
  std::deque<std::shared_ptr<CommRequest>> writes;
  std::shared_ptr<CommRequest> eventWait;
  int hangup = 0;  // errno once the device has gone away
  bool stopping = false;
  std::thread io;

  void wake() const {
    if (wakeFd < 0) return;
    const std::uint64_t one = 1;
    if (::write(wakeFd, &one, sizeof one) < 0) return;  // a full counter wakes the thread all the same
  }

  void shutdown() {
    {
      std::lock_guard lock(mutex);
      stopping = true;
      cancelPending(ERROR_OPERATION_ABORTED);
    }
    if (io.joinable()) {
      wake();
      io.join();
    }
  }

  void cancelPending(int error) {
    for (auto& write : writes) write->complete(error, write->before + write->sent, 0);
    writes.clear();
    if (eventWait) eventWait->complete(error, 0, 0);
    eventWait.reset();
  }

  // Bytes written and not sent yet: the driver's queue plus pending writes.
  int queuedOut(std::uint32_t& bytes) const {
    int queued = 0;
    if (ioctl(fd, TIOCOUTQ, &queued) != 0) return errno;
    bytes = static_cast<std::uint32_t>(queued);
    for (const auto& write : writes) bytes += static_cast<std::uint32_t>(write->rest.size()) - write->sent;
    return 0;
  }

  // The I/O thread keeps lastLines current; guarded by mutex.
  bool watchesLines() const { return overlapped && hasModemLines && (mask & kLineEvents); }

  bool modemLines(std::uint32_t& lines) const {
    int bits = 0;
    if (ioctl(fd, TIOCMGET, &bits) != 0) return false;
    lines = static_cast<std::uint32_t>(bits);
    return true;
  }

  void raise(std::uint32_t events) {
    history |= events & mask;
    if (history && eventWait) {
      eventWait->complete(0, 0, history);
      eventWait.reset();
      history = 0;
    }
  }

  // After bytes went out: transmit-empty is reported once the queue has drained.
  void afterWrite(bool onIoThread) {
    if (!(mask & EV_TXEMPTY) || ((history & EV_TXEMPTY) && !eventWait)) return;
    std::uint32_t queued = 0;
    if (queuedOut(queued) == 0 && queued == 0) {
      raise(EV_TXEMPTY);
    } else {
      txBusy = true;
      if (!onIoThread) wake();
    }
  }

  void startWrite(CommRequest& write, Clock::time_point now) {
    if (write.started) return;
    write.started = true;
    write.deadline = now + std::chrono::milliseconds(write.timeoutMs);
  }

  void progressWrites() {
    while (!writes.empty()) {
      const std::shared_ptr<CommRequest> write = writes.front();
      const auto now = Clock::now();
      startWrite(*write, now);
      const int error = writeNow(fd, write->rest.data(), static_cast<std::uint32_t>(write->rest.size()), write->sent);
      const bool finished = write->sent == write->rest.size();
      if (!error && !finished && (write->timeoutMs == 0 || now < write->deadline)) return;
      writes.pop_front();
      write->complete(error, write->before + write->sent, 0);
      if (write->before + write->sent > 0) afterWrite(true);
    }
  }

  void noteHangup(int error) {
    hangup = error;
    cancelPending(error);
  }

  // lines: the modem lines read just before, outside the lock, or nothing.
  void scanEvents(std::optional<std::uint32_t> lines) {
    std::uint32_t seen = 0;
    if (mask & (EV_RXCHAR | EV_RX80FULL)) {
      int queued = 0;
      if (ioctl(fd, FIONREAD, &queued) == 0) {
        const auto now = static_cast<std::uint32_t>(queued);
        const std::uint64_t nearlyFull = std::uint64_t{inQueue} * 8 / 10;
        if (now > lastInQueue) seen |= EV_RXCHAR;
        if (now >= nearlyFull && lastInQueue < nearlyFull) seen |= EV_RX80FULL;
        lastInQueue = now;
      }
    }
    std::uint32_t queuedBytes = 0;
    if (txBusy && queuedOut(queuedBytes) == 0 && queuedBytes == 0) {
      seen |= EV_TXEMPTY;
      txBusy = false;
    }
    if (lines && watchesLines()) {
      const std::uint32_t changed = *lines ^ lastLines;
      lastLines = *lines;
      if (changed & TIOCM_CTS) seen |= EV_CTS;
      if (changed & TIOCM_DSR) seen |= EV_DSR;
      if (changed & TIOCM_CD) seen |= EV_RLSD;
      if (changed & TIOCM_RI) seen |= EV_RING;
    }
    serial_icounter_struct counts{};
    if (hasCounters && (mask & kCounterEvents) && ioctl(fd, TIOCGICOUNT, &counts) == 0) {
      if (counts.frame != eventCounts.frame || counts.overrun != eventCounts.overrun ||
          counts.parity != eventCounts.parity || counts.buf_overrun != eventCounts.buf_overrun)
        seen |= EV_ERR;
      if (counts.brk != eventCounts.brk) seen |= EV_BREAK;
      eventCounts = counts;
    }
    raise(seen);
  }

  // The I/O thread of an overlapped port: finishes pending writes and watches for comm events.
  void run() {
    std::unique_lock lock(mutex);
    while (!stopping) {
      int timeout = -1;
      short wanted = 0;
      if (!hangup) {
        const auto now = Clock::now();
        if (!writes.empty()) {
          CommRequest& head = *writes.front();
          startWrite(head, now);
          wanted |= POLLOUT;
          if (head.timeoutMs) timeout = msUntil(head.deadline, now);
        }
        // Unread input keeps the device readable, so growth of the queue is looked for instead.
        if (mask & (EV_RXCHAR | EV_RX80FULL)) {
          if (lastInQueue == 0) wanted |= POLLIN;
          else timeout = shorter(timeout, kScanIntervalMs);
        }
        if (txBusy || (hasModemLines && (mask & kLineEvents)) || (hasCounters && (mask & kCounterEvents)))
          timeout = shorter(timeout, kScanIntervalMs);
      }
      pollfd fds[2] = {{wakeFd, POLLIN, 0}, {fd, wanted, 0}};
      const nfds_t count = hangup ? 1 : 2;
      const bool readLines = !hangup && watchesLines();
      lock.unlock();
      const int ready = ::poll(fds, count, timeout);
      // A USB adapter that is being unplugged can hold this read for its control timeout
      // (5 s); without the lock the sender's calls go on and meet the hang-up at once.
      std::optional<std::uint32_t> lines;
      if (std::uint32_t read = 0; readLines && modemLines(read)) lines = read;
      lock.lock();
      if (fds[0].revents & POLLIN) {
        std::uint64_t wakes = 0;
        if (::read(wakeFd, &wakes, sizeof wakes) < 0) {}  // emptied either way
      }
      if (stopping || hangup || ready < 0) continue;
      if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
        noteHangup(hangupError(fd));
        continue;
      }
      progressWrites();
      scanEvents(lines);
    }
  }

  void resetEventBaselines() {
    int queued = 0;
    lastInQueue = ioctl(fd, FIONREAD, &queued) == 0 ? static_cast<std::uint32_t>(queued) : 0;
    if (hasModemLines) modemLines(lastLines);
    if (hasCounters) ioctl(fd, TIOCGICOUNT, &eventCounts);
    history = 0;
    txBusy = false;
  }
};

namespace {

struct Registry {
  std::mutex mutex;
  std::unordered_map<HANDLE, std::shared_ptr<Object>> objects;
  HANDLE next = 1;
};

Registry& registry() {
  static auto* handles = new Registry;  // never destroyed: closes may run during exit
  return *handles;
}

HANDLE add(std::shared_ptr<Object> object) {
  Registry& handles = registry();
  std::lock_guard lock(handles.mutex);
  const HANDLE handle = handles.next++;
  handles.objects.emplace(handle, std::move(object));
  return handle;
}

template <class T>
std::shared_ptr<T> find(HANDLE handle) {
  std::shared_ptr<Object> object;
  {
    Registry& handles = registry();
    std::lock_guard lock(handles.mutex);
    const auto it = handles.objects.find(handle);
    if (it != handles.objects.end()) object = it->second;
  }
  auto typed = std::dynamic_pointer_cast<T>(object);
  if (!typed) lastError = EBADF;
  return typed;
}

std::shared_ptr<Object> take(HANDLE handle) {
  Registry& handles = registry();
  std::lock_guard lock(handles.mutex);
  const auto it = handles.objects.find(handle);
  if (it == handles.objects.end()) return nullptr;
  auto object = std::move(it->second);
  handles.objects.erase(it);
  return object;
}

// The event an overlapped call signals: none for hEvent 0, a failure for a handle that is no event.
bool eventOf(const OVERLAPPED& overlapped, std::shared_ptr<Event>& event) {
  if (overlapped.hEvent == 0) return true;
  event = find<Event>(overlapped.hEvent);
  return event != nullptr;
}

std::shared_ptr<CommRequest> startRequest(OVERLAPPED& overlapped, std::shared_ptr<Event> event) {
  auto request = std::make_shared<CommRequest>();
  request->event = std::move(event);
  if (request->event) reset(*request->event);
  overlapped.Internal = request;
  overlapped.EventMask = 0;
  return request;
}

int writeBlocking(Port& port, const std::uint8_t* data, std::uint32_t count, std::uint32_t& done) {
  std::uint64_t timeoutMs = 0;
  {
    std::lock_guard lock(port.mutex);
    if (port.hangup) return port.hangup;
    timeoutMs = writeTimeoutMs(port.timeouts, count);
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (const int error = writeNow(port.fd, data, count, done)) return error;
    if (done == count) break;
    int wait = -1;
    if (timeoutMs) {
      const auto now = Clock::now();
      if (now >= deadline) break;
      wait = msUntil(deadline, now);
    }
    pollfd device{port.fd, POLLOUT, 0};
    const int ready = ::poll(&device, 1, wait);
    if (ready < 0 && errno != EINTR) return errno;
    if (ready > 0 && (device.revents & (POLLHUP | POLLERR | POLLNVAL)) && !(device.revents & POLLOUT))
      return hangupError(port.fd);
  }
  if (done > 0) {
    std::lock_guard lock(port.mutex);
    port.afterWrite(false);
  }
  return 0;
}

int readBlocking(Port& port, std::uint8_t* data, std::uint32_t count, std::uint32_t& done) {
  COMMTIMEOUTS t;
  {
    std::lock_guard lock(port.mutex);
    if (port.hangup) return port.hangup;
    t = port.timeouts;
  }
  const bool nowOnly =
      t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0;
  const bool firstBytes = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
                          t.ReadTotalTimeoutConstant > 0 && t.ReadTotalTimeoutConstant < MAXDWORD;
  const std::uint64_t totalMs =
      firstBytes ? t.ReadTotalTimeoutConstant
                 : std::min(std::uint64_t{t.ReadTotalTimeoutMultiplier} * count + t.ReadTotalTimeoutConstant,
                            kLongestTimeoutMs);
  const bool interval = t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != MAXDWORD;
  const auto start = Clock::now();
  auto lastByte = start;
  while (done < count) {
    const ssize_t n = ::read(port.fd, data + done, count - done);
    if (n > 0) {
      done += static_cast<std::uint32_t>(n);
      lastByte = Clock::now();
      if (firstBytes) break;
      continue;
    }
    if (n == 0) return hangupError(port.fd);  // a tty reads 0 bytes only once hung up
    if (errno == EINTR) continue;
    if (errno != EAGAIN) return errno;
    if (nowOnly) break;
    const auto now = Clock::now();
    int wait = totalMs ? msUntil(start + std::chrono::milliseconds(totalMs), now) : -1;
    if (interval && done > 0)
      wait = shorter(wait, msUntil(lastByte + std::chrono::milliseconds(t.ReadIntervalTimeout), now));
    if (wait == 0) break;
    pollfd device{port.fd, POLLIN, 0};
    const int ready = ::poll(&device, 1, wait);
    if (ready < 0 && errno != EINTR) return errno;
    if (ready > 0 && (device.revents & (POLLERR | POLLNVAL)) && !(device.revents & POLLIN)) return hangupError(port.fd);
  }
  return 0;
}

bool writeOverlapped(Port& port, const std::uint8_t* data, std::uint32_t count, std::uint32_t* written,
                     OVERLAPPED& overlapped, std::shared_ptr<Event> event) {
  auto request = startRequest(overlapped, std::move(event));
  std::lock_guard lock(port.mutex);
  if (port.hangup) return fail(port.hangup);
  std::uint32_t done = 0;
  const bool first = port.writes.empty();
  if (first) {
    if (const int error = writeNow(port.fd, data, count, done)) return fail(error);
  }
  if (done == count) {
    request->complete(0, done, 0);
    if (written) *written = done;
    if (done > 0) port.afterWrite(false);
    return true;
  }
  request->rest.assign(data + done, data + count);
  request->before = done;
  request->timeoutMs = writeTimeoutMs(port.timeouts, count);
  if (first) port.startWrite(*request, Clock::now());
  port.writes.push_back(std::move(request));
  port.wake();
  return fail(ERROR_IO_PENDING);
}

std::uint32_t waitForAny(const std::vector<std::shared_ptr<Event>>& events, std::uint32_t timeoutMs) {
  EventBoard& shared = board();
  std::unique_lock lock(shared.mutex);
  auto takeSignalled = [&]() -> std::uint32_t {
    for (std::size_t i = 0; i < events.size(); ++i) {
      if (!events[i]->signalled) continue;
      if (!events[i]->manualReset) events[i]->signalled = false;
      return WAIT_OBJECT_0 + static_cast<std::uint32_t>(i);
    }
    return WAIT_TIMEOUT;
  };
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (const std::uint32_t result = takeSignalled(); result != WAIT_TIMEOUT) return result;
    if (timeoutMs == INFINITE) shared.changed.wait(lock);
    else if (shared.changed.wait_until(lock, deadline) == std::cv_status::timeout) return takeSignalled();
  }
}

}  // namespace
}  // namespace comm_detail

using namespace comm_detail;

int GetLastError() { return comm_detail::lastError; }

bool SameDevice(const std::string& one, const std::string& other) {
  struct stat first = {};
  struct stat second = {};
  if (::stat(PortDevicePath(one).c_str(), &first) != 0 || ::stat(PortDevicePath(other).c_str(), &second) != 0) return false;
  if (S_ISCHR(first.st_mode) && S_ISCHR(second.st_mode)) return first.st_rdev == second.st_rdev;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

HANDLE CreateFile(const std::string& name, bool overlapped) {
  const std::string path = PortDevicePath(name);
  FileDescriptor device(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (device.fd < 0) return failOpen(errno);
  if (!isatty(device.fd)) return failOpen(ENOTTY);
  // The lock is what keeps a second open out when running as root, which TIOCEXCL does not.
  if (flock(device.fd, LOCK_EX | LOCK_NB) != 0) return failOpen(errno == EWOULDBLOCK ? EBUSY : errno);

  termios tio{};
  if (tcgetattr(device.fd, &tio) != 0) return failOpen(errno);
  std::uint32_t baud = 0;
  if (const int error = GetLineSpeed(device.fd, baud)) return failOpen(error);
  // Raw from the start: a cooked line would turn the job's LF bytes into CR LF.
  DCB initial;
  initial.Flags = DCB::fBinary | (DTR_CONTROL_ENABLE << DCB::DtrControlShift) |
                  (RTS_CONTROL_ENABLE << DCB::RtsControlShift);
  const DCB current = describe(tio, baud, initial);
  applyFraming(tio, current);
  if (tcsetattr(device.fd, TCSANOW, &tio) != 0) return failOpen(errno);

  FileDescriptor wake(overlapped ? eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC) : -1);
  if (overlapped && wake.fd < 0) return failOpen(errno);
  // Taken last, when the port owns the descriptor: its close gives exclusivity back.
  ioctl(device.fd, TIOCEXCL);
  auto port = std::make_shared<Port>(device.release(), overlapped, wake.release());
  port->stored = current;
  std::uint32_t lines = 0;
  port->hasModemLines = port->modemLines(lines);
  port->hasCounters = ioctl(port->fd, TIOCGICOUNT, &port->errorCounts) == 0;
  if (overlapped) {
    try {
      port->io = std::thread(&Port::run, port.get());
    } catch (const std::system_error& error) {
      return failOpen(error.code().value());
    }
  }
  return add(std::move(port));
}

bool CloseHandle(HANDLE handle) {
  const auto object = take(handle);
  if (!object) return fail(EBADF);
  if (const auto port = std::dynamic_pointer_cast<Port>(object)) port->shutdown();
  return true;
}

bool SetupComm(HANDLE handle, std::uint32_t inQueue, std::uint32_t outQueue) {
  const auto port = find<Port>(handle);
  if (!port) return false;
  std::lock_guard lock(port->mutex);
  port->inQueue = inQueue;
  port->outQueue = outQueue;
  return true;
}

bool GetCommState(HANDLE handle, DCB& dcb) {
  const auto port = find<Port>(handle);
  if (!port) return false;
  std::lock_guard lock(port->mutex);
  termios tio{};
  if (tcgetattr(port->fd, &tio) != 0) return fail(errno);
  std::uint32_t baud = 0;
  if (const int error = GetLineSpeed(port->fd, baud)) return fail(error);
  dcb = describe(tio, baud, port->stored);
  return true;
}

bool SetCommState(HANDLE handle, const DCB& dcb) {
  const auto port = find<Port>(handle);
  if (!port) return false;
  if (!validState(dcb)) return fail(EINVAL);
  std::lock_guard lock(port->mutex);
  termios tio{};
  if (tcgetattr(port->fd, &tio) != 0) return fail(errno);
  applyFraming(tio, dcb);
  if (tcsetattr(port->fd, TCSANOW, &tio) != 0) return fail(errno);
  // Both speeds, every time: an input speed set apart from the output speed would
  // otherwise outlive a later change of rate.
  if (const int error = SetLineSpeed(port->fd, dcb.BaudRate, standardSpeed(dcb.BaudRate))) return fail(error);
  if (port->hasModemLines) {
    const std::uint32_t dtr = (dcb.Flags & DCB::fDtrControl) >> DCB::DtrControlShift;
    const std::uint32_t rts = rtsControl(dcb.Flags);
    int raise = 0, lower = 0;
    (dtr == DTR_CONTROL_DISABLE ? lower : raise) |= TIOCM_DTR;
    if (rts == RTS_CONTROL_ENABLE || rts == RTS_CONTROL_HANDSHAKE) raise |= TIOCM_RTS;
    else lower |= TIOCM_RTS;
    if ((raise && ioctl(port->fd, TIOCMBIS, &raise) != 0 && !noModemLines(errno)) ||
        (lower && ioctl(port->fd, TIOCMBIC, &lower) != 0 && !noModemLines(errno)))
      return fail(errno);
  }
  port->stored = dcb;
  port->stored.DCBlength = sizeof(DCB);
  return true;
}

bool GetCommTimeouts(HANDLE handle, COMMTIMEOUTS& timeouts) {
  const auto port = find<Port>(handle);
  if (!port) return false;
  std::lock_guard lock(port->mutex);
  timeouts = port->timeouts;
  return true;
}

bool SetCommTimeouts(HANDLE handle, const COMMTIMEOUTS& timeouts) {
  const auto port = find<Port>(handle);
  if (!port) return false;
  std::lock_guard lock(port->mutex);
  port->timeouts = timeouts;
  return true;
}

bool SetCommMask(HANDLE handle, std::uint32_t mask) {
  const auto port = find<Port>(handle);
  if (!port) return false;
  std::lock_guard lock(port->mutex);
  port->mask = mask;
  port->resetEventBaselines();
  if (port->eventWait) port->eventWait->complete(0, 0, 0);
  port->eventWait.reset();
  if (port->overlapped) port->wake();
  return true;
}

bool WaitCommEvent(HANDLE handle, std::uint32_t& mask, OVERLAPPED& overlapped) {
  mask = 0;
  const auto port = find<Port>(handle);
  std::shared_ptr<Event> event;
  if (!port || !eventOf(overlapped, event)) return false;
  if (!port->overlapped) return fail(EINVAL);
  auto request = startRequest(overlapped, std::move(event));
  std::lock_guard lock(port->mutex);
  if (port->hangup) return fail(port->hangup);
  if (port->mask == 0 || port->eventWait) return fail(EINVAL);
  if (port->history) {
    mask = overlapped.EventMask = std::exchange(port->history, 0);
    request->complete(0, 0, mask);
    return true;
  }
  // The I/O thread watches the masked events whether a wait is pending or not.
  port->eventWait = std::move(request);
  return fail(ERROR_IO_PENDING);
}

bool PurgeComm(HANDLE handle, std::uint32_t flags) {
  const auto port = find<Port>(handle);
  if (!port) return false;
  if (flags & ~(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)) return fail(EINVAL);
  std::lock_guard lock(port->mutex);
  if (flags & PURGE_TXABORT) {
    for (auto& write : port->writes) write->complete(ERROR_OPERATION_ABORTED, write->before + write->sent, 0);
    port->writes.clear();
  }
  // No read is ever pending, so PURGE_RXABORT has nothing to end.
  // Clearing the output throws away everything the kernel still holds for the line; on a
  // pseudo-terminal that includes what the far end has not read yet.
  const bool tx = flags & PURGE_TXCLEAR;
  const bool rx = flags & PURGE_RXCLEAR;
  if (tx || rx) {
    if (tcflush(port->fd, tx && rx ? TCIOFLUSH : tx ? TCOFLUSH : TCIFLUSH) != 0) return fail(errno);
    if (rx) port->lastInQueue = 0;
    return true;
  }
  termios tio{};  // a device that has gone away cannot be purged
  return tcgetattr(port->fd, &tio) == 0 || fail(errno);
}

bool ClearCommError(HANDLE handle, std::uint32_t* errors, COMSTAT* stat) {
  const auto port = find<Port>(handle);
  if (!port) return false;
  std::lock_guard lock(port->mutex);
  int received = 0;
  if (ioctl(port->fd, FIONREAD, &received) != 0) return fail(errno);
  std::uint32_t queued = 0;
  if (const int error = port->queuedOut(queued)) return fail(error);
  std::uint32_t found = 0;
  serial_icounter_struct counts{};
  if (port->hasCounters && ioctl(port->fd, TIOCGICOUNT, &counts) == 0) {
    const serial_icounter_struct& last = port->errorCounts;
    if (counts.frame != last.frame) found |= CE_FRAME;
    if (counts.overrun != last.overrun) found |= CE_OVERRUN;
    if (counts.parity != last.parity) found |= CE_RXPARITY;
    if (counts.brk != last.brk) found |= CE_BREAK;
    if (counts.buf_overrun != last.buf_overrun) found |= CE_RXOVER;
    port->errorCounts = counts;
  }
  if (errors) *errors = found;
  if (stat) {
    stat->cbInQue = static_cast<std::uint32_t>(received);
    stat->cbOutQue = queued;
  }
  return true;
}

bool GetCommModemStatus(HANDLE handle, std::uint32_t& status) {
  status = 0;
  const auto port = find<Port>(handle);
  if (!port) return false;
  int bits = 0;
  bool watched = false;
  {
    // While the I/O thread watches the lines, its last reading (at most a scan interval
    // old) spares the caller a read that a vanishing USB adapter can hold for seconds.
    std::lock_guard lock(port->mutex);
    watched = port->watchesLines();
    if (watched) bits = static_cast<int>(port->lastLines);
  }
  if (!watched && ioctl(port->fd, TIOCMGET, &bits) != 0) return noModemLines(errno) || fail(errno);
  if (bits & TIOCM_CTS) status |= MS_CTS_ON;
  if (bits & TIOCM_DSR) status |= MS_DSR_ON;
  if (bits & TIOCM_RI) status |= MS_RING_ON;
  if (bits & TIOCM_CD) status |= MS_RLSD_ON;
  return true;
}

bool WriteFile(HANDLE handle, const void* data, std::uint32_t count, std::uint32_t* written,
               OVERLAPPED* overlapped) {
  if (written) *written = 0;
  const auto port = find<Port>(handle);
  std::shared_ptr<Event> event;
  if (!port || (overlapped && !eventOf(*overlapped, event))) return false;
  if (count > 0 && !data) return fail(EFAULT);
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  if (overlapped) {
    if (!port->overlapped) return fail(EINVAL);
    return writeOverlapped(*port, bytes, count, written, *overlapped, std::move(event));
  }
  std::uint32_t done = 0;
  const int error = writeBlocking(*port, bytes, count, done);
  if (written) *written = done;
  return error == 0 || fail(error);
}

bool ReadFile(HANDLE handle, void* data, std::uint32_t count, std::uint32_t* read) {
  if (read) *read = 0;
  const auto port = find<Port>(handle);
  if (!port) return false;
  if (count > 0 && !data) return fail(EFAULT);
  std::uint32_t done = 0;
  const int error = readBlocking(*port, static_cast<std::uint8_t*>(data), count, done);
  if (read) *read = done;
  return error == 0 || fail(error);
}

bool GetOverlappedResult(HANDLE handle, OVERLAPPED& overlapped, std::uint32_t& transferred, bool wait) {
  transferred = 0;
  if (!find<Port>(handle)) return false;
  const auto request = overlapped.Internal;
  if (!request) return fail(EINVAL);
  std::unique_lock lock(request->mutex);
  if (!request->done && !wait) return fail(ERROR_IO_INCOMPLETE);
  request->completed.wait(lock, [&] { return request->done; });
  transferred = request->transferred;
  overlapped.EventMask = request->events;
  return request->error == 0 || fail(request->error);
}

HANDLE CreateEvent(bool manualReset, bool initialState) {
  return add(std::make_shared<Event>(manualReset, initialState));
}

bool SetEvent(HANDLE handle) {
  const auto event = find<Event>(handle);
  if (!event) return false;
  signal(*event);
  return true;
}

bool ResetEvent(HANDLE handle) {
  const auto event = find<Event>(handle);
  if (!event) return false;
  reset(*event);
  return true;
}

std::uint32_t WaitForSingleObject(HANDLE handle, std::uint32_t timeoutMs) {
  return WaitForMultipleObjects(std::span<const HANDLE>(&handle, 1), timeoutMs);
}

std::uint32_t WaitForMultipleObjects(std::span<const HANDLE> handles, std::uint32_t timeoutMs) {
  if (handles.empty()) {
    lastError = EINVAL;
    return WAIT_FAILED;
  }
  std::vector<std::shared_ptr<Event>> events;
  for (const HANDLE handle : handles) {
    auto event = find<Event>(handle);
    if (!event) return WAIT_FAILED;
    events.push_back(std::move(event));
  }
  return waitForAny(events, timeoutMs);
}
