#pragma once
// udev's notices of USB devices and of ttys that were added, removed or changed otherwise,
// read from its monitor socket. Without a udev daemon the socket stays silent.

#include <map>
#include <string>
#include <vector>

struct udev;
struct udev_monitor;

// One notice as udev sends it.
struct TUdevNotice {
  std::string Action;                             // "add", "remove", "bind", "unbind", "change"
  std::string DevPath;                            // below /sys, e.g. "/devices/pci0000:00/0000:00:14.0/usb1/1-2"
  std::map<std::string, std::string> Properties;  // udev's database names of the device among them
  std::string Subsystem = "usb";                  // "usb" for a whole USB device, "tty" for a tty, "block" for a disk
};

class TUdevMonitor {
public:
  TUdevMonitor();
  ~TUdevMonitor();
  TUdevMonitor(const TUdevMonitor&) = delete;
  TUdevMonitor& operator=(const TUdevMonitor&) = delete;

  // Readable while notices are pending; -1 when udev cannot be listened to.
  int Fd() const;
  // The notices pending now, oldest first; never waits for one.
  std::vector<TUdevNotice> ReadPending();

private:
  udev* Context = nullptr;
  udev_monitor* Monitor = nullptr;
};
