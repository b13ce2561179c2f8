#include "app/KorvexDlg.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QDropEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "app/FileLabel.h"
#include "app/PrintQueuePage.h"
#include "app/UsbPrinterPage.h"
#include "app/JobLoader.h"
#include "app/JobMemo.h"
#include "preview/PreviewRender.h"
#include "raster/PaintBox32.h"
#include "translation/TransMessageBox.h"

namespace {

bool tabVisible(TKorvexFrm& frm, QWidget* page) { return frm.PageControl1->isTabVisible(frm.PageControl1->indexOf(page)); }

// By the item's text, or for a port box by the port an item stands for.
void choose(QComboBox* combo, const char* text) {
  const int port = combo->findData(QString::fromLatin1(text));
  combo->setCurrentIndex(port >= 0 ? port : combo->findText(QString::fromLatin1(text)));
  emit combo->activated(combo->currentIndex());
}

// Puts the window on the designed port "COM3", whatever ports this machine lists.
void startOnCom3(TKorvexFrm& frm) {
  if (frm.comboDirComPort->findText("COM3") < 0) frm.comboDirComPort->addItem("COM3");
  if (frm.cbRawComPort->findText("COM3") < 0) frm.cbRawComPort->addItem("COM3");
  choose(frm.comboDirComPort, "COM3");
}

// In a folder of this process, since test processes run side by side.
std::filesystem::path writeJob(const std::string& name, const std::string& bytes) {
  const auto folder = std::filesystem::temp_directory_path() / ("korvex-app-test-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const auto path = folder / name;
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

// Delivers what a drag brings, its entry and then its drop; answers whether both were taken.
bool drop(QWidget* target, const QString& file) {
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(file)});
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &enter);
  QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &event);
  return enter.isAccepted() && event.isAccepted();
}

// Sends go to a port no machine has.
void useMissingPort(TKorvexFrm& frm) {
  frm.comboDirComPort->addItem(QStringLiteral("/nonexistent/korvex-port"));
  frm.comboDirComPort->setCurrentIndex(frm.comboDirComPort->count() - 1);
}

void removeJob(const std::filesystem::path& path) {
  std::filesystem::remove(path);
  std::error_code notEmpty;
  std::filesystem::remove(path.parent_path(), notEmpty);
}

}  // namespace

TEST(KorvexFrm, StartsOnTheDirectComPageWithUsbAndThePrintQueueBesideIt) {
  TKorvexFrm frm;
  EXPECT_EQ(frm.windowTitle(), "Korvex V1.01");
  // A client area of 900 x 567 that holds the status bar, without a size grip; fixed.
  EXPECT_EQ(frm.centralWidget()->width(), 900);
  EXPECT_EQ(frm.centralWidget()->height() + frm.statusBar()->sizeHint().height(), 567);
  EXPECT_FALSE(frm.statusBar()->isSizeGripEnabled());
  frm.adjustSize();
  EXPECT_EQ(frm.minimumSize(), frm.maximumSize());
  ASSERT_EQ(frm.comboPortType->count(), 3);
  EXPECT_EQ(frm.comboPortType->itemText(0), "Direct COM Port ");
  EXPECT_EQ(frm.comboPortType->itemText(1), "Direct USB Port ");
  EXPECT_EQ(frm.comboPortType->itemText(2), "Printer Queue");
  EXPECT_FALSE(tabVisible(frm, frm.TabQueue));
  EXPECT_FALSE(tabVisible(frm, frm.TabUsb));
  EXPECT_EQ(frm.PageControl1->currentWidget(), frm.TabCom);
  EXPECT_FALSE(tabVisible(frm, frm.TabRawCom));
  EXPECT_FALSE(tabVisible(frm, frm.TabDCB));
  EXPECT_TRUE(tabVisible(frm, frm.TabPlt));
  EXPECT_TRUE(tabVisible(frm, frm.TabLog));
  EXPECT_EQ(frm.PortState->PortKind, pkDirectCom);
  EXPECT_TRUE(frm.PortState->SettingsStored);
  // "COM3" unless the system lists other ports, as this machine may.
  const std::string port = StartPortName(frm.PortState->ComPorts, "COM3");
  EXPECT_EQ(frm.PortState->PortName, port);
  EXPECT_EQ(frm.comboDirComPort->currentData().toString().toStdString(), port);
  EXPECT_EQ(frm.cbRawComPort->currentData().toString().toStdString(), port);
  EXPECT_EQ(frm.PortState->Descriptor, "\\\\.\\" + port + ",<baud=38400 flow=cts/rts parity=n data=8 stop=1>");
  // The log's own caption, then where the settings came from: here none are used.
  const QStringList log = frm.memoLog->toPlainText().split('\n');
  ASSERT_EQ(log.size(), 2);
  EXPECT_EQ(log[0], "Log File");
  EXPECT_TRUE(log[1].section('\t', 1).startsWith("Settings\tnot used")) << log[1].toStdString();
  EXPECT_NE(frm.findChild<QWidget*>("pbLeftRuler"), nullptr);
}

