#pragma once
// The direct COM path: the one serial port component that the program opens for a direct
// send. It stays open across sends until the next send closes it. Main thread only.
// The descriptor split and its memory of the last split live with the port state
// (SplitDescriptor and GetLastSplit, ports/PortExState.h).

#include "transmission/CPort.h"

#include <functional>
#include <memory>
#include <string>

// The open port, or null; the caller does not own it.
TComPort* DirectComPort();
// True when a port exists and is connected.
bool DCE_COMFILE_Open();
// Splits the descriptor (an empty one reopens the remembered port) and opens the port
// with its baud and flow items; true when it is open afterwards. A failure leaves no port.
bool DCE_OpenPort(const std::string& descriptor);
// Why the last DCE_OpenPort failed, as the component worded it, and its platform error
// code (0 when there is none); empty and 0 after a success.
std::string DCE_LastError();
int DCE_LastErrorCode();
// True when the whole text was written; false for an empty text, no port, a failing or a
// short write. The port stays open.
bool DCE_SendText(const std::string& text);
// Closes and destroys the port; errors of the close are swallowed and the remembered
// descriptor stays. What the port still holds is first left to go out (see
// TCustomComPort::DrainTransmitQueue; keepWaiting lets the caller's interface run and
// can stop the wait; a cutter that holds the line takes nothing for 30 s ends it too);
// what is left when the wait ends is thrown away.
TDrainResult DCE_ClosePort(const std::function<bool()>& keepWaiting = {});
// Throws away what the open port still holds for the line and ends a pending write,
// for a job that was cancelled or failed: the cutter stops at the bytes on the wire.
// Returns the bytes the port still holds after it: some drivers (cdc-acm) discard nothing.
std::uint32_t DCE_PurgeOutput();
// What makes the driver's port; tests put a scripted port here.
std::function<std::unique_ptr<TComPort>()>& DirectPortFactory();
// True for the baud rates a descriptor can set; any other value leaves the port at 9600.
bool IsDirectBaudRate(std::int32_t baud);
// Sets the port's baud rate and flow control from the remembered settings part.
void ApplyPortSettings();
