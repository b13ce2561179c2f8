#pragma once
// The serial calls the transmitters are written against: exclusive open of a tty, queue
// sizes, the 28-byte device control block, total write timeouts, plain and overlapped
// writes, events, comm-event waits, purge, line errors and modem status. Built on termios.
// A call that fails returns false (or an invalid value) and leaves an errno value for
// GetLastError() on the calling thread.

#include <cerrno>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

// Ports and events share one handle space; 0 and INVALID_HANDLE_VALUE are never handles.
using HANDLE = std::intptr_t;
inline constexpr HANDLE INVALID_HANDLE_VALUE = -1;

inline constexpr std::uint32_t MAXDWORD = 0xFFFFFFFF;
inline constexpr std::uint32_t INFINITE = 0xFFFFFFFF;
inline constexpr std::uint32_t WAIT_OBJECT_0 = 0;
inline constexpr std::uint32_t WAIT_TIMEOUT = 258;
inline constexpr std::uint32_t WAIT_FAILED = 0xFFFFFFFF;

inline constexpr int ERROR_IO_PENDING = EINPROGRESS;     // an overlapped call started; it completes later
inline constexpr int ERROR_IO_INCOMPLETE = EALREADY;     // its result was asked for before it completed
inline constexpr int ERROR_OPERATION_ABORTED = ECANCELED;  // a purge or a close ended it

// Device control block, byte for byte the layout the DCB editor shows.
struct DCB {
  std::uint32_t DCBlength = sizeof(DCB);
  std::uint32_t BaudRate = 0;
  std::uint32_t Flags = 0;
  std::uint16_t wReserved = 0;
  std::uint16_t XonLim = 0;
  std::uint16_t XoffLim = 0;
  std::uint8_t ByteSize = 0;
  std::uint8_t Parity = 0;
  std::uint8_t StopBits = 0;
  std::uint8_t XonChar = 0;
  std::uint8_t XoffChar = 0;
  std::uint8_t ErrorChar = 0;
  std::uint8_t EofChar = 0;
  std::uint8_t EvtChar = 0;
  std::uint16_t wReserved1 = 0;

  // Bits of Flags. The DTR and RTS controls are two-bit codes at their shift.
  static constexpr std::uint32_t fBinary = 0x0001;
  static constexpr std::uint32_t fParity = 0x0002;
  static constexpr std::uint32_t fOutxCtsFlow = 0x0004;
  static constexpr std::uint32_t fOutxDsrFlow = 0x0008;
  static constexpr std::uint32_t fDtrControl = 0x0030;
  static constexpr std::uint32_t fDsrSensitivity = 0x0040;
  static constexpr std::uint32_t fTXContinueOnXoff = 0x0080;
  static constexpr std::uint32_t fOutX = 0x0100;
  static constexpr std::uint32_t fInX = 0x0200;
  static constexpr std::uint32_t fErrorChar = 0x0400;
  static constexpr std::uint32_t fNull = 0x0800;
  static constexpr std::uint32_t fRtsControl = 0x3000;
  static constexpr std::uint32_t fAbortOnError = 0x4000;
  static constexpr unsigned DtrControlShift = 4;
  static constexpr unsigned RtsControlShift = 12;
};
static_assert(sizeof(DCB) == 28, "the DCB is the platform's 28-byte record");

inline constexpr std::uint32_t DTR_CONTROL_DISABLE = 0, DTR_CONTROL_ENABLE = 1, DTR_CONTROL_HANDSHAKE = 2;
inline constexpr std::uint32_t RTS_CONTROL_DISABLE = 0, RTS_CONTROL_ENABLE = 1, RTS_CONTROL_HANDSHAKE = 2,
                               RTS_CONTROL_TOGGLE = 3;
inline constexpr std::uint8_t NOPARITY = 0, ODDPARITY = 1, EVENPARITY = 2, MARKPARITY = 3, SPACEPARITY = 4;
inline constexpr std::uint8_t ONESTOPBIT = 0, ONE5STOPBITS = 1, TWOSTOPBITS = 2;

// Milliseconds. A write of n bytes completes, possibly short, after at most
// WriteTotalTimeoutMultiplier * n + WriteTotalTimeoutConstant; both 0 means no limit.
// A read of n bytes likewise with the read fields, and ends early when ReadIntervalTimeout
// (not 0) passes between two bytes. ReadIntervalTimeout MAXDWORD with both read totals 0
// returns at once with what is there; with the multiplier MAXDWORD too and a constant
// between them, it returns as soon as any byte is there, or with none after the constant.
struct COMMTIMEOUTS {
  std::uint32_t ReadIntervalTimeout = 0;
  std::uint32_t ReadTotalTimeoutMultiplier = 0;
  std::uint32_t ReadTotalTimeoutConstant = 0;
  std::uint32_t WriteTotalTimeoutMultiplier = 0;
  std::uint32_t WriteTotalTimeoutConstant = 0;
};

struct COMSTAT {
  std::uint32_t cbInQue = 0;   // bytes received and not read
  std::uint32_t cbOutQue = 0;  // bytes written and not yet sent (pending writes included)
};

