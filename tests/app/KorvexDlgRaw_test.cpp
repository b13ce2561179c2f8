#include <gtest/gtest.h>
#include <termios.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "PtyDrainer.h"
#include "app/DcbStatePage.h"
#include "app/JobMemo.h"
#include "app/KorvexDlg.h"
#include "translation/TransMessageBox.h"
#include "transmission/RawComTransmitter.h"

namespace {

// More than a pty holds while its far end does not read.
constexpr int kStalledJob = 300000;

class WindowRaw : public ::testing::Test {
protected:
  void SetUp() override {
    frm.cUseCustomCom->setChecked(true);
    frm.cbRawComPort->addItem(QString::fromStdString(pty.SlaveName()));
    frm.cbRawComPort->setCurrentIndex(frm.cbRawComPort->count() - 1);
    frm.show();  // laid out, so clicks land on the controls
  }

  QStringList logTexts() const {
    QStringList texts;
    for (const QString& line : frm.memoLog->toPlainText().split('\n')) texts << line.section('\t', 1);
    return texts;
  }

  // Runs action once the send is under way (Send reads "Cancel"), however long the
  // start takes; the jobs are larger than a paused pty can hold, so the send is still
  // waiting then.
  void whileSending(std::function<void()> action) {
    auto* poll = new QTimer(&frm);
    QObject::connect(poll, &QTimer::timeout, &frm, [this, poll, action = std::move(action)] {
      if (frm.dSend->text() != "Cancel") return;
      poll->stop();
      poll->deleteLater();
      action();
    });
    poll->start(10);
  }

  PtyPair pty;
  TKorvexFrm frm;
};

}  // namespace

TEST_F(WindowRaw, SendWithThePageDefaultsLogsEachStepAndSetsTheLine) {
  PtyDrainer cutter(pty);
  const std::string job = frm.JobText();
  frm.dSend->click();
  const QStringList texts = logTexts();  // the transmitter's lines, then the result
  EXPECT_EQ(texts.first(), "Send DirectCOM - Raw:\t46 bytes");
  EXPECT_EQ(texts.mid(texts.size() - 2), (QStringList{"ClosePort", "Send Result:-1"}));
  EXPECT_EQ(cutter.WaitFor(job.size()), job);
  EXPECT_EQ(frm.PageControl1->currentWidget(), frm.TabLog);
  EXPECT_FALSE(frm.ProgressBar1->isVisible());
  EXPECT_TRUE(frm.lbProgress->isVisible());
  EXPECT_EQ(frm.lbProgress->text(), "46 / 46");
  EXPECT_EQ(frm.dSend->text(), "Send");
  const PtyPair::LineSettings line = pty.Settings();
  EXPECT_EQ(line.cflag & CSIZE, static_cast<unsigned>(CS8));
  EXPECT_FALSE(line.cflag & (PARENB | CSTOPB));
  EXPECT_TRUE(line.cflag & CRTSCTS);
  EXPECT_EQ(line.speed, 38400u);
}

TEST_F(WindowRaw, AnEmptyJobEndsWithResultZero) {
  frm.TntMemo1->clear();
  frm.dSend->click();
  EXPECT_EQ(logTexts(), (QStringList{"Send DirectCOM - Raw:\t0 bytes", "Send Result:0"}));
}

TEST_F(WindowRaw, WithoutRefreshOnlyCancelReachesTheWindowDuringASend) {
  PtyDrainer cutter(pty);
  cutter.Pause();
  frm.TntMemo1->setPlainText(QString(kStalledJob, 'r'));
  QString sendCaption;
  bool diagnosticsEnabled = true;
  whileSending([&] {
    sendCaption = frm.dSend->text();
    diagnosticsEnabled = frm.Button7->isEnabled() || frm.Button8->isEnabled();
    QTest::mouseClick(frm.Button4, Qt::LeftButton);  // "Clear" would empty the running send's log
    QTest::mouseClick(frm.dSend, Qt::LeftButton);    // a second Send cancels instead
  });
  frm.dSend->click();
  EXPECT_EQ(sendCaption, "Cancel");
  EXPECT_FALSE(diagnosticsEnabled);
  const QStringList texts = logTexts();
  EXPECT_EQ(texts.first(), "Send DirectCOM - Raw:\t" + QString::number(kStalledJob) + " bytes");
  EXPECT_EQ(texts.filter("Send DirectCOM").size(), 1);
  EXPECT_EQ(texts.mid(texts.size() - 4, 3), (QStringList{"FAIL:\tCancelled", "ClosePort", "Send Result:0"}));
  EXPECT_TRUE(texts.last().startsWith("Sent\t") && texts.last().endsWith(" of " + QString::number(kStalledJob) + " bytes"))
      << texts.last().toStdString();
  EXPECT_EQ(frm.dSend->text(), "Send");
  EXPECT_TRUE(frm.Button7->isEnabled());
  EXPECT_TRUE(frm.Button8->isEnabled());
}

