#include "KorvexDlg.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSocketNotifier>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>

#include "FileLabel.h"
#include "JobLoader.h"
#include "JobMemo.h"
#include "PacingControls.h"
#include "PortCombo.h"
#include "PrintQueuePage.h"
#include "UsbPrinterPage.h"
#include "RawComView.h"
#include "platform/CodePage.h"
#include "platform/JobFile.h"
#include "platform/MainThread.h"
#include "platform/SerialDevices.h"
#include "preview/PreviewRender.h"
#include "raster/PaintBox32.h"
#include "translation/TransManClass.h"
#include "translation/TransMessageBox.h"
#include "translation/TransUtils.h"
#include "transmission/ComSendDlg.h"
#include "transmission/DirectSend.h"

TKorvexFrm::TKorvexFrm(QWidget* parent, TWindowSettings settings) : QMainWindow(parent), Settings(std::move(settings)) {
  // The serial event thread hands its events over through a queue that the event loop
  // drains whenever something is queued.
  SetMainThreadWakeup([] {
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] { DrainMainThreadQueue(); }, Qt::QueuedConnection);
  });
  SetupForm(*this, FlagUpdateDepth,
            [this](QPainter& painter, int index, const QRect& rect) { comboPortTypeDrawItem(painter, index, rect); });
  RawView = std::make_unique<TRawComView>(
      TRawComControls{.Window = this,
                      .Send = dSend,
                      .LogDcb = Button7,
                      .TestOpen = Button8,
                      .Progress = lbProgress,
                      .Bar = ProgressBar1,
                      .Baud = comboBR2,
                      .PacketSize = rxTxBuf2,
                      .Overlapped = cUseOverlap,
                      .Purge = cPurgeCom,
                      .SetDcb = cSetDCB,
                      .UsePackets = cUseRawTXBuf,
                      .RefreshGui = cProcessMsgs,
                      .FullDebug = cFullDebug,
                      .Dcb = TabDCB,
                      .PortName = [this] { return ComboPortName(cbRawComPort, PortState->ComPortDetails); },
                      .LogLine = [this](const std::string& text, bool stamped) { LogLine(text, stamped); },
                      .RestartLog =
                          [this] {
                            memoLog->clear();
                            RestartLogClock();
                          },
                      .Cancel = [this] { dSendClick(); }});  // Send cancels while it reads "Cancel"
  RawCom = std::make_unique<TRawComTransmitter>(*RawView);
  wireHandlers();
  FormCreate();
}

TKorvexFrm::~TKorvexFrm() {
  // The port box loses its focus, which ends an edit, only as the children go: after
  // this window's own parts.
  comboDirComPort->lineEdit()->disconnect(this);
  UsbNotices.reset();
  if (UsbMonitor) UsbMonitor->OnUsbDeviceChange = nullptr;
  UsbMonitor.reset();
  if (TTransMan* manager = TransMan()) manager->Log = nullptr;
  SetMainThreadWakeup({});
}

