#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "BoxAnswers.h"
#include "PtyDrainer.h"
#include "ScriptedQueuePort.h"
#include "app/JobMemo.h"
#include "app/KorvexDlg.h"
#include "translation/TransMessageBox.h"
#include "transmission/ComSendDlg.h"
#include "transmission/DirectPortDriver.h"
#include "transmission/DirectSend.h"

namespace {

class WindowSend : public ::testing::Test {
protected:
  void SetUp() override {
    DCE_ClosePort();
    frm.comboDirComPort->addItem(QString::fromStdString(pty.SlaveName()));
    frm.comboDirComPort->setCurrentIndex(frm.comboDirComPort->count() - 1);
    frm.comboDirComFlow->setCurrentIndex(2);  // a pty has no handshake lines
  }
  void TearDown() override {
    DCE_ClosePort();
    DirectPortFactory() = [] { return std::make_unique<TComPort>(); };
  }

  // A fresh cutter for each of several sends: nothing of the last job in it.
  void useLine(const PtyPair& line) {
    frm.comboDirComPort->addItem(QString::fromStdString(line.SlaveName()));
    frm.comboDirComPort->setCurrentIndex(frm.comboDirComPort->count() - 1);
  }

  // Log lines without their stamps.
  QStringList logTexts() const {
    QStringList texts;
    for (const QString& line : frm.memoLog->toPlainText().split('\n')) texts << line.section('\t', 1);
    return texts;
  }

  PtyPair pty;
  TKorvexFrm frm;
  // The pty has no handshake and the window paces nothing by default: each send warns.
  const QString unguarded = "Warning\t" + QString::fromStdString(UnguardedSendWarning(fmNone, TPaceMode::None));
};

// Runs action once on the send dialog, as soon as its transfer is under way (or, with
// ready, once ready says so).
class OnceSending {
public:
  explicit OnceSending(
      std::function<void(TFrmComSend&)> action,
      std::function<bool(const TFrmComSend&)> ready = [](const TFrmComSend& dialog) {
        return !dialog.PaintBox1->isVisible();
      }) {
    QObject::connect(&timer, &QTimer::timeout, [this, action, ready] {
      auto* dialog = dynamic_cast<TFrmComSend*>(QApplication::activeModalWidget());
      if (!dialog || !ready(*dialog)) return;
      timer.stop();
      action(*dialog);
    });
    timer.start(10);
  }

private:
  QTimer timer;
};

// The ways a user leaves the send dialog.
std::vector<std::pair<const char*, std::function<void(TFrmComSend&)>>> routesOut() {
  return {{"Cancel", [](TFrmComSend& dialog) { dialog.dAbort->click(); }},
          {"Escape", [](TFrmComSend& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); }},
          {"close box", [](TFrmComSend& dialog) { dialog.close(); }}};
}

}  // namespace

TEST_F(WindowSend, SendsTheJobPaddedAndLogsEachStep) {
  PtyDrainer cutter(pty);
  BoxAnswers boxes;
  const std::string job = frm.JobText();
  frm.dSend->click();
  EXPECT_EQ(cutter.WaitFor(100), job + std::string(100 - job.size(), ' '));
  EXPECT_TRUE(boxes.texts.isEmpty());
  EXPECT_EQ(frm.PageControl1->currentWidget(), frm.TabLog);
  const QString sd = QString::fromStdString("\\\\.\\" + pty.SlaveName() + ",<baud=38400 flow=none parity=n data=8 stop=1>");
  EXPECT_EQ(logTexts(), (QStringList{"DirectCOM\t46 bytes", "SD\t" + sd, "Opening:\t" + sd, "Port Opened", unguarded,
                                     "SendRes\tTrue"}));
  EXPECT_FALSE(unguarded.isEmpty());

  frm.dSend->click();
  EXPECT_EQ(logTexts(), (QStringList{"DirectCOM\t46 bytes", "SD\t" + sd, "Port already open", "Closed previous port",
                                     "Opening:\t" + sd, "Port Opened", unguarded, "SendRes\tTrue"}));
  EXPECT_EQ(cutter.WaitFor(200).size(), 200u);
}

