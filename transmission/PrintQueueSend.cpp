#include "PrintQueueSend.h"

#include "ActivityLog.h"
#include "platform/CodePage.h"
#include "platform/NumberText.h"
#include "ports/PrintQueues.h"
#include "ports/PrintServer.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace {

// Pieces handed to the server; each is one bounded wait.
constexpr std::size_t kPieceBytes = 64 * 1024;
// How long the caller's loop waits for news before it runs the view again.
constexpr int kPumpMs = 50;

const char* jobStateText(int state) {
  switch (state) {
    case IPP_JSTATE_PENDING: return "pending";
    case IPP_JSTATE_HELD: return "held";
    case IPP_JSTATE_PROCESSING: return "processing";
    case IPP_JSTATE_STOPPED: return "stopped";
    case IPP_JSTATE_CANCELED: return "cancelled";
    case IPP_JSTATE_ABORTED: return "aborted";
    case IPP_JSTATE_COMPLETED: return "completed";
    default: return "unknown";
  }
}

std::string stringOf(ipp_t* response, const char* name) {
  ipp_attribute_t* attribute = ippFindAttribute(response, name, IPP_TAG_ZERO);
  const char* text = attribute ? ippGetString(attribute, 0, nullptr) : nullptr;
  return text ? text : "";
}

// "reason: detail", or the one of them there is.
std::string withDetail(const std::string& reason, const std::string& detail) {
  return detail.empty() ? reason : reason + ": " + detail;
}

// A server that stopped answering keeps the job it was given; it may run once the server
// wakes, so the user is told how to end it.
std::string silentServerHint(const std::string& queue, int jobId) {
  return "Check that the print service runs (systemctl status cups); job " + std::to_string(jobId) +
         " may still be in its queue: end it with cancel " + queue + "-" + std::to_string(jobId) + ".";
}

std::string enableHint(const std::string& queue) {
  return "Start the queue with: cupsenable " + queue + " (or in the printer settings), then send again.";
}

}  // namespace

TPrintQueueSend::TPrintQueueSend(std::string queue, std::string job, std::string title, int answerMs, int pollMs)
    : Queue(std::move(queue)), Job(std::move(job)), Title(std::move(title)), AnswerMs(answerMs), PollMs(pollMs) {
  Outcome.Total = Job.size();
}

TPrintQueueSend::~TPrintQueueSend() {
  Cancel();
  if (Worker.joinable()) Worker.join();
}

void TPrintQueueSend::Start() { Worker = std::thread([this] { run(); }); }

void TPrintQueueSend::Cancel() {
  Cancelled = true;
  News.notify_all();
}

void TPrintQueueSend::WaitForNews(int ms) {
  std::unique_lock<std::mutex> guard(Lock);
  News.wait_for(guard, std::chrono::milliseconds(ms),
                [this] { return !Lines.empty() || Outcome.End != TQueueSendEnd::Running; });
}

std::vector<std::string> TPrintQueueSend::TakeLog() {
  const std::lock_guard<std::mutex> guard(Lock);
  return std::exchange(Lines, {});
}

std::string TPrintQueueSend::Status() const {
  const std::lock_guard<std::mutex> guard(Lock);
  return StatusText;
}

bool TPrintQueueSend::Ended() const {
  const std::lock_guard<std::mutex> guard(Lock);
  return Outcome.End != TQueueSendEnd::Running;
}

TQueueSendResult TPrintQueueSend::Result() const {
  const std::lock_guard<std::mutex> guard(Lock);
  TQueueSendResult result = Outcome;
  result.Handed = HandedBytes.load();
  return result;
}

void TPrintQueueSend::log(const std::string& line) {
  {
    const std::lock_guard<std::mutex> guard(Lock);
    Lines.push_back(line);
  }
  News.notify_all();
}

void TPrintQueueSend::setStatus(const std::string& status) {
  const std::lock_guard<std::mutex> guard(Lock);
  StatusText = status;
}

void TPrintQueueSend::finish(TQueueSendEnd end, const std::string& reason, const std::string& hint) {
  {
    const std::lock_guard<std::mutex> guard(Lock);
    Outcome.End = end;
    Outcome.Reason = reason;
    Outcome.Hint = hint;
    Outcome.JobId = JobId;
  }
  News.notify_all();
}

void TPrintQueueSend::run() {
  TPrintServer server(AnswerMs, &Cancelled);
  log("Server\t" + server.Name());
  std::string error;
  if (!server.Connect(error)) {
    log("Failed\t" + error);
    finish(TQueueSendEnd::Failed, error, "Check that the print service runs (systemctl status cups).");
    return;
  }
  if (!checkQueue(server) || !createJob(server)) return;
  if (!handDocument(server)) return;
  watchJob(server);
}

