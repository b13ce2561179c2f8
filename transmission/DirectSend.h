#pragma once
// The direct path of the Send command: reopen the port from the descriptor, run the
// transfer and log every step. The window and the command line share it.

#include <functional>
#include <string>

#include "SendPacer.h"
#include "SendSession.h"

// The send session's writer on the direct port driver's port; an empty writer when no
// port is open. A write timeout comes back short; a failing device reports a failure,
// and a device that has gone away is released at once, so a replugged adapter can be
// opened under its name again.
TSendSession::TWriter DirectPortWriter();
// The wait for the direct port driver's port to send the end of a job, by the rules of
// its flow control; a handshake is waited for until the watch stops it.
TSendSession::TTailWait DirectPortTailWait();
// A pacer's line on the direct port driver's port, on the steady clock.
TPacerPort DirectPacerPort();

struct TDirectSendHooks {
  // One stamped line of the activity log.
  std::function<void(const std::string& line)> Log;
  // The port could not be opened: the message for the user, the component's reason and a
  // line on what to do about it (empty when there is no advice).
  std::function<void(const std::string& message, const std::string& reason, const std::string& hint)> OpenFailed;
  // Writes the job to the open port; tells how the transfer ended.
  std::function<TSendOutcome(const std::string& jobText, bool useTxBuffer)> Transfer;
  // The device failed during the transfer: what the user is told, with the bytes sent.
  std::function<void(const std::u16string& message)> SendFailed;
  // Called while the previous job's tail drains before its port closes; false stops the wait.
  std::function<bool()> KeepWaiting;
};

// bufferSize > 0 is the "Use Tx Buffer" path with that size. Returns the transfer's
// result; false when the port could not be opened. A transfer that did not finish
// throws away what the port still holds, so the cutter stops at the bytes on the wire,
// and its log ends with how many bytes left the port of how many.
bool RunDirectSend(const std::string& jobText, const std::string& descriptor, int bufferSize,
                   const TDirectSendHooks& hooks);
