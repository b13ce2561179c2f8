#include "ports/PortListItems.h"

#include <gtest/gtest.h>

namespace {

const std::vector<TSerialPort> kPresent = {
    {"rfcomm0", "Bluetooth serial", "", true},
    {"ttyUSB0", "FT232R USB UART", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A5-if00-port0", true},
};

}  // namespace

TEST(PortListItems, PresentPortsByProductAndOtherNamesAloneOnceEach) {
  using Items = std::vector<TPortListItem>;
  EXPECT_EQ(PortListItems(kPresent, {"/tmp/korvex-cutter", "ttyUSB0", "COM3", "", "/tmp/korvex-cutter"}),
            (Items{{"/tmp/korvex-cutter", "/tmp/korvex-cutter", "/tmp/korvex-cutter"},
                   {"COM3", "COM3", "/dev/COM3"},
                   {"rfcomm0", "rfcomm0 - Bluetooth serial", "/dev/rfcomm0"},
                   {"ttyUSB0", "ttyUSB0 - FT232R USB UART", kPresent[1].ById}}));
}

TEST(TypedPortName, PresentPortsByAnyOfTheirNamesOtherwiseTheTextItself) {
  const std::pair<const char*, const char*> rows[] = {
      {"ttyUSB0 - FT232R USB UART", "ttyUSB0"},
      {" /dev/ttyUSB0 ", "ttyUSB0"},
      {"\\\\.\\ttyUSB0", "ttyUSB0"},
      {"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A5-if00-port0", "ttyUSB0"},
      {"rfcomm0", "rfcomm0"},
      {"ttyUSB1", "ttyUSB1"},
      {"\t/tmp/korvex-cutter ", "/tmp/korvex-cutter"},
      {"pts/3", "pts/3"},
      {"   ", ""},
  };
  for (const auto& [typed, name] : rows) EXPECT_EQ(TypedPortName(typed, kPresent), name) << typed;
}