TEST(KorvexFrm, PagesFollowTheCheckBoxes) {
  TKorvexFrm frm;
  frm.cUseCustomCom->setChecked(true);
  EXPECT_TRUE(tabVisible(frm, frm.TabRawCom));
  EXPECT_TRUE(tabVisible(frm, frm.TabDCB));
  EXPECT_FALSE(frm.comboDirComBaud->isEnabled());
  EXPECT_EQ(frm.PageControl1->currentWidget(), frm.TabCom);  // the active page stays
  frm.cSetDCB->setChecked(false);
  EXPECT_TRUE(tabVisible(frm, frm.TabRawCom));
  EXPECT_FALSE(tabVisible(frm, frm.TabDCB));

  frm.cAdvancedCom->setChecked(true);
  EXPECT_TRUE(frm.gbAdvanced->isVisibleTo(&frm));
  frm.cUseCustomCom->setChecked(false);
  EXPECT_FALSE(tabVisible(frm, frm.TabRawCom));
  EXPECT_TRUE(frm.gbAdvanced->isVisibleTo(&frm));
  frm.cUseComTxBuf->setChecked(true);
  EXPECT_TRUE(frm.rxTXBuf->isEnabled());
}

TEST(KorvexFrm, BaudAndPortFollowAcrossPagesAndRebuildTheDescriptor) {
  TKorvexFrm frm;
  startOnCom3(frm);
  frm.cUseCustomCom->setChecked(true);
  choose(frm.comboBR2, "115200");
  EXPECT_EQ(frm.comboDirComBaud->currentText(), "115200");
  EXPECT_EQ(frm.PortState->BaudRate, 115200);
  EXPECT_EQ(frm.PortState->Descriptor, "\\\\.\\COM3,<baud=115200 flow=cts/rts parity=n data=8 stop=1>");

  choose(frm.comboDirComBaud, "19200");
  EXPECT_EQ(frm.comboBR2->currentText(), "19200");
  choose(frm.comboDirComFlow, "Software (Xon/Xoff)");
  EXPECT_EQ(frm.PortState->FlowMode, fmXonXoff);
  choose(frm.comboDirComFlow, "None");
  EXPECT_EQ(frm.PortState->Descriptor, "\\\\.\\COM3,<baud=19200 flow=none parity=n data=8 stop=1>");
}

