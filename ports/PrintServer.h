#pragma once
// One connection of our own to the CUPS server that the user's settings name
// (CUPS_SERVER, client.conf, else the local socket), with every wait bounded. libcups's
// default connection belongs to the calling thread and waits a minute at a time; a
// stopped server would freeze whoever waits on it.

#include <cups/cups.h>

#include <atomic>
#include <chrono>
#include <string>

class TPrintServer {
public:
  // A request fails once the server has been silent for answerMs, or as soon as *cancel
  // turns true (when given) in a request that may be cancelled.
  explicit TPrintServer(int answerMs = 4000, const std::atomic<bool>* cancel = nullptr);
  ~TPrintServer();
  TPrintServer(const TPrintServer&) = delete;
  TPrintServer& operator=(const TPrintServer&) = delete;

  // Connects (bounded as a request is); false with the reason in error.
  bool Connect(std::string& error);
  // Sends the request, which it frees, and returns the server's answer, or null with the
  // reason in error: the server's own status text, or that it did not answer in time.
  ipp_t* Do(ipp_t* request, const std::string& resource, std::string& error, bool cancellable = false);
  // A request naming the queue (printer-uri) and the user, as every job request does.
  static ipp_t* QueueRequest(ipp_op_t operation, const std::string& queue);
  static std::string QueueResource(const std::string& queue) { return "/printers/" + queue; }
  // The attribute's string values joined by commas; empty for none.
  static std::string Joined(ipp_attribute_t* attribute);

  // Starts a wait that the answer limit measures; Do starts one itself, a streamed
  // document starts one per piece.
  void StartWait(bool cancellable = false) {
    WaitStart = std::chrono::steady_clock::now();
    Cancellable = cancellable;
    SilenceExpired = false;
  }
  // Why the last call that used the connection failed: silence, cancel, or the system's error.
  std::string FailureText() const;
  bool TimedOut() const { return SilenceExpired; }
  // The status of the last answer (IPP_STATUS_OK when none came).
  ipp_status_t Status() const { return LastStatus; }

  http_t* Http() const { return Connection; }
  // The server as the messages name it: its socket path or host.
  const std::string& Name() const { return ServerName; }
  int AnswerMs() const { return AnswerLimitMs; }

private:
  static int keepWaiting(http_t* http, void* self);

  http_t* Connection = nullptr;
  std::string ServerName;
  int AnswerLimitMs;
  const std::atomic<bool>* Cancel;
  bool Cancellable = false;
  bool SilenceExpired = false;
  ipp_status_t LastStatus = IPP_STATUS_OK;
  std::chrono::steady_clock::time_point WaitStart;
};

// The server as the messages name it, without connecting.
std::string PrintServerName();
