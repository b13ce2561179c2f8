#include "transmission/DcbEditor.h"

#include <gtest/gtest.h>

TEST(DcbEditor, CombinesTheFlagWordUnderTheMask) {
  struct Row {
    std::uint32_t port, value, mask, written;
  } const rows[] = {
      {0x0000, 8213, 12340, 8213},             // the reset: CTS flow, DTR on, RTS handshake
      {0xFFFF, 0x0001, 0x3034, 0xCFCB},        // "FALSE" and "Disable" clear what the port had
      {0x1234, 0x7FFF, 0, 0x1235},             // nothing overridden: the port's word, with fBinary
      {0x0000, 8213, 8213, 0x2015},            // the reset mask before the boxes widen it
      {0x18000, 0x8000, 0xFFFF8001, 0x18001},  // bits beyond the editor's keep the port's values
  };
  for (const Row& row : rows)
    EXPECT_EQ(CombineDcbFlags(row.port, row.value, row.mask), row.written) << std::hex << row.port << " " << row.mask;
}

namespace {

// A block as a port might report it.
DCB portDcb() {
  DCB dcb;
  dcb.BaudRate = 9600;
  dcb.Flags = 0x2015;
  dcb.XonLim = 2048;
  dcb.XoffLim = 512;
  dcb.ByteSize = 7;
  dcb.Parity = EVENPARITY;
  dcb.StopBits = TWOSTOPBITS;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  dcb.ErrorChar = 0xAB;
  dcb.EofChar = 0x1A;
  return dcb;
}

}  // namespace

TEST(DcbEditor, OverridesOnlyTheChosenItemsAndAlwaysTheBaudRate) {
  DCB port = portDcb();
  port.DCBlength = 0;
  TDcbOverrides overrides;
  overrides.BaudRate = 38400;
  // Bit 0 and bits above EvtChar's mean nothing.
  overrides.ItemMask = kDcbResetItemMask | 2 | 1 | 0xF800;
  overrides.Items[1] = 70000;  // XonLim is 16 bits wide
  overrides.Items[3] = 8;
  overrides.Items[10] = 0x7E;  // EvtChar is not in the mask
  ApplyDcbOverrides(port, overrides);
  EXPECT_EQ(port.DCBlength, 28u);
  EXPECT_EQ(port.BaudRate, 38400u);
  EXPECT_EQ(port.Flags, 0x2015u);
  EXPECT_EQ(port.XonLim, 70000 & 0xFFFF);
  EXPECT_EQ(port.XoffLim, 512);
  EXPECT_EQ(port.ByteSize, 8);
  EXPECT_EQ(port.Parity, NOPARITY);
  EXPECT_EQ(port.StopBits, ONESTOPBIT);
  EXPECT_EQ(port.XonChar, 0x11);
  EXPECT_EQ(port.EvtChar, 0);
}

TEST(DcbEditor, DumpsEveryFieldInItsOwnLine) {
  EXPECT_EQ(
      DcbLogLines(portDcb()),
      (std::vector<std::string>{"Begin-----------------------DCB", "DCBlength\t28", "BaudRate\t9600",
                                "Flags\t8213\t00002015", "XonLim\t2048", "XoffLim\t512", "ByteSize\t7", "Parity\t2",
                                "StopBits\t2", "XonChar\t17\t0x11", "XoffChar\t19\t0x13", "ErrorChar\t171\t0xAB",
                                "EofChar\t26\t0x1A", "EvtChar\t0\t0x00", "End-------------------------DCB"}));
}

TEST(DcbEditor, LabelsBesideTheSpinEdits) {
  EXPECT_EQ(DcbParityLabel(0), "None");
  EXPECT_EQ(DcbParityLabel(4), "Space");
  EXPECT_EQ(DcbParityLabel(5), "?");
  EXPECT_EQ(DcbParityLabel(-1), "?");
  EXPECT_EQ(DcbStopBitsLabel(0), "1 bit");
  EXPECT_EQ(DcbStopBitsLabel(1), "1.5");
  EXPECT_EQ(DcbStopBitsLabel(2), "2 bit");
  EXPECT_EQ(DcbStopBitsLabel(3), "?");
  const std::pair<int, const char*> chars[] = {{0, "0x00h"}, {17, "0x11h"}, {19, "0x13h"}, {32, "0x20h"},
                                               {33, "!"},    {65, "A"},     {97, "a"},     {255, "\xFF"}};
  for (const auto& [code, label] : chars) EXPECT_EQ(DcbCharLabel(code), label) << code;
}
