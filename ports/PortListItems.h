#pragma once
// What the port boxes show: each port present by its name and product, names the user
// typed or chose that are not present, and the port name a box's text stands for.

#include "platform/SerialDevices.h"

#include <string>
#include <vector>

struct TPortListItem {
  std::string Name;     // what is stored, logged and opened
  std::string Text;     // "ttyUSB0 - FT232R USB UART"; a name that is not present shows alone
  std::string ToolTip;  // the port's stable name where the system has one, else its device path
  bool operator==(const TPortListItem&) const = default;
};

// The present ports and the extra names not among them (each once), sorted by name
// ignoring letter case.
std::vector<TPortListItem> PortListItems(const std::vector<TSerialPort>& present,
                                         const std::vector<std::string>& extra);

// The port a text typed into a port box names: an item's text gives its port, the device
// path or stable link of a present port gives that port, anything else is the name or
// path itself without the blanks around it. Empty for a blank text.
std::string TypedPortName(const std::string& text, const std::vector<TSerialPort>& present);
