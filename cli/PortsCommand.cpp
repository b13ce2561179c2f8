#include "PortsCommand.h"

#include "cli/CommandArgs.h"

#include <algorithm>
#include <ostream>

const char kPortsHelp[] =
    "usage: korvex-cli ports [--json]\n"
    "Lists the serial ports present without opening any, one a line: the port name (what\n"
    "send --port takes), the adapter's product name, its stable /dev/serial/by-id/ path (- when\n"
    "none) and whether this user may open it (from the device's mode and groups). Then the USB\n"
    "printers: the node's name (send --port takes it, or usb:NAME, or the node's path), \"usb\n"
    "printer\", the product, the node and whether this user may open it. Then the CUPS\n"
    "print queues, raw queues first: the queue name (what send --queue takes), \"queue\", raw or\n"
    "driver, its state (idle, processing, stopped, rejecting) and its make and model. Where no\n"
    "print server answers, standard error says so and only ports are listed.\n"
    "\n"
    "Options:\n"
    "  --json           print a JSON array of {name, product, by_id, may_open} for the ports,\n"
    "                   {usb_printer, node, product, may_open} for the USB printers and\n"
    "                   {queue, kind, state, make_and_model} for the queues instead\n"
    "  -h, --help       print this help and exit\n"
    "  --version        print the version and exit\n"
    "\n"
    "Exit status:\n"
    "  0    listed (also when no port is present)\n"
    "  1    the system's tty list cannot be read or the output cannot be written\n"
    "  2    bad arguments\n";

namespace {

// Device strings come from the adapter: nothing in them may break a line apart.
std::string oneLine(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }, ' ');
  return text;
}

// Length of the well-formed UTF-8 sequence at `at`, 0 when there is none.
std::size_t utf8Length(const std::string& text, std::size_t at) {
  const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  const std::size_t length = lead < 0x80                   ? 1
                             : lead >= 0xC2 && lead < 0xE0 ? 2
                             : lead >= 0xE0 && lead < 0xF0 ? 3
                             : lead >= 0xF0 && lead < 0xF5 ? 4
                                                           : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i)
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  // No overlong forms, surrogates or code points beyond U+10FFFF.
  if ((lead == 0xE0 && byte(at + 1) < 0xA0) || (lead == 0xED && byte(at + 1) >= 0xA0) ||
      (lead == 0xF0 && byte(at + 1) < 0x90) || (lead == 0xF4 && byte(at + 1) >= 0x90))
    return 0;
  return length;
}

// A JSON string; bytes that are not UTF-8 become U+FFFD.
std::string jsonString(const std::string& text) {
  static const char* const hex = "0123456789abcdef";
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    const std::size_t length = utf8Length(text, i);
    if (length == 0) {
      out += "\\ufffd";
      ++i;
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      out += "\\u00";
      out += hex[(c >> 4) & 0xF];
      out += hex[c & 0xF];
    } else {
      out.append(text, i, length);
    }
    i += length;
  }
  return out + '"';
}

}  // namespace

std::string PortsText(const std::vector<TSerialPort>& ports, const std::vector<TPrintQueue>& queues,
                      const std::vector<TUsbPrinter>& printers) {
  std::size_t nameWidth = 0, productWidth = 0, byIdWidth = 1;
  for (const TSerialPort& port : ports) {
    nameWidth = std::max(nameWidth, port.Name.size());
    productWidth = std::max(productWidth, port.Product.size());
    byIdWidth = std::max(byIdWidth, port.ById.size());
  }
  const auto column = [](const std::string& text, std::size_t width) {
    return text + std::string(width - std::min(width, text.size()) + 2, ' ');
  };
  std::string out;
  for (const TSerialPort& port : ports)
    out += column(oneLine(port.Name), nameWidth) + column(oneLine(port.Product), productWidth) +
           column(port.ById.empty() ? "-" : oneLine(port.ById), byIdWidth) +
           (port.MayOpen ? "may open" : "no permission") + "\n";
  std::size_t printerWidth = 0, printerProductWidth = 0;
  for (const TUsbPrinter& printer : printers) {
    printerWidth = std::max(printerWidth, printer.Name.size());
    printerProductWidth = std::max(printerProductWidth, printer.Product.size());
  }
  for (const TUsbPrinter& printer : printers)
    out += column(printer.Name, printerWidth) + "usb printer  " + column(oneLine(printer.Product), printerProductWidth) +
           column(printer.Node, 0) + (printer.MayOpen ? "may open" : "no permission") + "\n";
  std::size_t queueWidth = 0;
  for (const TPrintQueue& queue : queues) queueWidth = std::max(queueWidth, queue.Name.size());
  for (const TPrintQueue& queue : queues)
    out += column(queue.Name, queueWidth) + "queue  " + column(QueueKindText(queue), 6) +
           column(QueueStateText(queue), 18) + oneLine(queue.MakeAndModel) + "\n";
  return out;
}

std::string PortsJson(const std::vector<TSerialPort>& ports, const std::vector<TPrintQueue>& queues,
                      const std::vector<TUsbPrinter>& printers) {
  std::string out = "[";
  for (const TSerialPort& port : ports) {
    out += out.size() > 1 ? ",\n " : "\n ";
    out += "{\"name\": " + jsonString(port.Name) + ", \"product\": " + jsonString(port.Product) +
           ", \"by_id\": " + (port.ById.empty() ? "null" : jsonString(port.ById)) +
           ", \"may_open\": " + (port.MayOpen ? "true" : "false") + "}";
  }
  for (const TUsbPrinter& printer : printers) {
    out += out.size() > 1 ? ",\n " : "\n ";
    out += "{\"usb_printer\": " + jsonString(printer.Name) + ", \"node\": " + jsonString(printer.Node) +
           ", \"product\": " + jsonString(printer.Product) + ", \"may_open\": " + (printer.MayOpen ? "true" : "false") +
           "}";
  }
  for (const TPrintQueue& queue : queues) {
    out += out.size() > 1 ? ",\n " : "\n ";
    out += "{\"queue\": " + jsonString(queue.Name) + ", \"kind\": " + jsonString(QueueKindText(queue)) +
           ", \"state\": " + jsonString(QueueStateText(queue)) + ", \"make_and_model\": " +
           jsonString(queue.MakeAndModel) + "}";
  }
  return out + (out.size() == 1 ? "]\n" : "\n]\n");
}

int RunPortsCommand(const std::vector<std::string>& args, std::istream&, std::ostream& out, std::ostream& err) {
  bool json = false;
  for (const std::string& arg : args) {
    if (arg != "--json") {
      err << "korvex-cli ports: unexpected argument: " << arg << "\n";
      WriteUsage(err, kPortsHelp);
      return 2;
    }
    json = true;
  }
  std::vector<TSerialPort> ports;
  if (!ScanSerialPorts(ports)) {
    err << "korvex-cli ports: cannot read the system's list of ttys (/sys/class/tty)\n";
    return 1;
  }
  // No printer driver, or a class that vanished while read, lists no printers.
  std::vector<TUsbPrinter> printers;
  ScanUsbPrinters(printers);
  std::vector<TPrintQueue> queues;
  if (std::string why; !ListPrintQueues(queues, why)) err << "korvex-cli ports: no print queues listed: " << why << "\n";
  out << (json ? PortsJson(ports, queues, printers) : PortsText(ports, queues, printers)) << std::flush;
  if (!out) {
    err << "korvex-cli ports: cannot write the output\n";
    return 1;
  }
  return 0;
}