void TKorvexFrm::wireHandlers() {
  setAcceptDrops(true);
  TntMemo1->viewport()->installEventFilter(this);
  connect(Exit1, &QAction::triggered, this, &QWidget::close);
  connect(Open1, &QAction::triggered, this, &TKorvexFrm::Button1Click);
  connect(Send1, &QAction::triggered, this, &TKorvexFrm::dSendClick);
  connect(File1, &QMenu::aboutToShow, this, &TKorvexFrm::fillRecentJobs);
  connect(BluetoothSettings1, &QAction::triggered, this, &TKorvexFrm::BluetoothSettings1Click);
  connect(Button1, &QPushButton::clicked, this, &TKorvexFrm::Button1Click);
  connect(dSend, &QPushButton::clicked, this, &TKorvexFrm::dSendClick);
  TntMemo1->OnJobChanged = [this] {
    Loader->JobEdited();
    TntMemo1Change();
  };
  connect(SpeedButton2, &QPushButton::clicked, this, &TKorvexFrm::SpeedButton2Click);
  pb->OnPaint = [this] { pbGDIOverlay(); };
  Loader = std::make_unique<TJobLoader>(*TntMemo1, *pb, *pbTopRuler, *pbLeftRuler, FViewMatrix, WorkSpace());
  Loader->ShowProgress = [this](int percent) {
    LoadProgress->setValue(std::max(percent, 0));
    LoadProgress->setVisible(percent >= 0);
  };
  connect(comboPortType, &QComboBox::activated, this, &TKorvexFrm::comboPortTypeClick);
  comboDirComPort->OnDropDown = [this] { comboDirComPortDropDown(); };
  cbRawComPort->OnDropDown = [this] { cbRawComPortDropDown(); };
  connect(comboDirComPort, &QComboBox::activated, this, &TKorvexFrm::comboDirComPortClick);
  connect(comboDirComPort->lineEdit(), &QLineEdit::editingFinished, this, &TKorvexFrm::comboDirComPortTyped);
  connect(comboDirComBaud, &QComboBox::activated, this, &TKorvexFrm::comboDirComBaudClick);
  connect(comboDirComFlow, &QComboBox::activated, this, &TKorvexFrm::comboDirComFlowClick);
  connect(comboBR2, &QComboBox::activated, this, &TKorvexFrm::comboBR2Click);
  // Check boxes run their handlers whenever their state changes, by the user or not.
  connect(cAdvancedCom, &QCheckBox::toggled, this, &TKorvexFrm::cAdvancedComClick);
  connect(cUseCustomCom, &QCheckBox::toggled, this, &TKorvexFrm::cUseCustomComClick);
  connect(cUseComTxBuf, &QCheckBox::toggled, this, &TKorvexFrm::cUseComTxBufClick);
  connect(cSetDCB, &QCheckBox::toggled, this, &TKorvexFrm::cSetDCBClick);
  connect(cUseRawTXBuf, &QCheckBox::toggled, this, &TKorvexFrm::cUseRawTXBufClick);
  connect(cCustomRawCom, &QCheckBox::toggled, this, &TKorvexFrm::cCustomRawComClick);
  connect(TntCheckBox1, &QCheckBox::toggled, this, &TKorvexFrm::TntCheckBox1Click);
  connect(Button7, &QPushButton::clicked, this, &TKorvexFrm::Button7Click);
  connect(Button8, &QPushButton::clicked, this, &TKorvexFrm::Button8Click);
  connect(Button3, &QPushButton::clicked, this, [this] { QApplication::clipboard()->setText(memoLog->toPlainText()); });
  connect(Button4, &QPushButton::clicked, memoLog, &QPlainTextEdit::clear);
}

void TKorvexFrm::FormCreate() {
  comboPortType->removeItem(2);
  comboPortType->setCurrentIndex(0);
  FViewMatrix = TMatrixObj::CreateIdentity();
  WorkSpace().UseMillimetres();
  PortState = std::make_unique<TPortExState>();
  PortState->RefreshComPorts();
  PortState->RefreshUsbPorts();
  TabUsb->ShowPrinters(PortState->UsbPrinters);
  PortState->ApplySelection();
  UsbMonitor = std::make_unique<TUsbMonitor>();
  UsbMonitor->OnUsbDeviceChange = [this](bool arrived, const std::string& usb, const std::string& storage,
                                         const std::string& name) { UsbDeviceChanged(arrived, usb, storage, name); };
  if (UsbMonitor->NoticeFd() >= 0) {
    UsbNotices = std::make_unique<QSocketNotifier>(UsbMonitor->NoticeFd(), QSocketNotifier::Read);
    connect(UsbNotices.get(), &QSocketNotifier::activated, this, [this] { UsbMonitor->ReadNotices(); });
  }
  // The designed "COM3" names no device here: start on a port the system has.
  UsbMonitor->OnTtyChange = [this] { TtyDeviceChanged(); };
  UsbMonitor->OnPrinterChange = [this] {
    if (PortState->RefreshUsbPorts()) TabUsb->ShowPrinters(PortState->UsbPrinters);
  };
  TabUsb->cbPrinter->OnDropDown = UsbMonitor->OnPrinterChange;
  // A language file that cannot be used is told here, where the user reads the log.
  if (TTransMan* manager = TransMan()) manager->Log = [this](const std::string& line) { LogLine(line, true); };
  LogLine(Settings.Source(), true);
  const std::string designed = ComboPortName(comboDirComPort, PortState->ComPortDetails);
  std::string gone;
  if (const std::string start = Settings.StartPort(PortState->ComPorts, designed, gone); start != designed) {
    PortState->SetPortName(start);
    FillComPortList();
    FillRawComPortList();
  }
  if (!gone.empty()) LogLine("Settings\tport " + gone + " is gone; starting on " + PortState->PortName, true);
  Settings.RestoreControls(rememberedControls());
  comboDirComBaudClick();
  setPageVisible(TabRawCom, false);
  setPageVisible(TabDCB, isPageVisible(TabRawCom) && cSetDCB->isChecked());
  TabDCB->dResetDCBClick();
  UpdateJobSizeInfo();
  comboPortTypeClick();
}

