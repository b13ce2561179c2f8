#include "KorvexDlg.h"

#include "platform/JobFile.h"
#include "JobLoader.h"
#include "JobMemo.h"
#include "NamedControl.h"
#include "PacingControls.h"
#include "platform/SerialDevices.h"
#include "PortCombo.h"
#include "PortTypeIcons.h"
#include "PrintQueuePage.h"
#include "platform/MainThread.h"
#include "preview/PreviewRender.h"
#include "raster/PaintBox32.h"
#include "transmission/ComSendDlg.h"
#include "transmission/DirectSend.h"
#include "translation/TransMessageBox.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSocketNotifier>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QStringList kBaudRates = {"9600", "19200", "38400", "57600", "115200"};
constexpr int kClientWidth = 900;
constexpr int kClientHeight = 567;

// Draws the connection-method items through the window's own handler.
class TPortTypeDelegate : public QStyledItemDelegate {
public:
  TPortTypeDelegate(TKorvexFrm* form) : QStyledItemDelegate(form), Form(form) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    if (option.state & QStyle::State_Selected) painter->fillRect(option.rect, option.palette.highlight());
    painter->setPen(option.palette.color(option.state & QStyle::State_Selected ? QPalette::HighlightedText
                                                                              : QPalette::Text));
    Form->comboPortTypeDrawItem(*painter, index.row(), option.rect);
  }
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return {QStyledItemDelegate::sizeHint(option, index).width() + 24, 20};
  }

private:
  TKorvexFrm* Form;
};

QCheckBox* checkBox(const char* name, const char* caption, bool checked) {
  auto* box = new QCheckBox(QString::fromLatin1(caption));
  box->setObjectName(QString::fromLatin1(name));
  box->setChecked(checked);
  return box;
}

QSpinBox* spinEdit(const char* name, int value) {
  auto* spin = named(new QSpinBox, name);
  spin->setRange(1, 1 << 20);
  spin->setValue(value);
  return spin;
}

template <typename Memo = QPlainTextEdit>
Memo* memo(const char* name) {
  auto* edit = named(new Memo, name);
  QFont font(QStringLiteral("Courier"));
  font.setStyleHint(QFont::TypeWriter);
  edit->setFont(font);
  edit->setLineWrapMode(QPlainTextEdit::NoWrap);
  edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  return edit;
}

// Selects the item whose text equals the given one, or none.
void selectText(QComboBox* combo, const QString& text) { combo->setCurrentIndex(combo->findText(text)); }

}  // namespace

TKorvexFrm::TKorvexFrm(QWidget* parent) : QMainWindow(parent) {
  // The serial event thread hands its events over through a queue that the event loop
  // drains whenever something is queued.
  SetMainThreadWakeup([] {
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] { DrainMainThreadQueue(); }, Qt::QueuedConnection);
  });
  createControls();
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
  SetMainThreadWakeup({});
}

