#pragma once
// The "Printer Queue" connection page: the CUPS server's queues, raw ones first, read on
// a thread of their own when the page is shown or the list opens, and the send of a job
// to the chosen queue under the "Sending to Cutter" dialog.

#include "ports/PrintQueues.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QTimer;
class TDropDownCombo;

class TPrintQueuePage : public QWidget {
public:
  explicit TPrintQueuePage(QWidget* parent = nullptr);
  ~TPrintQueuePage() override;

  // Reads the queues again; the list follows when the server has answered.
  void Refresh();
  // The chosen queue's name, empty when none.
  std::string QueueName() const;
  // Sends the job to the chosen queue, logging each step; a send that does not complete
  // is told in a message box with the server's reason. True when the job completed.
  bool Send(const std::string& job, const std::function<void(const std::string&)>& log);

  TDropDownCombo* cbQueue;
  QPushButton* bRefresh;
  QLabel* lbQueueInfo;

protected:
  void showEvent(QShowEvent* event) override;

private:
  struct TListing;
  void showListing();
  void showQueueInfo();

  std::shared_ptr<TListing> Listing;  // shared with the thread that reads it
  std::vector<TPrintQueue> Queues;
  QTimer* ListingTimer;
};