void TKorvexFrm::setPageVisible(QWidget* page, bool visible) {
  PageControl1->setTabVisible(PageControl1->indexOf(page), visible);
}

bool TKorvexFrm::isPageVisible(QWidget* page) const { return PageControl1->isTabVisible(PageControl1->indexOf(page)); }

void TKorvexFrm::LogLine(const std::string& text, bool stamped) {
  const std::string line = Log.FormatLine(text, stamped);
  memoLog->appendPlainText(QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())));
}

void TKorvexFrm::LogDebugLine(const std::string& text) {
  if (cFullDebug->isChecked()) LogLine(text, true);
}

bool TKorvexFrm::LoadJob(const std::string& path) {
  std::string reason;
  const QString file = QFileInfo(QString::fromLocal8Bit(path.c_str())).absoluteFilePath();
  const auto outcome = Loader->Load(path, reason, [&] { lbFilename->ShowFile(file, lbPltInfo->text()); });
  if (outcome == TJobLoader::TOutcome::Failed) {
    Settings.Recent.Remove(file.toLocal8Bit().toStdString());
    const QString text = QStringLiteral("Cannot read \"%1\":\n%2")
                             .arg(QString::fromLocal8Bit(path.c_str()), QString::fromLocal8Bit(reason.c_str()));
    TransMessageBoxW(text.toStdU16String(), mtError, mbOK, 0);
  }
  // A load that another replaced leaves everything to that one.
  if (outcome != TJobLoader::TOutcome::Done) return false;
  Settings.Recent.Add(file.toLocal8Bit().toStdString());
  Settings.LastFolder = QFileInfo(file).absolutePath();
  showJobState();
  return true;
}

void TKorvexFrm::OpenStartJob(const std::string& file) {
  // Loaded from the event loop: a window closed during a long load then ends the program.
  if (!file.empty()) QTimer::singleShot(0, this, [this, file] { LoadJob(file); });
}

void TKorvexFrm::closeEvent(QCloseEvent* event) {
  QMainWindow::closeEvent(event);
  if (!event->isAccepted()) return;
  Loader->Abandon();
  StorePortSettings();
  Settings.Port = PortState->PortName;
  Settings.Geometry = saveGeometry();
  Settings.SaveControls(rememberedControls());
  if (!Settings.Save()) qWarning("korvex: the settings could not be written to %s", qPrintable(Settings.File()));
}

bool TKorvexFrm::RestoreGeometry() { return !Settings.Geometry.isEmpty() && restoreGeometry(Settings.Geometry); }

std::vector<QWidget*> TKorvexFrm::rememberedControls() const {
  return {comboDirComBaud,    comboDirComFlow,
          cAdvancedCom,       cUseCustomCom,
          cUseComTxBuf,       rxTXBuf,
          Pacing->cbPacing,   Pacing->rxCutterBuffer,
          Pacing->rxCutSpeed, Pacing->rxTravelSpeed,
          rxTxBuf2,           cUseOverlap,
          cPurgeCom,          cSetDCB,
          cUseRawTXBuf,       cCustomRawCom,
          TntCheckBox1,       cProcessMsgs,
          cUpdateDCB};
}

