#pragma once
// The serial ports the system knows about, read from sysfs below a root folder (the
// real one is "/"; tests build a fake tree) and from the links and node modes below
// /dev. Nothing here opens a port: an open pulses DTR and RTS, which resets many
// controllers, and makes an rfcomm port connect over Bluetooth.

#include <string>
#include <sys/types.h>
#include <vector>

// One port as the lists show it.
struct TSerialPort {
  std::string Name;      // the device name below /dev, e.g. "ttyUSB0"; what is stored and opened
  std::string Product;   // what the adapter calls itself, e.g. "FT232R USB UART"; never empty
  std::string ById;      // the stable /dev/serial/by-id/ link to it; empty when the system has none
  bool MayOpen = false;  // the node's mode and groups let this user open it
  bool operator==(const TSerialPort&) const = default;
};

// The ports with a device behind them (and every rfcomm port), sorted ignoring letter
// case. Built-in ttyS ports whose driver reports no hardware are left out. False, and the
// list untouched, when the tty class cannot be read.
bool ScanSerialPorts(std::vector<TSerialPort>& ports, const std::string& sysRoot = "/",
                     const std::string& devRoot = "/dev");

// The names of ScanSerialPorts; when the tty class cannot be read the list stays as it was.
void ListSerialPorts(std::vector<std::string>& ports, const std::string& sysRoot = "/");

// The start of the list a person would pick from: USB adapters (ttyUSB, ttyACM), then
// Bluetooth ports, then any other, and built-in ttyS ports last; stable within a rank.
int PortPreferenceRank(const std::string& name);

// Whether this process may open the device node for reading and writing, by its mode and
// this user's groups; false when it is not there.
bool MayOpenDevice(const std::string& node);

// Whether a node of this mode, owner and group may be opened for reading and writing by a
// user with this effective id and these groups.
bool MayOpenNode(mode_t mode, uid_t owner, gid_t group, uid_t user, const std::vector<gid_t>& groups);

// The path a port name opens: "\\.\X" stands for /dev/X (a repeated prefix counts once,
// and X is used as it is when it is a path), a name that starts with "/", "./" or "../" is
// a path, any other name is below /dev.
std::string PortDevicePath(const std::string& name);

// One line for the user on why the port (as the user named it) could not be opened and
// what to do, by the open's errno: no such device (naming the ports present), busy, no
// permission (naming the device's group), not a serial device, a Bluetooth device that
// does not answer. Empty for any other failure.
std::string PortOpenHint(const std::string& port, int error, const std::vector<std::string>& present);

// The line for a user who may not open the port: which group the devices (named as
// "serial ports", "USB printers") are open to, by the node's own group where it has
// one, else usualGroup, and how to join it.
std::string NoPermissionHint(const std::string& port, const std::string& devices, const std::string& usualGroup);
