#include "BoxAnswers.h"
#include "PrivatePrintServer.h"
#include "app/DropDownCombo.h"
#include "app/KorvexDlg.h"
#include "app/PrintQueuePage.h"
#include "transmission/ComSendDlg.h"
#include "translation/TransMessageBox.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// Runs action once on the send dialog as soon as ready() says so.
class OnceSending {
public:
  OnceSending(std::function<void(TFrmComSend&)> action, std::function<bool()> ready) {
    QObject::connect(&timer, &QTimer::timeout, [this, action, ready] {
      auto* dialog = dynamic_cast<TFrmComSend*>(QApplication::activeModalWidget());
      if (!dialog || !ready()) return;
      timer.stop();
      action(*dialog);
    });
    timer.start(10);
  }

private:
  QTimer timer;
};

class WindowQueue : public testing::Test {
protected:
  void SetUp() override {
    if (!Server.Running()) GTEST_SKIP() << Server.Why();
    for (int value = 0; value < 256; ++value) Job += static_cast<char>(value);
    std::ofstream(File, std::ios::binary) << Job;
    ASSERT_TRUE(Frm.LoadJob(File));
    Frm.comboPortType->setCurrentIndex(Frm.comboPortType->findText("Printer Queue"));
    Frm.comboPortTypeClick();
    Frm.show();
    // The page reads the queues when it is shown; the list follows the server's answer.
    while (Frm.TabQueue->cbQueue->count() == 0) QTest::qWait(10);
  }
  void TearDown() override { std::filesystem::remove(File); }

  void choose(const char* queue) {
    Frm.TabQueue->cbQueue->setCurrentIndex(Frm.TabQueue->cbQueue->findData(QString::fromLatin1(queue)));
  }
  QString log() const { return Frm.memoLog->toPlainText(); }
  int jobId() const {
    const QString text = log();
    return text.mid(text.indexOf("\tJob\t") + 5).section('\n', 0, 0).toInt();
  }

  TPrivatePrintServer Server;
  TKorvexFrm Frm;
  std::string Job;
  std::string File = "/tmp/korvex-window-queue-" + std::to_string(getpid()) + ".plt";
};

TEST_F(WindowQueue, ThePageListsRawQueuesFirstAndTheJobReachesTheDeviceByteForByte) {
  EXPECT_EQ(Frm.PageControl1->currentWidget(), Frm.TabQueue);
  EXPECT_EQ(Frm.TabQueue->cbQueue->itemText(0), "fails  (raw, idle)");
  EXPECT_EQ(Frm.TabQueue->cbQueue->itemText(Frm.TabQueue->cbQueue->count() - 1), "driver  (driver, idle)");
  choose("driver");
  EXPECT_TRUE(Frm.TabQueue->lbQueueInfo->text().contains("past this driver"));
  choose("raw");
  BoxAnswers boxes;
  Frm.dSend->click();
  EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join('\n').toStdString();
  EXPECT_TRUE(Server.ReadOutput("raw") == Job);
  EXPECT_TRUE(log().contains("\tQueue\traw\t256 bytes\n")) << log().toStdString();
  EXPECT_TRUE(log().contains("\tJobState\tcompleted")) << log().toStdString();
  EXPECT_TRUE(log().endsWith("\tSendRes\tTrue")) << log().toStdString();
}

TEST_F(WindowQueue, AFailedJobIsToldWithTheServersReasonAndTheBytes) {
  choose("fails");
  BoxAnswers boxes;
  Frm.dSend->click();
  ASSERT_EQ(boxes.texts.size(), 1);
  EXPECT_TRUE(boxes.texts[0].contains("the print server aborted the job: Cutter unplugged")) << boxes.texts[0].toStdString();
  EXPECT_TRUE(boxes.texts[0].contains(" of 256 bytes were handed to the print server")) << boxes.texts[0].toStdString();
}

TEST_F(WindowQueue, EveryRouteOutOfTheDialogAsksAndYesCancelsTheJobOnTheServer) {
  const std::vector<std::pair<const char*, std::function<void(TFrmComSend&)>>> routes = {
      {"Cancel", [](TFrmComSend& dialog) { dialog.dAbort->click(); }},
      {"Escape", [](TFrmComSend& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); }},
      {"close box", [](TFrmComSend& dialog) { dialog.close(); }}};
  choose("hangs");
  for (const auto& [route, leave] : routes) {
    std::filesystem::remove(Server.OutputPath("hangs"));
    BoxAnswers boxes(idYes);
    // Once the hanging device has started, the job is processing.
    OnceSending once(leave, [this] { return std::filesystem::exists(Server.OutputPath("hangs")); });
    Frm.dSend->click();
    EXPECT_EQ(boxes.texts, QStringList{"Abort Transmission?"}) << route;
    EXPECT_TRUE(log().contains("\tCancelled\tjob ")) << route << log().toStdString();
    EXPECT_EQ(Server.JobState(jobId()), IPP_JSTATE_CANCELED) << route;
  }
}

TEST_F(WindowQueue, AServerThatStopsAnsweringEndsTheSendWithAMessage) {
  choose("hangs");
  BoxAnswers boxes;
  int ticks = 0;
  QTimer window;  // the window's own events go on throughout
  QObject::connect(&window, &QTimer::timeout, [&ticks] { ++ticks; });
  window.start(20);
  OnceSending once([this](TFrmComSend&) { Server.Stop(); },
                   [this] { return std::filesystem::exists(Server.OutputPath("hangs")); });
  Frm.dSend->click();
  Server.Continue();
  ASSERT_EQ(boxes.texts.size(), 1);
  EXPECT_TRUE(boxes.texts[0].contains("did not answer within 4 s")) << boxes.texts[0].toStdString();
  EXPECT_GT(ticks, 10);
}

}  // namespace
