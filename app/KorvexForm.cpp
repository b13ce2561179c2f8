#include "KorvexForm.h"

#include <QAction>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QVBoxLayout>
#include <utility>

#include "DcbStatePage.h"
#include "FileLabel.h"
#include "JobMemo.h"
#include "NamedControl.h"
#include "PacingControls.h"
#include "PortCombo.h"
#include "PortTypeIcons.h"
#include "PrintQueuePage.h"
#include "UsbPrinterPage.h"
#include "preview/PreviewRender.h"
#include "raster/PaintBox32.h"

namespace {

const QStringList kBaudRates = {"9600", "19200", "38400", "57600", "115200"};
constexpr int kClientWidth = 900;
constexpr int kClientHeight = 567;

// Draws the connection-method items through the window's own handler.
class TPortTypeDelegate : public QStyledItemDelegate {
 public:
  TPortTypeDelegate(QObject* parent, TKorvexForm::TDrawItem draw)
      : QStyledItemDelegate(parent), Draw(std::move(draw)) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    if (option.state & QStyle::State_Selected) painter->fillRect(option.rect, option.palette.highlight());
    painter->setPen(
        option.palette.color(option.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
    Draw(*painter, index.row(), option.rect);
  }
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return {QStyledItemDelegate::sizeHint(option, index).width() + 24, 20};
  }

 private:
  TKorvexForm::TDrawItem Draw;
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

}  // namespace

void TKorvexForm::SetupForm(QMainWindow& window, int& dcbUpdateDepth, TDrawItem drawPortType) {
  window.setObjectName(QStringLiteral("KorvexFrm"));
  window.setWindowTitle(QStringLiteral("Korvex V1.01"));
  window.setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                        Qt::WindowCloseButtonHint);
  QFont font(QStringLiteral("Trebuchet MS"));
  font.setPixelSize(11);
  window.setFont(font);

  File1 = window.menuBar()->addMenu(QStringLiteral("&File"));
  Open1 = File1->addAction(QStringLiteral("&Open..."));
  Open1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  Send1 = File1->addAction(QStringLiteral("&Send"));
  Send1->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
  File1->addSeparator();
  RecentJobsEnd = File1->addSeparator();  // the recent jobs go between the two
  Exit1 = File1->addAction(QStringLiteral("E&xit"));
  Exit1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  QMenu* system = window.menuBar()->addMenu(QStringLiteral("System"));
  BluetoothSettings1 = system->addAction(QStringLiteral("Bluetooth Settings"));

  ImageList1 = MakePortTypeImageList();

  // The client area holds the status bar; the window is not resized.
  StatusBar1 = named(new QStatusBar, "StatusBar1");
  StatusBar1->setSizeGripEnabled(false);
  window.setStatusBar(StatusBar1);
  LoadProgress = named(new QProgressBar, "LoadProgress");
  LoadProgress->setRange(0, 100);
  LoadProgress->setFormat(QStringLiteral("Loading %p%"));
  LoadProgress->setVisible(false);
  StatusBar1->addPermanentWidget(LoadProgress);
  auto* client = new QWidget;
  client->setFixedSize(kClientWidth, kClientHeight - StatusBar1->sizeHint().height());
  window.setCentralWidget(client);
  window.layout()->setSizeConstraint(QLayout::SetFixedSize);

  // Left column: the job, the connection method, the settings pages and Send.
  GroupBox1 = named(new QGroupBox(QStringLiteral("File to send to cutter")), "GroupBox1");
  lbFilename = named(new TFileLabel(QStringLiteral("No file selected.")), "lbFilename");
  Button1 = named(new QPushButton(QStringLiteral("Load")), "Button1");
  auto* fileRow = new QHBoxLayout(GroupBox1);
  fileRow->addWidget(lbFilename, 1);
  fileRow->addWidget(Button1);

  StaticGroupBox3 = named(new QGroupBox(QStringLiteral("Connection Method")), "StaticGroupBox3");
  Label3 = named(new QLabel(QStringLiteral("Port Type")), "Label3");
  comboPortType = named(new QComboBox, "comboPortType");
  comboPortType->setItemDelegate(new TPortTypeDelegate(&window, std::move(drawPortType)));
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
  TabDCB = new TDcbStatePage(dcbUpdateDepth);
  TabQueue = new TPrintQueuePage;
  TabUsb = new TUsbPrinterPage;
  TabPlt = createPltPage();
  TabLog = createLogPage();
  PageControl1->addTab(TabCom, QStringLiteral("Direct COM"));
  PageControl1->addTab(TabRawCom, QStringLiteral("Raw COM"));
  PageControl1->addTab(TabDCB, QStringLiteral("DCB State"));
  PageControl1->addTab(TabQueue, QStringLiteral("Printer Queue"));
  PageControl1->addTab(TabUsb, QStringLiteral("Direct USB"));
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

QWidget* TKorvexForm::createComPage() {
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
  SelectText(comboDirComBaud, QStringLiteral("38400"));
  comboDirComFlow = named(new QComboBox, "comboDirComFlow");
  comboDirComFlow->addItems(
      {QStringLiteral("Hardware (CTS/RTS)"), QStringLiteral("Software (Xon/Xoff)"), QStringLiteral("None")});
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

QWidget* TKorvexForm::createRawComPage() {
  auto* page = named(new QWidget, "TabRawCom");
  auto* settings = new QGroupBox(QStringLiteral("Settings"));
  cbRawComPort = named(new TDropDownCombo, "cbRawComPort");
  cbRawComPort->addItem(QStringLiteral("COM3"), QStringLiteral("COM3"));
  ShowPortNamesFromTheStart(cbRawComPort);
  comboBR2 = named(new QComboBox, "comboBR2");
  comboBR2->addItems(kBaudRates);
  SelectText(comboBR2, QStringLiteral("38400"));
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

QWidget* TKorvexForm::createPltPage() {
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

QWidget* TKorvexForm::createLogPage() {
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

void SelectText(QComboBox* combo, const QString& text) { combo->setCurrentIndex(combo->findText(text)); }
