#pragma once
// A CUPS scheduler of the tests' own: a fresh tree under a short /tmp path (its socket
// path must stay under 108 bytes), its own backends and queues, and CUPS_SERVER pointing
// the whole process, and the programs it starts, at it. Never the machine's own server.

#include <cups/ipp.h>

#include <string>
#include <sys/types.h>

class TPrivatePrintServer {
public:
  // Queues: "raw" writes what it gets to OutputPath("raw"); "fails" fails its device at once
  // and aborts the job, "held" fails likewise but keeps the job to retry, "halts" fails
  // likewise and stops the queue, "hangs" never
  // finishes, "stopped" is stopped, "rejecting" does not accept jobs, "driver" has a
  // driver and writes like "raw".
  TPrivatePrintServer();
  ~TPrivatePrintServer();
  TPrivatePrintServer(const TPrivatePrintServer&) = delete;
  TPrivatePrintServer& operator=(const TPrivatePrintServer&) = delete;

  // Empty when the server could not be set up; Why() says why (a test then skips).
  bool Running() const { return Pid > 0; }
  const std::string& Why() const { return Reason; }
  std::string OutputPath(const std::string& queue) const { return Root + "/out/" + queue; }
  std::string ReadOutput(const std::string& queue) const;
  // The job's state as the server has it (IPP_JSTATE_...), read on a connection of the test's own.
  int JobState(int jobId) const;
  // Freezes and wakes the scheduler.
  void Stop() const;
  void Continue() const;

private:
  std::string Root;
  std::string Reason;
  pid_t Pid = -1;
};