void TKorvexFrm::fillRecentJobs() {
  for (QAction* action : RecentJobActions) delete action;
  RecentJobActions.clear();
  int number = 0;
  for (const std::string& path : Settings.Recent.Items()) {
    const QString file = QString::fromLocal8Bit(path.c_str());
    const QString shown = fontMetrics().elidedText(file, Qt::ElideMiddle, 400).replace('&', QStringLiteral("&&"));
    auto* action = new QAction(QStringLiteral("&%1 %2").arg(++number).arg(shown), File1);
    connect(action, &QAction::triggered, this, [this, path] {
      if (loadSettled()) LoadJob(path);
    });
    File1->insertAction(RecentJobsEnd, action);
    RecentJobActions.push_back(action);
  }
}

bool TKorvexFrm::loadSettled() {
  if (!Loader->Loading()) return true;
  StatusBar1->showMessage(QStringLiteral("The job is still loading: wait until its preview is shown."));
  return false;
}

bool TKorvexFrm::acceptJobDrag(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->hasUrls() ? event->mimeData()->urls() : QList<QUrl>();
  // One job at a time: the first file dragged is the one that loads.
  if (urls.isEmpty() || !urls.first().isLocalFile()) return false;
  event->acceptProposedAction();
  if (event->type() == QEvent::Drop && loadSettled()) LoadJob(urls.first().toLocalFile().toLocal8Bit().toStdString());
  return true;
}

void TKorvexFrm::dragEnterEvent(QDragEnterEvent* event) { acceptJobDrag(event); }

void TKorvexFrm::dropEvent(QDropEvent* event) { acceptJobDrag(event); }

bool TKorvexFrm::eventFilter(QObject* watched, QEvent* event) {
  // The memo would insert a dropped file's name into the job as text.
  const QEvent::Type type = event->type();
  if ((type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop) &&
      watched == TntMemo1->viewport() && acceptJobDrag(static_cast<QDropEvent*>(event)))
    return true;
  return QMainWindow::eventFilter(watched, event);
}

void TKorvexFrm::Button1Click() {
  const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("Select PLT file"), Settings.LastFolder,
                                                    QStringLiteral("PLT File (*.plt);;HP-GL File (*.hpgl *.hgl "
                                                                   "*.plt);;All Files (*)"));
  if (file.isEmpty()) return;
  LoadJob(file.toLocal8Bit().toStdString());
}

const std::string& TKorvexFrm::JobText() const { return TntMemo1->JobBytes(); }

void TKorvexFrm::TntMemo1Change() { UpdateJobSizeInfo(); }

void TKorvexFrm::SpeedButton2Click() {
  if (loadSettled()) RebuildPreview();
}

void TKorvexFrm::pbGDIOverlay() {
  if (pb->property("Tag").toInt() != 1) return;
  pb->setProperty("Tag", 0);
  pbTopRuler->setVisible(true);
  pbLeftRuler->setVisible(true);
  DrawRulers();
  DrawPreview(nullptr);
  // Inside a paint nothing may pump. A load under way draws its own picture when done.
  if (!Loader->Busy() && Loader->Rebuild(false) == TJobLoader::TOutcome::Done) showJobState();
}

void TKorvexFrm::RebuildPreview() {
  if (Loader->Rebuild() == TJobLoader::TOutcome::Done) showJobState();
}

void TKorvexFrm::showJobState() {
  const std::string text = Loader->Notice.Text();  // the job's bytes in it are Latin-1
  lbPreviewNotice->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
  lbPreviewNotice->setVisible(!text.empty());
  // A page or rulers without a cut on them would claim a picture there is not.
  const bool drawn = Loader->Notice.DrawsCut();
  if (!drawn) DrawPreview(nullptr);
  pbTopRuler->setVisible(drawn);
  pbLeftRuler->setVisible(drawn);
  if (JobText().empty())
    StatusBar1->showMessage(QStringLiteral("The job is empty: there is nothing to preview or send."));
  else if (!drawn)
    StatusBar1->showMessage(QStringLiteral("The preview finds no cut in this job: is it a PLT file?"));
  else
    StatusBar1->clearMessage();
}

void TKorvexFrm::DrawPreview(const TSimpleContourList* List) {
  if (IMatrixRef fitted = ::DrawPreview(pb->Buffer(), List)) FViewMatrix = std::move(fitted);
  pb->update();
}

