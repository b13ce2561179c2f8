#include "PrintQueues.h"

#include "PrintServer.h"

#include <algorithm>

namespace {

const char* const kQueueAttributes[] = {"printer-name", "printer-make-and-model", "printer-state",
                                        "printer-is-accepting-jobs", "printer-state-message"};

void askForQueueAttributes(ipp_t* request) {
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                static_cast<int>(std::size(kQueueAttributes)), nullptr, kQueueAttributes);
}

// Reads one queue's attributes from attribute onwards, up to the next group separator;
// returns the attribute after them.
ipp_attribute_t* readQueue(ipp_t* response, ipp_attribute_t* attribute, TPrintQueue& queue) {
  for (; attribute && ippGetGroupTag(attribute) == IPP_TAG_PRINTER; attribute = ippNextAttribute(response)) {
    const std::string name = ippGetName(attribute) ? ippGetName(attribute) : "";
    const char* text = ippGetString(attribute, 0, nullptr);
    if (name == "printer-name" && text) queue.Name = text;
    else if (name == "printer-make-and-model" && text) queue.MakeAndModel = text;
    else if (name == "printer-state") queue.State = ippGetInteger(attribute, 0);
    else if (name == "printer-is-accepting-jobs") queue.Accepting = ippGetBoolean(attribute, 0) != 0;
    else if (name == "printer-state-message" && text) queue.StateMessage = text;
  }
  // lpadmin -m raw names a queue without a driver so; one with no model at all is raw too.
  queue.Raw = queue.MakeAndModel.empty() || queue.MakeAndModel == "Local Raw Printer";
  return attribute;
}

}  // namespace

const char* QueueKindText(const TPrintQueue& queue) { return queue.Raw ? "raw" : "driver"; }

std::string QueueStateText(const TPrintQueue& queue) {
  const std::string state = queue.State == 5 ? "stopped" : queue.State == 4 ? "processing" : "idle";
  if (queue.Accepting) return state;
  return queue.State == 5 ? "stopped, rejecting" : "rejecting";
}

void SortQueues(std::vector<TPrintQueue>& queues) {
  std::stable_sort(queues.begin(), queues.end(), [](const TPrintQueue& a, const TPrintQueue& b) {
    return a.Raw != b.Raw ? a.Raw : a.Name < b.Name;
  });
}

bool ListPrintQueues(std::vector<TPrintQueue>& queues, std::string& error, int answerMs) {
  queues.clear();
  TPrintServer server(answerMs);
  if (!server.Connect(error)) return false;
  // One request on our own bounded connection; the library's destination list would wait
  // on a connection of its own and read the user's option files besides.
  ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
  askForQueueAttributes(request);
  ipp_t* response = server.Do(request, "/", error);
  if (!response) {
    // A server without any queue answers "not found".
    if (server.Status() != IPP_STATUS_ERROR_NOT_FOUND) return false;
    error.clear();
    return true;
  }
  for (ipp_attribute_t* attribute = ippFirstAttribute(response); attribute;) {
    if (ippGetGroupTag(attribute) != IPP_TAG_PRINTER) {
      attribute = ippNextAttribute(response);
      continue;
    }
    TPrintQueue queue;
    attribute = readQueue(response, attribute, queue);
    if (!queue.Name.empty()) queues.push_back(queue);
  }
  ippDelete(response);
  SortQueues(queues);
  return true;
}

bool ReadPrintQueue(TPrintServer& server, const std::string& name, TPrintQueue& queue, std::string& error) {
  ipp_t* request = TPrintServer::QueueRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, name);
  askForQueueAttributes(request);
  ipp_t* response = server.Do(request, TPrintServer::QueueResource(name), error);
  if (!response) {
    if (server.Status() == IPP_STATUS_ERROR_NOT_FOUND)
      error = "there is no print queue \"" + name + "\" on the print server " + server.Name();
    return false;
  }
  ipp_attribute_t* attribute = ippFirstAttribute(response);
  while (attribute && ippGetGroupTag(attribute) != IPP_TAG_PRINTER) attribute = ippNextAttribute(response);
  readQueue(response, attribute, queue);
  ippDelete(response);
  return true;
}
