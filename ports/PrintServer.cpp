#include "PrintServer.h"

#include <cerrno>
#include <cstring>

namespace {

// How often a wait looks at the cancel flag and the answer limit.
constexpr double kWaitStepSeconds = 0.1;

}  // namespace

std::string PrintServerName() {
  // The library keeps the name a thread found first; the user's settings are read anew.
  cupsSetServer(nullptr);
  return cupsServer();
}

TPrintServer::TPrintServer(int answerMs, const std::atomic<bool>* cancel)
    : ServerName(PrintServerName()), AnswerLimitMs(answerMs), Cancel(cancel) {}

TPrintServer::~TPrintServer() {
  if (Connection) httpClose(Connection);
}

int TPrintServer::keepWaiting(http_t*, void* self) {
  auto& server = *static_cast<TPrintServer*>(self);
  if (server.Cancellable && server.Cancel && server.Cancel->load()) return 0;
  if (std::chrono::steady_clock::now() - server.WaitStart >= std::chrono::milliseconds(server.AnswerLimitMs)) {
    server.SilenceExpired = true;
    return 0;
  }
  return 1;
}

bool TPrintServer::Connect(std::string& error) {
  // A server that asks for a password is refused at once: the library's own way of asking
  // reads the terminal, a wait without a bound (and, in the window, without a terminal).
  cupsSetPasswordCB2([](const char*, http_t*, const char*, const char*, void*) -> const char* { return nullptr; },
                     nullptr);
  StartWait();
  // The connect's own cancel flag is an int; ours is looked at before and after.
  int neverCancel = 0;
  Connection = httpConnect2(ServerName.c_str(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, AnswerLimitMs,
                            &neverCancel);
  if (!Connection) {
    error = "cannot reach the print server " + ServerName + ": " + std::strerror(errno);
    return false;
  }
  httpSetTimeout(Connection, kWaitStepSeconds, keepWaiting, this);
  return true;
}

ipp_t* TPrintServer::QueueRequest(ipp_op_t operation, const std::string& queue) {
  ipp_t* request = ippNewRequest(operation);
  char uri[HTTP_MAX_URI];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/printers/%s",
                   queue.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  return request;
}

std::string TPrintServer::Joined(ipp_attribute_t* attribute) {
  std::string text;
  for (int i = 0; attribute && i < ippGetCount(attribute); ++i) {
    if (i > 0) text += ',';
    if (const char* value = ippGetString(attribute, i, nullptr)) text += value;
  }
  return text;
}

std::string TPrintServer::FailureText() const {
  if (SilenceExpired)
    return "the print server " + ServerName + " did not answer within " + std::to_string(AnswerLimitMs / 1000) +
           " s";
  if (Cancellable && Cancel && Cancel->load()) return "cancelled";
  const int code = Connection ? httpError(Connection) : 0;
  return "the connection to the print server " + ServerName + " failed" +
         (code ? std::string(": ") + std::strerror(code) : std::string());
}

ipp_t* TPrintServer::Do(ipp_t* request, const std::string& resource, std::string& error, bool cancellable) {
  StartWait(cancellable);
  // A connection that an earlier request left half-way is opened anew.
  if (httpGetState(Connection) != HTTP_STATE_WAITING) httpReconnect2(Connection, AnswerLimitMs, nullptr);
  ipp_t* response = cupsDoRequest(Connection, request, resource.c_str());
  Cancellable = false;
  LastStatus = response ? ippGetStatusCode(response) : IPP_STATUS_OK;
  if (!response) {
    error = FailureText();
    return nullptr;
  }
  if (ippGetStatusCode(response) > IPP_STATUS_OK_CONFLICTING) {
    // The answer's own text; the library's last error may be another request's.
    ipp_attribute_t* message = ippFindAttribute(response, "status-message", IPP_TAG_TEXT);
    const char* text = message ? ippGetString(message, 0, nullptr) : nullptr;
    error = std::string("the print server refused: ") + (text ? text : ippErrorString(ippGetStatusCode(response)));
    ippDelete(response);
    return nullptr;
  }
  return response;
}