void TKorvexFrm::DrawRulers() {
  ::DrawRulers(pbTopRuler->Buffer(), pbLeftRuler->Buffer(), *FViewMatrix, WorkSpace());
  pbTopRuler->update();
  pbLeftRuler->update();
}

void TKorvexFrm::UpdateJobSizeInfo() { lbPltInfo->setText(QString::fromStdString(JobSizeText(JobText().size()))); }

void TKorvexFrm::comboPortTypeDrawItem(QPainter& painter, int index, const QRect& rect) {
  painter.save();
  painter.setClipRect(rect);
  painter.drawText(QRect(rect.left() + 24, rect.top() + 1, rect.width() - 24, rect.height() - 1),
                   Qt::AlignLeft | Qt::AlignVCenter, comboPortType->itemText(index));
  painter.restore();
  const int kind = comboPortType->itemData(index).toInt();
  const int image = kind == pkDirectCom ? 38 : kind == pkDirectUsb ? 36 : kind >= pkWindowsPort ? 40 : 30;
  ImageList1[image].paint(&painter, QRect(rect.left() + 2, rect.top() + 1, 16, 16));
}

void TKorvexFrm::comboPortTypeClick() {
  StorePortSettings();
  ShowConnectionPages(ConnectionPageMask());
  for (int i = 0; i < PageControl1->count(); ++i) {
    if (PageControl1->isTabVisible(i)) {
      PageControl1->setCurrentIndex(i);
      break;
    }
  }
}

int TKorvexFrm::ConnectionPageMask() const {
  switch (PortState ? PortState->PortKind : pkNone) {
    case pkDirectCom: return 1;
    case pkDirectUsb: return 2;
    case pkWindowsPort: return 4;
    case pkPrintQueue: return 8;
    case pkNone: break;
  }
  return 0;
}

void TKorvexFrm::ShowConnectionPages(int mask) {
  setPageVisible(TabCom, mask == 1);
  setPageVisible(TabQueue, mask == 8);
  setPageVisible(TabUsb, mask == 2);
  setPageVisible(TabRawCom, isPageVisible(TabCom) && cUseCustomCom->isChecked());
  setPageVisible(TabDCB, isPageVisible(TabRawCom) && cSetDCB->isChecked());
  setPageVisible(TabPlt, true);
  setPageVisible(TabLog, true);
}

void TKorvexFrm::StorePortSettings() {
  if (!PortState) return;
  PortState->PortKind = static_cast<TPortKind>(comboPortType->currentData().toInt());
  if (PortState->PortKind == pkDirectCom) {
    PortState->SetPortName(ComboPortName(comboDirComPort, PortState->ComPortDetails));
    bool whole = false;
    const int baud = comboDirComBaud->currentText().toInt(&whole);
    PortState->SetBaudRate(whole ? baud : 9600);
    const int flow = comboDirComFlow->currentIndex();
    PortState->SetFlowMode(flow == 0 ? fmCtsRts : flow == 1 ? fmXonXoff : fmNone);
    PortState->SetDescriptor(PortState->BuildDescriptor());
  }
  PortState->SettingsStored = true;
}

void TKorvexFrm::comboDirComPortClick() {
  StorePortSettings();
  ShowComboPort(cbRawComPort, PortState->PortName);
}

void TKorvexFrm::comboDirComPortTyped() {
  const std::string name = ComboPortName(comboDirComPort, PortState->ComPortDetails);
  if (name.empty()) {  // a cleared box goes back to the port it had
    ShowComboPort(comboDirComPort, PortState->PortName);
    return;
  }
  if (std::find(TypedPorts.begin(), TypedPorts.end(), name) == TypedPorts.end()) TypedPorts.push_back(name);
  PortState->SetPortName(name);
  FillComPortList();
  comboDirComPortClick();
}

void TKorvexFrm::comboDirComBaudClick() {
  StorePortSettings();
  SelectText(comboBR2, comboDirComBaud->currentText());
}

void TKorvexFrm::comboDirComFlowClick() { StorePortSettings(); }

void TKorvexFrm::comboBR2Click() {
  SelectText(comboDirComBaud, comboBR2->currentText());
  StorePortSettings();
}

