#include "DcbEditor.h"

#include <charconv>

namespace {

std::string hex(std::uint32_t value, int digits) {
  char text[8];
  const auto end = std::to_chars(text, text + sizeof text, value, 16).ptr;
  std::string result(text, end);
  for (char& c : result) c = static_cast<char>(c >= 'a' ? c - 'a' + 'A' : c);
  if (static_cast<int>(result.size()) < digits) result.insert(0, digits - result.size(), '0');
  return result;
}

// The item fields by their bit in the item mask: XonLim and XoffLim (1, 2) are 16 bits
// wide, ByteSize to EvtChar (3 to 10) one byte.
constexpr int kFirstByteItem = 3;
std::uint16_t DCB::*const kWordItems[] = {&DCB::XonLim, &DCB::XoffLim};
std::uint8_t DCB::*const kByteItems[] = {&DCB::ByteSize, &DCB::Parity,    &DCB::StopBits, &DCB::XonChar,
                                         &DCB::XoffChar, &DCB::ErrorChar, &DCB::EofChar,  &DCB::EvtChar};

}  // namespace

std::uint32_t DcbItem(const DCB& dcb, int item) {
  if (item >= kDcbFirstItem && item < kFirstByteItem) return dcb.*kWordItems[item - kDcbFirstItem];
  if (item >= kFirstByteItem && item <= kDcbLastItem) return dcb.*kByteItems[item - kFirstByteItem];
  return 0;
}

void SetDcbItem(DCB& dcb, int item, std::uint32_t value) {
  if (item >= kDcbFirstItem && item < kFirstByteItem)
    dcb.*kWordItems[item - kDcbFirstItem] = static_cast<std::uint16_t>(value);
  else if (item >= kFirstByteItem && item <= kDcbLastItem)
    dcb.*kByteItems[item - kFirstByteItem] = static_cast<std::uint8_t>(value);
}

std::uint32_t CombineDcbFlags(std::uint32_t portWord, std::uint32_t value, std::uint32_t mask) {
  mask &= kDcbEditorFlagBits;
  return (portWord & ~mask) | (value & mask) | DCB::fBinary;
}

void ApplyDcbOverrides(DCB& dcb, const TDcbOverrides& overrides) {
  dcb.Flags = CombineDcbFlags(dcb.Flags, overrides.FlagValue, overrides.FlagMask);
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = overrides.BaudRate;
  for (int item = kDcbFirstItem; item <= kDcbLastItem; ++item)
    if (overrides.ItemMask & (1u << item)) SetDcbItem(dcb, item, overrides.Items[item]);
}

std::vector<std::string> DcbLogLines(const DCB& dcb) {
  std::vector<std::string> lines = {
      "Begin-----------------------DCB",
      "DCBlength\t" + std::to_string(dcb.DCBlength),
      "BaudRate\t" + std::to_string(dcb.BaudRate),
      "Flags\t" + std::to_string(dcb.Flags) + "\t" + hex(dcb.Flags, 8),
  };
  static const char* const kNames[] = {"XonLim\t",  "XoffLim\t",  "ByteSize\t",  "Parity\t",  "StopBits\t",
                                       "XonChar\t", "XoffChar\t", "ErrorChar\t", "EofChar\t", "EvtChar\t"};
  constexpr int kFirstChar = 6;
  for (int item = kDcbFirstItem; item <= kDcbLastItem; ++item) {
    const std::uint32_t value = DcbItem(dcb, item);
    std::string line = kNames[item - 1] + std::to_string(value);
    if (item >= kFirstChar) line += "\t0x" + hex(value, 2);
    lines.push_back(std::move(line));
  }
  lines.push_back("End-------------------------DCB");
  return lines;
}

std::string DcbParityLabel(int parity) {
  static const char* const kLabels[] = {"None", "Odd", "Even", "Mark", "Space"};
  return parity >= 0 && parity <= 4 ? kLabels[parity] : "?";
}

std::string DcbStopBitsLabel(int stopBits) {
  static const char* const kLabels[] = {"1 bit", "1.5", "2 bit"};
  return stopBits >= 0 && stopBits <= 2 ? kLabels[stopBits] : "?";
}

std::string DcbCharLabel(int code) {
  if (code < 33) return "0x" + hex(static_cast<std::uint32_t>(code) & 0xFF, 2) + "h";
  return std::string(1, static_cast<char>(code));
}