void TKorvexFrm::createControls() {
  setObjectName(QStringLiteral("KorvexFrm"));
  setWindowTitle(QStringLiteral("Korvex V1.01"));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  QFont font(QStringLiteral("Trebuchet MS"));
  font.setPixelSize(11);
  setFont(font);

  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  Exit1 = file->addAction(QStringLiteral("E&xit"));
  QMenu* system = menuBar()->addMenu(QStringLiteral("System"));
  BluetoothSettings1 = system->addAction(QStringLiteral("Bluetooth Settings"));

  ImageList1 = MakePortTypeImageList();

  // The client area holds the status bar; the window is not resized.
  StatusBar1 = named(new QStatusBar, "StatusBar1");
  StatusBar1->setSizeGripEnabled(false);
  setStatusBar(StatusBar1);
  LoadProgress = named(new QProgressBar, "LoadProgress");
  LoadProgress->setRange(0, 100);
  LoadProgress->setFormat(QStringLiteral("Loading %p%"));
  LoadProgress->setVisible(false);
  StatusBar1->addPermanentWidget(LoadProgress);
  auto* client = new QWidget;
  client->setFixedSize(kClientWidth, kClientHeight - StatusBar1->sizeHint().height());
  setCentralWidget(client);
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  // Left column: the job, the connection method, the settings pages and Send.
  GroupBox1 = named(new QGroupBox(QStringLiteral("File to send to cutter")), "GroupBox1");
  lbFilename = named(new QLabel(QStringLiteral("No file selected.")), "lbFilename");
  Button1 = named(new QPushButton(QStringLiteral("Load")), "Button1");
  auto* fileRow = new QHBoxLayout(GroupBox1);
  fileRow->addWidget(lbFilename, 1);
  fileRow->addWidget(Button1);

  StaticGroupBox3 = named(new QGroupBox(QStringLiteral("Connection Method")), "StaticGroupBox3");
  Label3 = named(new QLabel(QStringLiteral("Port Type")), "Label3");
  comboPortType = named(new QComboBox, "comboPortType");
  comboPortType->setItemDelegate(new TPortTypeDelegate(this));
  comboPortType->setIconSize(QSize(16, 16));
  // Each item carries its connection kind, 1 to 4, which outlasts removed items.
  const int icons[] = {38, 36, 40, 40};
  int item = 0;
  for (const char* method : {"Direct COM Port ", "Direct USB Port ", "Windows Port", "Printer Queue"}) {
    comboPortType->addItem(ImageList1[icons[item]], QString::fromLatin1(method), item + 1);
    ++item;
  }
  comboPortType->setCurrentIndex(0);
  auto* methodRow = new QHBoxLayout(StaticGroupBox3);
  methodRow->addWidget(Label3);
  methodRow->addWidget(comboPortType, 1);

  PageControl1 = named(new QTabWidget, "PageControl1");
  TabCom = createComPage();
  TabRawCom = createRawComPage();
  TabDCB = new TDcbStatePage(FlagUpdateDepth);
  TabQueue = new TPrintQueuePage;
  TabPlt = createPltPage();
  TabLog = createLogPage();
  PageControl1->addTab(TabCom, QStringLiteral("Direct COM"));
  PageControl1->addTab(TabRawCom, QStringLiteral("Raw COM"));
  PageControl1->addTab(TabDCB, QStringLiteral("DCB State"));
  PageControl1->addTab(TabQueue, QStringLiteral("Printer Queue"));
  PageControl1->addTab(TabPlt, QStringLiteral("PLT Data"));
  PageControl1->addTab(TabLog, QStringLiteral("Log File"));

  dSend = named(new QPushButton(QStringLiteral("Send")), "dSend");
  dSend->setMinimumHeight(32);
  ProgressBar1 = named(new QProgressBar, "ProgressBar1");
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setVisible(false);
  lbProgress = named(new QLabel(QStringLiteral("lbProgress")), "lbProgress");
  lbProgress->setVisible(false);

  auto* left = new QVBoxLayout;
  left->addWidget(GroupBox1);
  left->addWidget(StaticGroupBox3);
  left->addWidget(PageControl1, 1);
  left->addWidget(ProgressBar1);
  left->addWidget(lbProgress);
  left->addWidget(dSend);

  // Right: the preview box with its rulers, at the form's fixed positions; the rulers
  // stay hidden until the first picture is drawn.
  pb = named(new TPaintBox32(client), "pb");
  pb->setGeometry(468, 32, PreviewBoxWidth, PreviewBoxHeight);
  pb->setProperty("Tag", 1);
  pbTopRuler = named(new TPaintBox32(client), "pbTopRuler");
  pbTopRuler->setGeometry(468, 13, PreviewBoxWidth, RulerBoxThickness);
  pbTopRuler->setVisible(false);
  pbLeftRuler = named(new TPaintBox32(client), "pbLeftRuler");
  pbLeftRuler->setGeometry(449, 32, RulerBoxThickness, PreviewBoxHeight);
  pbLeftRuler->setVisible(false);
  // Under the preview: what the picture leaves out of the job, when it leaves out anything.
  lbPreviewNotice = named(new QLabel(client), "lbPreviewNotice");
  lbPreviewNotice->setGeometry(449, 508, PreviewBoxWidth + RulerBoxThickness, 32);
  lbPreviewNotice->setWordWrap(true);
  lbPreviewNotice->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lbPreviewNotice->setStyleSheet(QStringLiteral("color: #a00000"));
  lbPreviewNotice->setVisible(false);

  auto* columns = new QHBoxLayout(client);
  columns->setContentsMargins(6, 6, 6, 6);
  auto* leftHolder = new QWidget;
  leftHolder->setFixedWidth(400);
  leftHolder->setLayout(left);
  left->setContentsMargins(0, 0, 0, 0);
  columns->addWidget(leftHolder);
  columns->addStretch(1);

}