void TKorvexFrm::cCustomRawComClick() {
  const QString text = cbRawComPort->currentText();
  cbRawComPort->setEditable(cCustomRawCom->isChecked());
  if (cCustomRawCom->isChecked()) cbRawComPort->setEditText(text);
}

void TKorvexFrm::fillPortCombo(QComboBox* combo) {
  if (!PortState) return;
  const std::string current = PortState->PortName;
  PortState->RefreshComPorts();
  std::vector<std::string> kept = TypedPorts;
  kept.push_back(current);
  FillPortCombo(combo, PortListItems(PortState->ComPortDetails, kept), current);
}

void TKorvexFrm::FillComPortList() { fillPortCombo(comboDirComPort); }

void TKorvexFrm::FillRawComPortList() { fillPortCombo(cbRawComPort); }

void TKorvexFrm::refreshPortCombo(QComboBox* combo, void (TKorvexFrm::*fill)()) {
  const std::string remembered = ComboItemPort(combo, combo->currentIndex());
  (this->*fill)();  // rescans the ports itself
  const QSignalBlocker quiet(combo);
  combo->setCurrentIndex(remembered.empty() ? -1 : combo->findData(QString::fromStdString(remembered)));
}

void TKorvexFrm::comboDirComPortDropDown() { refreshPortCombo(comboDirComPort, &TKorvexFrm::FillComPortList); }

void TKorvexFrm::cbRawComPortDropDown() { refreshPortCombo(cbRawComPort, &TKorvexFrm::FillRawComPortList); }

void TKorvexFrm::UsbDeviceChanged(bool arrived, const std::string& usbDescription,
                                  const std::string& storageDescription, const std::string& storageFriendlyName) {
  if (!PortState) return;
  // Device strings come from the kernel and udev as UTF-8.
  setWindowTitle(
      QString::fromStdString(UsbChangeCaption(arrived, {usbDescription, storageDescription, storageFriendlyName})));
  if (PortState->RefreshComPorts()) FillComPortList();
  if (PortState->RefreshUsbPorts()) TabUsb->ShowPrinters(PortState->UsbPrinters);
}

void TKorvexFrm::TtyDeviceChanged() {
  if (!PortState || !PortState->RefreshComPorts()) return;
  FillComPortList();
  // A name typed under "Custom Port Name" stays until the user opens the list.
  if (!cbRawComPort->isEditable()) FillRawComPortList();
}

void TKorvexFrm::cUseCustomComClick() {
  const bool raw = cUseCustomCom->isChecked();
  comboDirComBaud->setEnabled(!raw);
  comboDirComFlow->setEnabled(!raw);
  cAdvancedCom->setEnabled(!raw);
  gbAdvanced->setVisible(cAdvancedCom->isChecked() && !raw);
  setPageVisible(TabRawCom, isPageVisible(TabCom) && raw);
  setPageVisible(TabDCB, isPageVisible(TabRawCom) && cSetDCB->isChecked());
}

void TKorvexFrm::cSetDCBClick() { setPageVisible(TabDCB, isPageVisible(TabRawCom) && cSetDCB->isChecked()); }

void TKorvexFrm::cAdvancedComClick() { gbAdvanced->setVisible(cAdvancedCom->isChecked()); }

void TKorvexFrm::TntCheckBox1Click() { gbAdvancedRC->setVisible(TntCheckBox1->isChecked()); }

void TKorvexFrm::cUseComTxBufClick() { rxTXBuf->setEnabled(cUseComTxBuf->isChecked()); }

void TKorvexFrm::cUseRawTXBufClick() { rxTxBuf2->setEnabled(cUseRawTXBuf->isChecked()); }

void TKorvexFrm::BluetoothSettings1Click() {
  comboPortType->setCurrentIndex(0);
  comboPortTypeClick();
  cUseCustomCom->setChecked(true);
  SelectText(comboBR2, QStringLiteral("38400"));
  rxTxBuf2->setValue(200);
  for (QCheckBox* box : {cUseRawTXBuf, cUseOverlap, cPurgeCom, cSetDCB, TntCheckBox1, cProcessMsgs})
    box->setChecked(true);
  TabDCB->dResetDCBClick();
  cFullDebug->setChecked(true);
  PageControl1->setCurrentWidget(TabRawCom);
}

