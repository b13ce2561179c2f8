#pragma once
// The queues of the CUPS server, as the port lists show them: raw queues first. A queue
// with a driver takes a job too, but the job goes past its driver unchanged.

#include <string>
#include <vector>

class TPrintServer;

struct TPrintQueue {
  std::string Name;
  std::string MakeAndModel;  // "Local Raw Printer" for a raw queue
  bool Raw = false;
  int State = 3;             // printer-state: 3 idle, 4 processing, 5 stopped
  bool Accepting = true;
  std::string StateMessage;  // what the queue's device or the administrator said last
};

// "raw" or "driver".
const char* QueueKindText(const TPrintQueue& queue);
// "idle", "processing", "stopped" or "rejecting"; a stopped queue that also rejects is
// "stopped, rejecting".
std::string QueueStateText(const TPrintQueue& queue);
// Raw queues first, each kind by name.
void SortQueues(std::vector<TPrintQueue>& queues);

// Asks the server for its queues; false with the reason when it cannot be reached or does
// not answer within answerMs.
bool ListPrintQueues(std::vector<TPrintQueue>& queues, std::string& error, int answerMs = 4000);
// One queue's attributes on an open connection; false with the reason (also when there is
// no such queue).
bool ReadPrintQueue(TPrintServer& server, const std::string& name, TPrintQueue& queue, std::string& error);