QWidget* TKorvexFrm::createComPage() {
  auto* page = named(new QWidget, "TabCom");
  auto* settings = new QGroupBox(QStringLiteral("Settings"));
  comboDirComPort = named(new TDropDownCombo, "comboDirComPort");
  comboDirComPort->addItem(QStringLiteral("COM3"), QStringLiteral("COM3"));
  // Any device by name or path, such as a link the system does not list; typed names are
  // taken whole, never completed into a listed one.
  comboDirComPort->setEditable(true);
  comboDirComPort->setInsertPolicy(QComboBox::NoInsert);
  comboDirComPort->setCompleter(nullptr);
  ShowPortNamesFromTheStart(comboDirComPort);
  comboDirComBaud = named(new QComboBox, "comboDirComBaud");
  comboDirComBaud->addItems(kBaudRates);
  selectText(comboDirComBaud, QStringLiteral("38400"));
  comboDirComFlow = named(new QComboBox, "comboDirComFlow");
  comboDirComFlow->addItems({QStringLiteral("Hardware (CTS/RTS)"), QStringLiteral("Software (Xon/Xoff)"),
                             QStringLiteral("None")});
  cAdvancedCom = checkBox("cAdvancedCom", "Advanced", false);
  cUseCustomCom = checkBox("cUseCustomCom", "Use Raw (BT) COM", false);
  auto* grid = new QGridLayout(settings);
  grid->addWidget(new QLabel(QStringLiteral("Port")), 0, 0);
  grid->addWidget(comboDirComPort, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("Baud Rate")), 1, 0);
  grid->addWidget(comboDirComBaud, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("Flow Control")), 2, 0);
  grid->addWidget(comboDirComFlow, 2, 1);
  grid->addWidget(cAdvancedCom, 3, 0);
  grid->addWidget(cUseCustomCom, 3, 1);
  grid->setColumnStretch(1, 1);  // room for a port's product name

  gbAdvanced = named(new QGroupBox(QStringLiteral("Advanced Settings")), "gbAdvanced");
  cUseComTxBuf = checkBox("cUseComTxBuf", "Use Tx Buffer", false);
  rxTXBuf = spinEdit("rxTXBuf", 200);
  rxTXBuf->setEnabled(false);
  auto* advanced = new QGridLayout(gbAdvanced);
  advanced->addWidget(cUseComTxBuf, 0, 0, 1, 2);
  advanced->addWidget(new QLabel(QStringLiteral("Tx Buffer (Bytes)")), 1, 0);
  advanced->addWidget(rxTXBuf, 1, 1);
  Pacing = new TPacingControls;
  advanced->addWidget(Pacing, 2, 0, 1, 2);
  gbAdvanced->setVisible(false);

  auto* column = new QVBoxLayout(page);
  column->addWidget(settings);
  column->addWidget(gbAdvanced);
  column->addStretch(1);
  return page;
}