TEST(KorvexFrm, PortListKeepsTheChosenPortWhenItDisappears) {
  TKorvexFrm frm;
  startOnCom3(frm);
  frm.PortState->TestMode = true;  // fixed ports COM1 and COM4
  frm.comboDirComPortDropDown();
  EXPECT_EQ(frm.comboDirComPort->count(), 3);  // COM1, COM3 (kept), COM4
  EXPECT_EQ(frm.comboDirComPort->currentText(), "COM3");
  choose(frm.comboDirComPort, "COM4");
  EXPECT_EQ(frm.PortState->PortName, "COM4");
  frm.cCustomRawCom->setChecked(true);
  EXPECT_TRUE(frm.cbRawComPort->isEditable());
  frm.cbRawComPort->setEditText("rfcomm7");  // a typed name not listed is dropped on refresh
  frm.cbRawComPortDropDown();
  EXPECT_EQ(frm.cbRawComPort->currentIndex(), -1);
}

TEST(KorvexFrm, ClosingWhileAPortNameIsBeingTypedEndsTheEditWithTheWindow) {
  auto* frm = new TKorvexFrm;
  frm->show();
  frm->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(frm));
  QLineEdit* typed = frm->comboDirComPort->lineEdit();
  typed->setFocus();
  QTest::keyClicks(typed, "ttyUSB5");
  ASSERT_TRUE(typed->hasFocus());
  delete frm;  // the edit ends as the box goes, when the window's own parts are gone
}

TEST(KorvexFrm, BluetoothPresetShowsTheRawPages) {
  TKorvexFrm frm;
  frm.cSetDCB->setChecked(false);
  frm.BluetoothSettings1Click();
  EXPECT_TRUE(frm.cUseCustomCom->isChecked());
  EXPECT_TRUE(tabVisible(frm, frm.TabDCB));
  EXPECT_TRUE(frm.gbAdvancedRC->isVisibleTo(&frm));
  EXPECT_TRUE(frm.cFullDebug->isChecked());
  EXPECT_EQ(frm.PageControl1->currentWidget(), frm.TabRawCom);
  EXPECT_EQ(frm.comboBR2->currentText(), "38400");
}

TEST(KorvexFrm, LoadsEveryByteAndLabelsTheFile) {
  TKorvexFrm frm;
  std::string bytes;
  for (int i = 0; i < 2048; ++i) bytes.push_back(static_cast<char>(i & 0xFF));  // CR, LF, NUL included
  const auto path = writeJob("sign.plt", bytes);
  ASSERT_TRUE(frm.LoadJob(path.string()));
  EXPECT_EQ(frm.JobText(), bytes);
  EXPECT_EQ(frm.lbPltInfo->text(), "2048 (2.00 Kb)");
  EXPECT_EQ(frm.lbFilename->text(), "\"sign.plt\"  2048 (2.00 Kb)");
  removeJob(path);

  frm.TntMemo1->clear();  // editing only updates the size
  EXPECT_EQ(frm.lbPltInfo->text(), "0 (0.00 Kb)");
}

TEST(KorvexFrm, LoadOffersPltFirstThenHpglAndAllFiles) {
  TKorvexFrm frm;
  const auto path = writeJob("saved.txt", "IN;PU0,0;PD40,40;");
  QStringList filters;
  // The dialog runs its own loop; a timer answers it once it is up.
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    answer.stop();
    filters = dialog->nameFilters();
    dialog->selectNameFilter(QStringLiteral("All Files (*)"));
    dialog->selectFile(QString::fromStdString(path.string()));
    static_cast<QDialog*>(dialog)->accept();  // public there
  });
  answer.start(10);
  frm.Button1Click();
  EXPECT_EQ(filters, (QStringList{"PLT File (*.plt)", "HP-GL File (*.hpgl *.hgl *.plt)", "All Files (*)"}));
  EXPECT_EQ(frm.JobText(), "IN;PU0,0;PD40,40;");  // a job under another extension can be picked
  removeJob(path);
}

