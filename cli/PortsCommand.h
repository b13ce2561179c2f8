#pragma once
// `korvex-cli ports [--json]`: the serial ports present, as the window lists them, and the
// print server's queues.

#include "platform/SerialDevices.h"
#include "platform/UsbPrinters.h"
#include "ports/PrintQueues.h"

#include <iosfwd>
#include <string>
#include <vector>

// What `korvex-cli ports --help` prints; its first line is the synopsis.
extern const char kPortsHelp[];

// One port a line, its name first: name, product, stable by-id path ("-" when none) and
// "may open" or "no permission", in aligned columns; then one USB printer a line: its node
// name, "usb printer", its product, its node and whether it may be opened; then one queue
// a line: its name, "queue", "raw" or "driver", its state and its make and model.
std::string PortsText(const std::vector<TSerialPort>& ports, const std::vector<TPrintQueue>& queues = {},
                      const std::vector<TUsbPrinter>& printers = {});
// [{"name": ..., "product": ..., "by_id": ... or null, "may_open": true|false}, ...,
//  {"usb_printer": ..., "node": ..., "product": ..., "may_open": true|false}, ...,
//  {"queue": ..., "kind": "raw"|"driver", "state": ..., "make_and_model": ...}, ...]
// and a newline.
std::string PortsJson(const std::vector<TSerialPort>& ports, const std::vector<TPrintQueue>& queues = {},
                      const std::vector<TUsbPrinter>& printers = {});

// Exit codes: 0 listed (also when there is no port, or no print server to ask), 1 the system's tty list cannot be
// read or the output cannot be written, 2 bad usage.
int RunPortsCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);