QWidget* TKorvexFrm::createRawComPage() {
  auto* page = named(new QWidget, "TabRawCom");
  auto* settings = new QGroupBox(QStringLiteral("Settings"));
  cbRawComPort = named(new TDropDownCombo, "cbRawComPort");
  cbRawComPort->addItem(QStringLiteral("COM3"), QStringLiteral("COM3"));
  ShowPortNamesFromTheStart(cbRawComPort);
  comboBR2 = named(new QComboBox, "comboBR2");
  comboBR2->addItems(kBaudRates);
  selectText(comboBR2, QStringLiteral("38400"));
  rxTxBuf2 = spinEdit("rxTxBuf2", 200);
  rxTxBuf2->setMinimum(0);  // 0 sends the whole job in one write
  cUseOverlap = checkBox("cUseOverlap", "Use Overlapped IO", true);
  cPurgeCom = checkBox("cPurgeCom", "PurgeComm on Open", true);
  cSetDCB = checkBox("cSetDCB", "Set DCB State", true);
  cUseRawTXBuf = checkBox("cUseRawTXBuf", "Use Packets", true);
  cCustomRawCom = checkBox("cCustomRawCom", "Custom Port Name", false);
  TntCheckBox1 = checkBox("TntCheckBox1", "Advanced", false);
  cProcessMsgs = checkBox("cProcessMsgs", "Refresh GUI", false);
  auto* grid = new QGridLayout(settings);
  grid->addWidget(new QLabel(QStringLiteral("Port")), 0, 0);
  grid->addWidget(cbRawComPort, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("Baud Rate")), 1, 0);
  grid->addWidget(comboBR2, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("Packet Size (bytes)")), 2, 0);
  grid->addWidget(rxTxBuf2, 2, 1);
  grid->addWidget(cUseOverlap, 3, 0);
  grid->addWidget(cPurgeCom, 3, 1);
  grid->addWidget(cSetDCB, 4, 0);
  grid->addWidget(cUseRawTXBuf, 4, 1);
  grid->addWidget(cCustomRawCom, 5, 0);
  grid->addWidget(TntCheckBox1, 5, 1);
  grid->addWidget(cProcessMsgs, 6, 0);

  gbAdvancedRC = named(new QGroupBox(QStringLiteral("Advanced Settings")), "gbAdvancedRC");
  Button7 = named(new QPushButton(QStringLiteral("Log Current DCB")), "Button7");
  Button8 = named(new QPushButton(QStringLiteral("Test Open Port")), "Button8");
  cUpdateDCB = checkBox("cUpdateDCB", "Update DCB Values", false);
  auto* advanced = new QHBoxLayout(gbAdvancedRC);
  advanced->addWidget(Button7);
  advanced->addWidget(Button8);
  advanced->addWidget(cUpdateDCB);
  gbAdvancedRC->setVisible(false);

  auto* column = new QVBoxLayout(page);
  column->addWidget(settings);
  column->addWidget(gbAdvancedRC);
  column->addStretch(1);
  return page;
}

QWidget* TKorvexFrm::createPltPage() {
  auto* page = named(new QWidget, "TabPlt");
  lbPltInfo = named(new QLabel, "lbPltInfo");
  SpeedButton2 = named(new QPushButton(QStringLiteral("Redraw")), "SpeedButton2");
  TntMemo1 = memo<TJobMemo>("TntMemo1");
  QPalette palette = TntMemo1->palette();
  palette.setColor(QPalette::Base, QColor(0xFF, 0xFF, 0xDF));
  TntMemo1->setPalette(palette);
  TntMemo1->LoadJob("IN;PU0,0;PD1,1;PU4000,4000;PD4001,4001;PU0,0;@");
  auto* top = new QHBoxLayout;
  top->addWidget(lbPltInfo, 1);
  top->addWidget(SpeedButton2);
  auto* column = new QVBoxLayout(page);
  column->addLayout(top);
  column->addWidget(TntMemo1, 1);
  return page;
}

QWidget* TKorvexFrm::createLogPage() {
  auto* page = named(new QWidget, "TabLog");
  memoLog = memo("memoLog");
  memoLog->setReadOnly(true);
  memoLog->setPlainText(QStringLiteral("Log File"));
  Button3 = named(new QPushButton(QStringLiteral("Copy")), "Button3");
  Button4 = named(new QPushButton(QStringLiteral("Clear")), "Button4");
  cFullDebug = checkBox("cFullDebug", "Full debugging mode", false);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(Button3);
  bottom->addWidget(Button4);
  bottom->addStretch(1);
  bottom->addWidget(cFullDebug);
  auto* column = new QVBoxLayout(page);
  column->addWidget(memoLog, 1);
  column->addLayout(bottom);
  return page;
}