TEST(KorvexFrm, TypingInTheMemoChangesOnlyWhatWasTyped) {
  TKorvexFrm frm;
  std::string job = "IN;\rPU0,0;\rLBA\xA0" "B\x03;\r";
  for (int b = 0; b < 256; ++b) job.push_back(static_cast<char>(b));
  const auto path = writeJob("cr-only.plt", job);
  ASSERT_TRUE(frm.LoadJob(path.string()));
  std::filesystem::remove(path);
  TJobMemo* memo = frm.TntMemo1;
  memo->moveCursor(QTextCursor::Start);
  QTest::keyClicks(memo, "X");
  EXPECT_EQ(frm.JobText(), "X" + job);
  QTest::keyClick(memo, Qt::Key_Backspace);
  EXPECT_EQ(frm.JobText(), job);
  memo->moveCursor(QTextCursor::Down);
  QTest::keyClick(memo, Qt::Key_Return);  // the job's own break: CR
  EXPECT_EQ(frm.JobText(), "IN;\r\rPU0,0;\rLBA\xA0" "B\x03;\r" + job.substr(19));
  QApplication::clipboard()->setText("PD1,1;\nPD2,2;");
  memo->paste();
  EXPECT_EQ(frm.JobText(), "IN;\r\rPD1,1;\rPD2,2;PU0,0;\rLBA\xA0" "B\x03;\r" + job.substr(19));
  EXPECT_EQ(frm.lbPltInfo->text(), QString::number(job.size() + 14) + " (0.28 Kb)");
  for (int i = 0; i < 2; ++i) QTest::keyClick(memo, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(frm.JobText(), job);
}

TEST(KorvexFrm, UnreadableFileShowsAnErrorAndKeepsTheJob) {
  TKorvexFrm frm;
  std::vector<TMsgBoxRequest> boxes;
  const auto previous = SetMessageBoxHandler([&](const TMsgBoxRequest& r) {
    boxes.push_back(r);
    return idOK;
  });
  const std::string before = frm.JobText();
  EXPECT_FALSE(frm.LoadJob("/nonexistent/missing.plt"));
  EXPECT_FALSE(frm.LoadJob(std::filesystem::temp_directory_path().string()));
  SetMessageBoxHandler(previous);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_TRUE(boxes[0].Text.contains("missing.plt"));
  EXPECT_TRUE(boxes[0].Text.contains("No such file or directory"));
  EXPECT_EQ(boxes[0].Icon, QMessageBox::Critical);
  EXPECT_EQ(frm.JobText(), before);
  EXPECT_EQ(frm.lbFilename->text(), "No file selected.");
}

TEST(KorvexFrm, LogLinesAndDebugLines) {
  TKorvexFrm frm;
  frm.memoLog->clear();
  frm.RestartLogClock();
  frm.LogLine("Port Opened", true);
  frm.LogLine("Begin-----------------------DCB", false);
  frm.LogDebugLine("hidden");
  frm.cFullDebug->setChecked(true);
  frm.LogDebugLine("shown");
  const QStringList lines = frm.memoLog->toPlainText().split('\n');
  ASSERT_EQ(lines.size(), 3);
  EXPECT_TRUE(lines[0].startsWith("0.0"));
  EXPECT_TRUE(lines[0].endsWith("\tPort Opened"));
  EXPECT_EQ(lines[1], "Begin-----------------------DCB");
  EXPECT_TRUE(lines[2].endsWith("\tshown"));
}

TEST(KorvexFrm, AJobNamedOnTheCommandLineLoadsAndNoneLeavesTheStart) {
  const auto file = writeJob("start.plt", "IN;PU0,0;PD400,400;@");
  const std::string name = file.string();
  TKorvexFrm plain, opened;
  int boxes = 0;
  const auto previous = SetMessageBoxHandler([&](const TMsgBoxRequest&) {
    ++boxes;
    return idOK;
  });
  plain.OpenStartJob("");
  SetMessageBoxHandler(previous);
  EXPECT_EQ(boxes, 0);
  EXPECT_EQ(plain.JobText(), "IN;PU0,0;PD1,1;PU4000,4000;PD4001,4001;PU0,0;@");
  EXPECT_EQ(plain.lbFilename->text(), "No file selected.");
  opened.OpenStartJob(name);
  EXPECT_NE(opened.JobText(), "IN;PU0,0;PD400,400;@");  // once the event loop runs
  QCoreApplication::processEvents();
  EXPECT_EQ(opened.JobText(), "IN;PU0,0;PD400,400;@");
  EXPECT_EQ(opened.lbFilename->text(), "\"start.plt\"  20 (0.02 Kb)");
  removeJob(file);
}

TEST(KorvexFrm, ADroppedFileLoadsAsLoadDoesOnTheWindowAndItsMemo) {
  const auto file = writeJob("dropped.plt", "IN;PU0,0;PD40,40;@");
  for (const bool onMemo : {false, true}) {
    TKorvexFrm frm;
    EXPECT_TRUE(frm.acceptDrops());
    EXPECT_TRUE(drop(onMemo ? frm.TntMemo1->viewport() : &frm, QString::fromStdString(file.string())));
    EXPECT_EQ(frm.JobText(), "IN;PU0,0;PD40,40;@") << onMemo;  // the memo did not insert the file's name
    EXPECT_EQ(frm.lbFilename->text(), "\"dropped.plt\"  18 (0.02 Kb)");
  }
  removeJob(file);

  TKorvexFrm frm;
  std::vector<TMsgBoxRequest> boxes;
  const auto previous = SetMessageBoxHandler([&](const TMsgBoxRequest& r) {
    boxes.push_back(r);
    return idOK;
  });
  drop(&frm, QStringLiteral("/nonexistent/gone.plt"));
  SetMessageBoxHandler(previous);
  ASSERT_EQ(boxes.size(), 1u);  // the load's own error box
  EXPECT_TRUE(boxes[0].Text.contains("gone.plt"));
  EXPECT_EQ(frm.lbFilename->text(), "No file selected.");
}

TEST(KorvexFrm, ALongLoadShowsItsProgressAndClosingTheWindowStopsIt) {
  TKorvexFrm frm;
  frm.show();
  frm.Loader->StepBudget = 0;  // a pump after every step
  frm.Loader->ReadSlice = 100;
  double clock = 0.0;
  frm.Loader->Now = [&] { return clock += 0.25; };
  int pumps = 0, shown = 0;
  std::function<void()> atPump;
  frm.Loader->Pump = [&] {
    ++pumps;
    shown += frm.LoadProgress->isVisible();
    if (atPump) atPump();
    QCoreApplication::processEvents();
  };
  const auto path = writeJob("long.plt", "IN;" + std::string(5000, ';') + "PU0,0;PD40,40;");
  ASSERT_TRUE(frm.LoadJob(path.string()));
  EXPECT_GT(shown, 40);  // from the third step of some 50 on
  EXPECT_FALSE(frm.LoadProgress->isVisible());
  EXPECT_EQ(frm.JobText().size(), 5017u);

  pumps = 0;
  atPump = [&] {
    if (pumps == 3) frm.close();
  };
  EXPECT_FALSE(frm.LoadJob(path.string()));
  EXPECT_EQ(pumps, 3);
  EXPECT_FALSE(frm.Loader->Busy());
  removeJob(path);
}

// A send, a redraw or a drop during a load would act on a job the window does not show
// yet: each waits for the load and says so.
TEST(KorvexFrm, SendRedrawAndADropDuringALoadWaitForItAndSaySo) {
  TKorvexFrm frm;
  useMissingPort(frm);
  QStringList boxes;
  const auto previous = SetMessageBoxHandler([&](const TMsgBoxRequest& box) {
    boxes << box.Text;
    return idOK;
  });
  const auto loading = writeJob("loading.plt", "IN;" + std::string(3000, ';') + "PU0,0;PD40,40;");
  const auto dropped = writeJob("dropped-meanwhile.plt", "IN;PU0,0;PD10,10;");
  frm.Loader->StepBudget = 0;  // a pump after every step
  frm.Loader->ReadSlice = 100;
  QString status;
  bool acted = false;
  frm.Loader->Pump = [&] {
    if (!acted && frm.Loader->Loading()) {
      acted = true;
      frm.dSend->click();
      frm.SpeedButton2->click();
      EXPECT_TRUE(drop(&frm, QString::fromStdString(dropped.string())));
      status = frm.StatusBar1->currentMessage();
    }
    QCoreApplication::processEvents();
  };
  const QString log = frm.memoLog->toPlainText();
  ASSERT_TRUE(frm.LoadJob(loading.string()));  // the drop did not replace it
  EXPECT_EQ(status, "The job is still loading: wait until its preview is shown.");
  EXPECT_TRUE(boxes.isEmpty());
  EXPECT_EQ(frm.memoLog->toPlainText(), log);  // no send began
  EXPECT_EQ(frm.JobText().size(), 3017u);
  EXPECT_EQ(frm.lbFilename->text(), "\"loading.plt\"  3017 (2.95 Kb)");
  EXPECT_EQ(frm.StatusBar1->currentMessage(), "");

  frm.dSend->click();  // the job shown now goes, to a port that is not there
  SetMessageBoxHandler(previous);
  EXPECT_EQ(boxes.size(), 1);
  EXPECT_TRUE(frm.memoLog->toPlainText().contains("DirectCOM\t3017 bytes"));
  removeJob(loading);
  removeJob(dropped);
}

TEST(KorvexFrm, AJobWithNothingToDrawClearsThePreviewAndTheRulersAndSaysWhy) {
  TKorvexFrm frm;
  frm.pbGDIOverlay();  // the first paint: rulers up, the built-in job drawn
  ASSERT_FALSE(frm.pbTopRuler->isHidden());
  TBitmap32 empty(frm.pb->Buffer().Width(), frm.pb->Buffer().Height());
  DrawPreview(empty, nullptr);
  const std::pair<const char*, const char*> jobs[] = {
      {"", "The job is empty: there is nothing to preview or send."},
      {"Dear customer, your order ships today.", "The preview finds no cut in this job: is it a PLT file?"},
      {"IN;PU0,0;PD40,40;", ""},
  };
  for (const auto& [bytes, status] : jobs) {
    const auto path = writeJob("nothing.plt", bytes);
    ASSERT_TRUE(frm.LoadJob(path.string()));
    removeJob(path);
    const bool drawn = *status == 0;
    EXPECT_EQ(frm.StatusBar1->currentMessage(), status);
    EXPECT_EQ(frm.pbTopRuler->isHidden(), !drawn) << bytes;
    EXPECT_EQ(frm.pbLeftRuler->isHidden(), !drawn) << bytes;
    const TBitmap32& box = frm.pb->Buffer();
    EXPECT_EQ(std::equal(box.Bits(), box.Bits() + box.Width() * box.Height(), empty.Bits()), !drawn) << bytes;
  }
}

TEST(KorvexFrm, ALongFileNameIsShortenedInItsMiddleAndKeepsTheSize) {
  TKorvexFrm frm;
  frm.show();
  const auto path = writeJob(std::string(150, 'n') + "-end.plt", "IN;PU0,0;PD40,40;");
  ASSERT_TRUE(frm.LoadJob(path.string()));
  const QString shown = frm.lbFilename->ShownText();
  EXPECT_TRUE(shown.endsWith("-end.plt\"  17 (0.02 Kb)")) << shown.toStdString();
  EXPECT_TRUE(shown.contains(QChar(0x2026)));  // the ellipsis
  EXPECT_LE(frm.lbFilename->fontMetrics().horizontalAdvance(shown), frm.lbFilename->contentsRect().width());
  EXPECT_EQ(frm.lbFilename->toolTip(), QString::fromStdString(path.string()));
  removeJob(path);
}
