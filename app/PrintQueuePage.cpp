#include "PrintQueuePage.h"

#include "DropDownCombo.h"
#include "NamedControl.h"
#include "transmission/ComSendDlg.h"
#include "platform/CodePage.h"
#include "transmission/PrintQueueSend.h"
#include "translation/TransMessageBox.h"
#include "translation/TransUtils.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <atomic>
#include <mutex>
#include <thread>

namespace {

// How often the page looks whether the server has answered.
constexpr int kListingPollMs = 50;

}  // namespace

// One reading of the queues; the thread that reads keeps it alive if the page goes first.
struct TPrintQueuePage::TListing {
  std::mutex Lock;
  bool Done = false;
  bool Ok = false;
  std::vector<TPrintQueue> Queues;
  std::string Error;
};

TPrintQueuePage::TPrintQueuePage(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("TabQueue"));
  auto* settings = new QGroupBox(QStringLiteral("Settings"));
  cbQueue = named(new TDropDownCombo, "cbQueue");
  bRefresh = named(new QPushButton(QStringLiteral("Refresh")), "bRefresh");
  lbQueueInfo = named(new QLabel, "lbQueueInfo");
  lbQueueInfo->setWordWrap(true);
  lbQueueInfo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  auto* grid = new QGridLayout(settings);
  grid->addWidget(new QLabel(QStringLiteral("Queue")), 0, 0);
  grid->addWidget(cbQueue, 0, 1);
  grid->addWidget(bRefresh, 0, 2);
  grid->addWidget(lbQueueInfo, 1, 0, 1, 3);
  grid->setColumnStretch(1, 1);
  auto* column = new QVBoxLayout(this);
  column->addWidget(settings);
  column->addStretch(1);

  ListingTimer = new QTimer(this);
  ListingTimer->setInterval(kListingPollMs);
  connect(ListingTimer, &QTimer::timeout, this, &TPrintQueuePage::showListing);
  connect(bRefresh, &QPushButton::clicked, this, &TPrintQueuePage::Refresh);
  connect(cbQueue, &QComboBox::currentIndexChanged, this, &TPrintQueuePage::showQueueInfo);
  cbQueue->OnDropDown = [this] { Refresh(); };
}

TPrintQueuePage::~TPrintQueuePage() = default;

void TPrintQueuePage::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!Listing) Refresh();
}

void TPrintQueuePage::Refresh() {
  if (ListingTimer->isActive()) return;  // a reading is under way
  Listing = std::make_shared<TListing>();
  // The server may not answer for seconds; the window goes on meanwhile.
  std::thread([listing = Listing] {
    std::vector<TPrintQueue> queues;
    std::string error;
    const bool ok = ListPrintQueues(queues, error);
    const std::lock_guard<std::mutex> guard(listing->Lock);
    listing->Queues = std::move(queues);
    listing->Error = std::move(error);
    listing->Ok = ok;
    listing->Done = true;
  }).detach();
  if (Queues.empty()) lbQueueInfo->setText(QStringLiteral("Asking the print server for its queues..."));
  ListingTimer->start();
}

void TPrintQueuePage::showListing() {
  const std::lock_guard<std::mutex> guard(Listing->Lock);
  if (!Listing->Done) return;
  ListingTimer->stop();
  const std::string chosen = QueueName();
  Queues = Listing->Queues;
  const QSignalBlocker quiet(cbQueue);
  cbQueue->clear();
  for (const TPrintQueue& queue : Queues)
    cbQueue->addItem(QString::fromStdString(queue.Name + "  (" + QueueKindText(queue) + ", " +
                                            QueueStateText(queue) + ")"),
                     QString::fromStdString(queue.Name));
  const int kept = cbQueue->findData(QString::fromStdString(chosen));
  cbQueue->setCurrentIndex(kept >= 0 ? kept : Queues.empty() ? -1 : 0);
  if (!Listing->Ok)
    lbQueueInfo->setText(QString::fromStdString("No queues listed: " + Listing->Error + "."));
  else if (Queues.empty())
    lbQueueInfo->setText(QStringLiteral("The print server has no queues. Add the cutter as a raw queue, "
                                        "e.g. lpadmin -p vinyl -E -v serial:/dev/ttyUSB0 -m raw"));
  else
    showQueueInfo();
}

void TPrintQueuePage::showQueueInfo() {
  const int index = cbQueue->currentIndex();
  if (index < 0 || index >= static_cast<int>(Queues.size())) return;
  const TPrintQueue& queue = Queues[static_cast<std::size_t>(index)];
  std::string text = queue.MakeAndModel.empty() ? "No driver." : queue.MakeAndModel + ".";
  if (!queue.Raw) text += " The job goes to the device unchanged, past this driver.";
  if (queue.State == 5) text += " Stopped: start it with cupsenable " + queue.Name + ".";
  if (!queue.Accepting) text += " Rejecting jobs: let it accept them with cupsaccept " + queue.Name + ".";
  if (!queue.StateMessage.empty()) text += " \"" + queue.StateMessage + "\"";
  lbQueueInfo->setText(QString::fromStdString(text));
}

std::string TPrintQueuePage::QueueName() const { return cbQueue->currentData().toString().toStdString(); }

bool TPrintQueuePage::Send(const std::string& job, const std::function<void(const std::string&)>& log) {
  const std::string queue = QueueName();
  if (queue.empty()) {
    TransMessageBox("(__No print queue is chosen. Pick one on the 'Printer Queue' page, or add the cutter "
                    "to the print server as a raw queue.__)",
                    mtError, mbOK, 0);
    return false;
  }
  log("Queue\t" + queue + "\t" + std::to_string(job.size()) + " bytes");
  TPrintQueueSend send(queue, job, "Korvex job");
  TQueueSendResult result;
  TFrmComSend dialog;
  dialog.Transfer = [&](ISendView& view, const std::function<bool()>& aborted) {
    view.ShowStatus(AnsiToWide("Sending to queue " + queue));
    result = RunQueueSend(send, view, aborted, log);
    return TSendOutcome{result.End == TQueueSendEnd::Completed, result.End == TQueueSendEnd::Failed, result.Handed,
                        result.Total};
  };
  dialog.exec();
  if (result.End == TQueueSendEnd::Failed || (result.End == TQueueSendEnd::Cancelled && !result.Reason.empty())) {
    // The server's reasons are UTF-8.
    const std::string text = QueueSendFailureText(queue, result);
    std::u16string wide;
    if (!Utf8ToWide(text, wide)) wide = AnsiToWide(text);
    TransMessageBoxW(wide, mtError, mbOK, 0);
  }
  return result.End == TQueueSendEnd::Completed;
}