bool TPrintQueueSend::checkQueue(TPrintServer& server) {
  TPrintQueue queue;
  std::string error;
  if (!ReadPrintQueue(server, Queue, queue, error)) {
    log("Failed\t" + error);
    finish(TQueueSendEnd::Failed, error,
           server.Status() == IPP_STATUS_ERROR_NOT_FOUND
               ? "Choose a queue the print server has (the 'Printer Queue' page or korvex-cli ports lists them)."
               : "");
    return false;
  }
  log("QueueState\t" + QueueStateText(queue) + (queue.StateMessage.empty() ? "" : " (" + queue.StateMessage + ")"));
  // Refused before anything is submitted: the job would wait in a stopped queue and cut
  // whenever someone starts it.
  if (queue.State == IPP_PSTATE_STOPPED) {
    finish(TQueueSendEnd::Failed, withDetail("the print queue \"" + Queue + "\" is stopped", queue.StateMessage),
           enableHint(Queue));
    return false;
  }
  if (!queue.Accepting) {
    finish(TQueueSendEnd::Failed,
           withDetail("the print queue \"" + Queue + "\" does not accept jobs", queue.StateMessage),
           "Let it accept jobs with: cupsaccept " + Queue + ", then send again.");
    return false;
  }
  if (!queue.Raw)
    log("Warning\tThe queue has a driver (" + queue.MakeAndModel +
        "); the job goes to the device unchanged, past the driver");
  if (Cancelled) {
    finish(TQueueSendEnd::Cancelled);
    return false;
  }
  return true;
}

bool TPrintQueueSend::createJob(TPrintServer& server) {
  // A request of our own on the bounded connection: the library's job call opens a
  // connection of its own that waits a minute at a time.
  ipp_t* request = TPrintServer::QueueRequest(IPP_OP_CREATE_JOB, Queue);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, Title.c_str());
  std::string error;
  ipp_t* response = server.Do(request, TPrintServer::QueueResource(Queue), error);
  if (!response) {
    log("Failed\t" + error);
    finish(TQueueSendEnd::Failed, "the job could not be created: " + error);
    return false;
  }
  ipp_attribute_t* id = ippFindAttribute(response, "job-id", IPP_TAG_INTEGER);
  JobId = id ? ippGetInteger(id, 0) : 0;
  ippDelete(response);
  if (JobId <= 0) {
    finish(TQueueSendEnd::Failed, "the print server created the job without a job id");
    return false;
  }
  log("Job\t" + std::to_string(JobId));
  if (Cancelled) {
    cancelOnServer({}, {});
    return false;
  }
  return true;
}

bool TPrintQueueSend::handDocument(TPrintServer& server) {
  setStatus("handing the job to the print server");
  server.StartWait();
  http_status_t status = cupsStartDocument(server.Http(), Queue.c_str(), JobId, Title.c_str(), CUPS_FORMAT_RAW, 1);
  for (std::size_t at = 0; status == HTTP_STATUS_CONTINUE && at < Job.size() && !Cancelled;) {
    const std::size_t count = std::min(kPieceBytes, Job.size() - at);
    server.StartWait(true);
    status = cupsWriteRequestData(server.Http(), Job.data() + at, count);
    if (status != HTTP_STATUS_CONTINUE) break;
    at += count;
    HandedBytes = at;
    News.notify_all();
  }
  if (Cancelled) {
    cancelOnServer({}, {});
    return false;
  }
  std::string error;
  if (status == HTTP_STATUS_CONTINUE) {
    server.StartWait();
    if (cupsFinishDocument(server.Http(), Queue.c_str()) <= IPP_STATUS_OK_CONFLICTING) {
      log("Handed\t" + std::to_string(Job.size()) + " bytes");
      return true;
    }
    // Right after the call, the library's last error is this answer's.
    error = server.TimedOut() || Cancelled ? server.FailureText() : cupsLastErrorString();
  } else {
    error = server.FailureText();
  }
  log("Failed\t" + error);
  if (Cancelled) cancelOnServer({}, {});
  else if (server.TimedOut()) finish(TQueueSendEnd::Failed, error, silentServerHint(Queue, JobId));
  else cancelOnServer("the print server did not take the job: " + error, {});
  return false;
}

