#include "app/WindowSettings.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "app/KorvexDlg.h"
#include "app/PacingControls.h"
#include "app/RecentJobs.h"
#include "ports/PortExState.h"
#include "translation/TransMessageBox.h"

namespace {

class Settings : public ::testing::Test {
 protected:
  QString file() const { return folder.filePath(QStringLiteral("korvex.conf")); }
  std::string logText(const TKorvexFrm& frm) const { return frm.memoLog->toPlainText().toStdString(); }
  QTemporaryDir folder;
};

}  // namespace

TEST(RecentJobs, NewestFirstEachOnceAtMostFive) {
  TRecentJobs recent;
  for (const char* job : {"a", "b", "c", "b", "d", "e", "f"}) recent.Add(job);
  EXPECT_EQ(recent.Items(), (std::vector<std::string>{"f", "e", "d", "b", "c"}));
  recent.Remove("d");
  EXPECT_EQ(recent.Items(), (std::vector<std::string>{"f", "e", "b", "c"}));
  recent.Assign({"x", "", "y", "x", "1", "2", "3", "4"});
  EXPECT_EQ(recent.Items(), (std::vector<std::string>{"x", "y", "1", "2", "3"}));
}

TEST_F(Settings, ControlsAndChoicesAreWrittenAndReadBack) {
  QCheckBox box;
  QSpinBox spin;
  QComboBox combo;
  box.setObjectName("cBox");
  spin.setObjectName("rxSpin");
  spin.setRange(0, 5000);
  combo.setObjectName("comboThing");
  combo.addItems({"one", "two", "three"});
  {
    TWindowSettings settings(file());
    EXPECT_EQ(settings.Source(),
              "Settings\tnone kept yet: the form's defaults, kept from now on in " + file().toStdString());
    box.setChecked(true);
    spin.setValue(4321);
    combo.setCurrentIndex(2);
    settings.SaveControls({&box, &spin, &combo});
    settings.Port = "ttyUSB3";
    settings.LastFolder = "/srv/jobs";
    settings.Recent.Add("/srv/jobs/a.plt");
    settings.Geometry = "place";
    ASSERT_TRUE(settings.Save());
  }
  box.setChecked(false);
  spin.setValue(1);
  combo.setCurrentIndex(0);
  QCheckBox unnamed;  // a control the file does not name keeps its state
  unnamed.setObjectName("cOther");
  unnamed.setChecked(true);
  const TWindowSettings read(file());
  EXPECT_EQ(read.Source(), "Settings\tread from " + file().toStdString());
  read.RestoreControls({&box, &spin, &combo, &unnamed});
  EXPECT_TRUE(box.isChecked());
  EXPECT_EQ(spin.value(), 4321);
  EXPECT_EQ(combo.currentIndex(), 2);
  EXPECT_TRUE(unnamed.isChecked());
  EXPECT_EQ(read.Port, "ttyUSB3");
  EXPECT_EQ(read.LastFolder, "/srv/jobs");
  EXPECT_EQ(read.Recent.Items(), std::vector<std::string>{"/srv/jobs/a.plt"});
  EXPECT_EQ(read.Geometry, "place");
}

TEST_F(Settings, WithoutAFileNothingIsReadOrWritten) {
  TWindowSettings none;
  EXPECT_EQ(none.Source(), "Settings\tnot used (--no-settings): the form's defaults, nothing is kept");
  QCheckBox box;
  box.setObjectName("cBox");
  none.SaveControls({&box});
  none.Port = "ttyUSB3";
  EXPECT_TRUE(none.Save());
  EXPECT_TRUE(QDir(folder.path()).isEmpty());
}

TEST_F(Settings, ARememberedPortThatIsGoneFallsBackToTheStartOrder) {
  TWindowSettings settings(file());
  std::string gone;
  const std::vector<std::string> listed = {"ttyS0", "ttyUSB1"};
  EXPECT_EQ(settings.StartPort(listed, "COM3", gone), "ttyUSB1");  // none remembered
  settings.Port = "ttyS0";
  EXPECT_EQ(settings.StartPort(listed, "COM3", gone), "ttyS0");
  EXPECT_EQ(gone, "");
  const std::string link = folder.filePath("korvex-cutter").toStdString();
  std::ofstream{link};  // a path that exists, as the virtual cutter's link does
  settings.Port = link;
  EXPECT_EQ(settings.StartPort(listed, "COM3", gone), link);
  settings.Port = "ttyKORVEX_GONE";
  EXPECT_EQ(settings.StartPort(listed, "COM3", gone), "ttyUSB1");
  EXPECT_EQ(gone, "ttyKORVEX_GONE");
}