void TKorvexFrm::wireHandlers() {
  setAcceptDrops(true);
  TntMemo1->viewport()->installEventFilter(this);
  connect(Exit1, &QAction::triggered, this, &QWidget::close);
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
  comboPortType->removeItem(1);
  comboPortType->setCurrentIndex(0);
  FViewMatrix = TMatrixObj::CreateIdentity();
  WorkSpace().UseMillimetres();
  PortState = std::make_unique<TPortExState>();
  PortState->RefreshComPorts();
  PortState->RefreshUsbPorts();
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
  const std::string designed = ComboPortName(comboDirComPort, PortState->ComPortDetails);
  if (const std::string start = StartPortName(PortState->ComPorts, designed); start != designed) {
    PortState->SetPortName(start);
    FillComPortList();
    FillRawComPortList();
  }
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
  const auto outcome = Loader->Load(path, reason, [&] {
    lbFilename->setText(QLatin1Char('"') + QFileInfo(QString::fromLocal8Bit(path.c_str())).fileName() +
                        QStringLiteral("\"  ") + lbPltInfo->text());
  });
  if (outcome == TJobLoader::TOutcome::Failed) {
    const QString text = QStringLiteral("Cannot read \"%1\":\n%2")
                             .arg(QString::fromLocal8Bit(path.c_str()), QString::fromLocal8Bit(reason.c_str()));
    TransMessageBoxW(text.toStdU16String(), mtError, mbOK, 0);
  }
  // A load that another replaced leaves everything to that one.
  if (outcome != TJobLoader::TOutcome::Done) return false;
  showPreviewNotice();
  return true;
}

void TKorvexFrm::OpenStartJob(const std::string& file) {
  // Loaded from the event loop: a window closed during a long load then ends the program.
  if (!file.empty()) QTimer::singleShot(0, this, [this, file] { LoadJob(file); });
}

void TKorvexFrm::closeEvent(QCloseEvent* event) {
  QMainWindow::closeEvent(event);
  if (event->isAccepted()) Loader->Abandon();
}

bool TKorvexFrm::acceptJobDrag(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->hasUrls() ? event->mimeData()->urls() : QList<QUrl>();
  // One job at a time: the first file dragged is the one that loads.
  if (urls.isEmpty() || !urls.first().isLocalFile()) return false;
  event->acceptProposedAction();
  if (event->type() == QEvent::Drop) LoadJob(urls.first().toLocalFile().toLocal8Bit().toStdString());
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
  const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("Select PLT file"), QString(),
                                                    QStringLiteral("PLT File (*.plt);;HP-GL File (*.hpgl *.hgl "
                                                                   "*.plt);;All Files (*)"));
  if (file.isEmpty()) return;
  LoadJob(file.toLocal8Bit().toStdString());
}

const std::string& TKorvexFrm::JobText() const { return TntMemo1->JobBytes(); }

void TKorvexFrm::TntMemo1Change() { UpdateJobSizeInfo(); }

void TKorvexFrm::SpeedButton2Click() { RebuildPreview(); }

void TKorvexFrm::pbGDIOverlay() {
  if (pb->property("Tag").toInt() != 1) return;
  pb->setProperty("Tag", 0);
  pbTopRuler->setVisible(true);
  pbLeftRuler->setVisible(true);
  DrawRulers();
  DrawPreview(nullptr);
  // Inside a paint nothing may pump. A load under way draws its own picture when done.
  if (!Loader->Busy() && Loader->Rebuild(false) == TJobLoader::TOutcome::Done) showPreviewNotice();
}

void TKorvexFrm::RebuildPreview() {
  if (Loader->Rebuild() == TJobLoader::TOutcome::Done) showPreviewNotice();
}

