#pragma once
// Cutters that are USB printers, as the kernel's printer driver offers them: a node
// /dev/usb/lpN for each printer-class interface, named in sysfs's usbmisc class. Read
// below a root folder (the real one is "/"; tests build a fake tree); nothing is opened.

#include <cstdint>
#include <string>
#include <vector>

struct TUsbPrinter {
  std::string Name;          // "lp0": the node's name below /dev/usb; what a send names
  std::string Node;          // its path, e.g. "/dev/usb/lp0"
  std::string Product;       // what the device calls itself; never empty
  std::string Manufacturer;  // empty when the device names none
  std::string Serial;        // likewise
  std::string DeviceId;      // the IEEE 1284 device ID ("MFG:...;MDL:...;"); empty when not given
  bool MayOpen = false;      // the node's mode and groups let this user write to it
  bool operator==(const TUsbPrinter&) const = default;
};

// The printers present, in the order of their node numbers. False, and the list
// untouched, when the usbmisc class cannot be read (no printer driver loaded reads as
// an empty class, not a failure).
bool ScanUsbPrinters(std::vector<TUsbPrinter>& printers, const std::string& sysRoot = "/",
                     const std::string& devRoot = "/dev");

// The printer a send names: its node's path, "usb:lpN", "lpN", or its product as listed;
// null when none of those present matches.
const TUsbPrinter* FindUsbPrinter(const std::vector<TUsbPrinter>& printers, const std::string& name);

// Whether a name is meant as a USB printer whether or not one is there: "usb:" before
// it, or a path below /dev/usb.
bool NamesUsbPrinter(const std::string& name);

// What the printer's status byte (LPGETSTATUS) says of it, for the user: "out of media",
// "offline (not selected)", "error", or empty when it is ready.
std::string UsbPrinterStatusText(std::uint8_t status);

// The node a send opens for a name: the listed printer's node, else the name as a path
// ("usb:lpN" stands for /dev/usb/lpN).
std::string UsbPrinterNodePath(const std::vector<TUsbPrinter>& printers, const std::string& name);

// One line for the user on why the node could not be opened and what to do, by the
// open's errno: no such printer (naming those present), busy, no permission (the lp
// group); empty for any other failure.
std::string UsbPrinterOpenHint(const std::string& name, int error, const std::vector<TUsbPrinter>& present);
