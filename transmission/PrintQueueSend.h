#pragma once
// A job sent raw to a CUPS print queue: the bytes handed to the server unchanged as one
// job, then the job watched until it ends. The server is talked to on a thread of the
// send's own, every wait bounded, so a server that hangs never holds up the caller, and
// a cancel reaches the server as a cancelled job.

#include "SendSession.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TPrintServer;
struct TPrintQueue;

enum class TQueueSendEnd { Running, Completed, Cancelled, Failed };

struct TQueueSendResult {
  TQueueSendEnd End = TQueueSendEnd::Running;
  std::string Reason;  // why it failed, with the server's own words where it gave any
  std::string Hint;    // what to do about it; may be empty
  int JobId = 0;       // 0 when no job was created
  std::size_t Handed = 0, Total = 0;
};

class TPrintQueueSend {
public:
  // answerMs bounds each wait for the server; pollMs is how often the job is looked at.
  TPrintQueueSend(std::string queue, std::string job, std::string title, int answerMs = 4000, int pollMs = 200);
  // Cancels a send still running and waits for its thread, which ends within its bounds.
  ~TPrintQueueSend();
  TPrintQueueSend(const TPrintQueueSend&) = delete;
  TPrintQueueSend& operator=(const TPrintQueueSend&) = delete;

  void Start();
  // Stops the send; a job already created is cancelled on the server.
  void Cancel();
  // Waits at most ms for news (a log line, progress, the end).
  void WaitForNews(int ms);
  // The log lines since the last call.
  std::vector<std::string> TakeLog();
  std::size_t Handed() const { return HandedBytes.load(); }
  std::size_t Total() const { return Job.size(); }
  // What the job is doing now, for the status line.
  std::string Status() const;
  bool Ended() const;
  TQueueSendResult Result() const;

private:
  void run();
  // Each step: false when the send ended (the result is then set).
  bool checkQueue(TPrintServer& server);
  bool createJob(TPrintServer& server);
  bool handDocument(TPrintServer& server);
  void watchJob(TPrintServer& server);
  // Cancels the job on a connection of its own and ends the send as cancelled, or as
  // failed with reason when the user did not ask for it.
  void cancelOnServer(const std::string& reason, const std::string& hint);
  void log(const std::string& line);
  void setStatus(const std::string& status);
  void finish(TQueueSendEnd end, const std::string& reason = {}, const std::string& hint = {});

  const std::string Queue, Job, Title;
  const int AnswerMs, PollMs;
  std::atomic<bool> Cancelled{false};
  std::atomic<std::size_t> HandedBytes{0};
  std::thread Worker;
  mutable std::mutex Lock;
  std::condition_variable News;
  std::vector<std::string> Lines;
  std::string StatusText;
  TQueueSendResult Outcome;
  int JobId = 0;
};

// Runs the send to its end on the caller's thread, which keeps running the view: the log
// lines go to log, progress and status to the view, and aborted() is asked all along.
TQueueSendResult RunQueueSend(TPrintQueueSend& send, ISendView& view, const std::function<bool()>& aborted,
                              const std::function<void(const std::string&)>& log);

// What the user is told of a send that did not complete: reason, bytes and what to do.
std::string QueueSendFailureText(const std::string& queue, const TQueueSendResult& result);