void TKorvexFrm::showPreviewNotice() {
  const std::string text = Loader->Notice.Text();  // the job's bytes in it are Latin-1
  lbPreviewNotice->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
  lbPreviewNotice->setVisible(!text.empty());
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
  selectText(comboBR2, comboDirComBaud->currentText());
}

void TKorvexFrm::comboDirComFlowClick() { StorePortSettings(); }

void TKorvexFrm::comboBR2Click() {
  selectText(comboDirComBaud, comboBR2->currentText());
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
  PortState->RefreshUsbPorts();
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
  selectText(comboBR2, QStringLiteral("38400"));
  rxTxBuf2->setValue(200);
  for (QCheckBox* box : {cUseRawTXBuf, cUseOverlap, cPurgeCom, cSetDCB, TntCheckBox1, cProcessMsgs})
    box->setChecked(true);
  TabDCB->dResetDCBClick();
  cFullDebug->setChecked(true);
  PageControl1->setCurrentWidget(TabRawCom);
}

void TKorvexFrm::dSendClick() {
  if (RawCom.Sending()) {  // Send reads "Cancel" while a raw send runs
    RawCom.RequestCancel();
    return;
  }
  // Whatever the route (a second click once the dialog is gone, a shortcut), a send never
  // starts while another one holds the port.
  if (SendRunning) return;
  const QScopedValueRollback<bool> running(SendRunning, true);
  StorePortSettings();
  const bool queue = PortState->PortKind == pkPrintQueue;
  if (PortState->PortKind != pkDirectCom && !queue) {
    TransMessageBox("Port Not supported yet!", mtError, mbOK, 0);
    return;
  }
  const std::string job = JobText();
  // The direct path opens no port for nothing; the raw transmitter logs an empty send
  // without opening one.
  if (job.empty() && (queue || !cUseCustomCom->isChecked())) {
    TransMessageBox(
        "(__There is nothing to send: the job is empty. Load a PLT file or type the job on the "
        "'PLT Data' page.__)",
        mtWarning, mbOK, 0);
    return;
  }
  RestartLogClock();
  memoLog->clear();
  PageControl1->setCurrentWidget(TabLog);
  if (queue) {
    TabQueue->Send(job, [this](const std::string& line) { LogLine(line, true); });
    return;
  }
  if (cUseCustomCom->isChecked()) {
    RawCom.Settings = RawView.ReadSettings();
    RawCom.SendJob(job);
    return;
  }
  TDirectSendHooks hooks;
  hooks.Log = [this](const std::string& line) { LogLine(line, true); };
  hooks.OpenFailed = [](const std::string& message, const std::string&, const std::string& hint) {
    TransMessageBox(hint.empty() ? message : message + "\n" + hint, mtError, mbOK, 0);
  };
  hooks.Transfer = [this, log = hooks.Log](const std::string& jobText, bool useTxBuffer) {
    TFrmComSend dialog;
    dialog.JobText = jobText;
    dialog.UseTxBuffer = useTxBuffer;
    dialog.Pacing = Pacing->Read(static_cast<std::uint32_t>(PortState->BaudRate));
    dialog.Log = log;
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
  RawCom.Settings = RawView.ReadSettings();
  const std::optional<DCB> dcb = RawCom.LogCurrentDcb();
  if (dcb && cUpdateDCB->isChecked()) TabDCB->LoadFromDcb(*dcb);
}

void TKorvexFrm::Button8Click() {
  RawCom.Settings = RawView.ReadSettings();
  if (RawCom.OpenRawPort()) {
    TransMessageBox("Port Opened OK", mtInformation, mbOK, 0);
  } else {
    const std::string& name = RawCom.Settings.PortName;
    const std::string hint = PortOpenHint(name, RawCom.OpenError, PortState->ComPorts);
    TransMessageBox("Unable to Open Port! - " + name + (hint.empty() ? "" : "\n" + hint), mtError, mbOK, 0);
  }
  RawCom.CloseRawPort();
}
