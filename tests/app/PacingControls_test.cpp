#include "app/PacingControls.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <atomic>
#include <mutex>
#include <thread>

#include "PtyPair.h"
#include "app/KorvexDlg.h"
#include "translation/TransMessageBox.h"
#include "transmission/DirectPortDriver.h"

TEST(PacingControls, TheSpeedsAreAskedForOnlyWhenPacingByCuttingTime) {
  TPacingControls controls;
  EXPECT_EQ(controls.Read(38400).Mode, TPaceMode::None);
  EXPECT_FALSE(controls.rxCutSpeed->isEnabled());
  controls.cbPacing->setCurrentIndex(1);
  EXPECT_EQ(controls.Read(38400).Mode, TPaceMode::Query);
  EXPECT_FALSE(controls.rxCutterBuffer->isEnabled());
  controls.cbPacing->setCurrentIndex(2);
  controls.rxCutterBuffer->setValue(2048);
  controls.rxCutSpeed->setValue(600);
  const TPacing pacing = controls.Read(9600);
  EXPECT_EQ(pacing.Mode, TPaceMode::Time);
  EXPECT_EQ(pacing.CutterBufferBytes, 2048u);
  EXPECT_EQ(pacing.Speeds.CutMmPerS, 600.0);
  EXPECT_EQ(pacing.Speeds.TravelMmPerS, 800.0);
  EXPECT_EQ(pacing.Speeds.Baud, 9600u);
  for (QSpinBox* spin : {controls.rxCutterBuffer, controls.rxCutSpeed, controls.rxTravelSpeed})
    EXPECT_TRUE(spin->isEnabled());
}

TEST(PacingControls, EachOfTheCuttersFiguresHasACaption) {
  TPacingControls controls;
  QStringList captions;
  for (const QLabel* label : controls.findChildren<QLabel*>())
    if (label->buddy()) captions << label->text();
  EXPECT_EQ(captions, (QStringList{"Buffer", "Cutting speed", "Travel speed"}));
}

namespace {

// A cutter that answers each buffer query with 4096 free bytes, or never when mute, and
// keeps the other bytes.
class AnsweringCutter {
 public:
  AnsweringCutter(PtyPair& pty, bool mute) : pty_(pty), mute_(mute), thread_([this] { Run(); }) {}
  ~AnsweringCutter() {
    stop_ = true;
    thread_.join();
  }
  std::string Job() {
    std::lock_guard lock(mutex_);
    return job_;
  }
  int Queries() const { return queries_; }

 private:
  void Run() {
    std::string pending;
    while (!stop_) {
      pollfd fd{pty_.Master(), POLLIN, 0};
      char buffer[4096];
      if (poll(&fd, 1, 20) <= 0) continue;
      const ssize_t n = ::read(pty_.Master(), buffer, sizeof buffer);
      if (n <= 0) continue;
      pending.append(buffer, static_cast<std::size_t>(n));
      for (std::size_t at; (at = pending.find("\x1b.B")) != std::string::npos;) {
        ++queries_;
        if (!mute_ && ::write(pty_.Master(), "4096\r", 5) != 5) ADD_FAILURE() << "answer not written";
        pending.erase(at, 3);
      }
      // An escape at the end may begin a query that is still coming.
      const std::size_t keep = pending.ends_with('\x1b') ? 1 : pending.ends_with("\x1b.") ? 2 : 0;
      std::lock_guard lock(mutex_);
      job_ += pending.substr(0, pending.size() - keep);
      pending.erase(0, pending.size() - keep);
    }
  }

  PtyPair& pty_;
  const bool mute_;
  std::atomic<bool> stop_ = false;
  std::atomic<int> queries_ = 0;
  std::mutex mutex_;
  std::string job_;
  std::thread thread_;
};

class PacedWindowSend : public ::testing::Test {
 protected:
  void SetUp() override {
    DCE_ClosePort();
    previous = SetMessageBoxHandler([this](const TMsgBoxRequest& box) {
      boxes << box.Text;
      return idOK;
    });
    frm.comboDirComPort->addItem(QString::fromStdString(pty.SlaveName()));
    frm.comboDirComPort->setCurrentIndex(frm.comboDirComPort->count() - 1);
    frm.comboDirComFlow->setCurrentIndex(2);
    frm.Pacing->cbPacing->setCurrentIndex(1);  // ask the cutter
  }
  void TearDown() override {
    DCE_ClosePort();
    SetMessageBoxHandler(previous);
  }

  PtyPair pty;
  TKorvexFrm frm;
  QStringList boxes;
  TMsgBoxHandler previous;
};

}  // namespace

TEST_F(PacedWindowSend, AskingTheCutterSendsTheJobBehindItsAnswers) {
  AnsweringCutter cutter(pty, false);
  const std::string job = frm.JobText();
  frm.dSend->click();
  EXPECT_TRUE(frm.memoLog->toPlainText().contains("SendRes\tTrue")) << frm.memoLog->toPlainText().toStdString();
  EXPECT_TRUE(boxes.isEmpty());
  for (int i = 0; i < 200 && cutter.Job().size() < 100; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(cutter.Job(), job + std::string(100 - job.size(), ' '));
  EXPECT_GE(cutter.Queries(), 1);
}

TEST_F(PacedWindowSend, ACutterThatDoesNotAnswerFailsTheSendWithWhatToChoose) {
  AnsweringCutter cutter(pty, true);
  frm.dSend->click();
  const QString log = frm.memoLog->toPlainText();
  EXPECT_TRUE(log.contains("The cutter does not answer buffer queries")) << log.toStdString();
  EXPECT_TRUE(log.contains("SendRes\tFalse")) << log.toStdString();
  EXPECT_EQ(boxes.size(), 1);  // a failed send is told, unlike a cancelled one
  EXPECT_EQ(cutter.Queries(), 2);
  EXPECT_EQ(cutter.Job(), "");
}