void TKorvexFrm::dSendClick() {
  if (RawCom->Sending()) {  // Send reads "Cancel" while a raw send runs
    RawCom->RequestCancel();
    return;
  }
  // Whatever the route (a second click once the dialog is gone, a shortcut), a send never
  // starts while another one holds the port, nor before the job it sends is the one shown.
  if (SendRunning || !loadSettled()) return;
  const QScopedValueRollback<bool> running(SendRunning, true);
  StorePortSettings();
  const bool queue = PortState->PortKind == pkPrintQueue, usb = PortState->PortKind == pkDirectUsb;
  if (PortState->PortKind != pkDirectCom && !queue && !usb) {
    TransMessageBox("Port Not supported yet!", mtError, mbOK, 0);
    return;
  }
  const std::string job = JobText();
  // The direct path opens no port for nothing; the raw transmitter logs an empty send
  // without opening one.
  if (job.empty() && (queue || usb || !cUseCustomCom->isChecked())) {
    TransMessageBox(
        "(__There is nothing to send: the job is empty. Load a PLT file or type the job on the "
        "'PLT Data' page.__)",
        mtWarning, mbOK, 0);
    return;
  }
  RestartLogClock();
  memoLog->clear();
  PageControl1->setCurrentWidget(TabLog);
  if (queue || usb) {
    const auto log = [this](const std::string& line) { LogLine(line, true); };
    queue ? TabQueue->Send(job, log) : TabUsb->Send(job, log);
    return;
  }
  if (cUseCustomCom->isChecked()) {
    RawCom->Settings = RawView->ReadSettings();
    RawCom->SendJob(job);
    return;
  }
  TDirectSendHooks hooks;
  hooks.Log = [this](const std::string& line) { LogLine(line, true); };
  // Only the system's own text is translated and unescaped; port names and paths are shown as they are.
  hooks.OpenFailed = [](const std::string& message, const std::string&, const std::string& hint) {
    TransMessageBoxW(TranslateMarker(message) + (hint.empty() ? u"" : u"\n" + AnsiToWide(hint)), mtError, mbOK, 0);
  };
  hooks.Transfer = [this, log = hooks.Log](const std::string& jobText, bool useTxBuffer) {
    TFrmComSend dialog;
    dialog.JobText = jobText;
    dialog.UseTxBuffer = useTxBuffer;
    dialog.Pacing = Pacing->Read(static_cast<std::uint32_t>(PortState->BaudRate));
    dialog.Log = log;
    dialog.Caution = UnguardedSendWarning(PortState->FlowMode, dialog.Pacing.Mode);
    if (!dialog.Caution.empty()) log("Warning\t" + dialog.Caution);
    dialog.exec();
    return dialog.Outcome();
  };
  hooks.SendFailed = [](const std::u16string& message) { TransMessageBoxW(message, mtError, mbOK, 0); };
  hooks.KeepWaiting = [] {
    QCoreApplication::processEvents();
    return true;
  };
  RunDirectSend(job, PortState->BuildDescriptor(), cUseComTxBuf->isChecked() ? rxTXBuf->value() : 0, hooks);
}

void TKorvexFrm::Button7Click() {
  RawCom->Settings = RawView->ReadSettings();
  const std::optional<DCB> dcb = RawCom->LogCurrentDcb();
  if (dcb && cUpdateDCB->isChecked()) TabDCB->LoadFromDcb(*dcb);
}

void TKorvexFrm::Button8Click() {
  RawCom->Settings = RawView->ReadSettings();
  if (RawCom->OpenRawPort()) {
    TransMessageBox("Port Opened OK", mtInformation, mbOK, 0);
  } else {
    const std::string& name = RawCom->Settings.PortName;
    const std::string hint = PortOpenHint(name, RawCom->OpenError, PortState->ComPorts);
    TransMessageBoxW(TranslateMarker("Unable to Open Port! - ") + AnsiToWide(name + (hint.empty() ? "" : "\n" + hint)),
                     mtError, mbOK, 0);
  }
  RawCom->CloseRawPort();
}