// Comm events (SetCommMask, WaitCommEvent).
inline constexpr std::uint32_t EV_RXCHAR = 0x0001, EV_RXFLAG = 0x0002, EV_TXEMPTY = 0x0004, EV_CTS = 0x0008,
                               EV_DSR = 0x0010, EV_RLSD = 0x0020, EV_BREAK = 0x0040, EV_ERR = 0x0080,
                               EV_RING = 0x0100, EV_RX80FULL = 0x0400;
// PurgeComm: the aborts end pending overlapped calls, the clears empty the driver's queues.
inline constexpr std::uint32_t PURGE_TXABORT = 0x0001, PURGE_RXABORT = 0x0002, PURGE_TXCLEAR = 0x0004,
                               PURGE_RXCLEAR = 0x0008;
// Line errors (ClearCommError).
inline constexpr std::uint32_t CE_RXOVER = 0x0001, CE_OVERRUN = 0x0002, CE_RXPARITY = 0x0004, CE_FRAME = 0x0008,
                               CE_BREAK = 0x0010;
// Modem lines (GetCommModemStatus).
inline constexpr std::uint32_t MS_CTS_ON = 0x0010, MS_DSR_ON = 0x0020, MS_RING_ON = 0x0040, MS_RLSD_ON = 0x0080;

struct CommRequest;  // one overlapped call, shared with the port's I/O thread

// Set hEvent (0 for none) before the call; the call resets it and sets it on completion.
// The results are read with GetOverlappedResult, which also fills EventMask for a
// comm-event wait. Data of a pending write is copied, so the caller's buffer may go.
struct OVERLAPPED {
  HANDLE hEvent = 0;
  std::uint32_t EventMask = 0;
  std::shared_ptr<CommRequest> Internal;
};

int GetLastError();

// Opens a serial device exclusively: one that another handle or program holds fails with
// EBUSY. "\\.\X" names /dev/X (a repeated prefix counts once, and X is used as it is when
// it starts with "/"); a name that starts with "/" is a path; any other name is below
// /dev. The line is made raw, keeping its speed, framing and flow settings. Only an
// overlapped handle takes OVERLAPPED writes and comm-event waits.
HANDLE CreateFile(const std::string& name, bool overlapped);
// Whether two names, as CreateFile reads them, lead to the same device, also through links.
bool SameDevice(const std::string& one, const std::string& other);
// Closes a port (its pending calls end with ERROR_OPERATION_ABORTED) or an event.
bool CloseHandle(HANDLE handle);

bool SetupComm(HANDLE port, std::uint32_t inQueue, std::uint32_t outQueue);
// The device's speed, framing, parity checking, flow control and XON/XOFF characters,
// with every field that has no termios counterpart as the last SetCommState stored it.
bool GetCommState(HANDLE port, DCB& dcb);
// Refuses (EINVAL) a zero speed, a byte size outside 5 to 8, an unknown parity, 1.5 stop
// bits, and equal XON and XOFF characters when XON/XOFF flow is on.
bool SetCommState(HANDLE port, const DCB& dcb);
bool GetCommTimeouts(HANDLE port, COMMTIMEOUTS& timeouts);
bool SetCommTimeouts(HANDLE port, const COMMTIMEOUTS& timeouts);
// Sets the events to wait for and ends a pending wait with no events. EV_RXFLAG is
// accepted but never reported: finding the event character would mean reading the data.
bool SetCommMask(HANDLE port, std::uint32_t mask);
// Waits for one of the masked events; events that happen while no wait is pending are
// kept for the next one. Completes at once (true, mask filled) or goes pending.
bool WaitCommEvent(HANDLE port, std::uint32_t& mask, OVERLAPPED& overlapped);
bool PurgeComm(HANDLE port, std::uint32_t flags);
// Line errors since the last call (errors may be null) and the queue counts (stat may be null).
bool ClearCommError(HANDLE port, std::uint32_t* errors, COMSTAT* stat);
// A tty without modem lines, such as a pseudo-terminal, reads as all lines off.
bool GetCommModemStatus(HANDLE port, std::uint32_t& status);
// Without OVERLAPPED: blocks until all is written or the write timeout runs out (then
// true with fewer bytes). With it: true when done at once, else false with
// ERROR_IO_PENDING and the completion comes through the event and GetOverlappedResult.
// A device that has gone away fails with its errno (EIO for a hung-up tty).
bool WriteFile(HANDLE port, const void* data, std::uint32_t count, std::uint32_t* written, OVERLAPPED* overlapped);
bool GetOverlappedResult(HANDLE port, OVERLAPPED& overlapped, std::uint32_t& transferred, bool wait);
// Blocks within the read timeouts (also on an overlapped handle, which takes no overlapped
// reads); true with the bytes read, maybe fewer than asked or none, once they run out.
// A device that has gone away fails with its errno.
bool ReadFile(HANDLE port, void* data, std::uint32_t count, std::uint32_t* read);

HANDLE CreateEvent(bool manualReset, bool initialState);
bool SetEvent(HANDLE event);
bool ResetEvent(HANDLE event);
// WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED. An auto-reset event is reset by the wait it ends.
std::uint32_t WaitForSingleObject(HANDLE event, std::uint32_t timeoutMs);
// Waits until any of the events is set: WAIT_OBJECT_0 + its index, WAIT_TIMEOUT or WAIT_FAILED.
std::uint32_t WaitForMultipleObjects(std::span<const HANDLE> events, std::uint32_t timeoutMs);
