#pragma once
// A USB printer node (/dev/usb/lpN) opened for a send. The kernel's printer driver holds
// a write back by itself while the cutter's buffer is full, so there is no handshake to
// set; every call here returns at once, and the caller waits in slices that let its
// user interface run.

#include <cstddef>
#include <cstdint>
#include <string>

class TUsbPrinterNode {
public:
  TUsbPrinterNode() = default;
  ~TUsbPrinterNode();
  TUsbPrinterNode(const TUsbPrinterNode&) = delete;
  TUsbPrinterNode& operator=(const TUsbPrinterNode&) = delete;

  // Opens the node for writing; false with the errno (EBUSY while another program has it:
  // the driver lets one writer in at a time).
  bool Open(const std::string& path, int& error);
  bool IsOpen() const { return Fd >= 0; }
  void Close();

  enum class TWrite { Wrote, Full, Failed };
  // Hands the driver what it takes now: Wrote with the count, Full when it still holds
  // the last write, Failed (with the errno) when the device failed or went away.
  TWrite Write(const char* data, std::size_t count, std::size_t& written, int& error);
  // Whether the driver has finished the last write: a write of nothing waits for it.
  TWrite Taken(int& error);
  // Waits at most timeoutMs for room; returns at once when there is room or the device failed.
  void WaitWritable(int timeoutMs) const;
  // The status byte the printer reports (LPGETSTATUS); false when it cannot tell.
  bool Status(std::uint8_t& status) const;
  // The size of the last write that moved bytes: what the driver may still be sending.
  std::size_t LastWritten() const { return Last; }

private:
  int Fd = -1;
  std::size_t Last = 0;
};
