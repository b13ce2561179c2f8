#include "cli/PortsCommand.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <array>
#include <cstdio>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>

namespace {

struct CliRun {
  int code;
  std::string out, err;
};

CliRun ports(const std::vector<std::string>& args) {
  std::istringstream in;
  std::ostringstream out, err;
  const int code = RunPortsCommand(args, in, out, err);
  return {code, out.str(), err.str()};
}

// What the JSON text says, read back with a parser of its own.
std::vector<TSerialPort> parsed(const std::string& json) {
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << "\n" << json;
  EXPECT_TRUE(document.isArray()) << json;
  std::vector<TSerialPort> found;
  for (const QJsonValue& value : document.array()) {
    const QJsonObject port = value.toObject();
    EXPECT_EQ(port.keys(), (QStringList{"by_id", "may_open", "name", "product"}));
    EXPECT_TRUE(port["by_id"].isNull() || port["by_id"].isString());
    found.push_back({port["name"].toString().toStdString(), port["product"].toString().toStdString(),
                     port["by_id"].toString().toStdString(), port["may_open"].toBool()});
  }
  return found;
}

}  // namespace

TEST(PortsCommand, JsonReadsBackAsTheListEvenWithOddProductStrings) {
  const std::vector<TSerialPort> list = {
      {"rfcomm0", "Bluetooth serial", "", false},
      {"ttyACM0", "Plotter \"Pro\" \\ 2\tline\nbreak", "", true},
      {"ttyUSB0", "Schneidplotter f\xc3\xbcr B\xc3\xbcro", "/dev/serial/by-id/usb-FTDI_FT232R_A5-if00-port0", true},
  };
  EXPECT_EQ(parsed(PortsJson(list)), list);
  EXPECT_TRUE(parsed(PortsJson({})).empty());
  // A device string that is not UTF-8 still gives valid JSON.
  const auto odd = parsed(PortsJson({{"ttyUSB1", "Bad \xff\xc3 bytes", "", true}}));
  ASSERT_EQ(odd.size(), 1u);
  EXPECT_EQ(odd[0].Product, "Bad \xef\xbf\xbd\xef\xbf\xbd bytes");
}

TEST(PortsCommand, TextHasOnePortALineWithItsNameFirst) {
  const std::string text = PortsText({{"rfcomm0", "Bluetooth serial", "", false},
                                      {"ttyUSB0", "FT232R\nUSB UART", "/dev/serial/by-id/usb-FTDI-if00-port0", true}});
  EXPECT_EQ(text,
            "rfcomm0  Bluetooth serial  -                                      no permission\n"
            "ttyUSB0  FT232R USB UART   /dev/serial/by-id/usb-FTDI-if00-port0  may open\n");
}

TEST(PortsCommand, BadUsage) {
  const CliRun bad = ports({"--yaml"});
  EXPECT_EQ(bad.code, 2);
  EXPECT_NE(bad.err.find("unexpected argument: --yaml"), std::string::npos);
}

TEST(PortsCommand, TheProgramsJsonIsThisMachinesPortList) {
  // The serial ports alone: no print server, and never the machine's own.
  setenv("CUPS_SERVER", "/nonexistent/korvex-no-server", 1);
  FILE* pipe = popen(KORVEX_CLI " ports --json", "r");
  ASSERT_NE(pipe, nullptr);
  std::string json;
  std::array<char, 4096> buffer;
  for (std::size_t n; (n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) json.append(buffer.data(), n);
  const int status = pclose(pipe);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::vector<TSerialPort> listed;
  ASSERT_TRUE(ScanSerialPorts(listed));
  EXPECT_EQ(parsed(json), listed);
}

TEST(PortsCommand, UsbPrintersFollowThePortsWithTheirKind) {
  const std::vector<TUsbPrinter> printers{{"lp0", "/dev/usb/lp0", "Test Cutter", "Korvex", "", "", true},
                                          {"lp1", "/dev/usb/lp1", "Plotter \"2\"", "", "", "", false}};
  EXPECT_EQ(PortsText({{"ttyUSB0", "FT232R USB UART", "", true}}, {}, printers),
            "ttyUSB0  FT232R USB UART  -  may open\n"
            "lp0  usb printer  Test Cutter  /dev/usb/lp0  may open\n"
            "lp1  usb printer  Plotter \"2\"  /dev/usb/lp1  no permission\n");
  EXPECT_EQ(PortsJson({}, {}, printers),
            "[\n {\"usb_printer\": \"lp0\", \"node\": \"/dev/usb/lp0\", \"product\": \"Test Cutter\", \"may_open\": true},\n"
            " {\"usb_printer\": \"lp1\", \"node\": \"/dev/usb/lp1\", \"product\": \"Plotter \\\"2\\\"\", \"may_open\": false}\n]\n");
}
