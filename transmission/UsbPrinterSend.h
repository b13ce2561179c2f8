#pragma once
// The Direct USB path of the Send command: the job goes to a USB printer node in pieces
// under a send session, the driver holding each write back while the cutter is busy.
// The cutter's status is read before the send and whenever a write makes no progress
// for a second, told in the log and the send's status, and waited out.

#include "SendSession.h"
#include "platform/UsbPrinterNode.h"

#include <functional>
#include <string>

// The session's writer on an open node. log gets a line each time what the cutter
// reports changes; the write itself returns that report as its Status.
TSendSession::TWriter UsbPrinterWriter(TUsbPrinterNode& node, std::function<void(const std::string&)> log);
// The wait for the driver to finish the last write, so that the close does not cut it off.
TSendSession::TTailWait UsbPrinterTailWait(TUsbPrinterNode& node);

struct TUsbSendHooks {
  // One stamped line of the activity log.
  std::function<void(const std::string& line)> Log;
  // The node could not be opened: the message for the user and a line on what to do.
  std::function<void(const std::string& message, const std::string& hint)> OpenFailed;
  // Writes the job through the session's line; tells how the transfer ended.
  std::function<TSendOutcome(const TSendLine& line, const std::string& jobText)> Transfer;
  // The device failed or went away during the transfer: what the user is told.
  std::function<void(const std::u16string& message)> SendFailed;
};

// Writes the job unchanged on the line in blocks the size of the driver's transfers,
// through view, ending the transfer once aborted() says so.
TSendOutcome TransferToUsbPrinter(ISendView& view, const TSendLine& line, const std::string& jobText,
                                  const std::function<bool()>& aborted);

// Sends the job's bytes unchanged to the printer node (a path, "usb:lpN" or a product as
// listed). Returns the transfer's result; false when the node could not be opened.
bool RunUsbPrinterSend(const std::string& jobText, const std::string& node, const TUsbSendHooks& hooks);