// The window keeps its choices across runs: closed with them, opened again with them.
TEST_F(Settings, TheWindowKeepsItsChoicesAcrossRuns) {
  const std::filesystem::path job = std::filesystem::path(folder.path().toStdString()) / "kept.plt";
  std::ofstream(job) << "IN;PU0,0;PD40,40;";
  {
    TKorvexFrm frm(nullptr, TWindowSettings(file()));
    EXPECT_NE(logText(frm).find("Settings\tnone kept yet"), std::string::npos);
    frm.comboDirComBaud->setCurrentIndex(frm.comboDirComBaud->findText("115200"));
    frm.comboDirComFlow->setCurrentIndex(2);
    frm.cAdvancedCom->setChecked(true);
    frm.cUseComTxBuf->setChecked(true);
    frm.rxTXBuf->setValue(512);
    frm.Pacing->cbPacing->setCurrentIndex(2);
    frm.Pacing->rxCutterBuffer->setValue(2048);
    frm.Pacing->rxCutSpeed->setValue(150);
    frm.rxTxBuf2->setValue(64);
    frm.cUseOverlap->setChecked(false);
    ASSERT_TRUE(frm.LoadJob(job.string()));
    frm.close();
  }
  TKorvexFrm frm(nullptr, TWindowSettings(file()));
  EXPECT_NE(logText(frm).find("Settings\tread from " + file().toStdString()), std::string::npos);
  EXPECT_EQ(frm.comboDirComBaud->currentText(), "115200");
  EXPECT_EQ(frm.comboBR2->currentText(), "115200");  // the raw page follows, as it does by hand
  EXPECT_EQ(frm.PortState->BaudRate, 115200);
  EXPECT_EQ(frm.PortState->FlowMode, fmNone);
  EXPECT_TRUE(frm.cAdvancedCom->isChecked());
  EXPECT_FALSE(frm.gbAdvanced->isHidden());
  EXPECT_TRUE(frm.rxTXBuf->isEnabled());
  EXPECT_EQ(frm.rxTXBuf->value(), 512);
  EXPECT_EQ(frm.Pacing->cbPacing->currentIndex(), 2);
  EXPECT_TRUE(frm.Pacing->rxCutterBuffer->isEnabled());
  EXPECT_EQ(frm.Pacing->rxCutterBuffer->value(), 2048);
  EXPECT_EQ(frm.Pacing->rxCutSpeed->value(), 150);
  EXPECT_EQ(frm.rxTxBuf2->value(), 64);
  EXPECT_FALSE(frm.cUseOverlap->isChecked());
  EXPECT_EQ(frm.Settings.Recent.Items(), std::vector<std::string>{job.string()});

  // Load starts in the last job's folder.
  QString shownFolder;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    answer.stop();
    shownFolder = dialog->directory().absolutePath();
    dialog->reject();
  });
  answer.start(10);
  frm.Open1->trigger();  // File > Open... is Load
  EXPECT_EQ(shownFolder, folder.path());
}

TEST_F(Settings, AVanishedPortIsLoggedAndTheStartOrderChooses) {
  {
    TWindowSettings settings(file());
    settings.Port = "ttyKORVEX_GONE";
    ASSERT_TRUE(settings.Save());
  }
  TKorvexFrm frm(nullptr, TWindowSettings(file()));
  const std::string start = StartPortName(frm.PortState->ComPorts, "COM3");
  EXPECT_EQ(frm.PortState->PortName, start);
  EXPECT_NE(logText(frm).find("Settings\tport ttyKORVEX_GONE is gone; starting on " + start), std::string::npos);
}

TEST_F(Settings, TheFileMenuOffersTheLastFiveJobsAndTheUsualKeys) {
  TKorvexFrm frm;
  EXPECT_EQ(frm.Open1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
  EXPECT_EQ(frm.Send1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Return));
  EXPECT_EQ(frm.Exit1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
  std::vector<std::filesystem::path> jobs;
  for (int i = 0; i < 6; ++i) {
    jobs.push_back(std::filesystem::path(folder.path().toStdString()) / ("job" + std::to_string(i) + ".plt"));
    std::ofstream(jobs.back()) << "IN;PU0,0;PD" << i << "0,40;";
    ASSERT_TRUE(frm.LoadJob(jobs.back().string()));
  }
  emit frm.File1->aboutToShow();
  QStringList entries;
  for (QAction* action : frm.File1->actions()) entries << action->text();
  ASSERT_EQ(entries.size(), 10);  // Open, Send, line, five jobs, line, Exit (lines have no text)
  EXPECT_EQ(entries[0], "&Open...");
  EXPECT_EQ(entries[1], "&Send");
  EXPECT_TRUE(entries[3].startsWith("&1 ") && entries[3].endsWith("job5.plt")) << entries[3].toStdString();
  EXPECT_TRUE(entries[7].startsWith("&5 ") && entries[7].endsWith("job1.plt")) << entries[7].toStdString();
  EXPECT_EQ(entries[9], "E&xit");
  frm.File1->actions()[5]->trigger();  // the third newest
  EXPECT_EQ(frm.JobText(), "IN;PU0,0;PD30,40;");

  // One that is gone since leaves the list with the load's error box.
  std::filesystem::remove(jobs[4]);
  emit frm.File1->aboutToShow();
  QStringList boxes;
  const auto previous = SetMessageBoxHandler([&](const TMsgBoxRequest& box) {
    boxes << box.Text;
    return idOK;
  });
  frm.File1->actions()[5]->trigger();  // job4, third again now that job3 leads
  SetMessageBoxHandler(previous);
  EXPECT_EQ(boxes.size(), 1);
  EXPECT_EQ(frm.Settings.Recent.Items().size(), 4u);
}
