#pragma once
// The serial ports the system knows about, read from sysfs below a root folder (the
// real one is "/"; tests build a fake tree).

#include <string>
#include <vector>

// Fills the list with the tty names that have a device behind them (and every rfcomm
// port), sorted ignoring letter case. Built-in ttyS ports whose driver reports no
// hardware are left out. When the tty class cannot be read the list stays as it was.
void ListSerialPorts(std::vector<std::string>& ports, const std::string& sysRoot = "/");

// One line for the user on how to get past a failed open of a port, by its errno: a
// permission problem names the group to join, a busy port says that another program has
// it; empty for any other failure.
std::string PortOpenHint(int error);

// "name=friendly name" for every listed port that can be opened exclusively right now
// below devRoot; a port that is missing or busy in another program gets no entry.
std::vector<std::string> EnumFriendlyComPorts(const std::string& sysRoot = "/", const std::string& devRoot = "/dev");
