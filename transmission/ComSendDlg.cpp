#include "ComSendDlg.h"

#include "DirectPortDriver.h"
#include "DirectSend.h"
#include "translation/TransManClass.h"
#include "translation/TransMessageBox.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <functional>

namespace {

// A box whose paint event is handed to its owner.
class TPaintBox : public QWidget {
public:
  std::function<void()> OnPaint;

protected:
  void paintEvent(QPaintEvent*) override {
    if (OnPaint) OnPaint();
  }
};

// Left out of translation, like the form's other tag -1 controls.
void keepUntranslated(QObject* control) { control->setProperty("Tag", -1); }

int cancelsWithoutAsking = 0;

}  // namespace

TFrmComSend::TFrmComSend(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FrmComSend"));
  setWindowTitle(QStringLiteral("Sending to Cutter"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setModal(true);
  QFont font(QStringLiteral("Trebuchet MS"));
  font.setPixelSize(11);
  setFont(font);
  setFixedSize(465, 141);

  GroupBox3 = new QGroupBox(QStringLiteral("Direct Transmission:"));
  Label7 = new QLabel(QStringLiteral("Status:"));
  labelStatus = new QLabel(QStringLiteral("Sending to COM3"));
  Label9 = new QLabel(QStringLiteral("Progress:"));
  labelProgress = new QLabel(QStringLiteral("20.3 Kb  / 1230.3 Kb sent."));
  LabelWaiting = new QLabel(QStringLiteral("Waiting to send..."));
  LabelWaiting->setStyleSheet(QStringLiteral("color: red"));
  LabelWaiting->setVisible(false);
  ProgressBar1 = new QProgressBar;
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setTextVisible(false);
  dAbort = new QPushButton(QStringLiteral("Cancel"));
  auto* paintBox = new TPaintBox;
  paintBox->setFixedSize(4, 4);
  paintBox->OnPaint = [this] { PaintBox1Paint(); };
  PaintBox1 = paintBox;
  SpeedButton1 = new QPushButton;
  SpeedButton1->setVisible(false);
  lbHasGlobalTrans = new QLabel(QStringLiteral("lbHasGlobalTrans"));
  lbHasGlobalTrans->setStyleSheet(QStringLiteral("color: green"));
  lbHasGlobalTrans->setVisible(false);
  for (QObject* control : {static_cast<QObject*>(labelProgress), static_cast<QObject*>(SpeedButton1),
                           static_cast<QObject*>(lbHasGlobalTrans)})
    keepUntranslated(control);

  const std::pair<QWidget*, const char*> names[] = {
      {GroupBox3, "GroupBox3"},         {Label7, "Label7"},         {labelStatus, "labelStatus"},
      {Label9, "Label9"},               {labelProgress, "labelProgress"}, {LabelWaiting, "LabelWaiting"},
      {ProgressBar1, "ProgressBar1"},   {dAbort, "dAbort"},         {PaintBox1, "PaintBox1"},
      {SpeedButton1, "SpeedButton1"},   {lbHasGlobalTrans, "lbHasGlobalTrans"}};
  for (const auto& [widget, name] : names) widget->setObjectName(QString::fromLatin1(name));

  auto* grid = new QGridLayout(GroupBox3);
  grid->addWidget(Label7, 0, 0);
  grid->addWidget(labelStatus, 0, 1);
  grid->addWidget(LabelWaiting, 0, 1);
  grid->addWidget(Label9, 1, 0);
  grid->addWidget(labelProgress, 1, 1);
  grid->addWidget(ProgressBar1, 2, 0, 1, 2);
  grid->addWidget(PaintBox1, 3, 0);
  grid->addWidget(SpeedButton1, 3, 0);
  grid->addWidget(lbHasGlobalTrans, 3, 1);
  grid->addWidget(dAbort, 3, 1, Qt::AlignRight);
  grid->setColumnStretch(1, 1);
  auto* outer = new QVBoxLayout(this);
  outer->addWidget(GroupBox3);

  connect(dAbort, &QPushButton::clicked, this, &TFrmComSend::dAbortClick);
  connect(SpeedButton1, &QPushButton::clicked, this, &TFrmComSend::SpeedButton1Click);
  FormCreate();
}

TFrmComSend::~TFrmComSend() = default;

void TFrmComSend::FormCreate() {
  if (TTransMan* manager = TransMan()) manager->TranslateForm(this);
}

void TFrmComSend::PaintBox1Paint() {
  // Hidden first so no later paint starts a second transfer; the transfer itself runs
  // from the event loop rather than inside the paint.
  PaintBox1->setVisible(false);
  QTimer::singleShot(0, this, &TFrmComSend::SpeedButton1Click);
}

void TFrmComSend::SpeedButton1Click() {
  if (Session) return;
  const TComPort* port = DirectComPort();
  ISendView& view = *this;
  Session = std::make_unique<TSendSession>(view, DirectPortWriter(), port ? port->Port() : std::string());
  Pacer = MakeSendPacer(Pacing, DirectPacerPort(), Log ? Log : [](const std::string&) {});
  Session->UsePacer(Pacer.get());
  Session->UseTailWait(DirectPortTailWait());
  if (AbortBeforeStart) Session->RequestAbort();
  const bool transferred = Session->Run(JobText, UseTxBuffer);
  SendOk = Session->SendOk;
  // A cancel has closed the dialog already; an end of its own is no route out to ask about.
  if (transferred && isVisible()) accept();
}

TSendOutcome TFrmComSend::Outcome() const {
  if (Session) return Session->Outcome();
  return {false, false, 0, TSendSession::BytesToSend(JobText, UseTxBuffer)};
}

void TFrmComSend::dAbortClick() {
  if (cancelsWithoutAsking == 0 &&
      TransMessageBox("(__Abort Transmission?__)", mtConfirmation, mbYes | mbNo, 0) != idYes)
    return;
  if (Session) Session->RequestAbort();
  else AbortBeforeStart = true;
  // Closed now; a running transfer ends at its next pass.
  QDialog::reject();
}

void TFrmComSend::reject() { dAbortClick(); }

void TFrmComSend::showEvent(QShowEvent* event) {
  if (const QWidget* main = QApplication::activeWindow(); main && main != this)
    move(main->geometry().center() - rect().center());
  QDialog::showEvent(event);
}

void TFrmComSend::ShowStatus(const std::u16string& status) { labelStatus->setText(QString::fromStdU16String(status)); }

void TFrmComSend::ShowProgressText(const std::string& text) { labelProgress->setText(QString::fromStdString(text)); }

void TFrmComSend::ShowProgress(std::size_t position, std::size_t maximum) {
  // The bar counts in kilobytes beyond what an int holds.
  const int scale = maximum > static_cast<std::size_t>(INT_MAX) ? 1024 : 1;
  ProgressBar1->setMaximum(static_cast<int>(maximum / scale));
  ProgressBar1->setValue(static_cast<int>(std::min(position, maximum) / scale));
}

void TFrmComSend::ShowWaiting(bool waiting) {
  LabelWaiting->setVisible(waiting);
  labelStatus->setVisible(!waiting);
}

void TFrmComSend::Pump() { QCoreApplication::processEvents(); }

TCancelSendsWithoutAsking::TCancelSendsWithoutAsking() { ++cancelsWithoutAsking; }

TCancelSendsWithoutAsking::~TCancelSendsWithoutAsking() { --cancelsWithoutAsking; }