TEST_F(WindowSend, ASendWithoutHandshakeOrPacingWarnsInTheLogAndTheDialog) {
  PtyDrainer cutter(pty);
  cutter.Pause();  // the send stalls with its dialog open
  frm.TntMemo1->setPlainText(QString(60000, 'w'));
  BoxAnswers boxes(idYes);
  for (const int flow : {2, 1}) {  // None, then XON/XOFF, which a pty honours
    frm.comboDirComFlow->setCurrentIndex(flow);
    QString caution;
    bool whole = false;  // the dialog grew to show all of its lines
    OnceSending once([&](TFrmComSend& dialog) {
      caution = dialog.labelCaution->isVisible() ? dialog.labelCaution->text() : QString();
      whole = dialog.labelCaution->height() >= dialog.labelCaution->heightForWidth(dialog.labelCaution->width());
      dialog.close();
    });
    frm.dSend->click();
    EXPECT_EQ(logTexts().contains(unguarded), flow == 2) << flow;
    EXPECT_EQ(caution, flow == 2 ? unguarded.section('\t', 1) : QString()) << flow;
    EXPECT_TRUE(whole || flow != 2);
  }
  EXPECT_EQ(boxes.texts, QStringList(2, "Abort Transmission?"));  // no box of its own
}

TEST_F(WindowSend, MissingPortShowsTheErrorBox) {
  BoxAnswers boxes;
  frm.comboDirComPort->addItem("ttyKORVEX_NONE");
  frm.comboDirComPort->setCurrentIndex(frm.comboDirComPort->count() - 1);
  frm.dSend->click();
  EXPECT_EQ(logTexts().last(), "Failed to open");
  ASSERT_EQ(boxes.texts.size(), 1);
  // The designed text, and on a line of its own why and what to do.
  EXPECT_TRUE(
      boxes.texts[0].startsWith("Unable to open COM Port!\nNo device ttyKORVEX_NONE: is the cutter plugged in "
                                "and switched on? Ports present: "))
      << boxes.texts[0].toStdString();
  EXPECT_FALSE(DCE_COMFILE_Open());
}

TEST_F(WindowSend, ATypedPathIsKeptAsThePortAndTheJobReachesItByteForByte) {
  PtyDrainer cutter(pty);
  BoxAnswers boxes;
  std::string job = "IN;PU0,0;PD10,10;\r\nLB\x1b.B\x03;";
  for (int b = 1; b < 256; ++b) job.push_back(static_cast<char>(b));  // sent as they are
  frm.TntMemo1->LoadJob(job);

  QLineEdit* typed = frm.comboDirComPort->lineEdit();
  ASSERT_NE(typed, nullptr);
  typed->clear();
  QTest::keyClicks(typed, QString::fromStdString("  " + pty.SlavePath()));
  QTest::keyClick(typed, Qt::Key_Return);
  EXPECT_EQ(frm.PortState->PortName, pty.SlavePath());
  EXPECT_EQ(frm.comboDirComPort->currentData().toString().toStdString(), pty.SlavePath());

  // Another port and the list opened again: the typed one is still there to go back to.
  frm.comboDirComPort->setCurrentIndex(0);
  emit frm.comboDirComPort->activated(0);
  frm.comboDirComPortDropDown();
  const int back = frm.comboDirComPort->findData(QString::fromStdString(pty.SlavePath()));
  ASSERT_GE(back, 0);
  frm.comboDirComPort->setCurrentIndex(back);
  emit frm.comboDirComPort->activated(back);

  frm.dSend->click();
  EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join('|').toStdString();
  EXPECT_EQ(cutter.WaitFor(job.size()), job);
  EXPECT_EQ(logTexts().last(), "SendRes\tTrue");
  EXPECT_TRUE(logTexts().contains("Opening:\t\\\\.\\" + QString::fromStdString(pty.SlavePath()) +
                                  ",<baud=38400 flow=none parity=n data=8 stop=1>"));
}

TEST_F(WindowSend, OtherConnectionMethodsAreRefusedWithoutTouchingTheLog) {
  BoxAnswers boxes;
  frm.comboPortType->setCurrentIndex(-1);
  const QString before = frm.memoLog->toPlainText();
  frm.dSend->click();
  EXPECT_EQ(boxes.texts, QStringList{"Port Not supported yet!"});
  EXPECT_EQ(frm.memoLog->toPlainText(), before);
}

