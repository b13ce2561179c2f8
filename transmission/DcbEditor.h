#pragma once
// The DCB editor's rules without its page: how the overrides a technician chose are
// imposed on the device control block read from a port, and the block's dump for the
// activity log.

#include "platform/comm.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The flag bits the editor can override: every field but fBinary, which is always set.
inline constexpr std::uint32_t kDcbEditorFlagBits = 0x7FFE;

// What "Reset" puts into the editor: 8 data bits, no parity, one stop bit (the item
// mask), CTS output flow, DTR on and RTS handshaking (the flag value and mask).
inline constexpr std::uint32_t kDcbResetItemMask = 56;
inline constexpr std::uint32_t kDcbResetFlags = 8213;

// The item fields by their bit in the item mask, 1 (XonLim) to 10 (EvtChar).
inline constexpr int kDcbFirstItem = 1, kDcbLastItem = 10;
std::uint32_t DcbItem(const DCB& dcb, int item);
void SetDcbItem(DCB& dcb, int item, std::uint32_t value);

// The editor's numbers as they stand when a port is opened.
struct TDcbOverrides {
  std::uint32_t FlagValue = 0;
  std::uint32_t FlagMask = 0;
  std::uint32_t ItemMask = 0;
  std::array<std::uint32_t, kDcbLastItem + 1> Items{};  // by item bit; [0] unused
  std::uint32_t BaudRate = 0;
};

// The word written to the port: the port's bits outside the mask, the value's inside it
// (so an override of "FALSE" or "Disable" clears them), and fBinary always.
std::uint32_t CombineDcbFlags(std::uint32_t portWord, std::uint32_t value, std::uint32_t mask);

// Imposes the overrides on a block read from the port; fields not overridden keep the
// port's values, the baud rate is always the chosen one.
void ApplyDcbOverrides(DCB& dcb, const TDcbOverrides& overrides);

// The dump's lines, from "Begin-----------------------DCB" to "End-------------------------DCB".
std::vector<std::string> DcbLogLines(const DCB& dcb);

// The labels beside the parity, stop-bit and character spin edits.
std::string DcbParityLabel(int parity);
std::string DcbStopBitsLabel(int stopBits);
std::string DcbCharLabel(int code);  // 8-bit text: control codes and space as 0x..h