TEST_F(WindowRaw, EscapeOrClosingTheWindowCancels) {
  frm.cProcessMsgs->setChecked(true);
  for (const bool escape : {true, false}) {
    PtyDrainer cutter(pty);
    cutter.Pause();
    frm.TntMemo1->setPlainText(QString(kStalledJob, 'e'));
    frm.show();
    whileSending([&] {
      if (escape)
        QTest::keyClick(&frm, Qt::Key_Escape);
      else
        frm.close();
    });
    frm.dSend->click();
    EXPECT_EQ(logTexts().end()[-2], "Send Result:0") << escape;
    EXPECT_TRUE(logTexts().contains("FAIL:\tCancelled"));
  }
}

TEST_F(WindowRaw, LogCurrentDcbCopiesThePortsFlagsIntoTheEditorWhenAsked) {
  frm.cSetDCB->setChecked(false);  // the port keeps what it has
  const HANDLE probe = CreateFile(pty.SlaveName(), false);
  DCB port;
  ASSERT_TRUE(GetCommState(probe, port));
  CloseHandle(probe);

  TDcbStatePage& page = *frm.TabDCB;
  frm.Button7->click();
  EXPECT_TRUE(frm.memoLog->toPlainText().split('\n').contains("End-------------------------DCB"));
  EXPECT_EQ(logTexts().last(), "ClosePort");
  EXPECT_EQ(page.rxVal->value(), 8213);  // "Update DCB Values" is off

  frm.cUpdateDCB->setChecked(true);
  frm.Button7->click();
  EXPECT_EQ(page.rxVal->value(), static_cast<int>(port.Flags));
  EXPECT_EQ(page.cbDCBf_OutX->isChecked(), (port.Flags & DCB::fOutX) != 0);
  EXPECT_FALSE(page.cbDCBf_OutCtsFlow->isChecked());
  EXPECT_EQ(page.comboRtsControl->currentIndex(), static_cast<int>((port.Flags & DCB::fRtsControl) >> 12));
  EXPECT_EQ(page.rxDCB_XoffChar->value(), port.XoffChar);
  EXPECT_TRUE(page.cDCB_fRtsControl->isChecked());  // overrides and masks stay
  EXPECT_EQ(page.rxMask->value(), 12340);
}

TEST_F(WindowRaw, TestOpenPortSaysWhetherThePortOpened) {
  QStringList boxes;
  QList<QMessageBox::Icon> icons;
  const auto previous = SetMessageBoxHandler([&](const TMsgBoxRequest& box) {
    boxes << box.Text;
    icons << box.Icon;
    return idOK;
  });
  frm.Button8->click();
  EXPECT_EQ(logTexts().last(), "ClosePort");
  frm.cbRawComPort->addItem("ttyKORVEX_NONE");
  frm.cbRawComPort->setCurrentIndex(frm.cbRawComPort->count() - 1);
  frm.Button8->click();
  SetMessageBoxHandler(previous);
  ASSERT_EQ(boxes.size(), 2);
  EXPECT_EQ(boxes[0], "Port Opened OK");
  EXPECT_TRUE(
      boxes[1].startsWith("Unable to Open Port! - ttyKORVEX_NONE\nNo device ttyKORVEX_NONE: is the cutter "
                          "plugged in and switched on? Ports present: "))
      << boxes[1].toStdString();
  EXPECT_EQ(icons, (QList<QMessageBox::Icon>{QMessageBox::Information, QMessageBox::Critical}));
  EXPECT_FALSE(frm.RawCom->RawPortIsOpen());
}

// Only the program's own words go through the translation's escapes; a name the user
// gave is shown as given, backslashes and all.
TEST_F(WindowRaw, PortNamesInMessageBoxesAreShownAsTheyAre) {
  QStringList boxes;
  const auto previous = SetMessageBoxHandler([&](const TMsgBoxRequest& box) {
    boxes << box.Text;
    return idOK;
  });
  for (const char* name : {R"(\\.\ttyS9)", R"(my\tport)"}) {
    frm.cbRawComPort->addItem(name);
    frm.cbRawComPort->setCurrentIndex(frm.cbRawComPort->count() - 1);
    frm.Button8->click();
  }
  frm.cUseCustomCom->setChecked(false);  // the direct path's box
  frm.comboDirComPort->addItem(R"(my\tport)");
  frm.comboDirComPort->setCurrentIndex(frm.comboDirComPort->count() - 1);
  frm.dSend->click();
  SetMessageBoxHandler(previous);
  ASSERT_EQ(boxes.size(), 3);
  EXPECT_TRUE(boxes[0].startsWith(R"(Unable to Open Port! - \\.\ttyS9)"
                                  "\n"
                                  R"(No device \\.\ttyS9: )"))
      << boxes[0].toStdString();
  EXPECT_TRUE(boxes[1].startsWith(R"(Unable to Open Port! - my\tport)"
                                  "\n"
                                  R"(No device my\tport: )"))
      << boxes[1].toStdString();
  EXPECT_TRUE(
      boxes[2].startsWith("Unable to open COM Port!\n"
                          R"(No device my\tport: )"))
      << boxes[2].toStdString();
}