TEST_F(WindowSend, EveryRouteOutOfTheDialogAsksAndNoLetsTheSendFinish) {
  for (const auto& [route, leave] : routesOut()) {
    PtyPair line;
    useLine(line);
    PtyDrainer cutter(line);
    cutter.Pause();  // the cutter stalls, so the send is still running when the user leaves
    const std::string job(60000, 'n');
    frm.TntMemo1->setPlainText(QString::fromStdString(job));
    BoxAnswers boxes(idNo);
    OnceSending once([&, leave = leave](TFrmComSend& dialog) {
      leave(dialog);
      cutter.Resume();
    });
    frm.dSend->click();
    EXPECT_EQ(boxes.texts, QStringList{"Abort Transmission?"}) << route;
    EXPECT_EQ(logTexts().last(), "SendRes\tTrue") << route;
    EXPECT_EQ(cutter.WaitFor(job.size()), job) << route;
  }
}

TEST_F(WindowSend, AbortQuestionAnsweredYesStopsTheSend) {
  PtyDrainer cutter(pty);
  cutter.Pause();
  const std::string job(60000, 'y');
  frm.TntMemo1->setPlainText(QString::fromStdString(job));
  BoxAnswers boxes(idYes);
  OnceSending once([](TFrmComSend& dialog) { dialog.dAbort->click(); });
  frm.dSend->click();
  EXPECT_EQ(boxes.texts, QStringList{"Abort Transmission?"});
  EXPECT_EQ(logTexts()[logTexts().size() - 2], "SendRes\tFalse");
  DirectComPort()->ClosePort();  // what was queued is thrown away; nothing more is written
  cutter.Resume();
  EXPECT_LT(cutter.WaitFor(job.size(), 500).size(), job.size());
}

TEST_F(WindowSend, EveryRouteOutOfTheDialogAsksAndYesEndsTheSend) {
  for (const auto& [route, leave] : routesOut()) {
    PtyPair line;
    useLine(line);
    PtyDrainer cutter(line);
    cutter.Pause();
    frm.TntMemo1->setPlainText(QString(60000, 'r'));
    BoxAnswers boxes(idYes);
    OnceSending once(leave);
    frm.dSend->click();
    EXPECT_EQ(boxes.texts, QStringList{"Abort Transmission?"}) << route;
    const QStringList log = logTexts();
    ASSERT_GE(log.size(), 2) << route;
    EXPECT_EQ(log[log.size() - 2], "SendRes\tFalse") << route;
    EXPECT_TRUE(log.last().startsWith("Sent\t") && log.last().endsWith(" of 60000 bytes")) << route;
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << route;
  }
}

TEST_F(WindowSend, ASignalOrTheProgramsEndCancelsWithoutAsking) {
  PtyDrainer cutter(pty);
  cutter.Pause();
  frm.TntMemo1->setPlainText(QString(60000, 'w'));
  BoxAnswers boxes(idNo);
  OnceSending once([](TFrmComSend&) {
    const TCancelSendsWithoutAsking nobodyToAsk;
    QApplication::closeAllWindows();
  });
  frm.dSend->click();
  EXPECT_TRUE(boxes.texts.isEmpty());
  EXPECT_EQ(logTexts()[logTexts().size() - 2], "SendRes\tFalse");
}

TEST_F(WindowSend, AnEmptyJobIsRefusedBeforeAnyPortOpens) {
  BoxAnswers boxes;
  frm.TntMemo1->setPlainText(QString());
  bool dialogShown = false;
  QTimer guard;  // a dialog that should not be there is closed, so the test ends
  QObject::connect(&guard, &QTimer::timeout, [&] {
    if (auto* dialog = dynamic_cast<TFrmComSend*>(QApplication::activeModalWidget())) {
      dialogShown = true;
      dialog->done(QDialog::Rejected);
    }
  });
  guard.start(10);
  const QString before = frm.memoLog->toPlainText();
  frm.dSend->click();
  EXPECT_FALSE(dialogShown);
  EXPECT_FALSE(DCE_COMFILE_Open());
  ASSERT_EQ(boxes.texts.size(), 1);
  EXPECT_TRUE(boxes.texts[0].startsWith("There is nothing to send: the job is empty.")) << boxes.texts[0].toStdString();
  EXPECT_EQ(frm.memoLog->toPlainText(), before);
}