void TPrintQueueSend::watchJob(TPrintServer& server) {
  int lastState = 0;
  std::string lastQueueMessage, lastReasons;
  for (;;) {
    if (Cancelled) return cancelOnServer({}, {});
    ipp_t* request = TPrintServer::QueueRequest(IPP_OP_GET_JOB_ATTRIBUTES, Queue);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", JobId);
    std::string error;
    ipp_t* response = server.Do(request, TPrintServer::QueueResource(Queue), error, true);
    TPrintQueue queue;
    if (response && !ReadPrintQueue(server, Queue, queue, error)) {
      ippDelete(response);
      response = nullptr;
    }
    if (!response) {
      if (Cancelled) return cancelOnServer({}, {});
      log("Failed\t" + error);
      return finish(TQueueSendEnd::Failed, error, server.TimedOut() ? silentServerHint(Queue, JobId) : "");
    }
    // The job's state is an attribute of the answer; the message's own state says nothing of it.
    ipp_attribute_t* stateAttribute = ippFindAttribute(response, "job-state", IPP_TAG_ENUM);
    const int state = stateAttribute ? ippGetInteger(stateAttribute, 0) : 0;
    const std::string reasons = TPrintServer::Joined(ippFindAttribute(response, "job-state-reasons", IPP_TAG_KEYWORD));
    const std::string jobMessage = stringOf(response, "job-printer-state-message");
    ippDelete(response);
    if (state != lastState || reasons != lastReasons) {
      log("JobState\t" + std::string(jobStateText(state)) + (reasons.empty() ? "" : " (" + reasons + ")"));
      setStatus("job " + std::to_string(JobId) + " " + jobStateText(state));
    }
    if (queue.StateMessage != lastQueueMessage && !queue.StateMessage.empty())
      log("QueueMessage\t" + queue.StateMessage);
    lastState = state;
    lastReasons = reasons;
    lastQueueMessage = queue.StateMessage;
    const std::string said = !jobMessage.empty() ? jobMessage : queue.StateMessage;
    switch (state) {
      case IPP_JSTATE_COMPLETED: return finish(TQueueSendEnd::Completed);
      case IPP_JSTATE_CANCELED:
        return finish(TQueueSendEnd::Failed, withDetail("the job was cancelled on the print server", said));
      case IPP_JSTATE_ABORTED:
        return finish(TQueueSendEnd::Failed, withDetail("the print server aborted the job", said),
                      "Check that the cutter is on and connected, then send the job again.");
      case IPP_JSTATE_HELD:
        // Held after a failing device, it would cut by itself minutes later.
        return cancelOnServer(withDetail("the print server held the job", said),
                              "Check that the cutter is on and connected, then send the job again.");
      case IPP_JSTATE_STOPPED: return cancelOnServer(withDetail("the print queue stopped", said), enableHint(Queue));
      default:
        if (queue.State == IPP_PSTATE_STOPPED)
          return cancelOnServer(withDetail("the print queue \"" + Queue + "\" stopped", said), enableHint(Queue));
    }
    std::unique_lock<std::mutex> guard(Lock);
    News.wait_for(guard, std::chrono::milliseconds(PollMs), [this] { return Cancelled.load(); });
  }
}

void TPrintQueueSend::cancelOnServer(const std::string& reason, const std::string& hint) {
  setStatus("cancelling job " + std::to_string(JobId));
  // A fresh connection: the one in use may be half-way through a request.
  TPrintServer server(AnswerMs);
  std::string error;
  bool done = server.Connect(error);
  if (done) {
    ipp_t* request = TPrintServer::QueueRequest(IPP_OP_CANCEL_JOB, Queue);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", JobId);
    ipp_t* response = server.Do(request, TPrintServer::QueueResource(Queue), error);
    done = response != nullptr;
    ippDelete(response);
  }
  log(done ? "Cancelled\tjob " + std::to_string(JobId) + " on the print server"
           : "CancelFailed\tjob " + std::to_string(JobId) + ": " + error);
  const std::string left = done ? "" : " The job may still be in the queue: cancel it with cancel " + Queue + "-" +
                                           std::to_string(JobId) + ".";
  if (reason.empty())
    finish(TQueueSendEnd::Cancelled, done ? "" : "the job could not be cancelled on the print server: " + error,
           left);
  else
    finish(TQueueSendEnd::Failed, reason + (done ? "; the job was cancelled so that it does not cut later" : ""),
           hint + left);
}

TQueueSendResult RunQueueSend(TPrintQueueSend& send, ISendView& view, const std::function<bool()>& aborted,
                              const std::function<void(const std::string&)>& log) {
  view.ShowProgress(0, send.Total());
  send.Start();
  std::string shownStatus;
  std::size_t shownHanded = 0;
  for (bool ended = false; !ended;) {
    ended = send.Ended();
    view.Pump();
    if (aborted()) send.Cancel();
    for (const std::string& line : send.TakeLog()) log(line);
    if (const std::size_t handed = send.Handed(); handed != shownHanded || shownHanded == 0) {
      shownHanded = handed;
      view.ShowProgress(handed, send.Total());
      view.ShowProgressText(FixedPoint(static_cast<double>(handed) / 1024.0, 2) + " kb / " +
                            FixedPoint(static_cast<double>(send.Total()) / 1024.0, 2) + " kb");
    }
    if (const std::string status = send.Status(); status != shownStatus) {
      shownStatus = status;
      view.ShowStatus(AnsiToWide(status));
    }
    if (!ended) send.WaitForNews(kPumpMs);
  }
  const TQueueSendResult result = send.Result();
  if (result.End == TQueueSendEnd::Completed) log("SendRes\tTrue");
  else {
    log("SendRes\tFalse");
    log(SentLine(result.Handed, result.Total));
  }
  return result;
}

std::string QueueSendFailureText(const std::string& queue, const TQueueSendResult& result) {
  std::string text = "The job did not complete on the print queue \"" + queue + "\": " + result.Reason + ". " +
                     WholeNumber(result.Handed) + " of " + WholeNumber(result.Total) +
                     " bytes were handed to the print server.";
  if (!result.Hint.empty()) text += "\n" + result.Hint;
  return text;
}