TEST_F(WindowSend, AVanishedCutterIsToldWithTheBytesSentAndTheTotal) {
  frm.TntMemo1->setPlainText(QString(60000, 'v'));  // more than the line holds: the send stalls
  BoxAnswers boxes;
  OnceSending once([&](TFrmComSend&) { pty.CloseMaster(); },
                   [](const TFrmComSend& dialog) { return dialog.ProgressBar1->value() > 0; });
  frm.dSend->click();
  const QStringList log = logTexts();
  ASSERT_GE(log.size(), 2);
  EXPECT_EQ(log[log.size() - 2], "SendRes\tFalse");
  const QString sent = log.last().section('\t', 1).section(' ', 0, 0);
  EXPECT_GT(sent.toInt(), 0) << log.last().toStdString();
  EXPECT_EQ(boxes.texts, QStringList{"The job was not sent completely: " + sent +
                                     " of 60000 bytes went out. Check that the cutter is on and connected, then "
                                     "send the job again."});
}

TEST(SendDialog, CancelClosesADialogThatHasNothingToSend) {
  BoxAnswers boxes(idYes);
  TFrmComSend dialog;  // no job and no port: no transfer runs
  bool stuck = false;
  OnceSending once([&](TFrmComSend& shown) {
    shown.dAbort->click();
    stuck = shown.isVisible();
    if (stuck) shown.done(QDialog::Rejected);
  });
  dialog.exec();
  EXPECT_FALSE(stuck);
  EXPECT_EQ(boxes.texts, QStringList{"Abort Transmission?"});
  EXPECT_FALSE(dialog.SendOk);
}

TEST_F(WindowSend, EscapeEndsAStalledSendAndThrowsAwayWhatIsQueued) {
  PtyDrainer cutter(pty);
  cutter.Pause();
  frm.TntMemo1->setPlainText(QString(60000, 'e'));
  BoxAnswers boxes(idYes);
  OnceSending once([](TFrmComSend& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); });
  // Were Escape only to hide the dialog, the send would go on; the cutter wakes up after
  // a while so that such a send would end, as a success.
  QTimer::singleShot(3000, [&] { cutter.Resume(); });
  frm.dSend->click();
  EXPECT_EQ(logTexts()[logTexts().size() - 2], "SendRes\tFalse");
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  cutter.Resume();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_LE(cutter.Count(), 4096u);
}

TEST_F(WindowSend, ASecondSendWhileOneRunsIsRefusedWithoutTouchingThePort) {
  PtyDrainer cutter(pty);
  cutter.Pause();
  frm.TntMemo1->setPlainText(QString(60000, 's'));
  const TComPort* during = nullptr;
  QString logDuring;
  BoxAnswers boxes(idYes);
  OnceSending once([&](TFrmComSend& dialog) {
    during = DirectComPort();
    frm.dSendClick();  // as a click that reached the window once the dialog had gone would
    logDuring = frm.memoLog->toPlainText();
    EXPECT_EQ(DirectComPort(), during);
    dialog.close();
  });
  frm.dSend->click();
  EXPECT_NE(during, nullptr);
  EXPECT_TRUE(logDuring.endsWith(unguarded)) << logDuring.toStdString();
  EXPECT_EQ(logTexts()[logTexts().size() - 2], "SendRes\tFalse");
}

TEST_F(WindowSend, TheWindowKeepsRunningWhileTheLastJobsTailDrains) {
  PtyDrainer cutter(pty);
  TScriptedQueuePort* scripted = nullptr;
  OpenScriptedPorts(scripted);
  frm.dSend->click();
  ASSERT_EQ(logTexts().last(), "SendRes\tTrue");
  // 1920 bytes need half a second at 38400 baud: the next send's close waits 1.5 s at most,
  // and gives up a second after the queue stops shrinking.
  scripted->Queue = [](int) { return 1920u; };
  int ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  timer.start(10);
  const auto start = std::chrono::steady_clock::now();
  frm.dSend->click();
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(950));
  EXPECT_LT(took, std::chrono::milliseconds(5000));  // a busy machine only stretches the wait
  EXPECT_GE(ticks, 3);                                // the window ran during it, however often
  EXPECT_EQ(logTexts().last(), "SendRes\tTrue");
}
